#include "platform/web_view_adapter.h"

#include <gtkmm/widget.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/browser_event_queue.h"
#include "platform/form_capture.h"
#include "platform/frame_ids.h"
#include "platform/gobject_ptr.h"

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

void OnFillFinished(GObject* source, GAsyncResult* result, gpointer) {
  GError* error = nullptr;
  JSCValue* value = webkit_web_view_call_async_javascript_function_finish(
      WEBKIT_WEB_VIEW(source), result, &error);
  // A page without a fitting form is left alone, silently.
  if (value) g_object_unref(value);
  g_clear_error(&error);
}

}  // namespace

// Shared by a main view and every pop-up opened from it: the settings, the
// capture script, the frames' identities, and one BrowserEventQueue through
// which all of their events reach the windows in the order the engine
// reported them. The queue decides what comes next; this class feeds it,
// delivers, runs its timer and answers the engine's policy decisions.
class BrowserGroup {
 public:
  BrowserGroup()
      : settings_(GObjectPtr<WebKitSettings>::Adopt(webkit_settings_new())) {
    // Pages may open windows from script, as with the link targets.
    webkit_settings_set_javascript_can_open_windows_automatically(
        settings_.get(), TRUE);
    capture_.on_submission = [this](FormSubmission submission) {
      queue_.AddSubmission(std::move(submission), g_get_monotonic_time());
      Process();
    };
    capture_.on_frame_load = [this](const FrameLoad& load) {
      OnFrameLoad(load);
    };
  }
  ~BrowserGroup() {
    if (timer_) g_source_remove(timer_);
  }
  BrowserGroup(const BrowserGroup&) = delete;
  BrowserGroup& operator=(const BrowserGroup&) = delete;

  WebKitSettings* settings() const { return settings_.get(); }
  bool HandleUserMessage(WebKitUserMessage* message) {
    return capture_.HandleUserMessage(message);
  }

  void Add(WebViewAdapter* adapter) { adapters_.push_back(adapter); }

  // Drops the adapter and its queued events; its pending decisions are
  // ignored, since its view goes away.
  void Remove(WebViewAdapter* adapter) {
    adapters_.erase(std::remove(adapters_.begin(), adapters_.end(), adapter),
                    adapters_.end());
    for (const std::uint64_t sequence : queue_.DropView(adapter->Object())) {
      GObjectPtr<WebKitPolicyDecision> decision = TakeDecision(sequence);
      if (decision) webkit_policy_decision_ignore(decision.get());
    }
  }

  void EnqueueNavigation(WebViewAdapter* adapter,
                         WebKitPolicyDecision* decision, std::string url,
                         bool post, bool form_submission,
                         std::string content_type) {
    BrowserEvent event;
    event.kind = BrowserEvent::Kind::kNavigation;
    event.view = adapter->Object();
    event.id = adapter->Object();
    event.url = std::move(url);
    event.post = post;
    event.form_submission = form_submission;
    event.content_type = std::move(content_type);
    event.decided_us = g_get_monotonic_time();
    const std::uint64_t sequence = queue_.Enqueue(std::move(event));
    decisions_.emplace(sequence,
                       GObjectPtr<WebKitPolicyDecision>::Ref(decision));
    Process();
  }

  void EnqueueCompletion(WebViewAdapter* adapter, BrowserId id,
                         std::string url, bool new_page = true) {
    BrowserEvent event;
    event.kind = new_page ? BrowserEvent::Kind::kDocumentComplete
                          : BrowserEvent::Kind::kLoadEndedWithoutPage;
    event.view = adapter->Object();
    event.id = id;
    event.url = std::move(url);
    queue_.Enqueue(std::move(event));
    Process();
  }

 private:
  void OnFrameLoad(const FrameLoad& load) {
    if (adapters_.empty()) return;
    std::vector<std::string> view_urls;
    for (WebViewAdapter* adapter : adapters_) {
      const char* uri = webkit_web_view_get_uri(adapter->view());
      view_urls.emplace_back(uri ? uri : "");
    }
    WebViewAdapter* target =
        adapters_[ViewShowingFrame(view_urls, load.top_url)];
    EnqueueCompletion(target, frame_ids_.IdOf(load.frame), load.url);
  }

  void Process() {
    // Handlers may run nested main loops (message boxes, dialogs); events
    // arriving meanwhile wait in the queue and are taken by the outer run.
    if (processing_) return;
    processing_ = true;
    for (;;) {
      BrowserEventQueue::Step step = queue_.Next(g_get_monotonic_time());
      if (step.kind == BrowserEventQueue::Step::Kind::kWait) {
        ArmTimer(step.wait_until_us);
        break;
      }
      if (step.kind != BrowserEventQueue::Step::Kind::kDeliver) break;
      Deliver(step.delivery);
    }
    processing_ = false;
  }

