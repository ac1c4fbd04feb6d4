#include "platform/web_view_adapter.h"

#include <gtkmm/widget.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/browser_group.h"
#include "platform/callback_guard.h"
#include "platform/record_page_fill.h"
#include "platform/tls_certificate_problem.h"

namespace scrivlet {
namespace {

LoadFailure FailureOf(const GError* error) {
  if (g_error_matches(error, WEBKIT_NETWORK_ERROR,
                      WEBKIT_NETWORK_ERROR_CANCELLED)) {
    return LoadFailure::kCancelled;
  }
  if (g_error_matches(
          error, WEBKIT_POLICY_ERROR,
          WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE)) {
    return LoadFailure::kIgnoredByPolicy;
  }
  if (g_error_matches(error, WEBKIT_MEDIA_ERROR,
                      WEBKIT_MEDIA_ERROR_WILL_HANDLE_LOAD)) {
    return LoadFailure::kTakenByPlayer;
  }
  return LoadFailure::kOther;
}

}  // namespace

WebViewAdapter::WebViewAdapter(BrowserEvents& events, WebViewWindow& window)
    : group_(std::make_shared<BrowserGroup>()),
      events_(events),
      window_(window),
      chrome_events_(&events),
      pending_fills_(GObjectPtr<GCancellable>::Adopt(g_cancellable_new())) {
  view_ = GObjectPtr<WebKitWebView>::RefSink(WEBKIT_WEB_VIEW(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "settings", group_->settings(),
                   "network-session", webkit_network_session_get_default(),
                   nullptr)));
  network_watch_ = std::make_unique<NetworkProcessWatch>(
      view(), [&events] { events.WebBrowser1_NetworkProcessTerminated(); });
  Connect();
}

// The related view alone would get settings of its own; they are handed
// over explicitly so that the pop-up may open windows from script too. Its
// forms are captured like every page's, by the web process extension.
WebViewAdapter::WebViewAdapter(BrowserEvents& events, WebViewWindow& window,
                               WebViewAdapter& opener)
    : group_(opener.group_),
      events_(events),
      window_(window),
      chrome_events_(nullptr),
      pending_fills_(GObjectPtr<GCancellable>::Adopt(g_cancellable_new())) {
  view_ = GObjectPtr<WebKitWebView>::RefSink(WEBKIT_WEB_VIEW(g_object_new(
      WEBKIT_TYPE_WEB_VIEW, "related-view", opener.view(), "settings",
      group_->settings(), nullptr)));
  Connect();
}

void WebViewAdapter::Connect() {
  widget_ = Glib::wrap(GTK_WIDGET(view()));
  group_->Add(view(), events_, &window_, loads_);
  g_signal_connect(view(), "decide-policy", G_CALLBACK(&OnDecidePolicy), this);
  g_signal_connect(view(), "load-changed", G_CALLBACK(&OnLoadChanged), this);
  g_signal_connect(view(), "load-failed", G_CALLBACK(&OnLoadFailed), this);
  g_signal_connect(view(), "load-failed-with-tls-errors",
                   G_CALLBACK(&OnLoadFailedWithTlsErrors), this);
  g_signal_connect(view(), "create", G_CALLBACK(&OnCreate), this);
  g_signal_connect(view(), "close", G_CALLBACK(&OnClose), this);
  g_signal_connect(view(), "resource-load-started",
                   G_CALLBACK(&OnResourceLoadStarted), this);
  g_signal_connect(view(), "web-process-terminated",
                   G_CALLBACK(&OnWebProcessTerminated), this);
  g_signal_connect(view(), "authenticate", G_CALLBACK(&OnAuthenticate), this);
  g_signal_connect(view(), "user-message-received",
                   G_CALLBACK(&OnUserMessage), this);
  g_signal_connect(view(), "mouse-target-changed",
                   G_CALLBACK(&OnMouseTargetChanged), this);
  g_signal_connect(webkit_web_view_get_back_forward_list(view()), "changed",
                   G_CALLBACK(&OnBackForwardChanged), this);
}

// The view is released after this body, before the group (see view_).
WebViewAdapter::~WebViewAdapter() {
  g_cancellable_cancel(pending_fills_.get());
  group_->Remove(view());
  g_signal_handlers_disconnect_by_data(
      webkit_web_view_get_back_forward_list(view()), this);
  g_signal_handlers_disconnect_by_data(view(), this);
}

