#include "platform/web_view_adapter.h"

#include <gtkmm/widget.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/form_body.h"
#include "platform/form_capture.h"
#include "platform/gobject_ptr.h"

namespace scrivlet {
namespace {

// How long a POST decision waits for the body its page is still sending.
constexpr std::int64_t kBodyWaitUs = 500'000;
// How long it waits once the page has said that it is still reading the
// files of the body: as long as a large file needs, but bounded, so that
// the browser never hangs on a read that does not end.
constexpr std::int64_t kFileReadWaitUs = 10'000'000;

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

// GVariant strings must be UTF-8 and end at their first NUL. Bytes that are
// not part of a valid UTF-8 sequence are taken as Latin-1 characters, so
// nothing is dropped; a NUL byte becomes U+FFFD, so nothing after it is cut.
std::string ValidUtf8(const std::string& text) {
  // Usually the whole text is valid already (g_utf8_validate refuses NUL
  // bytes too); the loop below is slow on megabytes of document.
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()),
                      nullptr)) {
    return text;
  }
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
  return out;
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
// capture script, the frames' identities, and one queue through which all
// of their events reach the windows in the order the engine reported them.
// A POST decision waits at the head of the queue until its body has arrived
// (or kBodyWaitUs has passed, kFileReadWaitUs while its files are known to
// be read), and everything behind it waits too.
class BrowserGroup {
 public:
  BrowserGroup()
      : settings_(GObjectPtr<WebKitSettings>::Adopt(webkit_settings_new())) {
    // Pages may open windows from script, as with the link targets.
    webkit_settings_set_javascript_can_open_windows_automatically(
        settings_.get(), TRUE);
    capture_.on_submission = [this] { Process(); };
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
  WebKitUserContentManager* manager() const { return capture_.manager(); }

  void Add(WebViewAdapter* adapter) { adapters_.push_back(adapter); }

  // Drops the adapter and its queued events; its pending decisions are
  // ignored, since its view goes away.
  void Remove(WebViewAdapter* adapter) {
    adapters_.erase(std::remove(adapters_.begin(), adapters_.end(), adapter),
                    adapters_.end());
    for (auto it = queue_.begin(); it != queue_.end();) {
      if (it->adapter == adapter) {
        if (it->decision) webkit_policy_decision_ignore(it->decision.get());
        it = queue_.erase(it);
      } else {
        ++it;
      }
    }
  }

  void EnqueueNavigation(WebViewAdapter* adapter,
                         WebKitPolicyDecision* decision, std::string url,
                         bool post, bool form_submission,
                         std::string content_type) {
    Event event;
    event.adapter = adapter;
    event.navigation = true;
    event.decision = GObjectPtr<WebKitPolicyDecision>::Ref(decision);
    event.id = adapter->Object();
    event.url = std::move(url);
    event.post = post;
    event.form_submission = form_submission;
    event.content_type = std::move(content_type);
    event.decided_us = g_get_monotonic_time();
    queue_.push_back(std::move(event));
    Process();
  }

  void EnqueueCompletion(WebViewAdapter* adapter, BrowserId id,
                         std::string url, bool new_page = true) {
    Event event;
    event.adapter = adapter;
    event.id = id;
    event.url = std::move(url);
    event.new_page = new_page;
    queue_.push_back(std::move(event));
    Process();
  }

 private:
  struct Event {
    WebViewAdapter* adapter = nullptr;
    bool navigation = false;
    bool new_page = true;  // of a completion
    GObjectPtr<WebKitPolicyDecision> decision;
    BrowserId id = 0;
    std::string url;
    bool post = false;
    bool form_submission = false;
    std::string content_type;
    std::int64_t decided_us = 0;
  };

  // A sub-frame's identity: odd numbers, which no view's address can be.
  BrowserId FrameId(const std::string& token) {
    auto [it, inserted] = frame_ids_.try_emplace(token, 0);
    if (inserted) it->second = (next_frame_ << 1) | 1, ++next_frame_;
    return it->second;
  }

  // The script does not know its view; the frame goes to the view that
  // shows its top document, else to the first (main) view.
  void OnFrameLoad(const FrameLoad& load) {
    if (adapters_.empty()) return;
    WebViewAdapter* target = adapters_.front();
    for (WebViewAdapter* adapter : adapters_) {
      const char* uri = webkit_web_view_get_uri(adapter->view());
      if (!load.top_url.empty() && uri && load.top_url == uri) {
        target = adapter;
        break;
      }
    }
    EnqueueCompletion(target, FrameId(load.frame), load.url);
  }

  void Process() {
    // Handlers may run nested main loops (message boxes, dialogs); events
    // arriving meanwhile wait in the queue and are taken by the outer run.
    if (processing_) return;
    processing_ = true;
    while (!queue_.empty()) {
      std::optional<std::string> body;
      bool body_complete = true;
      Event& head = queue_.front();
      // Only a form submission has a formdata event behind it; any other
      // POST (a resubmission from the history) is recorded at once with
      // the body unknown.
      if (head.navigation && head.post && !head.form_submission) {
        body = "";
      } else if (head.navigation && head.post) {
        FormSubmission submission;
        const FormCapture::Lookup lookup =
            capture_.Find(head.url, head.decided_us, submission);
        const std::int64_t deadline_us =
            head.decided_us + (lookup == FormCapture::Lookup::kIncomplete
                                   ? kFileReadWaitUs
                                   : kBodyWaitUs);
        if (lookup != FormCapture::Lookup::kComplete &&
            g_get_monotonic_time() < deadline_us) {
          ArmTimer(deadline_us);
          break;
        }
        body = "";
        body_complete = lookup == FormCapture::Lookup::kComplete;
        if (lookup != FormCapture::Lookup::kNone) {
          try {
            body = SerializeFormBody(head.content_type, submission.entries,
                                     submission.charset);
          } catch (const std::exception& error) {
            g_warning("form body: %s", error.what());
            body_complete = false;
          }
          capture_.Consume(submission);
        }
      }
      Event event = std::move(queue_.front());
      queue_.pop_front();
      Deliver(event, body, body_complete);
    }
    processing_ = false;
  }

  void Deliver(Event& event, const std::optional<std::string>& body,
               bool body_complete) {
    WebViewEvents& events = event.adapter->events_;
    try {
      if (event.navigation) {
        const std::string headers =
            event.post && !event.content_type.empty()
                ? "Content-Type: " + event.content_type + "\r\n"
                : std::string();
        events.BeforeNavigate2(event.id, event.url,
                               event.post ? body : std::nullopt, headers,
                               body_complete);
      } else if (event.new_page) {
        events.DocumentComplete(event.id, event.url);
      } else {
        events.LoadEndedWithoutPage(event.id);
      }
    } catch (const std::exception& error) {
      g_warning("browser event: %s", error.what());
    } catch (...) {
      g_warning("browser event: unknown failure");
    }
    // The adapter may be gone by now (its window closed in a nested loop);
    // only the decision, which the event owns, is touched.
    if (event.decision) webkit_policy_decision_use(event.decision.get());
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
  std::deque<Event> queue_;
  bool processing_ = false;
  guint timer_ = 0;
  std::map<std::string, BrowserId> frame_ids_;
  BrowserId next_frame_ = 1;
};

WebViewAdapter::WebViewAdapter(WebViewEvents& events)
    : group_(std::make_shared<BrowserGroup>()), events_(events) {
  view_ = WEBKIT_WEB_VIEW(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "settings", group_->settings(),
                   "user-content-manager", group_->manager(), "network-session",
                   webkit_network_session_get_default(), nullptr));
  g_object_ref_sink(view_);
  Connect();
}

// The related view alone would get settings and user content of its own;
// both are handed over explicitly so that the pop-up's forms are captured.
WebViewAdapter::WebViewAdapter(WebViewEvents& events, WebViewAdapter& opener)
    : group_(opener.group_), events_(events) {
  view_ = WEBKIT_WEB_VIEW(g_object_new(
      WEBKIT_TYPE_WEB_VIEW, "related-view", opener.view_, "settings",
      group_->settings(), "user-content-manager", group_->manager(), nullptr));
  g_object_ref_sink(view_);
  Connect();
}

void WebViewAdapter::Connect() {
  widget_ = Glib::wrap(GTK_WIDGET(view_));
  group_->Add(this);
  g_signal_connect(view_, "decide-policy", G_CALLBACK(&OnDecidePolicy), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(&OnLoadChanged), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(&OnLoadFailed), this);
  g_signal_connect(view_, "load-failed-with-tls-errors",
                   G_CALLBACK(&OnLoadFailedWithTlsErrors), this);
  g_signal_connect(view_, "create", G_CALLBACK(&OnCreate), this);
  g_signal_connect(view_, "authenticate", G_CALLBACK(&OnAuthenticate), this);
  g_signal_connect(view_, "mouse-target-changed",
                   G_CALLBACK(&OnMouseTargetChanged), this);
  g_signal_connect(webkit_web_view_get_back_forward_list(view_), "changed",
                   G_CALLBACK(&OnBackForwardChanged), this);
}

WebViewAdapter::~WebViewAdapter() {
  group_->Remove(this);
  g_signal_handlers_disconnect_by_data(
      webkit_web_view_get_back_forward_list(view_), this);
  g_signal_handlers_disconnect_by_data(view_, this);
  g_object_unref(view_);
}

BrowserId WebViewAdapter::Object() const {
  return reinterpret_cast<BrowserId>(view_);
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
  webkit_web_view_load_uri(view_, url.c_str());
}

void WebViewAdapter::Navigate2(const std::string& url) {
  webkit_web_view_load_uri(view_, url.c_str());
}

void WebViewAdapter::Focus() { gtk_widget_grab_focus(GTK_WIDGET(view_)); }

void WebViewAdapter::GoBack() { webkit_web_view_go_back(view_); }

void WebViewAdapter::GoForward() { webkit_web_view_go_forward(view_); }

void WebViewAdapter::Refresh() { webkit_web_view_reload(view_); }

bool WebViewAdapter::StopLoading() {
  if (!webkit_web_view_is_loading(view_)) return false;
  webkit_web_view_stop_loading(view_);
  return true;
}

// Only the view's top-level document can be filled: a sub-frame's identity
// names no document the engine lets us address, so it is left alone.
void WebViewAdapter::FillFirstForm(BrowserId target,
                                   const std::array<std::string, 4>& values) {
  if (target != Object()) return;
  GVariantBuilder arguments;
  g_variant_builder_init(&arguments, G_VARIANT_TYPE_VARDICT);
  const char* names[] = {"uuid", "transactionName", "startUrl",
                         "transactionDocument"};
  for (std::size_t i = 0; i < values.size(); ++i) {
    g_variant_builder_add(&arguments, "{sv}", names[i],
                          g_variant_new_string(ValidUtf8(values[i]).c_str()));
  }
  webkit_web_view_call_async_javascript_function(
      view_, kFillFirstFormScript, -1, g_variant_builder_end(&arguments),
      FormCapture::WorldName(), nullptr, nullptr, &OnFillFinished, nullptr);
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
    const bool back = webkit_web_view_can_go_back(adapter->view_);
    const bool forward = webkit_web_view_can_go_forward(adapter->view_);
    adapter->events_.CommandStateChange(kBackCommand, back);
    adapter->events_.CommandStateChange(kForwardCommand, forward);
  } catch (const std::exception& error) {
    g_warning("back-forward list: %s", error.what());
  } catch (...) {
  }
}

}  // namespace scrivlet
