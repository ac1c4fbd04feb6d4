#include "session/recording_session.h"

#include <optional>
#include <string>
#include <utility>

#include "document/document_writer.h"
#include "session/capture_rules.h"

namespace scrivlet {

// Records one navigation of any browser of the session (main view, its
// frames, pop-ups). It never cancels or alters the navigation.
void RecordingSession::WebBrowser1_BeforeNavigate2(
    BrowserId pDisp, const std::string& URL,
    const std::optional<std::string>& PostData, const std::string& Headers,
    bool body_complete) {
  if (ended_) return;
  view_.SetProgress("loading...");
  view_.SetMousePointer(MousePointer::kHourglass);
  const bool main_page = pDisp == browser_.Object();
  if (main_page) {
    unrecorded_script_requests_ = 0;
    ShowStatus(status_line_.LoadStarted());
    if (record_scripts_ && !script_recording_told_) {
      script_recording_told_ = true;
      ShowStatus(status_line_.Tell(kScriptRecordingOnText));
    }
  }
  if (ContinuesAcceptedCertificate(URL)) return;
  if (SkipsNavigation(state_, URL)) return;
  // A saved document takes no further elements, so it stays well-formed;
  // the user is told that what they browse now is not recorded.
  if (state_.documentClosed) {
    if (main_page) PauseRecording();
    return;
  }
  // "http:foo" and the like have no host or URI to record.
  std::optional<UrlParts> parts = SplitUrl(URL);
  if (!parts) return;

  if (state_.startUrl.empty()) state_.startUrl = URL;
  if (state_.pendingUrl.empty()) state_.pendingUrl = URL;

  RequestFields fields = DecideRequestFields(state_, std::move(*parts), URL);
  fields.method = PostData ? "POST" : "GET";
  std::string element = BuildNavigationElement(fields, Headers, PostData);
  if (AppendCapturedElement(std::move(element), ElementKind::kNavigation,
                            fields.method, URL,
                            PostData ? PostData->size() : 0)) {
    answers_.NavigationAppended(pDisp, URL);
    NoteTransactionHost(URL);
  }
  if (PostData && !body_complete) ReportIncompleteBody(URL);
}

bool RecordingSession::AppendCapturedElement(std::string element,
                                             ElementKind kind,
                                             const std::string& method,
                                             const std::string& url,
                                             std::size_t body_size,
                                             bool script) {
  try {
    files_.AppendText(state_.transFilePath, element);
    state_.captureFailureReported = false;
  } catch (const FileError& error) {
    ReportCaptureFailure(error);
    return false;
  }
  if (element_observer_) {
    element_observer_->ElementRecorded(
        RecordedElement{kind, method, url, body_size, std::move(element),
                        script});
  }
  return true;
}

void RecordingSession::TellAnswer(std::size_t index) {
  if (!element_observer_) return;
  if (const std::optional<RecordedAnswer>& answer = answers_.answer(index)) {
    element_observer_->ElementAnswered(index, *answer);
  }
}

void RecordingSession::ReportCaptureFailure(const FileError& error) {
  if (state_.captureFailureReported) return;
  state_.captureFailureReported = true;
  view_.ShowMessage(std::string("Could not write trans.xml: ") + error.what() +
                        ". The requests recorded so far are kept.",
                    MessageIcon::kWarning);
}

// The management server would replay the body as recorded, which is not
// what the browser sent; the user can record the form again.
void RecordingSession::ReportIncompleteBody(const std::string& URL) {
  if (state_.incompleteBodyReported) return;
  state_.incompleteBodyReported = true;
  view_.ShowMessage("The form data sent to " + URL +
                        " could not be read in time. The request is recorded "
                        "with an incomplete body; the other requests are "
                        "kept.",
                    MessageIcon::kWarning);
}

}  // namespace scrivlet
