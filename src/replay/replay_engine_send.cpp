#include <libsoup/soup.h>

#include <exception>
#include <string>

#include "replay/replay_engine_run.h"

namespace scrivlet::replay {

// Whether a request to `uri` goes through the proxy.
bool ReplayEngine::Run::ThroughProxy(GUri* uri) const {
  if (!resolver_) return false;
  g_autofree char* text = g_uri_to_string(uri);
  g_auto(GStrv) proxies =
      g_proxy_resolver_lookup(resolver_.get(), text, nullptr, nullptr);
  return proxies != nullptr && proxies[0] != nullptr &&
         g_strcmp0(proxies[0], "direct://") != 0;
}

void ReplayEngine::Run::SendNextElement() {
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

// A step that has not ended by its deadline is cancelled.
void ReplayEngine::Run::StartDeadline() {
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
gboolean ReplayEngine::Run::OnAcceptCertificate(SoupMessage*,
                                                GTlsCertificate* certificate,
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

}  // namespace scrivlet::replay
