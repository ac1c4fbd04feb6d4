#ifndef SCRIVLET_PLATFORM_POSIX_FILE_SYSTEM_H_
#define SCRIVLET_PLATFORM_POSIX_FILE_SYSTEM_H_

#include <cstdint>
#include <string>
#include <vector>

#include "session/file_system.h"

namespace scrivlet {

// FileSystem on POSIX calls. Files it creates are mode 0600 (trans.xml holds
// Base64 credentials), and MakeOwnerOnly makes a kept one so. An append is
// one write(2) to a descriptor opened with O_APPEND, in place whatever the
// text's size: the cost does not grow with the file, and the file keeps its
// inode (links to it stay links). The descriptor of the file last appended
// to stays open for the next append (see AppendText).
class PosixFileSystem : public FileSystem {
 public:
  PosixFileSystem() = default;
  PosixFileSystem(const PosixFileSystem&) = delete;
  PosixFileSystem& operator=(const PosixFileSystem&) = delete;
  ~PosixFileSystem() override;

  bool FileExists(const std::string& path) override;
  void DeleteFile(const std::string& path) override;
  std::vector<std::string> ReadLines(const std::string& path) override;
  std::string ReadText(const std::string& path) override;
  std::string ReadTextUpTo(const std::string& path,
                           std::uint64_t max_size) override;
  void CreateTextFile(const std::string& path,
                      const std::string& text) override;
  void AppendText(const std::string& path, const std::string& text) override;
  void ReplaceFile(const std::string& path, const std::string& text) override;
  void TruncateFile(const std::string& path, std::uint64_t size) override;
  void MakeOwnerOnly(const std::string& path) override;

  // The lines of a file's content, as ReadLines gives them.
  static std::vector<std::string> SplitLines(const std::string& content);

 protected:
  // fsync(2) of the folder at `directory`, which makes a rename in it
  // durable; returns 0 or the errno of the failure. The tests' fault
  // injection fails it.
  virtual int SyncFolder(const std::string& directory);

 private:
  // The descriptor for appends to `path`: the kept one while its file is
  // still linked, otherwise a new one (the file created if missing).
  int AppendDescriptor(const std::string& path);
  void CloseAppendDescriptor();

  std::string append_path_;
  int append_fd_ = -1;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_POSIX_FILE_SYSTEM_H_
