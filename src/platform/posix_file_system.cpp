#include "platform/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace scrivlet {
namespace {

constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;

[[noreturn]] void ThrowErrno(const std::string& path, int error) {
  throw FileError(path, std::strerror(error));
}

// Owns one open descriptor; closing is checked by Close(), the destructor
// only cleans up after an error.
class Descriptor {
 public:
  Descriptor(const std::string& path, int flags) : path_(path) {
    do {
      fd_ = ::open(path.c_str(), flags | O_CLOEXEC, kOwnerOnly);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) ThrowErrno(path, errno);
  }
  struct Adopt {};
  // Takes ownership of an open descriptor.
  Descriptor(const std::string& path, int fd, Adopt) : path_(path), fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  void Close() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) ThrowErrno(path_, errno);
  }

 private:
  std::string path_;
  int fd_ = -1;
};

// Writes all of `text`; returns 0 or the errno of the failure.
int WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    done += static_cast<std::size_t>(written);
  }
  return 0;
}

// Copies the rest of `source` to the end of `target`; returns 0 or the errno
// of the failure. The kernel copies directly where it can.
int CopyAll(int source, int target) {
  bool kernel_copy = true;
  char buffer[65536];
  while (true) {
    if (kernel_copy) {
      const ssize_t copied =
          ::copy_file_range(source, nullptr, target, nullptr, 1 << 30, 0);
      if (copied > 0) continue;
      if (copied == 0) return 0;
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS &&
          errno != EOPNOTSUPP) {
        return errno;
      }
      kernel_copy = false;
    }
    const ssize_t got = ::read(source, buffer, sizeof buffer);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (const int error = WriteAll(
            target, std::string(buffer, static_cast<std::size_t>(got)));
        error != 0) {
      return error;
    }
  }
}

// A file beside `target` (mode 0600) that either replaces the target or is
// removed again.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& target)
      : target_(target), path_(target + ".part-XXXXXX") {
    fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
    if (fd_ < 0) ThrowErrno(target_, errno);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!replaced_) ::unlink(path_.c_str());
  }
  int fd() const { return fd_; }
  void ReplaceTarget() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) ThrowErrno(target_, errno);
    if (::rename(path_.c_str(), target_.c_str()) != 0) {
      ThrowErrno(target_, errno);
    }
    replaced_ = true;
  }

 private:
  std::string target_;
  std::string path_;
  int fd_ = -1;
  bool replaced_ = false;
};

}  // namespace

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void PosixFileSystem::DeleteFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) ThrowErrno(path, errno);
}

std::vector<std::string> PosixFileSystem::ReadLines(const std::string& path) {
  // O_NONBLOCK: a FIFO in place of the file must not hang the program.
  Descriptor file(path, O_RDONLY | O_NONBLOCK);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) ThrowErrno(path, errno);
  if (S_ISDIR(info.st_mode)) ThrowErrno(path, EISDIR);
  if (!S_ISREG(info.st_mode)) ThrowErrno(path, EINVAL);
  std::string content;
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(path, errno);
    }
    if (got == 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
  }
  file.Close();
  return SplitLines(content);
}

std::vector<std::string> PosixFileSystem::SplitLines(
    const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    const std::size_t next =
        end == std::string::npos ? content.size() : end + 1;
    if (end == std::string::npos) {
      end = content.size();
    } else if (end > start && content[end - 1] == '\r') {
      --end;
    }
    lines.push_back(content.substr(start, end - start));
    start = next;
  }
  return lines;
}

void PosixFileSystem::CreateTextFile(const std::string& path,
                                     const std::string& text) {
  Descriptor file(path, O_WRONLY | O_CREAT | O_TRUNC);
  // A file replaced here may have been created with wider permissions.
  if (::fchmod(file.get(), kOwnerOnly) != 0) ThrowErrno(path, errno);
  if (const int error = WriteAll(file.get(), text); error != 0) {
    (void)::ftruncate(file.get(), 0);
    ThrowErrno(path, error);
  }
  file.Close();
}

// A process killed while the kernel copies a write into the page cache stops
// only between two pages: the kernel looks for a fatal signal before each
// page, never inside one. So text that lands entirely within the page holding
// the file's current end is appended in place with one write(2), which leaves
// either all of it or none. Longer text, or text that would cross into the
// next page, goes the safe slow way (CopyAndReplace).
//
// A short write (disk full, file size limit) is undone with ftruncate, so the
// file never keeps part of an element; only a kill between the short write
// and the ftruncate, on a disk that is already full, could leave one.
void PosixFileSystem::AppendText(const std::string& path,
                                 const std::string& text) {
  if (text.empty()) {
    // Still creates a missing file, like an append of anything else.
    if (!FileExists(path)) CopyAndReplace(path, text);
    return;
  }
  static const std::size_t page_size = [] {
    const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : std::size_t{4096};
  }();
  if (text.size() > page_size) {
    CopyAndReplace(path, text);
    return;
  }

  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    // A missing file is created by the slow way: a new file is then either
    // absent or complete, never empty.
    if (errno == ENOENT) {
      CopyAndReplace(path, text);
      return;
    }
    ThrowErrno(path, errno);
  }
  Descriptor file(path, fd, Descriptor::Adopt{});
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) ThrowErrno(path, errno);
  if (!S_ISREG(info.st_mode)) ThrowErrno(path, EISDIR);
  const auto size = static_cast<std::size_t>(info.st_size);
  if (size % page_size + text.size() > page_size) {
    file.Close();
    CopyAndReplace(path, text);
    return;
  }
  // The slow way always leaves an owner-only file; so does this one.
  if ((info.st_mode & 07777) != kOwnerOnly &&
      ::fchmod(file.get(), kOwnerOnly) != 0) {
    ThrowErrno(path, errno);
  }

  ssize_t written = -1;
  do {
    written = ::write(file.get(), text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  if (written != static_cast<ssize_t>(text.size())) {
    int error = written < 0 ? errno : 0;
    if (written > 0) {
      // The kernel took part of the text and gave no reason; writing the
      // rest fails at once with the reason (it is truncated away below
      // whatever happens).
      const auto done = static_cast<std::size_t>(written);
      error = WriteAll(file.get(), text.substr(done));
      if (error == 0) error = ENOSPC;
    }
    while (::ftruncate(file.get(), info.st_size) != 0 && errno == EINTR) {
    }
    ThrowErrno(path, error);
  }
  file.Close();
}

// The new content goes to a temporary file beside the document, which then
// replaces it in one rename. A process killed at any moment leaves either the
// old file or the new one (and perhaps a stray temporary file, never read).
// It needs room for a second copy of the file.
void PosixFileSystem::CopyAndReplace(const std::string& path,
                                     const std::string& text) {
  TemporaryFile temporary(path);
  {
    int source = -1;
    do {
      source = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (source < 0 && errno == EINTR);
    if (source < 0 && errno != ENOENT) ThrowErrno(path, errno);
    if (source >= 0) {
      const int error = CopyAll(source, temporary.fd());
      ::close(source);
      if (error != 0) ThrowErrno(path, error);
    }
  }
  if (const int error = WriteAll(temporary.fd(), text); error != 0) {
    ThrowErrno(path, error);
  }
  temporary.ReplaceTarget();
}

}  // namespace scrivlet