  GObjectPtr<WebKitPolicyDecision> TakeDecision(std::uint64_t sequence) {
    GObjectPtr<WebKitPolicyDecision> decision;
    if (auto it = decisions_.find(sequence); it != decisions_.end()) {
      decision = std::move(it->second);
      decisions_.erase(it);
    }
    return decision;
  }

  void Deliver(const BrowserEventDelivery& delivery) {
    const BrowserEvent& event = delivery.event;
    if (!delivery.body_error.empty()) {
      g_warning("form body: %s", delivery.body_error.c_str());
    }
    const GObjectPtr<WebKitPolicyDecision> decision =
        TakeDecision(event.sequence);
    // Every queued event's view is in the group: a view that goes away
    // takes its events with it (Remove).
    auto adapter = std::find_if(
        adapters_.begin(), adapters_.end(),
        [&](WebViewAdapter* a) { return a->Object() == event.view; });
    try {
      if (adapter != adapters_.end()) {
        WebViewEvents& events = (*adapter)->events_;
        switch (event.kind) {
          case BrowserEvent::Kind::kNavigation:
            events.BeforeNavigate2(event.id, event.url, delivery.post_data,
                                   delivery.headers, delivery.body_complete);
            break;
          case BrowserEvent::Kind::kDocumentComplete:
            events.DocumentComplete(event.id, event.url);
            break;
          case BrowserEvent::Kind::kLoadEndedWithoutPage:
            events.LoadEndedWithoutPage(event.id);
            break;
        }
      }
    } catch (const std::exception& error) {
      g_warning("browser event: %s", error.what());
    } catch (...) {
      g_warning("browser event: unknown failure");
    }
    // The adapter may be gone by now (its window closed in a nested loop);
    // only the decision, which this call holds, is touched.
    if (decision) webkit_policy_decision_use(decision.get());
  }

  void ArmTimer(std::int64_t deadline_us) {
    if (timer_) g_source_remove(timer_);
    const std::int64_t wait_ms = std::max<std::int64_t>(
        1, (deadline_us - g_get_monotonic_time()) / 1000 + 1);
    timer_ = g_timeout_add(static_cast<guint>(wait_ms), &BrowserGroup::OnTimer,
                           this);
  }

  static gboolean OnTimer(gpointer self) {
    auto* group = static_cast<BrowserGroup*>(self);
    group->timer_ = 0;
    try {
      group->Process();
    } catch (...) {
    }
    return G_SOURCE_REMOVE;
  }

  GObjectPtr<WebKitSettings> settings_;
  FormCapture capture_;
  std::vector<WebViewAdapter*> adapters_;
  BrowserEventQueue queue_;
  // The engine's decisions of the queued navigations, by their sequence.
  std::map<std::uint64_t, GObjectPtr<WebKitPolicyDecision>> decisions_;
  FrameIds frame_ids_;
  bool processing_ = false;
  guint timer_ = 0;
};

WebViewAdapter::WebViewAdapter(WebViewEvents& events)
    : group_(std::make_shared<BrowserGroup>()), events_(events) {
  view_ = GObjectPtr<WebKitWebView>::RefSink(WEBKIT_WEB_VIEW(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "settings", group_->settings(),
                   "network-session", webkit_network_session_get_default(),
                   nullptr)));
  Connect();
}

// The related view alone would get settings of its own; they are handed
// over explicitly so that the pop-up may open windows from script too. Its
// forms are captured like every page's, by the web process extension.
WebViewAdapter::WebViewAdapter(WebViewEvents& events, WebViewAdapter& opener)
    : group_(opener.group_), events_(events) {
  view_ = GObjectPtr<WebKitWebView>::RefSink(WEBKIT_WEB_VIEW(g_object_new(
      WEBKIT_TYPE_WEB_VIEW, "related-view", opener.view(), "settings",
      group_->settings(), nullptr)));
  Connect();
}

void WebViewAdapter::Connect() {
  widget_ = Glib::wrap(GTK_WIDGET(view()));
  group_->Add(this);
  g_signal_connect(view(), "decide-policy", G_CALLBACK(&OnDecidePolicy), this);
  g_signal_connect(view(), "load-changed", G_CALLBACK(&OnLoadChanged), this);
  g_signal_connect(view(), "load-failed", G_CALLBACK(&OnLoadFailed), this);
  g_signal_connect(view(), "load-failed-with-tls-errors",
                   G_CALLBACK(&OnLoadFailedWithTlsErrors), this);
  g_signal_connect(view(), "create", G_CALLBACK(&OnCreate), this);
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
  group_->Remove(this);
  g_signal_handlers_disconnect_by_data(
      webkit_web_view_get_back_forward_list(view()), this);
  g_signal_handlers_disconnect_by_data(view(), this);
}

