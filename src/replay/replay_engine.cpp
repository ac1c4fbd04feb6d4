#include "replay/replay_engine.h"

#include <libsoup/soup.h>

#include <array>
#include <exception>
#include <map>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "replay/replayed_request.h"
#include "replay/verdict.h"

namespace scrivlet::replay {
namespace {

constexpr gint64 kMicrosecondsPerMillisecond = 1000;
// How much of an answer's body one read asks for.
constexpr gsize kBodyChunk = 64 * 1024;
// How much of an HTML answer is kept for reading what it hands out; the
// rest of a larger one is read and dropped.
constexpr std::size_t kHtmlKept = 16 * 1024 * 1024;

// Checks that `proxy` is "http://HOST:PORT" (a "/" after it allowed).
void CheckProxy(const std::string& proxy) {
  g_autoptr(GUri) uri = g_uri_parse(proxy.c_str(), G_URI_FLAGS_NONE, nullptr);
  const bool valid =
      uri != nullptr && g_strcmp0(g_uri_get_scheme(uri), "http") == 0 &&
      g_uri_get_host(uri) != nullptr && *g_uri_get_host(uri) != '\0' &&
      g_uri_get_port(uri) > 0 &&
      (*g_uri_get_path(uri) == '\0' || g_strcmp0(g_uri_get_path(uri), "/") == 0) &&
      g_uri_get_query(uri) == nullptr && g_uri_get_userinfo(uri) == nullptr;
  if (!valid) {
    throw std::invalid_argument("the proxy \"" + proxy +
                                "\" is not of the form http://HOST:PORT");
  }
}

bool IsCancellation(const GError* error) {
  return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
}

}  // namespace

// The state of one replay. The engine holds it, and so does every
// asynchronous call under way (a shared_ptr in its user data), so that a
// callback that arrives after the engine is gone finds it still there,
// detached, and only lets go of it.
class ReplayEngine::Run : public std::enable_shared_from_this<Run> {
 public:
  Run(std::vector<DocumentElement> elements, ReplayOptions options)
      : options_(std::move(options)) {
    if (!options_.proxy.empty()) CheckProxy(options_.proxy);
    for (const DocumentElement& element : elements) {
      requests_.push_back(RequestFor(element));
      sent_fields_.push_back(SentFields(requests_.back()));
      for (const NamedValue& field : sent_fields_.back()) {
        last_sent_[field.name] = sent_fields_.size() - 1;
      }
    }
  }

  ~Run() {
    ClearMessage();
    g_clear_object(&body_stream_);
    g_clear_object(&cancellable_);
    g_clear_object(&session_);
    if (context_ != nullptr) g_main_context_unref(context_);
  }

  void Start(ReplayCallbacks callbacks) {
    if (started_) throw std::logic_error("a replay engine runs only once");
    started_ = true;
    running_ = true;
    callbacks_ = std::move(callbacks);
    context_ = g_main_context_ref_thread_default();
    cancellable_ = g_cancellable_new();
    session_ = soup_session_new();
    // The browser's cookies stay out; the replay's own are kept.
    soup_session_add_feature_by_type(session_, SOUP_TYPE_COOKIE_JAR);
    // Every header line sent is a recorded one, but for those the
    // connection needs (Content-Length, Connection): no Accept-Encoding of
    // the client's own.
    soup_session_remove_feature_by_type(session_, SOUP_TYPE_CONTENT_DECODER);
    soup_session_set_timeout(session_, options_.timeout_seconds);
    if (options_.proxy.empty()) {
      soup_session_set_proxy_resolver(session_, nullptr);
    } else {
      std::vector<char*> ignore_hosts;
      for (const std::string& host : options_.proxy_ignore_hosts) {
        ignore_hosts.push_back(const_cast<char*>(host.c_str()));
      }
      ignore_hosts.push_back(nullptr);
      g_autoptr(GProxyResolver) resolver = g_simple_proxy_resolver_new(
          options_.proxy.c_str(), ignore_hosts.data());
      soup_session_set_proxy_resolver(session_, resolver);
    }
    ScheduleNextStep();
  }

  void Cancel() {
    if (running_) g_cancellable_cancel(cancellable_);
  }

  void Detach() {
    detached_ = true;
    Cancel();
  }

  bool running() const { return running_; }

 private:
  using Box = std::shared_ptr<Run>;

  gpointer NewBox() { return new Box(shared_from_this()); }
  static Run& Unbox(gpointer data) { return **static_cast<Box*>(data); }
  static void DeleteBox(gpointer data) { delete static_cast<Box*>(data); }

  // Runs `body` at a GLib callback's edge: an exception ends the current
  // step with its text and the replay goes on.
  template <typename Body>
  void Guarded(Body body) {
    try {
      body();
    } catch (const std::exception& error) {
      AbandonStep(error.what());
    } catch (...) {
      AbandonStep("unknown failure");
    }
  }

