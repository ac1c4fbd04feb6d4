#ifndef SCRIVLET_SESSION_RECORDING_SESSION_H_
#define SCRIVLET_SESSION_RECORDING_SESSION_H_

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "session/authentication.h"
#include "session/browser.h"
#include "session/browser_events.h"
#include "session/certificate.h"
#include "session/document_file.h"
#include "session/file_system.h"
#include "session/main_window_view.h"
#include "session/navigation_answers.h"
#include "session/proxy_settings.h"
#include "session/recorded_element.h"
#include "session/session_state.h"
#include "session/status_line.h"
#include "session/window_layout.h"

namespace scrivlet {

inline constexpr char kServletPath[] =
    "/servlet/com.brenik.morix.core.util.ApplyTransDocServlet";
inline constexpr char kRecordPagePath[] =
    "com.brenik.morix.core.util.FileTransfer/WYT/record.html";

// What the status line and "Recorded Requests" say while the closed
// transaction waits for an upload that has not happened: nothing the user
// browses is recorded meanwhile.
inline constexpr char kRecordingPausedText[] =
    "Recording is paused: the transaction is closed and waits for its "
    "upload. Save Transaction tries again; Reset Transaction starts a new "
    "one.";
// The status line, once per session, while requests made by page scripts
// are recorded.
inline constexpr char kScriptRecordingOnText[] =
    "Requests made by page scripts are recorded (F9 to change).";

// Why no request can be deleted once "Save Transaction" has closed the
// document.
inline constexpr char kClosedForUploadText[] =
    "The transaction is closed for its upload: its requests can no longer "
    "be deleted.";

// The main window's core: SessionState and every handler that decides what
// the program does. It reaches the world only through the four interfaces it
// is given, all of which must outlive it. Handlers run one at a time on the
// user-interface thread. After a handler has asked the view to end the
// program it returns at once and the session takes no further events.
//
// The browser's events reach the handlers of BrowserEvents
// (browser_events.h) from the browser adapter, in the order the engine
// reported them; no window stands between.
//
// Where each handler is: one group per file, all in src/session/.
//   recording_session.cpp: construction, Form_Load, ReadAgentConfig,
//       ApplyProxySettings, EndSession, Reset_Click.
//   recording_session_transaction_start.cpp: StartTransaction.
//   recording_session_navigation_capture.cpp: WebBrowser1_BeforeNavigate2,
//       where a navigation becomes a REQUEST element.
//   recording_session_page_completion.cpp: WebBrowser1_DocumentComplete,
//       WebBrowser1_LoadEndedWithoutPage and
//       WebBrowser1_WebProcessTerminated: the redirect element, the
//       credential dialogs, filling the record page, the upload's answer.
//   recording_session_save_transaction.cpp: EndRecord_Click ("Save
//       Transaction").
//   recording_session_navigation_controls.cpp: Go_Click, Back_Click,
//       Forward_Click, both Refresh buttons, WebBrowser1_CommandStateChange,
//       WebBrowser1_StatusTextChange.
//   recording_session_authentication.cpp: WebBrowser1_Authenticate.
//   recording_session_certificate.cpp: WebBrowser1_CertificateError.
//   recording_session_delete_request.cpp: DeleteRequest_Click.
//   recording_session_script_requests.cpp: WebBrowser1_ScriptRequest and
//       the choices about requests made by page scripts.
// The pieces they build on, each testable alone: agent_config.h (the
// agent.ini parser), capture_rules.h (the skip test and the credential
// lines), proxy_settings.h, window_layout.h, typed_address.h (what the
// address box loads), document_file.h (the repair carried out on trans.xml),
// navigation_answers.h (which recorded navigation a finished load answers),
// status_line.h (what the status line shows, and for how long),
// script_request_matcher.h (which announced script requests went out),
// load_tracker.h (what each finished load of a view completes, however
// loads overlap: the facts of the PageAnswer that the browser adapter hands
// the handlers), and src/document/, which includes nothing of src/session/: the element
// text (document_writer.h), its escaping (xml_escaping.h), the repair plan
// (document_repair.h), the elements read back (document_reader.h),
// EncodeBase64, and SplitUrl (address.h).
class RecordingSession : public BrowserEvents {
 public:
  RecordingSession(FileSystem& files, Browser& browser, MainWindowView& view,
                   ProxySettings& proxy, std::string working_directory);
  RecordingSession(const RecordingSession&) = delete;
  RecordingSession& operator=(const RecordingSession&) = delete;

