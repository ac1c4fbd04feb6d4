#include "session/recording_session.h"

#include <exception>
#include <string>

#include "capture/document_writer.h"

namespace scrivlet {

// "Save Transaction": closes the document and sends the browser to the
// record page, whose completion hands the document over. A failure never
// ends the program: the user is told what failed and what was kept, and the
// button is enabled again so the save can be retried. The closing line is
// written only once, so a retry after a failed navigation keeps the document
// well-formed.
void RecordingSession::EndRecord_Click() {
  if (ended_) return;
  view_.SetEndRecordEnabled(false);
  if (!state_.documentClosed) {
    try {
      files_.AppendText(state_.transFilePath,
                        std::string(kDocumentEndLine) + kLineEnd);
    } catch (const FileError& error) {
      view_.ShowMessage(std::string("Could not write trans.xml: ") +
                            error.what() +
                            ". The transaction was not saved; the requests "
                            "recorded so far are kept.",
                        MessageIcon::kWarning);
      view_.SetEndRecordEnabled(true);
      return;
    }
    state_.documentClosed = true;
  }
  try {
    browser_.Navigate(RecordPageUrl());
  } catch (const std::exception& error) {
    view_.ShowMessage("Could not open the record page " + RecordPageUrl() +
                          ": " + error.what() +
                          ". trans.xml is complete and kept; press \"Save "
                          "Transaction\" to try again.",
                      MessageIcon::kWarning);
    view_.SetEndRecordEnabled(true);
  }
}

}  // namespace scrivlet