BrowserId WebViewAdapter::Object() const {
  return reinterpret_cast<BrowserId>(view());
}

std::string WebViewAdapter::FileAddress(const std::string& path) const {
  g_autoptr(GError) error = nullptr;
  g_autofree gchar* uri = g_filename_to_uri(path.c_str(), nullptr, &error);
  if (uri == nullptr) {
    throw std::runtime_error(
        "the path " + path + " cannot be written as an address: " +
        (error ? error->message : "not an absolute path"));
  }
  return uri;
}

// The window is told before and after, also when the handler throws: a
// pop-up closed in the handler's nested loop waits for the end.
template <typename Handler>
auto WebViewAdapter::Handle(Handler handler) {
  struct Told {
    WebViewWindow& window;
    ~Told() { window.DeliveryEnded(); }
  };
  window_.DeliveryStarted();
  Told told{window_};
  return handler();
}

// The engine parses the address at the call and reports the load under
// its own spelling of it from then on, which is what the view's address
// holds right after the call.
std::string WebViewAdapter::Navigate(const std::string& url) {
  Navigate2(url);
  const char* uri = webkit_web_view_get_uri(view());
  return uri ? uri : url;
}

void WebViewAdapter::Navigate2(const std::string& url) {
  loads_.Asked(AskedLoad::kNavigate);
  webkit_web_view_load_uri(view(), url.c_str());
}

void WebViewAdapter::Focus() { gtk_widget_grab_focus(GTK_WIDGET(view())); }

void WebViewAdapter::GoBack() {
  loads_.Asked(AskedLoad::kBack);
  webkit_web_view_go_back(view());
}

void WebViewAdapter::GoForward() {
  loads_.Asked(AskedLoad::kForward);
  webkit_web_view_go_forward(view());
}

void WebViewAdapter::Refresh() {
  const std::optional<std::string> target = loads_.RefreshTarget();
  loads_.Asked(AskedLoad::kRefresh);
  if (target) {
    webkit_web_view_load_uri(view(), target->c_str());
  } else {
    webkit_web_view_reload(view());
  }
}

// The engine's stop reaches the page's process behind all the answer that
// process has still to read, so an answer that comes faster than the page
// takes it (a page of gigabytes) is never stopped so: the page's process is
// ended instead, and the view shows no page until it loads again. The load
// completes at once either way.
bool WebViewAdapter::StopLoading() {
  if (!webkit_web_view_is_loading(view())) return false;
  const bool answer_arriving =
      loads_.PageCommitted() && resources_.AnswerArriving();
  if (std::optional<LoadCompletion> completion =
          loads_.Stopped(resources_.CommittedResponse())) {
    group_->EnqueueCompletion(view(), std::move(*completion));
  }
  webkit_web_view_stop_loading(view());
  if (answer_arriving) {
    ending_process_ = true;
    webkit_web_view_terminate_web_process(view());
  }
  return true;
}

// Only the view's top-level document can be filled: a sub-frame's identity
// names no document the engine lets us address, so it is left alone.
void WebViewAdapter::FillFirstForm(BrowserId target,
                                   std::array<std::string, 4> values,
                                   std::function<void(bool filled)> filled) {
  if (target != Object()) return;
  FillFirstFormOf(view(), std::move(values), pending_fills_.get(),
                  std::move(filled));
}

// The capture script's messages come from the web process extension of the
// page's process, through the view.
gboolean WebViewAdapter::OnUserMessage(WebKitWebView*,
                                       WebKitUserMessage* message,
                                       gpointer self) {
  return GuardCallback("user-message-received", FALSE, [&]() -> gboolean {
    return static_cast<WebViewAdapter*>(self)->group_->HandleUserMessage(
        message);
  });
}

