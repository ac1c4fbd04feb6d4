#ifndef SCRIVLET_TOOLS_STAND_IN_SERVER_UPLOAD_STORE_H_
#define SCRIVLET_TOOLS_STAND_IN_SERVER_UPLOAD_STORE_H_

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace scrivlet::stand_in {

// The four fields of the record page's form as the servlet received them;
// a field the form did not send is nothing.
struct Upload {
  std::optional<std::string> uuid;
  std::optional<std::string> name;
  std::optional<std::string> start_url;
  std::optional<std::string> document;
};

// Keeps every upload in a folder of its own under the root: upload-0001,
// upload-0002, ... with uuid.txt, name.txt, start-url.txt and trans.xml
// holding the received values byte for byte (a field that was not sent has
// no file), and verdict.txt holding "accepted" or "refused: " and the reason.
// Uploads hold credentials: folders are made 0700 and files 0600 (and a root
// the store creates, 0700).
// Numbering goes on after the highest folder already present, so a root that
// is used again keeps its earlier uploads. Safe to call from several threads.
class UploadStore {
 public:
  explicit UploadStore(std::filesystem::path root);

  // Writes the upload and returns its folder. Throws
  // std::filesystem::filesystem_error or std::runtime_error on failure.
  std::filesystem::path Store(const Upload& upload, const std::string& verdict);

 private:
  std::filesystem::path root_;
  std::mutex mutex_;
  int last_number_ = 0;
};

}  // namespace scrivlet::stand_in

#endif  // SCRIVLET_TOOLS_STAND_IN_SERVER_UPLOAD_STORE_H_
