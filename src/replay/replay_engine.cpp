#include "replay/replay_engine.h"

#include <libsoup/soup.h>

#include <array>
#include <exception>
#include <map>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "platform/gobject_ptr.h"
#include "replay/proxy_address.h"
#include "replay/replayed_request.h"
#include "replay/verdict.h"

namespace scrivlet::replay {
namespace {

constexpr gint64 kMicrosecondsPerMillisecond = 1000;
// How much of an answer's body one read asks for.
constexpr gsize kBodyChunk = 64 * 1024;

constexpr char kProxyAuthorization[] = "Proxy-Authorization";
constexpr char kAuthorization[] = "Authorization";

bool IsCancellation(const GError* error) {
  return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
}

// The user name and password of a "Basic …" credential line; nullopt for
// another scheme or a text that is no such pair.
std::optional<std::pair<std::string, std::string>> BasicCredentials(
    const std::string& line) {
  constexpr std::string_view kBasic = "Basic ";
  if (line.size() <= kBasic.size() ||
      g_ascii_strncasecmp(line.c_str(), kBasic.data(), kBasic.size()) != 0) {
    return std::nullopt;
  }
  gsize size = 0;
  g_autofree guchar* decoded =
      g_base64_decode(line.c_str() + kBasic.size(), &size);
  const std::string pair(reinterpret_cast<const char*>(decoded), size);
  const std::size_t colon = pair.find(':');
  if (colon == std::string::npos) return std::nullopt;
  return std::make_pair(pair.substr(0, colon), pair.substr(colon + 1));
}

struct SourceDestroyer {
  void operator()(GSource* source) const {
    g_source_destroy(source);
    g_source_unref(source);
  }
};
using SourcePtr = std::unique_ptr<GSource, SourceDestroyer>;

struct ContextUnref {
  void operator()(GMainContext* context) const { g_main_context_unref(context); }
};

}  // namespace

// The state of one replay. The engine holds it, and so does every
// asynchronous call under way (a shared_ptr in its user data), so that a
// callback that arrives after the engine is gone finds it still there,
// detached, and only lets go of it.
class ReplayEngine::Run : public std::enable_shared_from_this<Run> {
 public:
  Run(std::vector<DocumentElement> elements, ReplayOptions options)
      : options_(std::move(options)) {
    if (!options_.proxy.empty() && !IsProxyAddress(options_.proxy)) {
      throw std::invalid_argument("the proxy \"" + options_.proxy +
                                  "\" is not of the form http://HOST:PORT");
    }
    for (const DocumentElement& element : elements) {
      requests_.push_back(RequestFor(element));
      sent_fields_.push_back(SentFields(requests_.back()));
      for (const NamedValue& field : sent_fields_.back()) {
        last_sent_[field.name] = sent_fields_.size() - 1;
      }
    }
  }

  ~Run() { EndStep(); }

  void Start(ReplayCallbacks callbacks) {
    if (started_) throw std::logic_error("a replay engine runs only once");
    started_ = true;
    running_ = true;
    callbacks_ = std::move(callbacks);
    context_.reset(g_main_context_ref_thread_default());
    session_ = GObjectPtr<SoupSession>::Adopt(soup_session_new());
    // The browser's cookies stay out; the replay's own are kept.
    soup_session_add_feature_by_type(session_.get(), SOUP_TYPE_COOKIE_JAR);
    // Every header line sent is a recorded one, but for those the
    // connection needs (Content-Length, Connection): no Accept-Encoding of
    // the client's own. Answers are decoded here, for the scan only.
    soup_session_remove_feature_by_type(session_.get(),
                                        SOUP_TYPE_CONTENT_DECODER);
    // The step's own deadline counts; a read that waits is no failure.
    soup_session_set_timeout(session_.get(), 0);
    if (!options_.proxy.empty()) {
      std::vector<char*> ignore_hosts;
      for (const std::string& host : options_.proxy_ignore_hosts) {
        ignore_hosts.push_back(const_cast<char*>(host.c_str()));
      }
      ignore_hosts.push_back(nullptr);
      resolver_ = GObjectPtr<GProxyResolver>::Adopt(g_simple_proxy_resolver_new(
          options_.proxy.c_str(), ignore_hosts.data()));
    }
    soup_session_set_proxy_resolver(session_.get(), resolver_.get());
    ScheduleNextStep();
  }

