#include "platform/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

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
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // The file's status; throws unless it is a regular file. A FIFO or device
  // in the file's place is refused here (opened with O_NONBLOCK, it did not
  // hang the open).
  struct stat RegularFileStatus() const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) ThrowErrno(path_, errno);
    if (S_ISDIR(info.st_mode)) ThrowErrno(path_, EISDIR);
    if (!S_ISREG(info.st_mode)) {
      throw FileError(path_, "Not a regular file (a FIFO, a device or a socket)");
    }
    return info;
  }
  // Hands the open descriptor over to the caller.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Close() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) ThrowErrno(path_, errno);
  }

 private:
  std::string path_;
  int fd_ = -1;
};

// Writes all `size` bytes at `data`, one write(2) unless the kernel takes
// less; returns 0 or the errno of the failure. `done` counts the bytes
// written either way.
int WriteAll(int fd, const char* data, std::size_t size, std::size_t& done) {
  done = 0;
  while (done < size) {
    const ssize_t written = ::write(fd, data + done, size - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    done += static_cast<std::size_t>(written);
  }
  return 0;
}

void TruncateTo(int fd, off_t size) {
  while (::ftruncate(fd, size) != 0 && errno == EINTR) {
  }
}

}  // namespace

PosixFileSystem::~PosixFileSystem() { CloseAppendDescriptor(); }

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void PosixFileSystem::DeleteFile(const std::string& path) {
  if (path == append_path_) CloseAppendDescriptor();
  if (::unlink(path.c_str()) != 0) ThrowErrno(path, errno);
}

std::vector<std::string> PosixFileSystem::ReadLines(const std::string& path) {
  return SplitLines(ReadText(path));
}

std::string PosixFileSystem::ReadText(const std::string& path) {
  return ReadTextUpTo(path, std::numeric_limits<std::uint64_t>::max());
}

// The size is checked on the open file, so a file swapped in after the
// check is not the one read; one that grows while it is read is cut at
// the limit and refused.
std::string PosixFileSystem::ReadTextUpTo(const std::string& path,
                                          std::uint64_t max_size) {
  Descriptor file(path, O_RDONLY | O_NONBLOCK);
  const struct stat info = file.RegularFileStatus();
  const auto too_large = [&](std::uint64_t size) {
    return FileError(path, "File too large: " + std::to_string(size) +
                               " bytes, more than the " +
                               std::to_string(max_size) + " read at most");
  };
  if (static_cast<std::uint64_t>(info.st_size) > max_size) {
    throw too_large(static_cast<std::uint64_t>(info.st_size));
  }
  std::string content;
  content.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(path, errno);
    }
    if (got == 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
    if (content.size() > max_size) throw too_large(content.size());
  }
  file.Close();
  return content;
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
  std::size_t done = 0;
  if (const int error = WriteAll(file.get(), text.data(), text.size(), done);
      error != 0) {
    TruncateTo(file.get(), 0);
    ThrowErrno(path, error);
  }
  file.Close();
}

// One write(2) with O_APPEND puts the whole text at the file's end, in place,
// at any size. The kernel may stop a write part way only when the disk is
// full, the file size limit is reached or the process is being killed. The
// first two are failures: the rest of the text is offered once more to learn
// the reason (or to finish a text too big for one write), and a failure
// cuts the file back by what this call wrote, so it never keeps part of an
// element. A kill part way (or between a short write and the cut) leaves the
// start of the text at the file's end; the next transaction start repairs
// that tail.
//
// The descriptor stays open from one append to the next: opening and
// closing the file cost more than the write itself. Before each write a
// status call makes sure the file is still linked; one deleted or replaced
// by another program (or by DeleteFile) is opened again by its path, created
// if missing, so no element goes into a file nobody can see. The old size
// is found from the descriptor's offset only when a write has failed, and
// the permissions are settled when the file is created and when a
// transaction starts on it (MakeOwnerOnly). A directory cannot be opened for
// writing, and O_NONBLOCK keeps a FIFO in the file's place from hanging the
// program.
void PosixFileSystem::AppendText(const std::string& path,
                                 const std::string& text) {
  const int fd = AppendDescriptor(path);
  std::size_t done = 0;
  if (const int error = WriteAll(fd, text.data(), text.size(), done);
      error != 0) {
    // O_APPEND leaves the offset at the end of what this call wrote.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (done > 0 && end >= static_cast<off_t>(done)) {
      TruncateTo(fd, end - static_cast<off_t>(done));
    }
    // The next append starts afresh from the path.
    CloseAppendDescriptor();
    ThrowErrno(path, error);
  }
}

