#ifndef SCRIVLET_SESSION_FILE_SYSTEM_H_
#define SCRIVLET_SESSION_FILE_SYSTEM_H_

#include <cstdint>
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

// A ReplaceFile that put the new content in place but could not sync the
// folder that holds it: the path holds the new content, which a power loss
// may undo. what() is the system's reason, path() the file's.
class FolderSyncError : public FileError {
 public:
  using FileError::FileError;
};

// What ReplaceFile appends to a path to name the file it writes first.
inline constexpr char kReplacementSuffix[] = ".new";

// The text files of a session. Every call but AppendText opens and closes
// its file within the call. AppendText may keep the file it appended to open
// for the next append to the same path, until an append to another path, a
// failed append, DeleteFile or ReplaceFile of that path or the end of the
// FileSystem; a file kept open that has since been deleted or replaced is
// opened again by its path. Text is bytes as they are; nothing is converted. Failures throw
// FileError.
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
  // The whole content of the file, bytes as they are. Anything but a
  // regular file (a directory, a FIFO, a device) is refused without waiting.
  virtual std::string ReadText(const std::string& path) = 0;
  // As ReadText, but a file of more than `max_size` bytes is refused before
  // anything of it is read: a document opened by name cannot take the
  // memory a device or a huge file would.
  virtual std::string ReadTextUpTo(const std::string& path,
                                   std::uint64_t max_size) = 0;
  // Creates the file, replacing any file of that name, readable and writable
  // by its owner only, holding exactly `text`.
  virtual void CreateTextFile(const std::string& path,
                              const std::string& text) = 0;
  // Appends `text` in place at the file's end with one write, creating a
  // missing file (owner only); an existing file keeps its permissions. On
  // failure the file is left as it was before the call: never a part of
  // `text`. A process killed during the write may leave the file with a
  // first part of `text` at its end; the transaction start cuts such a torn
  // tail (see document/document_repair.h).
  virtual void AppendText(const std::string& path, const std::string& text) = 0;
  // Replaces the file at the path by one holding exactly `text`, owner
  // only, as one step: the new content is written and synced to a file
  // beside it, which is then renamed over it. A process killed at any moment
  // leaves the old file or the new one, never a part of either. On failure
  // the old file is left as it was. Appends to the path go to the new file.
  // The file beside it is the path followed by kReplacementSuffix; a kill
  // before the rename leaves it behind. The folder is synced after the
  // rename; when that fails the new content is in place all the same, and
  // FolderSyncError says so.
  virtual void ReplaceFile(const std::string& path, const std::string& text) = 0;
  // Cuts the existing file at the path back to its first `size` bytes
  // (`size` at most its length), in place.
  virtual void TruncateFile(const std::string& path, std::uint64_t size) = 0;
  // Gives the existing file at the path read and write permission for its
  // owner only; changes nothing when it has exactly that already.
  virtual void MakeOwnerOnly(const std::string& path) = 0;
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_FILE_SYSTEM_H_