  void Cancel() {
    if (!running_) return;
    cancelled_ = true;
    if (step_cancellable_) g_cancellable_cancel(step_cancellable_.get());
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
    g_warning("The replay could not handle step %zu: %s", current_.index + 1,
              what.c_str());
    try {
      EndStep();
      current_.error = "The replay could not handle this step: " + what;
      FinishStep();
    } catch (const std::exception& error) {
      Stop(error.what());
    } catch (...) {
      Stop("unknown failure");
    }
  }

  // The replay cannot go on (a callback of the caller's failed).
  void Stop(const std::string& why) {
    g_warning("The replay stopped: %s", why.c_str());
    EndStep();
    Finish(ReplayEnd::kFailed, "the replay stopped after step " +
                                   std::to_string(current_.index + 1) + ": " +
                                   why);
  }

  void ScheduleNextStep() {
    g_autoptr(GSource) source = g_idle_source_new();
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
          Run& run = Unbox(data);
          run.Guarded([&run] { run.SendStep(); });
          return G_SOURCE_REMOVE;
        },
        NewBox(), DeleteBox);
    g_source_attach(source, context_.get());
  }

  void SendStep() {
    in_send_step_ = true;
    SendNextElement();
    in_send_step_ = false;
  }

  bool Stopped() const { return detached_ || cancelled_; }

  // Whether a request to `uri` goes through the proxy.
  bool ThroughProxy(GUri* uri) const {
    if (!resolver_) return false;
    g_autofree char* text = g_uri_to_string(uri);
    g_auto(GStrv) proxies =
        g_proxy_resolver_lookup(resolver_.get(), text, nullptr, nullptr);
    return proxies != nullptr && proxies[0] != nullptr &&
           g_strcmp0(proxies[0], "direct://") != 0;
  }

  void SendNextElement() {
    if (Stopped()) return Finish(ReplayEnd::kCancelled, "");
    if (next_ == requests_.size()) return Finish(ReplayEnd::kDone, "");
    const std::size_t index = next_++;
    const ReplayedRequest& request = requests_[index];
    current_ = StepResult{};
    current_.index = index;
    current_.method = request.method;
    current_.url = request.url;
    current_.session_bound = ledger_.SessionBound(sent_fields_[index]);
    if (callbacks_.step_started) callbacks_.step_started(index);
    // A callback may have destroyed the engine.
    if (detached_) return Finish(ReplayEnd::kCancelled, "");
    if (!request.problem.empty()) {
      current_.error = "not sent: " + request.problem;
      return FinishStep();
    }

    g_autoptr(GUri) uri = NewRequestUri(request);
    message_ = GObjectPtr<SoupMessage>::Adopt(
        soup_message_new_from_uri(request.method.c_str(), uri));
    if (!message_) {
      current_.error = "not sent: the HTTP library refuses the address";
      return FinishStep();
    }
    host_ = request.host;
    // A POST goes over the connection kept from the request before, as the
    // browser sends it, instead of a new connection of its own.
    soup_message_add_flags(message_.get(), static_cast<SoupMessageFlags>(
                                               SOUP_MESSAGE_NO_REDIRECT |
                                               SOUP_MESSAGE_IDEMPOTENT));
    const bool through_proxy = ThroughProxy(uri);
    AddHeaders(request, through_proxy);
    if (request.body) {
      g_autoptr(GBytes) body =
          g_bytes_new(request.body->data(), request.body->size());
      // The Content-Type, when there is one, is a recorded header line.
      soup_message_set_request_body_from_bytes(message_.get(), nullptr, body);
    }
    g_signal_connect(message_.get(), "accept-certificate",
                     G_CALLBACK(&Run::OnAcceptCertificate), this);
    g_signal_connect(message_.get(), "authenticate",
                     G_CALLBACK(&Run::OnAuthenticate), this);
    if (request.scheme == "https" || !through_proxy) {
      // The HTTP library adds the proxy's credentials it has learnt to
      // every request, also to one that goes to the server itself (inside
      // the tunnel, or past the proxy): they are taken out again after it
      // has, just before sending.
      g_signal_connect_after(message_.get(), "starting",
                             G_CALLBACK(&Run::OnStarting), nullptr);
    }
    step_cancellable_ = GObjectPtr<GCancellable>::Adopt(g_cancellable_new());
    StartDeadline();
    sent_at_ = g_get_monotonic_time();
    current_.sent = true;
    soup_session_send_async(session_.get(), message_.get(), G_PRIORITY_DEFAULT,
                            step_cancellable_.get(), &Run::OnSent, NewBox());
  }

  // The recorded lines, but for the credentials that do not belong on this
  // request. A plain request through the proxy carries the proxy's line to
  // the proxy; inside an https tunnel it would reach the server, so there
  // the proxy gets it as the answer to its challenge for the tunnel.
  void AddHeaders(const ReplayedRequest& request, bool through_proxy) {
    SoupMessageHeaders* headers = soup_message_get_request_headers(message_.get());
    proxy_credentials_.reset();
    for (const auto& [name, value] : request.headers) {
      const bool proxy_line = g_ascii_strcasecmp(name.c_str(), kProxyAuthorization) == 0;
      const bool site_line = g_ascii_strcasecmp(name.c_str(), kAuthorization) == 0;
      if ((proxy_line || site_line) && !options_.send_credentials) continue;
      if (site_line &&
          options_.authorization_left_out.count(Authority(request)) != 0) {
        current_.notes.push_back(
            "Authorization not sent: this host never asked for it");
        continue;
      }
      if (proxy_line) {
        if (!through_proxy) {
          current_.notes.push_back(
              "Proxy-Authorization not sent: this request does not go "
              "through a proxy");
          continue;
        }
        proxy_credentials_ = BasicCredentials(value);
        if (request.scheme == "https") continue;
      }
      soup_message_headers_append(headers, name.c_str(), value.c_str());
    }
  }

  // A step that has not ended by its deadline is cancelled.
  void StartDeadline() {
    timed_out_ = false;
    deadline_.reset(g_timeout_source_new_seconds(options_.timeout_seconds));
    g_source_set_callback(
        deadline_.get(),
        [](gpointer data) -> gboolean {
          Run& run = Unbox(data);
          run.timed_out_ = true;
          if (run.step_cancellable_) {
            g_cancellable_cancel(run.step_cancellable_.get());
          }
          return G_SOURCE_REMOVE;
        },
        NewBox(), DeleteBox);
    g_source_attach(deadline_.get(), context_.get());
  }

  // Called while the message is under way, when the Run is held by the
  // send's box.
  static gboolean OnAcceptCertificate(SoupMessage*, GTlsCertificate* certificate,
                                      GTlsCertificateFlags errors,
                                      gpointer data) {
    Run& run = *static_cast<Run*>(data);
    try {
      run.certificate_refusal_ =
          run.options_.accept_certificate
              ? run.options_.accept_certificate(run.host_, certificate, errors)
              : "the system does not trust it";
    } catch (const std::exception& error) {
      run.certificate_refusal_ =
          std::string("it could not be checked: ") + error.what();
      g_warning("A certificate could not be checked: %s", error.what());
    }
    return run.certificate_refusal_.empty();
  }

  static gboolean OnAuthenticate(SoupMessage*, SoupAuth* auth,
                                 gboolean retrying, gpointer data) {
    Run& run = *static_cast<Run*>(data);
    if (!soup_auth_is_for_proxy(auth) || retrying || !run.proxy_credentials_) {
      return FALSE;
    }
    soup_auth_authenticate(auth, run.proxy_credentials_->first.c_str(),
                           run.proxy_credentials_->second.c_str());
    return TRUE;
  }

  static void OnStarting(SoupMessage* message, gpointer) {
    soup_message_headers_remove(soup_message_get_request_headers(message),
                                kProxyAuthorization);
  }

  static void OnSent(GObject* source, GAsyncResult* result, gpointer data) {
    const std::unique_ptr<Box> box(static_cast<Box*>(data));
    Run& run = **box;
    g_autoptr(GError) error = nullptr;
    g_autoptr(GInputStream) stream =
        soup_session_send_finish(SOUP_SESSION(source), result, &error);
    run.Guarded([&] { run.AnswerArrived(stream, error); });
  }

  // The step's failure after `error`; false when the replay was cancelled
  // instead and has finished.
  bool StepFailed(const std::string& what, const GError* error) {
    if (IsCancellation(error) && !timed_out_) {
      EndStep();
      Finish(ReplayEnd::kCancelled, "");
      return false;
    }
    current_.error =
        timed_out_ ? "no complete answer within " +
                         std::to_string(options_.timeout_seconds) + " s"
                   : what + error->message;
    if (!timed_out_ && !certificate_refusal_.empty()) {
      current_.error += " (the certificate of " + host_ +
                        " is refused: " + certificate_refusal_ + ")";
    }
    return true;
  }

  void AnswerArrived(GInputStream* stream, const GError* error) {
    current_.ms = (g_get_monotonic_time() - sent_at_) /
                  kMicrosecondsPerMillisecond;
    if (stream == nullptr) {
      if (StepFailed("", error)) FinishStep();
      return;
    }
    current_.status = static_cast<int>(soup_message_get_status(message_.get()));
    SoupMessageHeaders* headers =
        soup_message_get_response_headers(message_.get());
    if (const char* location =
            soup_message_headers_get_one(headers, "Location")) {
      current_.location = location;
      current_.redirect_target = ResolveLocation(current_.url, location);
    }
    g_autoptr(GHashTable) parameters = nullptr;
    const char* type = soup_message_headers_get_content_type(headers, &parameters);
    html_ = type != nullptr &&
            std::string_view(type).find("html") != std::string_view::npos;
    const char* charset =
        parameters != nullptr
            ? static_cast<const char*>(g_hash_table_lookup(parameters, "charset"))
            : nullptr;
    charset_ = charset != nullptr ? charset : "";
    expected_size_ = soup_message_headers_get_encoding(headers) ==
                             SOUP_ENCODING_CONTENT_LENGTH
                         ? soup_message_headers_get_content_length(headers)
                         : -1;
    SetUpDecoding(soup_message_headers_get_one(headers, "Content-Encoding"));
    // The whole body is read, HTML or not, so that the connection can
    // carry the next request.
    body_.clear();
    received_ = 0;
    body_stream_ = GObjectPtr<GInputStream>::Ref(stream);
    ReadBodyChunk();
  }

  // The answer is scanned as the browser shows it: a gzip or deflate body
  // decoded; one in another coding is not scanned.
  void SetUpDecoding(const char* coding) {
    decoder_.reset();
    if (coding == nullptr || g_ascii_strcasecmp(coding, "identity") == 0) return;
    if (g_ascii_strcasecmp(coding, "gzip") == 0 ||
        g_ascii_strcasecmp(coding, "x-gzip") == 0) {
      decoder_ = GObjectPtr<GZlibDecompressor>::Adopt(
          g_zlib_decompressor_new(G_ZLIB_COMPRESSOR_FORMAT_GZIP));
    } else if (g_ascii_strcasecmp(coding, "deflate") == 0) {
      decoder_ = GObjectPtr<GZlibDecompressor>::Adopt(
          g_zlib_decompressor_new(G_ZLIB_COMPRESSOR_FORMAT_ZLIB));
    } else {
      html_ = false;
    }
  }

  void ReadBodyChunk() {
    g_input_stream_read_async(body_stream_.get(), chunk_.data(), chunk_.size(),
                              G_PRIORITY_DEFAULT, step_cancellable_.get(),
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

  // Keeps what the scan needs of `size` bytes of the body as they came.
  void Keep(const char* data, std::size_t size) {
    if (!decoder_) {
      body_.append(data, std::min(size, kHtmlKept - body_.size()));
      return;
    }
    while (size > 0 && body_.size() < kHtmlKept) {
      gsize read = 0;
      gsize written = 0;
      g_autoptr(GError) error = nullptr;
      const GConverterResult result = g_converter_convert(
          G_CONVERTER(decoder_.get()), data, size, decoded_.data(),
          decoded_.size(), G_CONVERTER_NO_FLAGS, &read, &written, &error);
      if (result == G_CONVERTER_ERROR) {
        // More input is needed first; anything else is a body that does
        // not decode, and the scan keeps what decoded.
        if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_PARTIAL_INPUT)) {
          html_ = false;
        }
        return;
      }
      body_.append(decoded_.data(),
                   std::min<std::size_t>(written, kHtmlKept - body_.size()));
      data += read;
      size -= read;
      if (result == G_CONVERTER_FINISHED) return;
    }
  }

  // `read` bytes have arrived in chunk_: none at the end, -1 on `error`.
  void BodyChunkRead(gssize read, const GError* error) {
    if (read > 0) {
      received_ += read;
      if (html_ && body_.size() < kHtmlKept) {
        Keep(chunk_.data(), static_cast<std::size_t>(read));
      }
      return ReadBodyChunk();
    }
    if (read < 0) {
      if (!StepFailed("the answer broke off: ", error)) return;
    } else if (expected_size_ >= 0 && received_ < expected_size_) {
      current_.error = "the answer broke off after " +
                       std::to_string(received_) + " of " +
                       std::to_string(expected_size_) + " bytes";
    } else if (!body_.empty() && AnswerMayMatter()) {
      ledger_.AddAnswer(HandedOutValues(body_, charset_), body_,
                        LaterSentFields());
    }
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

  std::vector<NamedValue> LaterSentFields() const {
    std::vector<NamedValue> later;
    for (std::size_t i = current_.index + 1; i < sent_fields_.size(); ++i) {
      later.insert(later.end(), sent_fields_[i].begin(), sent_fields_[i].end());
    }
    return later;
  }

  // Lets go of everything the step under way holds: its deadline, its
  // message and its answer's stream.
  void EndStep() {
    deadline_.reset();
    if (message_) {
      g_signal_handlers_disconnect_by_data(message_.get(), this);
      message_.reset();
    }
    if (body_stream_) {
      // The body has ended (or failed): closing the stream does no I/O.
      g_input_stream_close(body_stream_.get(), nullptr, nullptr);
      body_stream_.reset();
    }
    step_cancellable_.reset();
    decoder_.reset();
    body_.clear();
    certificate_refusal_.clear();
  }

  void FinishStep() {
    EndStep();
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

  void Finish(ReplayEnd end, const std::string& failure) {
    if (!running_) return;
    running_ = false;
    if (!detached_ && callbacks_.finished) callbacks_.finished(end, failure);
  }

  // What each element of the document sends.
  std::vector<ReplayedRequest> requests_;
  const ReplayOptions options_;
  ReplayCallbacks callbacks_;
  bool started_ = false;
  bool running_ = false;
  bool detached_ = false;
  bool cancelled_ = false;
  bool in_send_step_ = false;
  std::unique_ptr<GMainContext, ContextUnref> context_;
  GObjectPtr<SoupSession> session_;
  GObjectPtr<GProxyResolver> resolver_;
  // The fields each element sends, and for each field name the index of
  // the last element that sends it.
  std::vector<std::vector<NamedValue>> sent_fields_;
  std::map<std::string, std::size_t> last_sent_;
  HandedOutLedger ledger_;
  std::size_t next_ = 0;

  // The step under way.
  StepResult current_;
  GObjectPtr<SoupMessage> message_;
  GObjectPtr<GCancellable> step_cancellable_;
  SourcePtr deadline_;
  bool timed_out_ = false;
  std::optional<std::pair<std::string, std::string>> proxy_credentials_;
  std::string certificate_refusal_;
  GObjectPtr<GInputStream> body_stream_;
  GObjectPtr<GZlibDecompressor> decoder_;
  goffset expected_size_ = -1;
  goffset received_ = 0;
  std::string body_;
  std::array<char, kBodyChunk> chunk_;
  std::array<char, kBodyChunk> decoded_;
  std::string host_;
  bool html_ = false;
  std::string charset_;
  gint64 sent_at_ = 0;
};

std::function<std::string(const std::string&, GTlsCertificate*,
                          GTlsCertificateFlags)>
AcceptOnly(std::vector<AcceptedCertificate> accepted) {
  return [accepted = std::move(accepted)](
             const std::string& host, GTlsCertificate* certificate,
             GTlsCertificateFlags) -> std::string {
    bool host_accepted = false;
    for (const AcceptedCertificate& entry : accepted) {
      if (!entry.host.empty() && entry.host != host) continue;
      host_accepted = true;
      g_autoptr(GTlsCertificate) kept =
          g_tls_certificate_new_from_pem(entry.pem.c_str(), -1, nullptr);
      if (kept != nullptr && certificate != nullptr &&
          g_tls_certificate_is_same(kept, certificate)) {
        return "";
      }
    }
    return host_accepted
               ? "the system does not trust it, and it is not the one "
                 "accepted for " + host
               : "the system does not trust it, and none was accepted for " +
                     host;
  };
}

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
