#ifndef SCRIVLET_SESSION_BROWSER_EVENTS_H_
#define SCRIVLET_SESSION_BROWSER_EVENTS_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "session/authentication.h"
#include "session/browser.h"
#include "session/certificate.h"
#include "session/main_window_view.h"

namespace scrivlet {

// The first answer of a page that the server redirected: its status and
// the address it sent the browser on to.
struct RedirectHop {
  int status = 0;
  std::string target;
  bool operator==(const RedirectHop&) const = default;
};

// What a finished load of a page got from the network: a plain value that
// the browser adapter fills from the engine's response.
struct PageAnswer {
  // The HTTP status of the page's answer; nullopt when the page came
  // without one (a local file, about:blank, the engine's error page).
  std::optional<int> status;
  // The engine shows its error page: no answer came (no host, the
  // connection refused, a certificate refused).
  bool error_page = false;
  // The engine's reason for its error page ("" otherwise).
  std::string error;
  // The answer to the request itself when the server redirected it;
  // `status` is then the answer of the page the redirects ended at.
  std::optional<RedirectHop> redirect;
  // The page ended because a load the program asked for replaces it, and
  // that load has not started yet: the address box and the busy display
  // are that load's.
  bool replaced_by_asked_load = false;
  // The address of that load's navigation when it came before this end
  // ("" when it has not come yet): the navigation that is now pending.
  std::string asked_load_url{};
  // A refresh was asked for and this is not the end of its own load: capture
  // stays paused.
  bool refresh_goes_on = false;
  bool operator==(const PageAnswer&) const = default;
};

// A request a page's script made (fetch, XMLHttpRequest, sendBeacon) that
// the browser saw go out, with what the script gave it.
struct ScriptRequest {
  std::string kind;  // "fetch", "xhr" or "beacon"
  std::string method;
  std::string url;
  // The headers the script set (and the Content-Type its body implies), in
  // the order set.
  std::vector<std::pair<std::string, std::string>> headers;
  // The bytes sent; absent without a body.
  std::optional<std::string> body;
  // With kind "redirect": the address of the script request (or of the
  // hop before) that the server redirected to `url`.
  std::string redirected_from;
};

// The events a browser of the session raises, in plain values: the handlers
// the session gives the browser adapter. The adapter calls them on the
// user-interface thread, one at a time and in the order the engine reported
// them. Every browser of the session (the main view and its pop-ups) raises
// the page events; only the main view raises the command and status events,
// since a pop-up has no history buttons and a status bar of its own.
class BrowserEvents {
 public:
  virtual ~BrowserEvents() = default;

  // `post_data` is absent for a navigation without a body. `headers` is the
  // extra request-header text ("" when none). `body_complete` is false when
  // the browser could not learn the whole body in time.
  virtual void WebBrowser1_BeforeNavigate2(
      BrowserId pDisp, const std::string& URL,
      const std::optional<std::string>& PostData, const std::string& Headers,
      bool body_complete = true) = 0;
  // `answer` is what the page at `URL` got; a sub-frame's answer is not
  // known (a default PageAnswer).
  virtual void WebBrowser1_DocumentComplete(BrowserId pDisp,
                                            const std::string& URL,
                                            const PageAnswer& answer = {}) = 0;
  // A load of a browser's top-level page ended without a new page: the
  // browser still shows the page it showed before. `answer` tells whether a
  // load asked for replaced it (its status and address are empty).
  virtual void WebBrowser1_LoadEndedWithoutPage(
      BrowserId pDisp, const PageAnswer& answer = {}) = 0;
  // The process that rendered the view `pDisp` ended (a crash, the
  // out-of-memory killer): its load in progress produced no page, and the
  // view shows nothing live until it loads again.
  virtual void WebBrowser1_WebProcessTerminated(BrowserId pDisp) = 0;
  // The engine's network process ended. The engine starts a new one for
  // the next load, which holds none of the sites' session cookies. Raised
  // by the main view only.
  virtual void WebBrowser1_NetworkProcessTerminated() = 0;
  // kForwardCommand or kBackCommand (session/browser.h).
  virtual void WebBrowser1_CommandStateChange(long Command, bool Enable) = 0;
  virtual void WebBrowser1_StatusTextChange(const std::string& Text) = 0;
  // A server or proxy asks for credentials: the credentials to answer with,
  // or nullopt to leave the question to the browser's own prompt.
  virtual std::optional<Credentials> WebBrowser1_Authenticate(
      const AuthenticationChallenge& challenge) = 0;
  // A page did not load because its certificate is not trusted. true: the
  // certificate is to be accepted for the host and the page loaded again;
  // false: the browser shows its error page.
  virtual bool WebBrowser1_CertificateError(
      const CertificateProblem& problem) = 0;
  // A page's script sent `request`; raised only while script requests are
  // recorded.
  virtual void WebBrowser1_ScriptRequest(const ScriptRequest& /*request*/) {}
  // A request a page's script made to `URL` has ended, recorded or not.
  virtual void WebBrowser1_ScriptRequestSeen(const std::string& /*URL*/) {}
  // A request a page's script made to `URL` went out, while script
  // requests are recorded, without its body being seen (it was not
  // announced, or its body could not be read).
  virtual void WebBrowser1_ScriptRequestUnannounced(
      const std::string& /*URL*/) {}
  // One of the views' resources (a page, a frame, an image, a script's
  // request) got an answer with `status` from `URL`.
  virtual void WebBrowser1_ResourceAnswered(const std::string& /*URL*/,
                                            int /*status*/) {}
  // One of the views' resources, loaded from `URL`, failed with no answer
  // for `reason`, as the engine says it.
  virtual void WebBrowser1_ResourceFailed(const std::string& /*URL*/,
                                          const std::string& /*reason*/) {}
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_BROWSER_EVENTS_H_