// A navigation of the page or of one of its frames. A server redirect is no
// new navigation: WebKit asks again for each hop, and the page completion
// records where the page ended.
gboolean WebViewAdapter::OnDecidePolicy(WebKitWebView* view,
                                        WebKitPolicyDecision* decision,
                                        WebKitPolicyDecisionType type,
                                        gpointer self) {
  return GuardCallback("decide-policy", FALSE, [&]() -> gboolean {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
    auto* adapter = static_cast<WebViewAdapter*>(self);
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    if (webkit_navigation_action_is_redirect(action)) return FALSE;
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const char* uri = webkit_uri_request_get_uri(request);
    const char* method = webkit_uri_request_get_http_method(request);
    const bool post = method && g_ascii_strcasecmp(method, "POST") == 0;
    SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request);
    const char* body_type =
        headers ? soup_message_headers_get_one(headers, "Content-Type") : nullptr;
    std::string content_type = body_type ? body_type : "";
    const bool form_submission =
        webkit_navigation_action_get_navigation_type(action) ==
        WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED;
    const char* shown = webkit_web_view_get_uri(view);
    if (!post && adapter->loads_.StaysInDocument(shown ? shown : "",
                                                 uri ? uri : "")) {
      return FALSE;  // the engine scrolls; nothing is sent
    }
    adapter->loads_.NavigationDecided(uri ? uri : "");
    adapter->group_->EnqueueNavigation(view, decision, uri ? uri : "", post,
                                       form_submission,
                                       std::move(content_type));
    return TRUE;
  });
}

// Raised for the view's top-level page only, also after a failed load.
void WebViewAdapter::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event,
                                   gpointer self) {
  GuardCallback("load-changed", [&] {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    const char* uri = webkit_web_view_get_uri(view);
    switch (event) {
      case WEBKIT_LOAD_STARTED:
        adapter->loads_.Started(uri ? uri : "");
        break;
      case WEBKIT_LOAD_COMMITTED:
        adapter->resources_.Committed(webkit_web_view_get_main_resource(view));
        adapter->loads_.Committed(uri ? uri : "");
        break;
      case WEBKIT_LOAD_FINISHED:
        if (std::optional<LoadCompletion> completion = adapter->loads_.Finished(
                adapter->resources_.CommittedResponse())) {
          adapter->group_->EnqueueCompletion(view, std::move(*completion));
        }
        break;
      default:
        break;
    }
  });
}

// The engine raises no load event for the load the process took with it. A
// process that Stop ended is no failure to tell.
void WebViewAdapter::OnWebProcessTerminated(
    WebKitWebView* view, WebKitWebProcessTerminationReason reason,
    gpointer self) {
  GuardCallback("web-process-terminated", [&] {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    adapter->loads_.ProcessEnded();
    if (std::exchange(adapter->ending_process_, false) &&
        reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) {
      return;
    }
    adapter->group_->EnqueueWebProcessTerminated(view);
  });
}

// The top-level page's resource tells the redirects of its request; a
// sub-frame's document is one of the view's resources, whose answer the
// group gives to the frame's load.
void WebViewAdapter::OnResourceLoadStarted(WebKitWebView* view,
                                           WebKitWebResource* resource,
                                           WebKitURIRequest*, gpointer self) {
  GuardCallback("resource-load-started", [&] {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    if (resource == webkit_web_view_get_main_resource(view)) {
      adapter->resources_.Follow(resource);
    }
    adapter->group_->WatchAnswer(resource);
  });
}

void WebViewAdapter::OnClose(WebKitWebView*, gpointer self) {
  GuardCallback("close", [&] {
    static_cast<WebViewAdapter*>(self)->window_.CloseByPage();
  });
}

gboolean WebViewAdapter::OnLoadFailed(WebKitWebView*, WebKitLoadEvent event,
                                      const char* failing_uri, GError* error,
                                      gpointer self) {
  GuardCallback("load-failed", [&] {
    static_cast<WebViewAdapter*>(self)->loads_.Failed(
        FailureOf(error), event != WEBKIT_LOAD_COMMITTED,
        failing_uri ? failing_uri : "", error ? error->message : "");
  });
  return FALSE;
}

GtkWidget* WebViewAdapter::OnCreate(WebKitWebView*, WebKitNavigationAction*,
                                    gpointer self) {
  return GuardCallback("create", static_cast<GtkWidget*>(nullptr),
                       [&]() -> GtkWidget* {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    WebViewAdapter* created = adapter->window_.NewWindow2(*adapter);
    return created ? GTK_WIDGET(created->view()) : nullptr;
  });
}

