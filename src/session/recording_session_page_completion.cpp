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

// Ends the busy display of a navigation. Only the main view's own top-level
// document may end the session, ask for credentials, hand the document to
// the record page or record a redirect; frames and pop-ups only run the
// final steps.
void RecordingSession::WebBrowser1_DocumentComplete(BrowserId pDisp,
                                                    const std::string& URL) {
  if (ended_) return;
  if (pDisp == browser_.Object()) {
    try {
      CompleteTopLevelPage(pDisp, URL);
    } catch (const std::exception&) {
      // The silent route: the page-specific work is abandoned, the final
      // steps still run.
    }
    if (ended_) return;
  }
  EndPendingNavigation();
}

// The page the browser stayed on is no new address: it records no redirect
// (its address differs from `pendingUrl`, but no request went there), and
// after the intro page it does not ask for credentials again.
void RecordingSession::WebBrowser1_LoadEndedWithoutPage(BrowserId /*pDisp*/) {
  if (ended_) return;
  EndPendingNavigation();
}

void RecordingSession::EndPendingNavigation() {
  state_.pendingUrl = "";
  state_.didRefresh = false;
  view_.SetMousePointer(MousePointer::kArrow);
  view_.SetProgress("done");
}

void RecordingSession::CompleteTopLevelPage(BrowserId pDisp,
                                            const std::string& URL) {
  // Only the answer to our own upload ends the session: a link to a servlet
  // address on a recorded site must not throw the recording away.
  if (URL.find(state_.servletPath) != std::string::npos &&
      state_.documentClosed) {
    view_.ShowMessage("The record session has been stopped",
                      MessageIcon::kNone);
    DeleteWorkingFiles();
    EndProgram(0);
    return;
  }
  if (URL.find("scrivletIntro.html") != std::string::npos) {
    view_.SetText1("");
    AskForCredentials();
    return;
  }
  view_.SetText1(URL);
  // Only the record page the program itself asked for receives the document
  // (and the credentials in it); look-alikes on other hosts get nothing. The
  // browser reports the address in its own spelling ("http://Mgmt:80/./x"
  // comes back as "http://mgmt/x"), so both are compared in that spelling.
  const std::string record_page = NormalizeUrl(RecordPageUrl());
  if (NormalizeUrl(URL).starts_with(record_page)) {
    FillRecordPage(pDisp);
    return;
  }
  CaptureRedirect(URL);
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

void RecordingSession::FillRecordPage(BrowserId pDisp) {
  if (!files_.FileExists(state_.transFilePath)) {
    files_.CreateTextFile(state_.transFilePath, "");
  }
  // One read and one pass: a document of megabytes is not cut into lines.
  std::string document =
      JoinDocumentLines(files_.ReadText(state_.transFilePath));
  browser_.FillFirstForm(pDisp, {state_.transactionUuid, state_.transactionName,
                                 state_.startUrl, std::move(document)});
}

// A page that ended elsewhere than its first captured address was
// redirected by the server; the final address gets one completion-form
// element.
void RecordingSession::CaptureRedirect(const std::string& URL) {
  if (state_.pendingUrl.empty() || SkipsNavigation(state_, URL)) return;
  if (state_.documentClosed) return;
  std::optional<UrlParts> parts = SplitUrl(URL);
  if (!parts) return;
  RequestFields fields = DecideRequestFields(state_, std::move(*parts), URL);
  // A redirect's element is always written as a GET and without content,
  // whatever the method of the navigation that led to it.
  fields.method = "GET";
  AppendCapturedElement(BuildCompletionElement(fields),
                        ElementKind::kCompletion, fields.method, URL, 0);
}

}  // namespace scrivlet
