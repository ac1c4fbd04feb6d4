#ifndef SCRIVLET_SESSION_BROWSER_EVENTS_H_
#define SCRIVLET_SESSION_BROWSER_EVENTS_H_

#include <optional>
#include <string>

#include "session/authentication.h"
#include "session/browser.h"
#include "session/certificate.h"
#include "session/main_window_view.h"

namespace scrivlet {

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
  virtual void WebBrowser1_DocumentComplete(BrowserId pDisp,
                                            const std::string& URL) = 0;
  // A load of a browser's top-level page ended without a new page: the
  // browser still shows the page it showed before.
  virtual void WebBrowser1_LoadEndedWithoutPage(BrowserId pDisp) = 0;
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
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_BROWSER_EVENTS_H_
