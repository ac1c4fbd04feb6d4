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

namespace scrivlet {
namespace {

// Sets the first four elements of the first form by position. The values
// arrive as arguments, never as script text.
constexpr char kFillFirstFormScript[] = R"JS(
const form = document.forms[0];
if (!form || form.elements.length < 4) return false;
form.elements[0].value = uuid;
form.elements[1].value = transactionName;
form.elements[2].value = startUrl;
form.elements[3].value = '';
form.elements[3].value = transactionDocument;
return true;
)JS";

// A GVariant string of `text`, which must be UTF-8 and end at its first NUL.
// Bytes that are not part of a valid UTF-8 sequence are taken as Latin-1
// characters, so nothing is dropped; a NUL byte becomes U+FFFD, so nothing
// after it is cut. Usually the whole text is valid already (g_utf8_validate
// refuses NUL bytes too): the variant then holds the text itself, taken
// over without a copy or a second check, for a document of megabytes.
GVariant* StringVariant(std::string text) {
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()),
                       nullptr)) {
    std::string out;
    out.reserve(text.size());
    const char* pos = text.data();
    const char* end = text.data() + text.size();
    while (pos < end) {
      if (*pos == '\0') {
        out += "\xEF\xBF\xBD";
        ++pos;
        continue;
      }
      const gunichar c =
          g_utf8_get_char_validated(pos, static_cast<gssize>(end - pos));
      if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
        char buffer[6];
        const gint n =
            g_unichar_to_utf8(static_cast<unsigned char>(*pos), buffer);
        out.append(buffer, static_cast<std::size_t>(n));
        ++pos;
      } else {
        const char* next = g_utf8_next_char(pos);
        out.append(pos, static_cast<std::size_t>(next - pos));
        pos = next;
      }
    }
    text = std::move(out);
  }
  // The serialised form of a GVariant string is its bytes and a NUL.
  auto* owned = new std::string(std::move(text));
  return g_variant_new_from_data(
      G_VARIANT_TYPE_STRING, owned->c_str(), owned->size() + 1, TRUE,
      [](gpointer data) { delete static_cast<std::string*>(data); }, owned);
}

// Tells the caller whether the script found and filled the form. A fill
// cancelled with its adapter tells nobody. A script that failed (the page
// went away meanwhile) filled nothing.
void OnFillFinished(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<std::function<void(bool)>> filled(
      static_cast<std::function<void(bool)>*>(data));
  g_autoptr(GError) error = nullptr;
  g_autoptr(JSCValue) value =
      webkit_web_view_call_async_javascript_function_finish(
          WEBKIT_WEB_VIEW(source), result, &error);
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) return;
  const bool found = value && jsc_value_is_boolean(value) &&
                     jsc_value_to_boolean(value);
  GuardCallback("form fill", [&] { (*filled)(found); });
}

// The HTTP status of the answer the view's page came with; nullopt for a
// page without one (a local file, about:blank).
std::optional<int> MainResourceStatus(WebKitWebView* view) {
  WebKitWebResource* resource = webkit_web_view_get_main_resource(view);
  if (!resource) return std::nullopt;
  WebKitURIResponse* response = webkit_web_resource_get_response(resource);
  if (!response) return std::nullopt;
  const guint status = webkit_uri_response_get_status_code(response);
  if (status == 0) return std::nullopt;
  return static_cast<int>(status);
}

// The address of the page the view has committed. Once the program has
// asked for a load, the view's address names that load, also while the
// one before it still ends.
std::string CommittedPageUrl(WebKitWebView* view) {
  WebKitBackForwardListItem* item = webkit_back_forward_list_get_current_item(
      webkit_web_view_get_back_forward_list(view));
  const char* uri = item ? webkit_back_forward_list_item_get_uri(item)
                         : webkit_web_view_get_uri(view);
  return uri ? uri : "";
}

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
      network_watch_(std::make_unique<NetworkProcessWatch>(
          [&events] { events.WebBrowser1_NetworkProcessTerminated(); })),
      pending_fills_(GObjectPtr<GCancellable>::Adopt(g_cancellable_new())) {
  view_ = GObjectPtr<WebKitWebView>::RefSink(WEBKIT_WEB_VIEW(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "settings", group_->settings(),
                   "network-session", webkit_network_session_get_default(),
                   nullptr)));
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
  group_->Add(view(), events_, &window_);
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
  if (main_resource_) {
    g_signal_handlers_disconnect_by_data(main_resource_.get(), this);
  }
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
  load_asked_ = true;
  webkit_web_view_load_uri(view(), url.c_str());
  const char* uri = webkit_web_view_get_uri(view());
  return uri ? uri : url;
}

