#ifndef SCRIVLET_PLATFORM_WEB_VIEW_ADAPTER_H_
#define SCRIVLET_PLATFORM_WEB_VIEW_ADAPTER_H_

#include <webkit/webkit.h>

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "session/authentication.h"
#include "session/browser.h"
#include "session/certificate.h"
#include "session/main_window_view.h"

namespace Gtk {
class Widget;
}

namespace scrivlet {

class WebViewAdapter;
class BrowserGroup;

// The events of one web view, in the terms of the browser control. The
// window that holds the view implements it; the adapter calls it on the
// user-interface thread, one event at a time and in the order the engine
// reported them.
class WebViewEvents {
 public:
  virtual ~WebViewEvents() = default;

  virtual void BeforeNavigate2(BrowserId pDisp, const std::string& url,
                               const std::optional<std::string>& post_data,
                               const std::string& headers) = 0;
  virtual void DocumentComplete(BrowserId pDisp, const std::string& url) = 0;
  // A page asks for a new window. Returns the adapter of the window that is
  // to show it, made with the requesting adapter as its opener; nullptr
  // refuses the request.
  virtual WebViewAdapter* NewWindow2(WebViewAdapter& opener) = 0;
  // 1 forward, 2 back.
  virtual void CommandStateChange(long command, bool enable) = 0;
  virtual void StatusTextChange(const std::string& text) = 0;
  // A server or proxy asks for credentials. The credentials to answer with,
  // or nullopt (the default) to leave the question to the engine's own
  // prompt.
  virtual std::optional<Credentials> Authenticate(
      const AuthenticationChallenge& /*challenge*/) {
    return std::nullopt;
  }
  // A page did not load because its certificate is not trusted. true: the
  // certificate is to be accepted for the host and the page loaded again;
  // false (the default): the engine shows its error page.
  virtual bool CertificateError(const CertificateProblem& /*problem*/) {
    return false;
  }
};

// A WebKitWebView seen as the browser control. Navigation decisions become
// BeforeNavigate2 (with the form body the page submitted), finished loads
// DocumentComplete, new-window requests NewWindow2.
//
// `events` must outlive the adapter. The adapter owns a reference to its
// view; the widget is placed by the window.
class WebViewAdapter : public Browser {
 public:
  // A view of its own, with fresh settings and capture script, in the
  // default network session.
  explicit WebViewAdapter(WebViewEvents& events);
  // A view for a new-window request of `opener`: related to it (same web
  // process and network session) and sharing its settings, user content
  // manager and capture.
  WebViewAdapter(WebViewEvents& events, WebViewAdapter& opener);
  ~WebViewAdapter() override;
  WebViewAdapter(const WebViewAdapter&) = delete;
  WebViewAdapter& operator=(const WebViewAdapter&) = delete;

  Gtk::Widget& widget() const { return *widget_; }
  WebKitWebView* view() const { return view_; }

  // Browser
  BrowserId Object() const override;
  void Navigate(const std::string& url) override;
  void Navigate2(const std::string& url) override;
  void GoBack() override;
  void GoForward() override;
  void Refresh() override;
  void FillFirstForm(BrowserId target,
                     const std::array<std::string, 4>& values) override;

  // Stops the page that is loading; false when none is.
  bool StopLoading();

 private:
  friend class BrowserGroup;

  void Connect();
  static gboolean OnDecidePolicy(WebKitWebView* view,
                                 WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event,
                            gpointer self);
  static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent event,
                               gchar* failing_uri, GError* error,
                               gpointer self);
  static GtkWidget* OnCreate(WebKitWebView* view,
                             WebKitNavigationAction* action, gpointer self);
  static void OnMouseTargetChanged(WebKitWebView* view,
                                   WebKitHitTestResult* hit, guint modifiers,
                                   gpointer self);
  static gboolean OnLoadFailedWithTlsErrors(WebKitWebView* view,
                                            gchar* failing_uri,
                                            GTlsCertificate* certificate,
                                            GTlsCertificateFlags errors,
                                            gpointer self);
  static gboolean OnAuthenticate(WebKitWebView* view,
                                 WebKitAuthenticationRequest* request,
                                 gpointer self);
  static void OnBackForwardChanged(WebKitBackForwardList* list,
                                   WebKitBackForwardListItem* added,
                                   gpointer removed, gpointer self);

  std::shared_ptr<BrowserGroup> group_;
  WebViewEvents& events_;
  WebKitWebView* view_;  // owned reference
  Gtk::Widget* widget_;  // the gtkmm wrapper of view_, owned by it
  std::string status_text_;
  // The address of the current load when it failed before its page was
  // committed (stopped, refused, unreachable); "" otherwise.
  std::string uncommitted_failure_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_WEB_VIEW_ADAPTER_H_
