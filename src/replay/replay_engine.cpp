#include "replay/replay_engine.h"

#include <stdexcept>
#include <utility>

#include "replay/proxy_address.h"
#include "replay/replay_engine_run.h"

namespace scrivlet::replay {

ReplayEngine::Run::Run(std::vector<DocumentElement> elements,
                       ReplayOptions options)
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

ReplayEngine::Run::~Run() { EndStep(); }

void ReplayEngine::Run::Start(ReplayCallbacks callbacks) {
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

void ReplayEngine::Run::Cancel() {
  if (!running_) return;
  cancelled_ = true;
  if (step_cancellable_) g_cancellable_cancel(step_cancellable_.get());
}

void ReplayEngine::Run::Detach() {
  detached_ = true;
  Cancel();
}

void ReplayEngine::Run::AbandonStep(const std::string& what) {
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
void ReplayEngine::Run::Stop(const std::string& why) {
  g_warning("The replay stopped: %s", why.c_str());
  EndStep();
  Finish(ReplayEnd::kFailed, "the replay stopped after step " +
                                 std::to_string(current_.index + 1) + ": " +
                                 why);
}

void ReplayEngine::Run::ScheduleNextStep() {
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

void ReplayEngine::Run::SendStep() {
  in_send_step_ = true;
  SendNextElement();
  in_send_step_ = false;
}

// Lets go of everything the step under way holds: its deadline, its
// message and its answer's stream.
void ReplayEngine::Run::EndStep() {
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
  body_.Clear();
  certificate_refusal_.clear();
}

void ReplayEngine::Run::FinishStep() {
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

void ReplayEngine::Run::Finish(ReplayEnd end, const std::string& failure) {
  if (!running_) return;
  running_ = false;
  if (!detached_ && callbacks_.finished) callbacks_.finished(end, failure);
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
