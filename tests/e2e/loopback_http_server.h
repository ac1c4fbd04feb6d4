#ifndef SCRIVLET_TESTS_E2E_LOOPBACK_HTTP_SERVER_H_
#define SCRIVLET_TESTS_E2E_LOOPBACK_HTTP_SERVER_H_

#include <httplib.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace scrivlet::e2e {

// A certificate and its private key, PEM files, with which the server
// speaks HTTPS instead of plain HTTP.
struct TlsIdentity {
  std::string certificate_path;
  std::string key_path;
};

// A certificate for 127.0.0.1 signed by itself, and its key, made with
// openssl in `dir`. Throws std::runtime_error when openssl fails.
TlsIdentity MakeSelfSignedIdentity(const std::string& dir);

// An HTTP server on 127.0.0.1 with a free port, serving on a thread of its
// own from construction to destruction. Every GET and POST goes to one
// handler together with the body bytes exactly as sent, a multipart body
// included; the request's headers are those the client sent.
//
// The handler runs on the server's threads until the destructor has
// stopped them, so an owner declares this member after everything its
// handler touches.
class LoopbackHttpServer {
 public:
  using Handler = std::function<void(const httplib::Request& request,
                                     httplib::Response& response,
                                     const std::string& body)>;

  // `what` names the server in the error thrown when it cannot bind.
  // `keep_alive_seconds` replaces httplib's idle connection timeout. With
  // `tls` it serves HTTPS.
  LoopbackHttpServer(const std::string& what, Handler handler,
                     std::optional<int> keep_alive_seconds = std::nullopt,
                     const std::optional<TlsIdentity>& tls = std::nullopt);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int port() const { return port_; }

 private:
  Handler handler_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace scrivlet::e2e

#endif  // SCRIVLET_TESTS_E2E_LOOPBACK_HTTP_SERVER_H_