  SessionState& state() { return state_; }
  const SessionState& state() const { return state_; }
  // True once the program has been asked to end.
  bool ended() const { return ended_; }
  // Tells `observer` (nullptr: nobody) about every element appended from
  // now on. It must outlive the session or be replaced first.
  void SetRecordedElementObserver(RecordedElementObserver* observer) {
    element_observer_ = observer;
  }
  // What each element of the document got, as far as known; the observer
  // is told of each answer as it comes (ElementAnswered).
  const NavigationAnswers& answers() const { return answers_; }

  // --- Start-up and session end ---
  // The load handler: runs before the window is first shown.
  void Form_Load(const InitialGeometry& geometry);
  // The load handler when the process's current directory cannot be read
  // (removed, or not searchable): no path can be composed, so nothing is
  // touched; the program reports `reason` and ends.
  void Form_LoadWithoutWorkingDirectory(const std::string& reason);
  void ReadAgentConfig(const std::string& path);
  void ApplyProxySettings();
  void StartTransaction();
  // The unload handler: deletes the working files (see DeleteWorkingFiles),
  // ends the program.
  void EndSession();
  void Reset_Click();

  // --- Capture ---
  // `post_data` is absent for a navigation without a body. `headers` is the
  // extra request-header text ("" when none). `body_complete` is false when
  // the browser could not learn the whole body in time: what it knew is
  // recorded, and the user is told once per transaction.
  void WebBrowser1_BeforeNavigate2(BrowserId pDisp, const std::string& URL,
                                   const std::optional<std::string>& PostData,
                                   const std::string& Headers,
                                   bool body_complete = true) override;
  // `answer` decides whether the upload servlet's answer ends the session
  // and whether the record page is filled: only a page that came as asked.
  void WebBrowser1_DocumentComplete(BrowserId pDisp, const std::string& URL,
                                    const PageAnswer& answer = {}) override;
  // A load of a browser that ended without a new page (a download, a 204
  // answer, a load stopped or refused before its page came): the browser
  // still shows the page it showed, which has been completed already. Only
  // the busy display ends; nothing is recorded and no dialog is shown. A
  // load that one the program asked for replaced leaves the busy display,
  // and a record page asked for, to that load.
  void WebBrowser1_LoadEndedWithoutPage(BrowserId pDisp,
                                        const PageAnswer& answer = {}) override;
  // The view's load in progress ends without a page (nothing recorded for
  // it) and the user is told that "Refresh" loads the page again; a record
  // page that was loading is loaded again once.
  void WebBrowser1_WebProcessTerminated(BrowserId pDisp) override;
  // The user is told in the status bar that a site may ask them to sign
  // in again; the recording goes on.
  void WebBrowser1_NetworkProcessTerminated() override;
  // "Save Transaction", also after an upload that did not happen: the
  // closing line is written once, the record page loaded each time.
  void EndRecord_Click();

  // --- Navigation controls and status ---
  void Go_Click(const std::string& address_text);
  void Back_Click();
  void Forward_Click();
  void RefreshButton_Click();
  // A pop-up's "Refresh": reloads the pop-up's own view, pauses capture.
  void PopupRefreshButton_Click(Browser& popup_browser);
  void WebBrowser1_CommandStateChange(long Command, bool Enable) override;
  void WebBrowser1_StatusTextChange(const std::string& Text) override;

