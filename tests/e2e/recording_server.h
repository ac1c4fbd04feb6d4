#ifndef SCRIVLET_TESTS_E2E_RECORDING_SERVER_H_
#define SCRIVLET_TESTS_E2E_RECORDING_SERVER_H_

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "loopback_http_server.h"
#include "stand_in_server/form_decoding.h"
#include "waiting.h"

namespace scrivlet::e2e {

// One request as the server received it.
struct RecordedRequest {
  std::string method;
  std::string target;  // the request target exactly as sent (path and query)
  std::string path;    // the target without its query
  httplib::Headers headers;
  std::string body;    // the body bytes exactly as sent

  std::string Header(const std::string& name) const;
};

// The challenge that comes with every 401 answer.
inline constexpr char kBasicChallenge[] = "Basic realm=\"E2E staff\"";

// The answer to one request; a 401 answer carries kBasicChallenge.
struct Reply {
  int status = 200;
  std::string html;
  std::string location;  // for a 3xx answer
  std::string content_disposition = "";  // "" for none
  // An HTML answer that never ends: `html` again and again, until the
  // browser closes the connection.
  bool endless = false;
};

// A page with no margin that reports its load: after its load event it
// fetches GET /beacon?page=<path and query>. `style` is added to the page's
// style sheet, `script` runs at the end of the body.
std::string BeaconPage(const std::string& title, const std::string& body,
                       const std::string& script = "",
                       const std::string& style = "");

// Whether the pages may be kept in the browser's cache.
enum class Caching {
  kAllowed,  // no Cache-Control header
  kNoStore,  // every page "Cache-Control: no-store"
};

// A web application on 127.0.0.1 with a free port that records every
// request it receives, in order of arrival. Beacons (/beacon) are answered
// 204 and recorded like every other request; a beacon is not a navigation.
// Other requests are answered by the route of their path (without the
// query), or by `fallback` when no route has that path.
class RecordingServer {
 public:
  using Route = std::function<Reply(const RecordedRequest&)>;

  // With `tls` it serves HTTPS and its addresses begin with "https".
  RecordingServer(Route fallback, Caching caching,
                  const std::optional<TlsIdentity>& tls = std::nullopt);
  RecordingServer(const RecordingServer&) = delete;
  RecordingServer& operator=(const RecordingServer&) = delete;

  // Routes by exact path; a later route for the same path replaces the
  // earlier one, also while pages are being served.
  void Add(const std::string& path, Route route);
  void AddPage(const std::string& path, const std::string& html);

  int port() const { return server_.port(); }
  // "127.0.0.1:PORT"
  std::string Authority() const;
  // "http://127.0.0.1:PORT" + path_and_query ("https" with TLS), or with
  // another host name that reaches the same server ("localhost").
  std::string Url(const std::string& path_and_query,
                  const std::string& host = "127.0.0.1") const;

  // Every request received so far, in order of arrival.
  std::vector<RecordedRequest> Requests() const;
  std::vector<RecordedRequest> RequestsTo(const std::string& path) const;
  // The last POST received; a request with empty fields when none has come.
  RecordedRequest LastPost() const;
  // How many beacons the page with this path and query has sent.
  int BeaconCount(const std::string& page) const;
  // Waits until `predicate` holds for the requests received; false when it
  // does not within `timeout`.
  bool WaitFor(const std::function<bool(const std::vector<RecordedRequest>&)>&
                   predicate,
               std::chrono::milliseconds timeout = kWaitTimeout) const;
  bool WaitForBeacon(const std::string& page, int count,
                     std::chrono::milliseconds timeout = kWaitTimeout) const;
  bool WaitForRequest(const std::string& path, int count,
                      std::chrono::milliseconds timeout = kWaitTimeout) const;
  // The bytes of endless answers sent so far, and how many of those answers
  // the browser has cut off.
  std::size_t EndlessBytesSent() const { return endless_bytes_; }
  int EndlessAnswersCut() const { return endless_cut_; }

 private:
  void Handle(const httplib::Request& request, httplib::Response& response,
              const std::string& body);

  const Route fallback_;
  const Caching caching_;
  const std::string scheme_;
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
  std::map<std::string, Route> routes_;
  std::atomic<std::size_t> endless_bytes_ = 0;
  std::atomic<int> endless_cut_ = 0;
  // Last: it serves from construction on and stops first on destruction.
  LoopbackHttpServer server_;
};

// Decodes one component of a URL-encoded text, as the stand-in server does.
using stand_in::PercentDecode;

}  // namespace scrivlet::e2e

#endif  // SCRIVLET_TESTS_E2E_RECORDING_SERVER_H_