void WebViewAdapter::Navigate2(const std::string& url) {
  load_asked_ = true;
  webkit_web_view_load_uri(view(), url.c_str());
}

void WebViewAdapter::Focus() { gtk_widget_grab_focus(GTK_WIDGET(view())); }

void WebViewAdapter::GoBack() {
  load_asked_ = true;
  webkit_web_view_go_back(view());
}

void WebViewAdapter::GoForward() {
  load_asked_ = true;
  webkit_web_view_go_forward(view());
}

void WebViewAdapter::Refresh() {
  load_asked_ = true;
  webkit_web_view_reload(view());
}

bool WebViewAdapter::StopLoading() {
  if (!webkit_web_view_is_loading(view())) return false;
  webkit_web_view_stop_loading(view());
  return true;
}

// Only the view's top-level document can be filled: a sub-frame's identity
// names no document the engine lets us address, so it is left alone.
void WebViewAdapter::FillFirstForm(BrowserId target,
                                   std::array<std::string, 4> values,
                                   std::function<void(bool filled)> filled) {
  if (target != Object()) return;
  GVariantBuilder arguments;
  g_variant_builder_init(&arguments, G_VARIANT_TYPE_VARDICT);
  const char* names[] = {"uuid", "transactionName", "startUrl",
                         "transactionDocument"};
  for (std::size_t i = 0; i < values.size(); ++i) {
    g_variant_builder_add(&arguments, "{sv}", names[i],
                          StringVariant(std::move(values[i])));
  }
  webkit_web_view_call_async_javascript_function(
      view(), kFillFirstFormScript, -1, g_variant_builder_end(&arguments),
      kRecordPageWorld, nullptr, pending_fills_.get(), &OnFillFinished,
      new std::function<void(bool)>(std::move(filled)));
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
    std::string content_type;
    if (SoupMessageHeaders* headers =
            webkit_uri_request_get_http_headers(request)) {
      if (const char* value =
              soup_message_headers_get_one(headers, "Content-Type")) {
        content_type = value;
      }
    }
    const bool form_submission =
        webkit_navigation_action_get_navigation_type(action) ==
        WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED;
    adapter->group_->EnqueueNavigation(view, decision, uri ? uri : "", post,
                                       form_submission,
                                       std::move(content_type));
    return TRUE;
  });
}

// Raised for the view's top-level page only, also after a failed load;
// LoadOutcome says what the finished load completes.
void WebViewAdapter::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event,
                                   gpointer self) {
  GuardCallback("load-changed", [&] {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    if (event == WEBKIT_LOAD_STARTED) {
      adapter->load_asked_ = false;
      adapter->load_.Started();
      if (adapter->network_watch_) adapter->network_watch_->Watch();
    }
    if (event == WEBKIT_LOAD_COMMITTED) adapter->load_.Committed();
    if (event != WEBKIT_LOAD_FINISHED) return;
    const char* uri = webkit_web_view_get_uri(view);
    std::string url = adapter->load_asked_ ? CommittedPageUrl(view)
                                           : std::string(uri ? uri : "");
    LoadCompletion completion =
        adapter->load_.Finished(url, MainResourceStatus(view));
    completion.answer.replaced_by_asked_load = adapter->load_asked_;
    adapter->group_->EnqueueCompletion(view, std::move(completion));
  });
}

// The engine raises no load event for the load the process took with it;
// the load in progress ends here, without a page.
void WebViewAdapter::OnWebProcessTerminated(WebKitWebView* view,
                                            WebKitWebProcessTerminationReason,
                                            gpointer self) {
  GuardCallback("web-process-terminated", [&] {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    adapter->load_.Started();
    adapter->group_->EnqueueWebProcessTerminated(view);
  });
}

