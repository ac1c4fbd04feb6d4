#include "session/recording_session.h"

#include <string>

#include "document/document_writer.h"

namespace scrivlet {

// "Save Transaction": closes the document and sends the browser to the
// record page, whose completion hands the document over. A closing line that
// cannot be written never ends the program: the user is told what failed and
// what was kept, and the button is enabled again so the save can be retried.
// The closing line is written only once, so any later save keeps the
// document well-formed.
//
// The navigation itself cannot fail here (see Browser::Navigate). A record
// page that does not load, or holds no form, and a servlet that refuses the
// document are told when their pages complete; the button is then enabled
// again and a second click loads the record page again, with the document
// as it is.
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
    if (element_observer_) element_observer_->TransactionClosed();
  }
  state_.recordPageReloaded = false;
  state_.uploadFailureReported = false;
  LoadRecordPage();
}

void RecordingSession::LoadRecordPage() {
  state_.recordPageLoading = true;
  state_.recordPageAddress = browser_.Navigate(RecordPageUrl());
}

// The document stays closed: reopening it would make the upload's
// closing line a lie. The pause lasts until a new transaction starts (or
// the upload succeeds, which ends the program).
void RecordingSession::PauseRecording() {
  if (state_.recordingPaused) return;
  state_.recordingPaused = true;
  ShowStatus(status_line_.SetStanding(kRecordingPausedText));
  if (element_observer_) element_observer_->RecordingPaused();
}

}  // namespace scrivlet