BrowserId WebViewAdapter::Object() const {
  return reinterpret_cast<BrowserId>(view());
}

std::string WebViewAdapter::FileAddress(const std::string& path) const {
  GError* error = nullptr;
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, &error);
  if (uri == nullptr) {
    std::string reason = error ? error->message : "not an absolute path";
    g_clear_error(&error);
    throw std::runtime_error("the path " + path +
                             " cannot be written as an address: " + reason);
  }
  std::string address = uri;
  g_free(uri);
  return address;
}

void WebViewAdapter::Navigate(const std::string& url) {
  webkit_web_view_load_uri(view(), url.c_str());
}

void WebViewAdapter::Navigate2(const std::string& url) {
  webkit_web_view_load_uri(view(), url.c_str());
}

void WebViewAdapter::Focus() { gtk_widget_grab_focus(GTK_WIDGET(view())); }

void WebViewAdapter::GoBack() { webkit_web_view_go_back(view()); }

void WebViewAdapter::GoForward() { webkit_web_view_go_forward(view()); }

void WebViewAdapter::Refresh() { webkit_web_view_reload(view()); }

bool WebViewAdapter::StopLoading() {
  if (!webkit_web_view_is_loading(view())) return false;
  webkit_web_view_stop_loading(view());
  return true;
}

// Only the view's top-level document can be filled: a sub-frame's identity
// names no document the engine lets us address, so it is left alone.
void WebViewAdapter::FillFirstForm(BrowserId target,
                                   std::array<std::string, 4> values) {
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
      FormCapture::WorldName(), nullptr, nullptr, &OnFillFinished, nullptr);
}

// The capture script's messages come from the web process extension of the
// page's process, through the view.
gboolean WebViewAdapter::OnUserMessage(WebKitWebView*,
                                       WebKitUserMessage* message,
                                       gpointer self) {
  try {
    return static_cast<WebViewAdapter*>(self)->group_->HandleUserMessage(
        message);
  } catch (...) {
  }
  return FALSE;
}

// A navigation of the page or of one of its frames. A server redirect is no
// new navigation: WebKit asks again for each hop, and the page completion
// records where the page ended.
gboolean WebViewAdapter::OnDecidePolicy(WebKitWebView*,
                                        WebKitPolicyDecision* decision,
                                        WebKitPolicyDecisionType type,
                                        gpointer self) {
  try {
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
    adapter->group_->EnqueueNavigation(adapter, decision, uri ? uri : "", post,
                                       form_submission,
                                       std::move(content_type));
    return TRUE;
  } catch (const std::exception& error) {
    g_warning("decide-policy: %s", error.what());
  } catch (...) {
  }
  return FALSE;
}

// Raised for the view's top-level page only, also after a failed load. When
// a load fails before its page was committed, the view's address is still
// the old page's, which is no completion of this load: a load that gets the
// engine's error page completes at the failing address, and one that ends
// without a page (a download, a 204 answer, a refused certificate, a load
// stopped for another one) leaves the view on the page it showed.
void WebViewAdapter::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event,
                                   gpointer self) {
  try {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    if (event == WEBKIT_LOAD_STARTED) {
      adapter->load_shows_page_ = false;
      adapter->error_page_uri_.clear();
    }
    if (event == WEBKIT_LOAD_COMMITTED) adapter->load_shows_page_ = true;
    if (event != WEBKIT_LOAD_FINISHED) return;
    const char* uri = webkit_web_view_get_uri(view);
    std::string completed = uri ? uri : "";
    if (!adapter->error_page_uri_.empty()) {
      completed = std::exchange(adapter->error_page_uri_, std::string());
    }
    adapter->group_->EnqueueCompletion(adapter, adapter->Object(),
                                       std::move(completed),
                                       adapter->load_shows_page_);
  } catch (const std::exception& error) {
    g_warning("load-changed: %s", error.what());
  } catch (...) {
  }
}

