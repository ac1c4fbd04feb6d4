#include <libsoup/soup.h>

#include <memory>
#include <string>
#include <string_view>

#include "replay/replay_engine_run.h"
#include "replay/verdict.h"

namespace scrivlet::replay {
namespace {

constexpr gint64 kMicrosecondsPerMillisecond = 1000;

bool IsCancellation(const GError* error) {
  return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
}

}  // namespace

void ReplayEngine::Run::OnSent(GObject* source, GAsyncResult* result,
                               gpointer data) {
  const std::unique_ptr<Box> box(static_cast<Box*>(data));
  Run& run = **box;
  g_autoptr(GError) error = nullptr;
  g_autoptr(GInputStream) stream =
      soup_session_send_finish(SOUP_SESSION(source), result, &error);
  run.Guarded([&] { run.AnswerArrived(stream, error); });
}

// The step's failure after `error`; false when the replay was cancelled
// instead and has finished.
bool ReplayEngine::Run::StepFailed(const std::string& what,
                                   const GError* error) {
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

void ReplayEngine::Run::AnswerArrived(GInputStream* stream,
                                      const GError* error) {
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
  const bool html = type != nullptr &&
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
  body_.Begin(html, soup_message_headers_get_one(headers, "Content-Encoding"));
  // The whole body is read, HTML or not, so that the connection can
  // carry the next request.
  received_ = 0;
  body_stream_ = GObjectPtr<GInputStream>::Ref(stream);
  ReadBodyChunk();
}

void ReplayEngine::Run::ReadBodyChunk() {
  g_input_stream_read_async(body_stream_.get(), chunk_.data(), chunk_.size(),
                            G_PRIORITY_DEFAULT, step_cancellable_.get(),
                            &Run::OnBodyChunk, NewBox());
}

void ReplayEngine::Run::OnBodyChunk(GObject* source, GAsyncResult* result,
                                    gpointer data) {
  const std::unique_ptr<Box> box(static_cast<Box*>(data));
  Run& run = **box;
  g_autoptr(GError) error = nullptr;
  const gssize read =
      g_input_stream_read_finish(G_INPUT_STREAM(source), result, &error);
  run.Guarded([&] { run.BodyChunkRead(read, error); });
}

// `read` bytes have arrived in chunk_: none at the end, -1 on `error`.
void ReplayEngine::Run::BodyChunkRead(gssize read, const GError* error) {
  if (read > 0) {
    received_ += read;
    body_.Keep(chunk_.data(), static_cast<std::size_t>(read));
    return ReadBodyChunk();
  }
  if (read < 0) {
    if (!StepFailed("the answer broke off: ", error)) return;
  } else if (expected_size_ >= 0 && received_ < expected_size_) {
    current_.error = "the answer broke off after " +
                     std::to_string(received_) + " of " +
                     std::to_string(expected_size_) + " bytes";
  } else if (!body_.text().empty() && AnswerMayMatter()) {
    ledger_.AddAnswer(HandedOutValues(body_.text(), charset_), body_.text(),
                      LaterSentFields());
  }
  FinishStep();
}

// Whether the current step's answer can hand out a value that a later
// request sends; only then is it parsed.
bool ReplayEngine::Run::AnswerMayMatter() const {
  for (const auto& [name, last] : last_sent_) {
    if (last > current_.index && MayHandOut(body_.text(), name)) return true;
  }
  return false;
}

std::vector<NamedValue> ReplayEngine::Run::LaterSentFields() const {
  std::vector<NamedValue> later;
  for (std::size_t i = current_.index + 1; i < sent_fields_.size(); ++i) {
    later.insert(later.end(), sent_fields_[i].begin(), sent_fields_[i].end());
  }
  return later;
}

}  // namespace scrivlet::replay
