#include "stand_in_server/upload_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace scrivlet::stand_in {
namespace {

constexpr std::string_view kFolderPrefix = "upload-";

// An upload holds Basic credentials (in the document's header lines), so
// everything of it is its owner's only: folders 0700, files 0600, set when
// each is created rather than after.
constexpr mode_t kOwnerOnlyFile = 0600;
constexpr mode_t kOwnerOnlyFolder = 0700;

// Written beside and renamed into place, so that whoever waits for a file of
// an upload (verdict.txt, written last, says the upload is complete) never
// reads it half-written.
void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path part = path;
  part += ".part";
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                        kOwnerOnlyFile);
  bool written = fd >= 0 && ::fchmod(fd, kOwnerOnlyFile) == 0;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const ssize_t got = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    written = got > 0;
    if (written) done += static_cast<std::size_t>(got);
  }
  if (fd >= 0 && ::close(fd) != 0) written = false;
  if (!written) throw std::runtime_error("could not write " + path.string());
  std::filesystem::rename(part, path);
}

// Creates the folder owner-only; false when it is there already.
bool CreateOwnerOnlyFolder(const std::filesystem::path& folder) {
  if (::mkdir(folder.c_str(), kOwnerOnlyFolder) == 0) return true;
  if (errno == EEXIST) return false;
  throw std::filesystem::filesystem_error(
      "could not create the upload folder", folder,
      std::error_code(errno, std::generic_category()));
}

void WriteIfSent(const std::filesystem::path& path,
                 const std::optional<std::string>& value) {
  if (value) WriteFile(path, *value);
}

}  // namespace

UploadStore::UploadStore(std::filesystem::path root) : root_(std::move(root)) {
  if (!std::filesystem::exists(root_)) {
    std::filesystem::create_directories(root_);
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all);
  }
  for (const auto& entry : std::filesystem::directory_iterator(root_)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kFolderPrefix, 0) != 0) continue;
    try {
      last_number_ = std::max(
          last_number_, std::stoi(name.substr(kFolderPrefix.size())));
    } catch (const std::exception&) {
      // Not one of ours; its name cannot clash with a numbered folder.
    }
  }
}

std::filesystem::path UploadStore::Store(const Upload& upload,
                                         const std::string& verdict) {
  std::filesystem::path folder;
  {
    std::lock_guard lock(mutex_);
    // A folder that is already there may have been made meanwhile by
    // another process sharing the root.
    do {
      char name[32];
      std::snprintf(name, sizeof name, "upload-%04d", ++last_number_);
      folder = root_ / name;
    } while (!CreateOwnerOnlyFolder(folder));
  }
  WriteIfSent(folder / "uuid.txt", upload.uuid);
  WriteIfSent(folder / "name.txt", upload.name);
  WriteIfSent(folder / "start-url.txt", upload.start_url);
  WriteIfSent(folder / "trans.xml", upload.document);
  WriteFile(folder / "verdict.txt", verdict + "\n");
  return folder;
}

}  // namespace scrivlet::stand_in