int PosixFileSystem::AppendDescriptor(const std::string& path) {
  if (append_fd_ >= 0 && path == append_path_) {
    struct stat info {};
    if (::fstat(append_fd_, &info) == 0 && info.st_nlink > 0) {
      return append_fd_;
    }
  }
  CloseAppendDescriptor();
  Descriptor file(path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK);
  append_path_ = path;
  append_fd_ = file.Release();
  return append_fd_;
}

void PosixFileSystem::CloseAppendDescriptor() {
  if (append_fd_ >= 0) ::close(append_fd_);
  append_fd_ = -1;
  append_path_.clear();
}

// The new content goes to a file beside it (owner only), is synced, and is renamed over the path:
// rename(2) swaps the name from one inode to the other at once, so a reader
// or a restart sees the whole old document or the whole new one. The
// directory is synced too, so that the rename itself survives a power loss;
// when that sync fails the caller hears of it (FolderSyncError), since the
// new content it sees may yet be lost.
// The kept append descriptor belongs to the old inode and is closed.
void PosixFileSystem::ReplaceFile(const std::string& link_or_path,
                                  const std::string& text) {
  if (link_or_path == append_path_) CloseAppendDescriptor();
  // A symbolic link stays one: its target is what is replaced.
  std::string path = link_or_path;
  if (char* target = ::realpath(link_or_path.c_str(), nullptr)) {
    path = target;
    std::free(target);
  }
  // One name beside the file: a kill before the rename leaves at most this
  // one stray copy, which the next replacement overwrites.
  const std::string temporary = path + kReplacementSuffix;
  const int fd =
      ::open(temporary.c_str(),
             O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, kOwnerOnly);
  if (fd < 0) ThrowErrno(path, errno);
  if (::fchmod(fd, kOwnerOnly) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    ThrowErrno(path, error);
  }
  std::size_t done = 0;
  int error = WriteAll(fd, text.data(), text.size(), done);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::unlink(temporary.c_str());
    ThrowErrno(path, error);
  }
  const std::size_t slash = path.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (const int folder_error = SyncFolder(directory); folder_error != 0) {
    throw FolderSyncError(path, std::strerror(folder_error));
  }
}

int PosixFileSystem::SyncFolder(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

void PosixFileSystem::MakeOwnerOnly(const std::string& path) {
  Descriptor file(path, O_RDONLY | O_NONBLOCK);
  const struct stat info = file.RegularFileStatus();
  if ((info.st_mode & 07777) != kOwnerOnly &&
      ::fchmod(file.get(), kOwnerOnly) != 0) {
    ThrowErrno(path, errno);
  }
  file.Close();
}

void PosixFileSystem::TruncateFile(const std::string& path,
                                   std::uint64_t size) {
  Descriptor file(path, O_WRONLY | O_NONBLOCK);
  const struct stat info = file.RegularFileStatus();
  if (size > static_cast<std::uint64_t>(info.st_size)) {
    ThrowErrno(path, EINVAL);
  }
  if (::ftruncate(file.get(), static_cast<off_t>(size)) != 0) {
    ThrowErrno(path, errno);
  }
  file.Close();
}

}  // namespace scrivlet