// The engine's own handler shows an error page at the failing address for
// every failure but these three, which leave the old page standing: a load
// cancelled (by a newer one, or stopped), a response turned into a download
// or ignored (a 204 answer), and media that a media player takes over.
gboolean WebViewAdapter::OnLoadFailed(WebKitWebView*, WebKitLoadEvent event,
                                      const char* failing_uri, GError* error,
                                      gpointer self) {
  try {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    const bool keeps_old_page =
        g_error_matches(error, WEBKIT_NETWORK_ERROR,
                        WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, WEBKIT_POLICY_ERROR,
                        WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
        g_error_matches(error, WEBKIT_MEDIA_ERROR,
                        WEBKIT_MEDIA_ERROR_WILL_HANDLE_LOAD);
    if (keeps_old_page) return FALSE;
    adapter->load_shows_page_ = true;
    if (event != WEBKIT_LOAD_COMMITTED && failing_uri) {
      adapter->error_page_uri_ = failing_uri;
    }
  } catch (...) {
  }
  return FALSE;
}

GtkWidget* WebViewAdapter::OnCreate(WebKitWebView*, WebKitNavigationAction*,
                                    gpointer self) {
  try {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    WebViewAdapter* created = adapter->events_.NewWindow2(*adapter);
    return created ? GTK_WIDGET(created->view()) : nullptr;
  } catch (const std::exception& error) {
    g_warning("create: %s", error.what());
  } catch (...) {
  }
  return nullptr;
}

void WebViewAdapter::OnMouseTargetChanged(WebKitWebView*,
                                          WebKitHitTestResult* hit, guint,
                                          gpointer self) {
  try {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    std::string text;
    if (webkit_hit_test_result_context_is_link(hit)) {
      if (const char* uri = webkit_hit_test_result_get_link_uri(hit))
        text = uri;
    }
    if (text == adapter->status_text_) return;
    adapter->status_text_ = text;
    adapter->events_.StatusTextChange(text);
  } catch (const std::exception& error) {
    g_warning("mouse-target-changed: %s", error.what());
  } catch (...) {
  }
}

// TRUE takes the failure over: no error page, the address loads again with
// the certificate accepted for its host. FALSE lets the engine go on to its
// error page. The question runs a nested main loop; the view is held for
// it, and the adapter, whose window may close meanwhile, is not touched
// after it.
gboolean WebViewAdapter::OnLoadFailedWithTlsErrors(
    WebKitWebView* view, gchar* failing_uri, GTlsCertificate* certificate,
    GTlsCertificateFlags errors, gpointer self) {
  try {
    if (!failing_uri || !certificate) return FALSE;
    CertificateProblem problem;
    problem.url = failing_uri;
    GUri* parsed = g_uri_parse(failing_uri, G_URI_FLAGS_NONE, nullptr);
    if (!parsed) return FALSE;
    if (const char* host = g_uri_get_host(parsed)) problem.host = host;
    g_uri_unref(parsed);
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
    const auto held_view = GObjectPtr<WebKitWebView>::Ref(view);
    const auto held_certificate = GObjectPtr<GTlsCertificate>::Ref(certificate);
    auto* adapter = static_cast<WebViewAdapter*>(self);
    // Answered or not, the load failed before its page was committed; when
    // the question is declined the engine's error page follows (OnLoadFailed),
    // when it is accepted the load ends without a page and the reload starts.
    if (!adapter->events_.CertificateError(problem)) return FALSE;
    webkit_network_session_allow_tls_certificate_for_host(
        webkit_web_view_get_network_session(held_view.get()),
        held_certificate.get(), problem.host.c_str());
    webkit_web_view_load_uri(held_view.get(), problem.url.c_str());
    return TRUE;
  } catch (const std::exception& error) {
    g_warning("load-failed-with-tls-errors: %s", error.what());
  } catch (...) {
  }
  return FALSE;
}

// Returning FALSE lets the engine's default handler show its own prompt.
// The credential lives only for this one answer: the engine is told not to
// keep it, and nothing is written anywhere.
gboolean WebViewAdapter::OnAuthenticate(WebKitWebView*,
                                        WebKitAuthenticationRequest* request,
                                        gpointer self) {
  try {
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
        adapter->events_.Authenticate(challenge);
    if (!answer) {
      // The engine's prompt would offer to remember the password beyond
      // this process; it is asked for each session instead.
      webkit_authentication_request_set_can_save_credentials(request, FALSE);
      return FALSE;
    }
    WebKitCredential* credential = webkit_credential_new(
        answer->user_name.c_str(), answer->password.c_str(),
        WEBKIT_CREDENTIAL_PERSISTENCE_NONE);
    webkit_authentication_request_authenticate(request, credential);
    webkit_credential_free(credential);
    return TRUE;
  } catch (const std::exception& error) {
    g_warning("authenticate: %s", error.what());
  } catch (...) {
  }
  return FALSE;
}

void WebViewAdapter::OnBackForwardChanged(WebKitBackForwardList*,
                                          WebKitBackForwardListItem*, gpointer,
                                          gpointer self) {
  try {
    auto* adapter = static_cast<WebViewAdapter*>(self);
    const bool back = webkit_web_view_can_go_back(adapter->view());
    const bool forward = webkit_web_view_can_go_forward(adapter->view());
    adapter->events_.CommandStateChange(kBackCommand, back);
    adapter->events_.CommandStateChange(kForwardCommand, forward);
  } catch (const std::exception& error) {
    g_warning("back-forward list: %s", error.what());
  } catch (...) {
  }
}

}  // namespace scrivlet
