#ifndef SCRIVLET_PLATFORM_WEB_VIEW_ADAPTER_H_
#define SCRIVLET_PLATFORM_WEB_VIEW_ADAPTER_H_

#include <webkit/webkit.h>

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "platform/gobject_ptr.h"
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

  // `body_complete` is false when the post's body could not be known in
  // full in time; `post_data` then holds what was known.
  virtual void BeforeNavigate2(BrowserId pDisp, const std::string& url,
                               const std::optional<std::string>& post_data,
                               const std::string& headers,
                               bool body_complete) = 0;
  virtual void DocumentComplete(BrowserId pDisp, const std::string& url) = 0;
  // A load of the view's top-level page ended without a new page: the
  // view still shows the page it showed before.
  virtual void LoadEndedWithoutPage(BrowserId pDisp) = 0;
  // A page asks for a new window. Returns the adapter of the window that is
  // to show it, made with the requesting adapter as its opener; nullptr
  // refuses the request.
  virtual WebViewAdapter* NewWindow2(WebViewAdapter& opener) = 0;
  // kForwardCommand or kBackCommand (session/browser.h).
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
// DocumentComplete (or LoadEndedWithoutPage when no page came of them),
// new-window requests NewWindow2.
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
  WebKitWebView* view() const { return view_.get(); }

  // Browser
  BrowserId Object() const override;
  std::string FileAddress(const std::string& path) const override;
  void Navigate(const std::string& url) override;
  void Navigate2(const std::string& url) override;
  void Focus() override;
  void GoBack() override;
  void GoForward() override;
  void Refresh() override;
  void FillFirstForm(BrowserId target,
                     std::array<std::string, 4> values) override;

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
                               const char* failing_uri, GError* error,
                               gpointer self);
  static GtkWidget* OnCreate(WebKitWebView* view,
                             WebKitNavigationAction* action, gpointer self);
  static gboolean OnUserMessage(WebKitWebView* view,
                                WebKitUserMessage* message, gpointer self);
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
  // Declared after group_, so released before it: the group's settings,
  // content manager and capture outlive the view.
  GObjectPtr<WebKitWebView> view_;
  Gtk::Widget* widget_;  // the gtkmm wrapper of view_, owned by it
  std::string status_text_;
  // Of the top-level load in progress: whether its page has come (it was
  // committed, or the engine shows its error page at the failing address),
  // and the failing address when it is the error page's.
  bool load_shows_page_ = false;
  std::string error_page_uri_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_WEB_VIEW_ADAPTER_H_
