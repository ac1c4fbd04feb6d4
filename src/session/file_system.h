#ifndef SCRIVLET_SESSION_FILE_SYSTEM_H_
#define SCRIVLET_SESSION_FILE_SYSTEM_H_

#include <stdexcept>
#include <string>
#include <vector>

namespace scrivlet {

// A failed file operation. what() is the system's own reason
// (for example "No space left on device"), path() the file concerned.
class FileError : public std::runtime_error {
 public:
  FileError(std::string path, const std::string& reason)
      : std::runtime_error(reason), path_(std::move(path)) {}
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The text files of a session. Every call opens and closes its file within
// the call, so nothing stays open between events. Text is bytes as they are;
// nothing is converted. Failures throw FileError.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // True when a regular file exists at the path.
  virtual bool FileExists(const std::string& path) = 0;
  // Deletes the file at the path; a missing file is an error.
  virtual void DeleteFile(const std::string& path) = 0;
  // Every line of the file, without its line break. A line ends at LF; a CR
  // just before the LF is dropped. A last line without LF is still a line.
  virtual std::vector<std::string> ReadLines(const std::string& path) = 0;
  // Creates the file, replacing any file of that name, readable and writable
  // by its owner only, holding exactly `text`.
  virtual void CreateTextFile(const std::string& path,
                              const std::string& text) = 0;
  // Appends `text` with one write, creating a missing file (owner only). On
  // failure the file is left as it was before the call: never a part of
  // `text`.
  virtual void AppendText(const std::string& path, const std::string& text) = 0;
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_FILE_SYSTEM_H_
