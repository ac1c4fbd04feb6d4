#include "session/recording_session.h"

#include <string>
#include <vector>

#include "document/document_reader.h"

namespace scrivlet {

// The file is read again rather than trusted from memory: what it holds is
// what is uploaded, and the element removed is the one at `index` there.
// The whole new document replaces the old one in one step, so a kill during
// the removal leaves one of the two.
bool RecordingSession::DeleteRequest_Click(std::size_t index) {
  if (ended_) return false;
  if (state_.documentClosed) {
    view_.ShowMessage(std::string(kClosedForUploadText) +
                          " trans.xml is kept as it is.",
                      MessageIcon::kInformation);
    return false;
  }
  const std::string number = std::to_string(index + 1);
  try {
    const std::string content = files_.ReadText(state_.transFilePath);
    const std::vector<DocumentElement> elements =
        ReadDocumentPrefix(content).document.elements;
    if (index >= elements.size()) {
      view_.ShowMessage("trans.xml holds no request " + number +
                            "; nothing was deleted.",
                        MessageIcon::kWarning);
      return false;
    }
    const DocumentElement& gone = elements[index];
    try {
      files_.ReplaceFile(state_.transFilePath, content.substr(0, gone.begin) +
                                                   content.substr(gone.end));
    } catch (const FolderSyncError& error) {
      // The request is gone from the file the program goes on with; only
      // its durability is in doubt.
      view_.ShowMessage("Request " + number + " was deleted from " +
                            error.path() + ", but its folder could not be "
                            "synced: " + error.what() +
                            ". A power loss may bring the request back.",
                        MessageIcon::kWarning);
    }
    if (index == 0) {
      state_.startUrl = elements.size() > 1 ? elements[1].Url() : "";
    }
  } catch (const FileError& error) {
    view_.ShowMessage("Could not delete request " + number + " from " +
                          error.path() + ": " + error.what() +
                          ". trans.xml is kept as it was.",
                      MessageIcon::kWarning);
    return false;
  }
  answers_.ElementDeleted(index);
  if (element_observer_) element_observer_->ElementDeleted(index);
  return true;
}

}  // namespace scrivlet
