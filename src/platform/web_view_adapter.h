#ifndef SCRIVLET_PLATFORM_WEB_VIEW_ADAPTER_H_
#define SCRIVLET_PLATFORM_WEB_VIEW_ADAPTER_H_

#include <webkit/webkit.h>

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "platform/browser_event_dispatch.h"
#include "platform/gobject_ptr.h"
#include "platform/main_resource_watch.h"
#include "platform/network_process_watch.h"
#include "session/authentication.h"
#include "session/browser.h"
#include "session/browser_events.h"
#include "session/certificate.h"
#include "session/load_tracker.h"

namespace Gtk {
class Widget;
}

namespace scrivlet {

class WebViewAdapter;
class BrowserGroup;

// The window that shows a web view: it opens the windows that pages ask
// for, and is told before and after each of the view's events is handled.
class WebViewWindow : public DeliveryListener {
 public:
  // A page asks for a new window. Returns the adapter of the window that is
  // to show it, made with the requesting adapter as its opener; nullptr
  // refuses the request.
  virtual WebViewAdapter* NewWindow2(WebViewAdapter& opener) = 0;
  // The status text of a pop-up's view (the main view's is the session's).
  virtual void StatusTextChange(const std::string& /*text*/) {}
  // The page asks to close its window (window.close()). Ignored unless the
  // window says otherwise.
  virtual void CloseByPage() {}
};

// A WebKitWebView seen as the browser control. Navigation decisions become
// the session's WebBrowser1_BeforeNavigate2 (with the form body the page
// submitted), finished loads WebBrowser1_DocumentComplete (or
// WebBrowser1_LoadEndedWithoutPage when no page came of them), through the
// BrowserGroup that keeps their order; new-window requests go to the window.
//
// `events` and `window` must outlive the adapter. The adapter owns a
// reference to its view; the widget is placed by the window.
class WebViewAdapter : public Browser {
 public:
  // A view of its own, with fresh settings and capture script, in the
  // default network session.
  WebViewAdapter(BrowserEvents& events, WebViewWindow& window);
  // A view for a new-window request of `opener`: related to it (same web
  // process and network session) and sharing its settings, user content
  // manager and capture. Its status text goes to `window`; it has no
  // history buttons.
  WebViewAdapter(BrowserEvents& events, WebViewWindow& window,
                 WebViewAdapter& opener);
  ~WebViewAdapter() override;
  WebViewAdapter(const WebViewAdapter&) = delete;
  WebViewAdapter& operator=(const WebViewAdapter&) = delete;

  Gtk::Widget& widget() const { return *widget_; }
  WebKitWebView* view() const { return view_.get(); }

  // Browser
  BrowserId Object() const override;
  std::string FileAddress(const std::string& path) const override;
  std::string Navigate(const std::string& url) override;
  void Navigate2(const std::string& url) override;
  void Focus() override;
  void GoBack() override;
  void GoForward() override;
  void Refresh() override;
  void FillFirstForm(BrowserId target, std::array<std::string, 4> values,
                     std::function<void(bool filled)> filled) override;

  // Stops the page that is loading, in every state of its load; false when
  // none is loading.
  bool StopLoading();

 private:
  void Connect();
  // Runs a handler that may run a nested main loop, with the window told.
  template <typename Handler>
  auto Handle(Handler handler);
  static gboolean OnDecidePolicy(WebKitWebView* view,
                                 WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static void OnWebProcessTerminated(WebKitWebView* view,
                                     WebKitWebProcessTerminationReason reason,
                                     gpointer self);
  static void OnClose(WebKitWebView* view, gpointer self);
  static void OnResourceLoadStarted(WebKitWebView* view,
                                    WebKitWebResource* resource,
                                    WebKitURIRequest* request, gpointer self);
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
  BrowserEvents& events_;
  WebViewWindow& window_;
  // Where the history and status events go: the session for a main view,
  // nullptr for a pop-up (its status text goes to its window).
  BrowserEvents* chrome_events_;
  // The main view's only: every view of the program shares the one
  // network process.
  std::unique_ptr<NetworkProcessWatch> network_watch_;
  // Declared after group_, so released before it: the group's settings,
  // content manager and capture outlive the view.
  GObjectPtr<WebKitWebView> view_;
  Gtk::Widget* widget_;  // the gtkmm wrapper of view_, owned by it
  std::string status_text_;
  // What each finished top-level load completes; declared before the
  // members that feed it.
  LoadTracker loads_;
  MainResourceWatch resources_{[this](int status, std::string target) {
    loads_.Redirected(status, std::move(target));
  }};
  // StopLoading ended the page's process.
  bool ending_process_ = false;
  // Cancelled when the adapter goes: a form fill that finishes later calls
  // back nobody.
  GObjectPtr<GCancellable> pending_fills_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_WEB_VIEW_ADAPTER_H_
