#ifndef SCRIVLET_REPLAY_REPLAY_ENGINE_H_
#define SCRIVLET_REPLAY_REPLAY_ENGINE_H_

// Replays a transaction document's elements in order, the way the
// management server replays a transaction, to find out before the document
// leaves the desk which steps will fail there.
//
// Each replay runs in a fresh HTTP client of its own: no cookie of the
// browser, cookies kept between the replayed requests, redirects not
// followed (the document holds the request that follows a redirect as an
// element of its own), the recorded header lines sent as they stand, the
// recorded body, and the scheme each element's Referer line names. The
// requests share one connection per server where the server keeps it open,
// POSTs included. No proxy is used unless one is given, not even the
// system's.
//
// Credentials go only where they belong: a recorded Proxy-Authorization
// line goes to the proxy (on a plain request through it, and as the
// answer to the proxy's challenge for an https tunnel), never to a web
// server; a step that does not go through a proxy leaves it out and says
// so in a note. A recorded Authorization line goes to the step's server
// unless the options leave it out.
//
// Each step has one deadline from its start to the last byte of its
// answer, however slowly the server sends. An answer's body is read to its
// end, but only the first kHtmlKept bytes of an HTML answer (decoded as
// the browser decodes gzip and deflate) are kept, for the session-bound
// scan (KeptAnswerBody).
//
// The replay runs on the GLib main context that is the thread's default
// when Start() is called; every callback comes from that context, one at a
// time, never from inside Start() or Cancel().

#include <gio/gio.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "document/document_reader.h"
#include "replay/session_bound.h"

namespace scrivlet::replay {

struct ReplayOptions {
  // "" for none, else "http://HOST:PORT" (IsProxyAddress). Throws
  // std::invalid_argument from the engine's constructor when it is not
  // such an address.
  std::string proxy;
  // Hosts reached without the proxy, in the forms GSimpleProxyResolver
  // takes ("localhost", "*.example.com", "10.0.0.0/8", "host:8080").
  std::vector<std::string> proxy_ignore_hosts;
  // Asked about a server certificate that the system does not trust
  // (`errors` says why), with the host of the request (no port); "" accepts
  // it for that request, any other text refuses it and is the reason its
  // step fails. Unset, every such certificate fails its step. AcceptOnly
  // (certificate_acceptance.h) passes those the person accepted.
  std::function<std::string(const std::string& host,
                            GTlsCertificate* certificate,
                            GTlsCertificateFlags errors)>
      accept_certificate;
  // A step whose answer has not ended within this many seconds from its
  // start fails.
  unsigned timeout_seconds = 30;
  // false: neither the Authorization nor the Proxy-Authorization lines are
  // sent.
  bool send_credentials = true;
  // The Host lines (as recorded) of the steps whose Authorization line is
  // left out.
  std::set<std::string> authorization_left_out;
};

// What one replayed element got.
struct StepResult {
  std::size_t index = 0;  // the element's index in the document, from 0
  std::string method;
  std::string url;  // the address the request went to (ReplayedRequest)
  bool sent = false;  // false: the element could not be replayed
  std::optional<int> status;  // nullopt: no answer
  std::optional<std::string> location;  // the Location header as sent
  // The Location resolved against `url`, "" without one.
  std::string redirect_target;
  // Why the step failed although it may have a status: not sent (the
  // element cannot be replayed), no answer (the resolver's or the TLS
  // layer's words), or an answer cut short, reset or not ended before the
  // deadline. "" when the answer came whole.
  std::string error;
  // What the step left out of the recorded request, and why.
  std::vector<std::string> notes;
  long long ms = 0;  // from sending to the answer's headers
  std::vector<SessionBoundValue> session_bound;
};

enum class ReplayEnd { kDone, kCancelled, kFailed };

struct ReplayCallbacks {
  // Before an element is sent. May be unset.
  std::function<void(std::size_t index)> step_started;
  // After an element has got its answer (its body read), or failed.
  std::function<void(const StepResult& result)> step_finished;
  // Once, after the last step, after Cancel(), or when the replay could
  // not go on (`failure` says why).
  std::function<void(ReplayEnd end, const std::string& failure)> finished;
};

class ReplayEngine {
 public:
  ReplayEngine(std::vector<DocumentElement> elements, ReplayOptions options);
  // Cancels a replay that is still running; no callback comes afterwards.
  ~ReplayEngine();
  ReplayEngine(const ReplayEngine&) = delete;
  ReplayEngine& operator=(const ReplayEngine&) = delete;

  // Starts the replay; once per engine (a second call throws
  // std::logic_error). Any callback may destroy the engine; nothing is
  // called after that.
  void Start(ReplayCallbacks callbacks);
  // Stops sending: a request under way is abandoned, and
  // `finished(kCancelled)` follows from the main context. Does nothing when no replay runs.
  void Cancel();
  bool running() const;

  class Run;

 private:
  std::shared_ptr<Run> run_;
};

}  // namespace scrivlet::replay

#endif  // SCRIVLET_REPLAY_REPLAY_ENGINE_H_
