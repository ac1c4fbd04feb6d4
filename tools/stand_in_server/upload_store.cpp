#include "stand_in_server/upload_store.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string_view>

namespace scrivlet::stand_in {
namespace {

constexpr std::string_view kFolderPrefix = "upload-";

// Written beside and renamed into place, so that whoever waits for a file of
// an upload (verdict.txt, written last, says the upload is complete) never
// reads it half-written.
void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::path part = path;
  part += ".part";
  std::ofstream out(part, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("could not write " + path.string());
  std::filesystem::rename(part, path);
}

void WriteIfSent(const std::filesystem::path& path,
                 const std::optional<std::string>& value) {
  if (value) WriteFile(path, *value);
}

}  // namespace

UploadStore::UploadStore(std::filesystem::path root) : root_(std::move(root)) {
  std::filesystem::create_directories(root_);
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
    // create_directory reports false for a folder that is already there,
    // which another process sharing the root may have made meanwhile.
    do {
      char name[32];
      std::snprintf(name, sizeof name, "upload-%04d", ++last_number_);
      folder = root_ / name;
    } while (!std::filesystem::create_directory(folder));
  }
  WriteIfSent(folder / "uuid.txt", upload.uuid);
  WriteIfSent(folder / "name.txt", upload.name);
  WriteIfSent(folder / "start-url.txt", upload.start_url);
  WriteIfSent(folder / "trans.xml", upload.document);
  WriteFile(folder / "verdict.txt", verdict + "\n");
  return folder;
}

}  // namespace scrivlet::stand_in
