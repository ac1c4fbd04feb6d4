#include "platform/current_directory.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace scrivlet {

std::string CurrentDirectory(std::string& error) {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) {
      error = std::string("cannot read the working directory: ") +
              std::strerror(errno);
      return "";
    }
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace scrivlet