// The top-level page's resource tells the redirects of its request; its
// final answer is the view's main resource's, read when the load finishes.
// A sub-frame's document is one of the view's resources; its answer is
// handed to the group, which gives it to the frame's load. The resource may
// outlive the adapter, so its handler holds the group weakly.
void WebViewAdapter::OnResourceLoadStarted(WebKitWebView* view,
                                           WebKitWebResource* resource,
                                           WebKitURIRequest*, gpointer self) {
  auto* adapter = static_cast<WebViewAdapter*>(self);
  if (resource == webkit_web_view_get_main_resource(view)) {
    if (adapter->main_resource_) {
      g_signal_handlers_disconnect_by_data(adapter->main_resource_.get(),
                                           adapter);
    }
    adapter->main_resource_ = GObjectPtr<WebKitWebResource>::Ref(resource);
    g_signal_connect(resource, "sent-request",
                     G_CALLBACK(&OnMainResourceSentRequest), adapter);
  }
  using Group = std::weak_ptr<BrowserGroup>;
  auto on_response = +[](WebKitWebResource* answered, GParamSpec*,
                         gpointer group) {
    GuardCallback("notify::response", [&] {
      WebKitURIResponse* response = webkit_web_resource_get_response(answered);
      const std::shared_ptr<BrowserGroup> alive =
          static_cast<Group*>(group)->lock();
      if (!alive || !response) return;
      const guint status = webkit_uri_response_get_status_code(response);
      const char* uri = webkit_uri_response_get_uri(response);
      if (status > 0 && uri) alive->NoteAnswer(uri, static_cast<int>(status));
    });
  };
  g_signal_connect_data(
      resource, "notify::response", G_CALLBACK(on_response),
      new Group(adapter->group_),
      [](gpointer group, GClosure*) { delete static_cast<Group*>(group); },
      static_cast<GConnectFlags>(0));
}

// Sent again for each redirect, with the answer that caused it.
void WebViewAdapter::OnMainResourceSentRequest(
    WebKitWebResource*, WebKitURIRequest* request,
    WebKitURIResponse* redirected_response, gpointer self) {
  GuardCallback("sent-request", [&] {
    if (!redirected_response) return;
    const guint status =
        webkit_uri_response_get_status_code(redirected_response);
    const char* target = webkit_uri_request_get_uri(request);
    if (status == 0 || !target) return;
    static_cast<WebViewAdapter*>(self)->load_.Redirected(
        static_cast<int>(status), target);
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
    static_cast<WebViewAdapter*>(self)->load_.Failed(
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
    if (!failing_uri || !certificate) return FALSE;
    CertificateProblem problem;
    problem.url = failing_uri;
    g_autoptr(GUri) parsed = g_uri_parse(failing_uri, G_URI_FLAGS_NONE,
                                         nullptr);
    if (!parsed) return FALSE;
    if (const char* host = g_uri_get_host(parsed)) problem.host = host;
    if (problem.host.empty()) return FALSE;
    const std::pair<GTlsCertificateFlags, CertificateFault> kFaults[] = {
        {G_TLS_CERTIFICATE_UNKNOWN_CA, CertificateFault::kUnknownAuthority},
        {G_TLS_CERTIFICATE_BAD_IDENTITY, CertificateFault::kWrongHost},
        {G_TLS_CERTIFICATE_NOT_ACTIVATED, CertificateFault::kNotYetValid},
        {G_TLS_CERTIFICATE_EXPIRED, CertificateFault::kExpired},
        {G_TLS_CERTIFICATE_REVOKED, CertificateFault::kRevoked},
        {G_TLS_CERTIFICATE_INSECURE, CertificateFault::kInsecure},
        {G_TLS_CERTIFICATE_GENERIC_ERROR, CertificateFault::kUnchecked}};
    for (const auto& [flag, fault] : kFaults) {
      if (errors & flag) problem.faults.push_back(fault);
    }
    g_autofree char* pem = nullptr;
    g_object_get(certificate, "certificate-pem", &pem, nullptr);
    if (pem) problem.certificate_pem = pem;
    const auto held_view = GObjectPtr<WebKitWebView>::Ref(view);
    const auto held_certificate = GObjectPtr<GTlsCertificate>::Ref(certificate);
    auto* adapter = static_cast<WebViewAdapter*>(self);
    if (!adapter->Handle([&] {
          return adapter->events_.WebBrowser1_CertificateError(problem);
        })) {
      return FALSE;
    }
    webkit_network_session_allow_tls_certificate_for_host(
        webkit_web_view_get_network_session(held_view.get()),
        held_certificate.get(), problem.host.c_str());
    webkit_web_view_load_uri(held_view.get(), problem.url.c_str());
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