  // --- Credentials asked for while a page loads ---
  // A Basic challenge of the web server is answered with the realm
  // credentials typed into "Network Login", one of the proxy with those of
  // "Proxy Login", when they are the ones the recording carries. nullopt
  // (not typed, another scheme, or the answer was refused) leaves the
  // challenge to the browser's own prompt. Any browser of the session may
  // ask; nothing is recorded or stored.
  std::optional<Credentials> WebBrowser1_Authenticate(
      const AuthenticationChallenge& challenge) override;

  // --- Pages whose certificate is not trusted ---
  // Asks the user. true (Continue): the browser is to accept the
  // certificate for `problem.host` for the rest of this process and load
  // `problem.url` again; that load continues the navigation already seen
  // and is not recorded again. false (Cancel): the browser shows its error
  // page.
  bool WebBrowser1_CertificateError(
      const CertificateProblem& problem) override;

  // --- Removing a mistaken request ---
  // Removes element `index` (from 0, in document order, kept elements
  // included) from trans.xml by replacing the file with one that lacks it
  // (FileSystem::ReplaceFile), then tells the observer. `startUrl` becomes
  // the next element's address when the first goes. Refused, with the
  // user told why and the file unchanged, once "Save Transaction" has
  // closed the document, when the file holds no such element, or when the
  // file cannot be replaced. Returns whether it was removed.
  bool DeleteRequest_Click(std::size_t index);

  // --- Requests made by page scripts ---
  // Whether the requests that page scripts start from now on are recorded.
  // The status line says once per session that they are: at once when
  // `tell_now`, else when the next page of the main view starts loading.
  void SetRecordScriptRequests(bool on, bool tell_now = true);
  bool records_script_requests() const { return record_scripts_; }
  // Records `request` as a navigation-form element when script requests
  // are recorded, its address passes the skip test, and its host is one of
  // the transaction's recorded navigations or one the user allowed; a
  // request to another host is only counted (other_script_hosts). It never
  // changes startUrl or pendingUrl.
  void WebBrowser1_ScriptRequest(const ScriptRequest& request) override;
  // Counts, while script requests are not recorded, those of the main
  // page, and says so in the status line.
  void WebBrowser1_ScriptRequestSeen(const std::string& URL) override;
  // Lists, while script requests are recorded, one that went out without
  // its body being seen: it is not recorded (unannounced_script_requests).
  void WebBrowser1_ScriptRequestUnannounced(const std::string& URL) override;
  // The answer of a recorded script request, shown beside its element.
  void WebBrowser1_ResourceAnswered(const std::string& URL,
                                    int status) override;
  // The failure of a recorded script request, shown beside its element.
  void WebBrowser1_ResourceFailed(const std::string& URL,
                                  const std::string& reason) override;
  // The requests to `host` (as written in addresses, port included) that
  // scripts start from now on are recorded too.
  void AllowScriptHost(const std::string& host);
  // Hosts outside the transaction's that scripts called, each with the
  // number of its requests not recorded; allowed ones included.
  const std::map<std::string, std::size_t>& other_script_hosts() const {
    return other_script_hosts_;
  }
  // The script requests not recorded in this transaction because the box
  // was unticked.
  std::size_t script_requests_not_recorded() const {
    return script_requests_not_recorded_;
  }
  // The addresses of the script requests of this transaction that went out
  // without their bodies being seen, each once with its count, in the order
  // first told.
  const std::vector<std::pair<std::string, std::size_t>>&
  unannounced_script_requests() const {
    return unannounced_script_requests_;
  }
  bool ScriptHostAllowed(const std::string& host) const {
    return allowed_script_hosts_.contains(host);
  }

  // trans.xml as the replay check reads it: ReadDocumentFile
  // (document_file.h) through the session's file layer. Throws FileError or
  // DocumentReadError.
  TransactionDocument ReadDocumentForCheck() {
    return ReadDocumentFile(files_, state_.transFilePath);
  }

  // The record page that "Save Transaction" navigates to.
  std::string RecordPageUrl() const;