void WebViewAdapter::OnMouseTargetChanged(WebKitWebView*,
                                          WebKitHitTestResult* hit, guint,
                                          gpointer self) {
  GuardCallback("mouse-target-changed", [&] {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    std::string text;
    if (webkit_hit_test_result_context_is_link(hit)) {
      if (const char* uri = webkit_hit_test_result_get_link_uri(hit))
        text = uri;
    }
    if (text == adapter->status_text_) return;
    adapter->status_text_ = text;
    if (adapter->chrome_events_) {
      adapter->chrome_events_->WebBrowser1_StatusTextChange(text);
    } else {
      adapter->window_.StatusTextChange(text);
    }
  });
}

// TRUE takes the failure over: no error page, the address loads again with
// the certificate accepted for its host. FALSE lets the engine go on to its
// error page. Answered or not, the load failed before its page was
// committed; when the question is declined the engine's error page follows
// (OnLoadFailed), when it is accepted the load ends without a page and the
// reload starts. The question runs a nested main loop; the view is held for
// it, and the window waits for its end before it may go.
gboolean WebViewAdapter::OnLoadFailedWithTlsErrors(
    WebKitWebView* view, gchar* failing_uri, GTlsCertificate* certificate,
    GTlsCertificateFlags errors, gpointer self) {
  return GuardCallback("load-failed-with-tls-errors", FALSE,
                       [&]() -> gboolean {
    if (!certificate) return FALSE;
    const std::optional<CertificateProblem> problem =
        CertificateProblemOf(failing_uri, certificate, errors);
    if (!problem) return FALSE;
    const auto held_view = GObjectPtr<WebKitWebView>::Ref(view);
    const auto held_certificate = GObjectPtr<GTlsCertificate>::Ref(certificate);
    auto* adapter = static_cast<WebViewAdapter*>(self);
    if (!adapter->Handle([&] {
          return adapter->events_.WebBrowser1_CertificateError(*problem);
        })) {
      return FALSE;
    }
    AcceptCertificateAndReload(held_view.get(), held_certificate.get(),
                               *problem);
    return TRUE;
  });
}

// Returning FALSE lets the engine's default handler show its own prompt.
// The credential lives only for this one answer: the engine is told not to
// keep it, and nothing is written anywhere.
gboolean WebViewAdapter::OnAuthenticate(WebKitWebView*,
                                        WebKitAuthenticationRequest* request,
                                        gpointer self) {
  return GuardCallback("authenticate", FALSE, [&]() -> gboolean {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    AuthenticationChallenge challenge;
    challenge.for_proxy = webkit_authentication_request_is_for_proxy(request);
    challenge.basic = webkit_authentication_request_get_scheme(request) ==
                      WEBKIT_AUTHENTICATION_SCHEME_HTTP_BASIC;
    challenge.retry = webkit_authentication_request_is_retry(request);
    if (const char* host = webkit_authentication_request_get_host(request)) {
      challenge.host = host;
    }
    challenge.port = webkit_authentication_request_get_port(request);
    if (const char* realm = webkit_authentication_request_get_realm(request)) {
      challenge.realm = realm;
    }
    const std::optional<Credentials> answer =
        adapter->events_.WebBrowser1_Authenticate(challenge);
    if (!answer) {
      // The engine's prompt would offer to remember the password beyond
      // this process; it is asked for each session instead.
      webkit_authentication_request_set_can_save_credentials(request, FALSE);
      return FALSE;
    }
    g_autoptr(WebKitCredential) credential = webkit_credential_new(
        answer->user_name.c_str(), answer->password.c_str(),
        WEBKIT_CREDENTIAL_PERSISTENCE_NONE);
    webkit_authentication_request_authenticate(request, credential);
    return TRUE;
  });
}

// Only the main view's history has buttons.
void WebViewAdapter::OnBackForwardChanged(WebKitBackForwardList*,
                                          WebKitBackForwardListItem*, gpointer,
                                          gpointer self) {
  GuardCallback("back-forward list", [&] {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    if (!adapter->chrome_events_) return;
    const bool back = webkit_web_view_can_go_back(adapter->view());
    const bool forward = webkit_web_view_can_go_forward(adapter->view());
    adapter->chrome_events_->WebBrowser1_CommandStateChange(kBackCommand, back);
    adapter->chrome_events_->WebBrowser1_CommandStateChange(kForwardCommand,
                                                            forward);
  });
}

}  // namespace scrivlet
