#ifndef SCRIVLET_PLATFORM_POSIX_FILE_SYSTEM_H_
#define SCRIVLET_PLATFORM_POSIX_FILE_SYSTEM_H_

#include <string>
#include <vector>

#include "session/file_system.h"

namespace scrivlet {

// FileSystem on POSIX calls. Files it creates or appends to are mode 0600:
// trans.xml holds Base64 credentials. A failed append, or a process killed
// at any moment of an append, leaves the file as it was or with the whole
// text appended, never part of it. Text that fits in the page holding the
// file's end is appended in place with one write; anything else is written
// with the file's old content to a temporary file beside it, which is then
// renamed over it.
class PosixFileSystem : public FileSystem {
 public:
  bool FileExists(const std::string& path) override;
  void DeleteFile(const std::string& path) override;
  std::vector<std::string> ReadLines(const std::string& path) override;
  void CreateTextFile(const std::string& path,
                      const std::string& text) override;
  void AppendText(const std::string& path, const std::string& text) override;

  // The lines of a file's content, as ReadLines gives them.
  static std::vector<std::string> SplitLines(const std::string& content);

 private:
  // The slow append: old content plus `text` into a temporary file that
  // replaces `path` by rename.
  static void CopyAndReplace(const std::string& path, const std::string& text);
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_POSIX_FILE_SYSTEM_H_
