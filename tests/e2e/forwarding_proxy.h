#ifndef SCRIVLET_TESTS_E2E_FORWARDING_PROXY_H_
#define SCRIVLET_TESTS_E2E_FORWARDING_PROXY_H_

#include <httplib.h>

#include <mutex>
#include <string>
#include <vector>

#include "loopback_http_server.h"

namespace scrivlet::e2e {

// A plain-http forward proxy on 127.0.0.1 with a free port. It takes
// requests in absolute form ("GET http://127.0.0.1:8080/page HTTP/1.1"),
// remembers "METHOD absolute-URL" for each, and forwards them to their
// origin on the loopback interface. Anything else is refused.
class ForwardingProxy {
 public:
  ForwardingProxy();
  ForwardingProxy(const ForwardingProxy&) = delete;
  ForwardingProxy& operator=(const ForwardingProxy&) = delete;

  int port() const { return server_.port(); }
  // "METHOD absolute-URL" of every request that came through, in order.
  std::vector<std::string> Seen() const;
  // From now on, a request whose Proxy-Authorization is not exactly Basic
  // `user`:`password` is answered 407 with a Basic challenge and not
  // forwarded.
  void RequireCredentials(const std::string& user, const std::string& password);
  // The Proxy-Authorization header of each request in Seen(), "" where it
  // carried none.
  std::vector<std::string> ProxyAuthorizations() const;

 private:
  void Forward(const httplib::Request& request, httplib::Response& response,
               const std::string& body);

  mutable std::mutex mutex_;
  std::vector<std::string> seen_;
  std::vector<std::string> proxy_authorizations_;
  std::string required_authorization_;  // "" lets every request through
  // Last: it serves from construction on and stops first on destruction.
  LoopbackHttpServer server_;
};

}  // namespace scrivlet::e2e

#endif  // SCRIVLET_TESTS_E2E_FORWARDING_PROXY_H_
