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
    const std::vector<KeptElement> elements = ReadDocumentElements(content);
    if (index >= elements.size()) {
      view_.ShowMessage("trans.xml holds no request " + number +
                            "; nothing was deleted.",
                        MessageIcon::kWarning);
      return false;
    }
    const KeptElement& gone = elements[index];
    files_.ReplaceFile(state_.transFilePath,
                       content.substr(0, gone.begin) + content.substr(gone.end));
    if (index == 0) {
      state_.startUrl = elements.size() > 1 ? elements[1].url : "";
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
