#ifndef SCRIVLET_PLATFORM_POSIX_FILE_SYSTEM_H_
#define SCRIVLET_PLATFORM_POSIX_FILE_SYSTEM_H_

#include <string>
#include <vector>

#include "session/file_system.h"

namespace scrivlet {

// FileSystem on POSIX calls. Files it creates are mode 0600: trans.xml holds
// Base64 credentials. An append writes the whole new content to a temporary
// file beside the target and renames it over the target, so a failed append
// or a process killed mid-append leaves the file exactly as it was.
class PosixFileSystem : public FileSystem {
 public:
  bool FileExists(const std::string& path) override;
  void DeleteFile(const std::string& path) override;
  std::vector<std::string> ReadLines(const std::string& path) override;
  void CreateTextFile(const std::string& path,
                      const std::string& text) override;
  void AppendText(const std::string& path, const std::string& text) override;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_POSIX_FILE_SYSTEM_H_
