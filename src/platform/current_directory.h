#ifndef SCRIVLET_PLATFORM_CURRENT_DIRECTORY_H_
#define SCRIVLET_PLATFORM_CURRENT_DIRECTORY_H_

#include <string>

namespace scrivlet {

// The process's current directory. When it cannot be read (it was removed
// after the process started, or is not searchable) the result is "" and
// `error` holds the system's reason; otherwise `error` is left as it was.
std::string CurrentDirectory(std::string& error);

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_CURRENT_DIRECTORY_H_