 private:
  void EndProgram(int status);
  // Reports a working file that could not be deleted and ends the program
  // with 1.
  void EndAfterFailedDeletion(const FileError& error);
  void ReportCaptureFailure(const FileError& error);
  void ReportIncompleteBody(const std::string& URL);
  // Appends one whole element to trans.xml and tells the observer about it.
  // A failure is reported once (see `captureFailureReported`), leaves the
  // file as it was and is told to nobody. `method` and `url` are those
  // recorded, `body_size` the size of the body the element records.
  // Returns whether the element was appended.
  bool AppendCapturedElement(std::string element, ElementKind kind,
                             const std::string& method, const std::string& url,
                             std::size_t body_size, bool script = false);
  // What the status line says of the main page's script requests not
  // recorded; "" when there were none.
  std::string UnrecordedScriptRequestsText() const;
  // The host of `url` is one of the transaction's from now on.
  void NoteTransactionHost(const std::string& url);
  // Tells the observer the answer kept for element `index`.
  void TellAnswer(std::size_t index);
  // Writes a script request's element; false when it is not recorded.
  bool RecordScriptRequest(const ScriptRequest& request);
  // Element number count() was written for a script request to `sent`.
  void ScriptRequestWritten(const std::string& sent);
  // Deletes trans.xml (and a replacement of it left behind), then
  // transName.txt, each when present. Throws FileError when a file cannot
  // be deleted; the rest is then not done.
  void DeleteWorkingFiles();
  // Deletes trans.xml and a replacement of it left behind (see
  // FileSystem::ReplaceFile), each when present. Throws FileError.
  void DeleteTransFile();
  // Goes on with the elements of a document kept from an earlier run, whose
  // content (as repaired) is `content`; returns the status line's report.
  std::string ContinueKeptDocument(const std::string& content);
  // Steps of a top-level completion that may fail; any exception takes the
  // silent route of the caller.
  void CompleteTopLevelPage(BrowserId pDisp, const std::string& URL,
                            const PageAnswer& answer);
  // The servlet's answer to the upload: a good one ends the session.
  void CompleteUpload(const std::string& URL, const PageAnswer& answer);
  // True for a page at the record page "Save Transaction" loaded.
  bool IsRecordPage(const std::string& URL) const;
  // The transaction was not handed over: the user is told `what` failed,
  // and "Save Transaction" may try again.
  void ReportUploadNotDone(const std::string& what);
  // FillFirstForm's answer for the record page at `URL`.
  void RecordPageFilled(const std::string& URL, bool filled);
  void LoadRecordPage();
  void AskForCredentials();
  // True for the reload that follows an accepted certificate.
  bool ContinuesAcceptedCertificate(const std::string& URL);
  void FillRecordPage(BrowserId pDisp, const std::string& URL);
  void CaptureRedirect(const std::string& URL, const RecordedAnswer& answer);
  // The steps that end every completion: the pending navigation is over,
  // unless `answer` says that a load the program asked for goes on (its
  // navigation pending, its busy display), or a refresh does.
  void EndPendingNavigation(const PageAnswer& answer = {});
  // Writes the status line to the window when `changed`.
  void ShowStatus(bool changed);
  // The closed transaction waits for its upload: the status line and the
  // observer say that nothing is recorded meanwhile.
  void PauseRecording();

  FileSystem& files_;
  Browser& browser_;
  MainWindowView& view_;
  ProxySettings& proxy_;
  std::string working_directory_;
  SessionState state_;
  bool ended_ = false;
  RecordedElementObserver* element_observer_ = nullptr;
  NavigationAnswers answers_;
  StatusLine status_line_;
  bool record_scripts_ = false;
  bool script_recording_told_ = false;
  // Script requests of the main page not recorded since its load started.
  std::size_t unrecorded_script_requests_ = 0;
  std::size_t script_requests_not_recorded_ = 0;
  std::set<std::string> transaction_hosts_;
  std::set<std::string> allowed_script_hosts_;
  std::map<std::string, std::size_t> other_script_hosts_;
  std::vector<std::pair<std::string, std::size_t>> unannounced_script_requests_;
  // The addresses of the script requests recorded (and of their redirects'
  // targets), whose redirects are recorded too.
  std::set<std::string> recorded_script_urls_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_RECORDING_SESSION_H_