  void AbandonStep(const std::string& what) {
    try {
      ClearMessage();
      current_.error = "The replay could not handle this step: " + what;
      FinishStep();
    } catch (...) {
      Finish(false);
    }
  }

  void ScheduleNextStep() {
    GSource* source = g_idle_source_new();
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
          Run& run = Unbox(data);
          run.Guarded([&run] { run.SendStep(); });
          return G_SOURCE_REMOVE;
        },
        NewBox(), DeleteBox);
    g_source_attach(source, context_);
    g_source_unref(source);
  }

  void SendStep() {
    in_send_step_ = true;
    SendNextElement();
    in_send_step_ = false;
  }

  void SendNextElement() {
    if (detached_ || g_cancellable_is_cancelled(cancellable_)) {
      return Finish(true);
    }
    if (next_ == requests_.size()) return Finish(false);
    const std::size_t index = next_++;
    const ReplayedRequest& request = requests_[index];
    current_ = StepResult{};
    current_.index = index;
    current_.method = request.method;
    current_.url = request.url;
    current_.session_bound = ledger_.SessionBound(sent_fields_[index]);
    if (callbacks_.step_started) callbacks_.step_started(index);
    // A callback may have destroyed the engine.
    if (detached_) return Finish(true);

    g_autoptr(GError) error = nullptr;
    g_autoptr(GUri) uri =
        g_uri_parse(request.url.c_str(),
                    static_cast<GUriFlags>(SOUP_HTTP_URI_FLAGS), &error);
    if (uri == nullptr) {
      current_.error = "Not an address: " + std::string(error->message);
      return FinishStep();
    }
    const char* scheme = g_uri_get_scheme(uri);
    if (g_strcmp0(scheme, "http") != 0 && g_strcmp0(scheme, "https") != 0) {
      current_.error = "The scheme \"" + std::string(scheme) +
                       "\" is neither http nor https.";
      return FinishStep();
    }
    host_ = g_uri_get_host(uri);
    message_ = soup_message_new_from_uri(request.method.c_str(), uri);
    // A POST goes over the connection kept from the request before, as the
    // browser sends it, instead of a new connection of its own.
    soup_message_add_flags(message_, static_cast<SoupMessageFlags>(
                                         SOUP_MESSAGE_NO_REDIRECT |
                                         SOUP_MESSAGE_IDEMPOTENT));
    SoupMessageHeaders* headers = soup_message_get_request_headers(message_);
    for (const auto& [name, value] : request.headers) {
      soup_message_headers_append(headers, name.c_str(), value.c_str());
    }
    if (request.body) {
      g_autoptr(GBytes) body =
          g_bytes_new(request.body->data(), request.body->size());
      // The Content-Type, when there is one, is a recorded header line.
      soup_message_set_request_body_from_bytes(message_, nullptr, body);
    }
    if (options_.accept_certificate) {
      certificate_handler_ =
          g_signal_connect(message_, "accept-certificate",
                           G_CALLBACK(&Run::OnAcceptCertificate), this);
    }
    sent_at_ = g_get_monotonic_time();
    soup_session_send_async(session_, message_, G_PRIORITY_DEFAULT,
                            cancellable_, &Run::OnSent, NewBox());
  }

  // Called while the message is under way, when the Run is held by the
  // send's box.
  static gboolean OnAcceptCertificate(SoupMessage*, GTlsCertificate* certificate,
                                      GTlsCertificateFlags errors,
                                      gpointer data) {
    Run& run = *static_cast<Run*>(data);
    try {
      return run.options_.accept_certificate(run.host_, certificate, errors);
    } catch (...) {
      return FALSE;
    }
  }

  static void OnSent(GObject* source, GAsyncResult* result, gpointer data) {
    const std::unique_ptr<Box> box(static_cast<Box*>(data));
    Run& run = **box;
    g_autoptr(GError) error = nullptr;
    g_autoptr(GInputStream) stream =
        soup_session_send_finish(SOUP_SESSION(source), result, &error);
    run.Guarded([&] { run.AnswerArrived(stream, error); });
  }

  void AnswerArrived(GInputStream* stream, const GError* error) {
    current_.ms = (g_get_monotonic_time() - sent_at_) /
                  kMicrosecondsPerMillisecond;
    if (stream == nullptr) {
      ClearMessage();
      if (IsCancellation(error)) return Finish(true);
      current_.error = error->message;
      return FinishStep();
    }
    current_.status = static_cast<int>(soup_message_get_status(message_));
    SoupMessageHeaders* headers = soup_message_get_response_headers(message_);
    if (const char* location =
            soup_message_headers_get_one(headers, "Location")) {
      current_.location = location;
      current_.redirect_target = ResolveLocation(current_.url, location);
    }
    GHashTable* parameters = nullptr;
    const char* type = soup_message_headers_get_content_type(headers, &parameters);
    html_ = type != nullptr && std::string_view(type).find("html") !=
                                   std::string_view::npos;
    const char* charset =
        parameters != nullptr
            ? static_cast<const char*>(g_hash_table_lookup(parameters, "charset"))
            : nullptr;
    charset_ = charset != nullptr ? charset : "";
    if (parameters != nullptr) g_hash_table_destroy(parameters);
    ClearMessage();
    // The whole body is read, HTML or not, so that the connection can
    // carry the next request.
    body_.clear();
    body_stream_ = G_INPUT_STREAM(g_object_ref(stream));
    ReadBodyChunk();
  }

  void ReadBodyChunk() {
    g_input_stream_read_async(body_stream_, chunk_.data(), chunk_.size(),
                              G_PRIORITY_DEFAULT, cancellable_,
                              &Run::OnBodyChunk, NewBox());
  }

  static void OnBodyChunk(GObject* source, GAsyncResult* result, gpointer data) {
    const std::unique_ptr<Box> box(static_cast<Box*>(data));
    Run& run = **box;
    g_autoptr(GError) error = nullptr;
    const gssize read =
        g_input_stream_read_finish(G_INPUT_STREAM(source), result, &error);
    run.Guarded([&] { run.BodyChunkRead(read, error); });
  }

  // `read` bytes have arrived in chunk_: none at the end, -1 on `error`.
  void BodyChunkRead(gssize read, const GError* error) {
    if (read < 0 && IsCancellation(error)) return Finish(true);
    if (read > 0) {
      if (html_ && body_.size() < kHtmlKept) {
        body_.append(chunk_.data(), static_cast<std::size_t>(read));
      }
      return ReadBodyChunk();
    }
    // The body has ended (or failed): closing the stream does no I/O.
    g_input_stream_close(body_stream_, nullptr, nullptr);
    g_clear_object(&body_stream_);
    if (read < 0) {
      current_.error =
          "The answer's body could not be read: " + std::string(error->message);
    } else if (!body_.empty() && AnswerMayMatter()) {
      ledger_.AddAnswer(HandedOutValues(body_, charset_));
    }
    body_.clear();
    FinishStep();
  }

  // Whether the current step's answer can hand out a value that a later
  // request sends; only then is it parsed.
  bool AnswerMayMatter() const {
    for (const auto& [name, last] : last_sent_) {
      if (last > current_.index && MayHandOut(body_, name)) return true;
    }
    return false;
  }

  void FinishStep() {
    if (!detached_ && callbacks_.step_finished) {
      callbacks_.step_finished(current_);
    }
    if (detached_) return;
    // Straight on to the next step after an answer; after a step that
    // failed before anything was sent, from the main context, so that a
    // run of such steps does not nest.
    if (in_send_step_) {
      ScheduleNextStep();
    } else {
      SendStep();
    }
  }

  void Finish(bool cancelled) {
    if (!running_) return;
    running_ = false;
    if (!detached_ && callbacks_.finished) callbacks_.finished(cancelled);
  }

  void ClearMessage() {
    if (message_ == nullptr) return;
    if (certificate_handler_ != 0) {
      g_signal_handler_disconnect(message_, certificate_handler_);
      certificate_handler_ = 0;
    }
    g_clear_object(&message_);
  }

  // What each element of the document sends.
  std::vector<ReplayedRequest> requests_;
  const ReplayOptions options_;
  ReplayCallbacks callbacks_;
  bool started_ = false;
  bool running_ = false;
  bool detached_ = false;
  bool in_send_step_ = false;
  GMainContext* context_ = nullptr;
  GCancellable* cancellable_ = nullptr;
  SoupSession* session_ = nullptr;
  // The fields each element sends, and for each field name the index of
  // the last element that sends it.
  std::vector<std::vector<NamedValue>> sent_fields_;
  std::map<std::string, std::size_t> last_sent_;
  HandedOutLedger ledger_;
  std::size_t next_ = 0;

  // The step under way.
  StepResult current_;
  SoupMessage* message_ = nullptr;
  gulong certificate_handler_ = 0;
  GInputStream* body_stream_ = nullptr;
  std::string body_;
  std::array<char, kBodyChunk> chunk_;
  std::string host_;
  bool html_ = false;
  std::string charset_;
  gint64 sent_at_ = 0;
};

ReplayEngine::ReplayEngine(std::vector<DocumentElement> elements,
                           ReplayOptions options)
    : run_(std::make_shared<Run>(std::move(elements), std::move(options))) {}

ReplayEngine::~ReplayEngine() { run_->Detach(); }

void ReplayEngine::Start(ReplayCallbacks callbacks) {
  run_->Start(std::move(callbacks));
}

void ReplayEngine::Cancel() { run_->Cancel(); }

bool ReplayEngine::running() const { return run_->running(); }

}  // namespace scrivlet::replay
