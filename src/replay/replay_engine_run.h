#ifndef SCRIVLET_REPLAY_REPLAY_ENGINE_RUN_H_
#define SCRIVLET_REPLAY_REPLAY_ENGINE_RUN_H_

// The replay engine's own: the state of one replay and its steps, for the
// files that define its parts. No other file includes it.
//   replay_engine.cpp              its course: start, steps in order, end
//   replay_engine_send.cpp         sending a step
//   replay_engine_credentials.cpp  which credential line goes where
//   replay_engine_answer.cpp       reading a step's answer

#include <libsoup/soup.h>

#include <array>
#include <cstddef>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/gobject_ptr.h"
#include "replay/kept_answer_body.h"
#include "replay/replay_engine.h"
#include "replay/replayed_request.h"
#include "replay/session_bound.h"

namespace scrivlet::replay {

// How much of an answer's body one read asks for.
inline constexpr gsize kBodyChunk = 64 * 1024;

// The state of one replay. The engine holds it, and so does every
// asynchronous call under way (a shared_ptr in its user data), so that a
// callback that arrives after the engine is gone finds it still there,
// detached, and only lets go of it.
class ReplayEngine::Run : public std::enable_shared_from_this<Run> {
 public:
  Run(std::vector<DocumentElement> elements, ReplayOptions options);
  ~Run();

  void Start(ReplayCallbacks callbacks);
  void Cancel();
  void Detach();
  bool running() const { return running_; }

 private:
  using Box = std::shared_ptr<Run>;

  struct SourceDestroyer {
    void operator()(GSource* source) const {
      g_source_destroy(source);
      g_source_unref(source);
    }
  };
  using SourcePtr = std::unique_ptr<GSource, SourceDestroyer>;

  struct ContextUnref {
    void operator()(GMainContext* context) const {
      g_main_context_unref(context);
    }
  };

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

  // The course of the replay (replay_engine.cpp).
  void AbandonStep(const std::string& what);
  void Stop(const std::string& why);
  void ScheduleNextStep();
  void SendStep();
  bool Stopped() const { return detached_ || cancelled_; }
  void EndStep();
  void FinishStep();
  void Finish(ReplayEnd end, const std::string& failure);

  // Sending a step (replay_engine_send.cpp).
  bool ThroughProxy(GUri* uri) const;
  void SendNextElement();
  void StartDeadline();
  static gboolean OnAcceptCertificate(SoupMessage*, GTlsCertificate* certificate,
                                      GTlsCertificateFlags errors,
                                      gpointer data);

  // The credential lines (replay_engine_credentials.cpp).
  void AddHeaders(const ReplayedRequest& request, bool through_proxy);
  static gboolean OnAuthenticate(SoupMessage*, SoupAuth* auth,
                                 gboolean retrying, gpointer data);
  static void OnStarting(SoupMessage* message, gpointer);

  // Reading a step's answer (replay_engine_answer.cpp).
  static void OnSent(GObject* source, GAsyncResult* result, gpointer data);
  bool StepFailed(const std::string& what, const GError* error);
  void AnswerArrived(GInputStream* stream, const GError* error);
  void ReadBodyChunk();
  static void OnBodyChunk(GObject* source, GAsyncResult* result, gpointer data);
  void BodyChunkRead(gssize read, const GError* error);
  bool AnswerMayMatter() const;
  std::vector<NamedValue> LaterSentFields() const;

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
  goffset expected_size_ = -1;
  goffset received_ = 0;
  // What the session-bound scan gets of the answer's body.
  KeptAnswerBody body_;
  std::array<char, kBodyChunk> chunk_;
  std::string host_;
  std::string charset_;
  gint64 sent_at_ = 0;
};

}  // namespace scrivlet::replay

#endif  // SCRIVLET_REPLAY_REPLAY_ENGINE_RUN_H_
