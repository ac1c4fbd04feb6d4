#ifndef SCRIVLET_TESTS_SUPPORT_TMPFS_H_
#define SCRIVLET_TESTS_SUPPORT_TMPFS_H_

// A real full disk for the tests of the file layer, the session and the
// program: a tmpfs of a few pages mounted over the working directory, and a
// file that fills it. Mounting needs root with CAP_SYS_ADMIN (as in CI).

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

namespace scrivlet::testing {

// A tmpfs of `size` (the mount option's spelling: "65536", "64k") mounted on
// `path`, an existing directory, for the lifetime of the object. When the
// mount fails, mounted() is false and error() says why.
class TmpfsMount {
 public:
  TmpfsMount(const std::string& path, const std::string& size) : path_(path) {
    const std::string options = "size=" + size + ",mode=0755";
    if (::mount("scrivlet-test", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                options.c_str()) == 0) {
      mounted_ = true;
    } else {
      error_ = std::strerror(errno);
    }
  }
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;
  ~TmpfsMount() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }

  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }

  // Makes the mount read-only; false, with error() set, when that fails.
  bool RemountReadOnly() {
    if (::mount(nullptr, path_.c_str(), nullptr,
                MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0) {
      return true;
    }
    error_ = std::strerror(errno);
    return false;
  }

 private:
  std::string path_;
  bool mounted_ = false;
  std::string error_;
};

// Writes the file `path` until its file system refuses even one byte more;
// returns the bytes written (0 when the file cannot be created). Removing the
// file frees the space again. A file already using part of a page keeps the
// rest of that page: tmpfs counts whole pages.
inline std::size_t FillUp(const std::string& path) {
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return 0;
  std::size_t written = 0;
  const std::string block(4096, 'f');
  // Whole pages first, then single bytes for the last part of a page.
  for (ssize_t got; (got = ::write(fd, block.data(), block.size())) > 0;) {
    written += static_cast<std::size_t>(got);
  }
  while (::write(fd, "f", 1) == 1) ++written;
  ::close(fd);
  return written;
}

}  // namespace scrivlet::testing

#endif  // SCRIVLET_TESTS_SUPPORT_TMPFS_H_
