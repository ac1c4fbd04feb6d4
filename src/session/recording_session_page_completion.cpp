#include "session/recording_session.h"

#include <array>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "document/address.h"
#include "document/base64.h"
#include "document/document_writer.h"
#include "session/capture_rules.h"

namespace scrivlet {

namespace {

constexpr char kPageStoppedText[] =
    "The page stopped working: the browser's page process ended. "
    "\"Refresh\" loads it again.";

constexpr char kNetworkStoppedText[] =
    "The browser's network process ended and was started again: the "
    "sites' session cookies are gone, so a site may ask you to sign in "
    "again.";

// The page is not what was asked for: the engine's error page, an answer
// with a status of 400 or more, or an HTTP page without a status, which is
// the engine's error page loaded as a page of its own after a failed load.
bool NotAnswered(const PageAnswer& answer) {
  return answer.error_page || !answer.status || *answer.status >= 400;
}

// Why a page did not come as asked, in the user's words.
std::string FailureReason(const PageAnswer& answer) {
  if (!answer.error_page && answer.status) {
    return "HTTP " + std::to_string(*answer.status);
  }
  if (answer.error.empty()) return "could not connect";
  return "could not connect (" + answer.error + ")";
}

// What the recorded request of a page that completed at `URL` got.
RecordedAnswer AnswerOf(const std::string& URL, const PageAnswer& answer) {
  RecordedAnswer recorded;
  recorded.status = answer.status;
  if (answer.error_page) {
    recorded.error = answer.error.empty() ? "no answer" : answer.error;
  } else {
    recorded.final_url = URL;
  }
  return recorded;
}

// What the recorded request itself got: the redirect when the server sent
// one (its target is where the request ended), else the page. A redirect
// whose load ended in the engine's error page (a redirect loop) failed,
// and keeps the engine's reason.
RecordedAnswer RequestAnswerOf(const std::string& URL,
                               const PageAnswer& answer) {
  if (!answer.redirect) return AnswerOf(URL, answer);
  return RecordedAnswer{
      answer.redirect->status, answer.redirect->target,
      answer.error_page ? (answer.error.empty() ? "no answer" : answer.error)
                        : ""};
}

}  // namespace

// Ends the busy display of a navigation. Only the main view's own top-level
// document may end the session, ask for credentials, hand the document to
// the record page or record a redirect; frames and pop-ups only run the
// final steps.
void RecordingSession::WebBrowser1_DocumentComplete(BrowserId pDisp,
                                                    const std::string& URL,
                                                    const PageAnswer& answer) {
  if (ended_) return;
  if (const std::optional<std::size_t> index =
          answers_.PageCompleted(pDisp, URL, RequestAnswerOf(URL, answer))) {
    TellAnswer(*index);
  }
  if (pDisp == browser_.Object()) {
    ShowStatus(status_line_.PageChanged());
    try {
      CompleteTopLevelPage(pDisp, URL, answer);
    } catch (const std::exception&) {
      // The silent route: the page-specific work is abandoned, the final
      // steps still run.
    }
    if (ended_) return;
  }
  EndPendingNavigation(answer);
}

// The page the browser stayed on is no new address: it records no redirect
// (its address differs from `pendingUrl`, but no request went there), and
// after the intro page it does not ask for credentials again. A record page
// the user stopped leaves "Save Transaction" to be pressed again; the page
// that the record page's load replaced is no such stop.
void RecordingSession::WebBrowser1_LoadEndedWithoutPage(
    BrowserId pDisp, const PageAnswer& answer) {
  if (ended_) return;
  answers_.LoadEndedWithoutPage(pDisp);
  if (pDisp == browser_.Object() && state_.recordPageLoading &&
      !answer.replaced_by_asked_load) {
    state_.recordPageLoading = false;
    view_.SetEndRecordEnabled(true);
  }
  EndPendingNavigation(answer);
}

// The engine starts a new process for the view's next load; until then the
// view shows the dead page. The user is asked once per session with a
// message, afterwards in the status line only. A record page that dies
// twice is given up like one that does not load.
void RecordingSession::WebBrowser1_WebProcessTerminated(BrowserId pDisp) {
  if (ended_) return;
  for (const std::size_t index : answers_.ViewLost(pDisp)) TellAnswer(index);
  EndPendingNavigation();
  const bool link_gone = status_line_.PageChanged();
  ShowStatus(status_line_.Tell(kPageStoppedText) || link_gone);
  if (pDisp == browser_.Object() && state_.recordPageLoading) {
    if (!state_.recordPageReloaded) {
      state_.recordPageReloaded = true;
      LoadRecordPage();
    } else {
      state_.recordPageLoading = false;
      ReportUploadNotDone("The record page " + state_.recordPageAddress +
                          " could not be used: the page stopped working.");
      return;
    }
  }
  if (state_.webProcessEndReported) return;
  state_.webProcessEndReported = true;
  view_.ShowMessage(kPageStoppedText, MessageIcon::kWarning);
}

// What was recorded stays as it is: the requests were sent as recorded,
// and a sign-in the site asks for again is recorded like any other.
void RecordingSession::WebBrowser1_NetworkProcessTerminated() {
  if (ended_) return;
  ShowStatus(status_line_.Tell(kNetworkStoppedText));
}

// The navigation of an asked load that came before the end of the page it
// replaces was captured while that page's address was pending; it is the
// one pending now. A page that ends while a refresh is asked, or a frame
// during the refresh's load, is not the reload: capture stays paused until
// the reload itself completes.
void RecordingSession::EndPendingNavigation(const PageAnswer& answer) {
  state_.pendingUrl =
      answer.replaced_by_asked_load ? answer.asked_load_url : "";
  if (!answer.refresh_goes_on) state_.didRefresh = false;
  if (answer.replaced_by_asked_load) return;
  view_.SetMousePointer(MousePointer::kArrow);
  view_.SetProgress("done");
}

void RecordingSession::CompleteTopLevelPage(BrowserId pDisp,
                                            const std::string& URL,
                                            const PageAnswer& answer) {
  // Only the answer to our own upload ends the session: a link to a servlet
  // address on a recorded site must not throw the recording away.
  if (URL.find(state_.servletPath) != std::string::npos &&
      state_.documentClosed) {
    CompleteUpload(URL, answer);
    return;
  }
  const bool intro = URL.find("scrivletIntro.html") != std::string::npos;
  // While a load the program asked for replaces the page, the address box
  // keeps that load's address.
  if (!answer.replaced_by_asked_load) view_.SetText1(intro ? "" : URL);
  if (intro) {
    AskForCredentials();
    return;
  }
  if (IsRecordPage(URL)) {
    state_.recordPageLoading = false;
    if (NotAnswered(answer)) {
      ReportUploadNotDone("The record page " + URL +
                          " could not be used: " + FailureReason(answer) +
                          ".");
      return;
    }
    FillRecordPage(pDisp, URL);
    return;
  }
  CaptureRedirect(URL, AnswerOf(URL, answer));
}

// A servlet that refused the document, or could not be reached, has stored
// nothing: the working files stay for another try.
void RecordingSession::CompleteUpload(const std::string& URL,
                                      const PageAnswer& answer) {
  if (NotAnswered(answer)) {
    ReportUploadNotDone("The upload to " + URL +
                        " failed: " + FailureReason(answer) + ".");
    return;
  }
  view_.ShowMessage("The record session has been stopped", MessageIcon::kNone);
  EndSession();
}

// Only the record page the program itself loaded receives the document
// (and the credentials in it); look-alikes on other hosts get nothing. The
// browser reports the page in its own spelling of the address, which
// "Save Transaction" kept.
bool RecordingSession::IsRecordPage(const std::string& URL) const {
  return !state_.recordPageAddress.empty() &&
         URL.starts_with(state_.recordPageAddress);
}

// The failed load and the engine's error page after it both complete: the
// user hears of it once per press of "Save Transaction".
void RecordingSession::ReportUploadNotDone(const std::string& what) {
  if (state_.uploadFailureReported) return;
  state_.uploadFailureReported = true;
  PauseRecording();
  view_.ShowMessage(what +
                        " The transaction is kept; \"Save Transaction\" "
                        "tries the upload again.",
                    MessageIcon::kWarning);
  view_.SetEndRecordEnabled(true);
}

void RecordingSession::RecordPageFilled(const std::string& URL, bool filled) {
  if (ended_ || filled) return;
  ReportUploadNotDone("The record page " + URL +
                      " could not be used: no upload form on the page.");
}

void RecordingSession::AskForCredentials() {
  if (!view_.Check1Ticked()) {
    if (const std::optional<Credentials> answer = view_.ShowRealmDialog()) {
      state_.username = answer->user_name;
      state_.password = answer->password;
    }
    if (!state_.username.empty() && !state_.password.empty()) {
      state_.realmAuth = EncodeBase64(state_.username + ":" + state_.password);
    }
  }
  if (!view_.Check2Ticked()) {
    if (const std::optional<Credentials> answer = view_.ShowProxyDialog()) {
      state_.proxyusername = answer->user_name;
      state_.proxypassword = answer->password;
    }
    if (!state_.proxyusername.empty() && !state_.proxypassword.empty()) {
      state_.proxyAuth =
          EncodeBase64(state_.proxyusername + ":" + state_.proxypassword);
    }
  }
}

// A document that cannot be read is an upload not done like any other:
// the user is told, and "Save Transaction" tries again.
void RecordingSession::FillRecordPage(BrowserId pDisp, const std::string& URL) {
  std::string document;
  try {
    if (!files_.FileExists(state_.transFilePath)) {
      files_.CreateTextFile(state_.transFilePath, "");
    }
    // One read and one pass: a document of megabytes is not cut into lines.
    document = JoinDocumentLines(files_.ReadText(state_.transFilePath));
  } catch (const FileError& error) {
    ReportUploadNotDone("The record page " + URL +
                        " could not be used: could not read " + error.path() +
                        ": " + error.what() + ".");
    return;
  }
  browser_.FillFirstForm(
      pDisp,
      {state_.transactionUuid, state_.transactionName, state_.startUrl,
       std::move(document)},
      [this, URL](bool filled) { RecordPageFilled(URL, filled); });
}

// A page that ended elsewhere than its first captured address was
// redirected by the server; the final address gets one completion-form
// element.
void RecordingSession::CaptureRedirect(const std::string& URL,
                                       const RecordedAnswer& answer) {
  if (state_.pendingUrl.empty() || SkipsNavigation(state_, URL)) return;
  if (state_.documentClosed) return;
  std::optional<UrlParts> parts = SplitUrl(URL);
  if (!parts) return;
  RequestFields fields = DecideRequestFields(state_, std::move(*parts), URL);
  // A redirect's element is always written as a GET and without content,
  // whatever the method of the navigation that led to it.
  fields.method = "GET";
  if (AppendCapturedElement(BuildCompletionElement(fields),
                            ElementKind::kCompletion, fields.method, URL, 0)) {
    answers_.CompletionAppended(answer);
    TellAnswer(answers_.count() - 1);
    NoteTransactionHost(URL);
  }
}

}  // namespace scrivlet
