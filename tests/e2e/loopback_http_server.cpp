#include "loopback_http_server.h"

#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "subprocess.h"

namespace scrivlet::e2e {

TlsIdentity MakeSelfSignedIdentity(const std::string& dir) {
  TlsIdentity identity{dir + "/certificate.pem", dir + "/key.pem"};
  const CommandResult made = RunCommand(
      {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
       "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
       identity.key_path, "-out", identity.certificate_path, "-days", "2",
       "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"},
      {{"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"}},
      std::chrono::seconds(60));
  if (made.exit_status != 0) {
    throw std::runtime_error("openssl could not make a test certificate");
  }
  return identity;
}

namespace {

// httplib parses a multipart body itself whenever the request's Content-Type
// says multipart/form-data, even for a handler that asks for the raw bytes,
// and the raw reader then fails. The tests need the bytes exactly as sent, so
// before routing the Content-Type is parked under another name (which makes
// the request look like any other body) and put back before the handler
// sees the request.
constexpr char kParkedContentType[] = "X-E2E-Parked-Content-Type";

// The request object itself is not const; routing hands it out as const.
httplib::Request& Mutable(const httplib::Request& request) {
  return const_cast<httplib::Request&>(request);
}

httplib::Server::HandlerResponse ParkMultipartContentType(
    const httplib::Request& const_request, httplib::Response&) {
  auto& request = Mutable(const_request);
  auto it = request.headers.find("Content-Type");
  if (it != request.headers.end() &&
      it->second.starts_with("multipart/form-data")) {
    request.headers.emplace(kParkedContentType, it->second);
    it->second = "application/octet-stream";
  }
  return httplib::Server::HandlerResponse::Unhandled;
}

void RestoreContentType(const httplib::Request& const_request) {
  httplib::Headers& headers = Mutable(const_request).headers;
  auto parked = headers.find(kParkedContentType);
  if (parked == headers.end()) return;
  std::string original = parked->second;
  headers.erase(parked);
  headers.erase("Content-Type");
  headers.emplace("Content-Type", original);
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(const std::string& what,
                                       Handler handler,
                                       std::optional<int> keep_alive_seconds,
                                       const std::optional<TlsIdentity>& tls)
    : handler_(std::move(handler)),
      server_(tls ? std::make_unique<httplib::SSLServer>(
                        tls->certificate_path.c_str(), tls->key_path.c_str())
                  : std::make_unique<httplib::Server>()) {
  if (!server_->is_valid()) {
    throw std::runtime_error(what + " cannot use its certificate");
  }
  httplib::Server& server = *server_;
  server.set_pre_routing_handler(ParkMultipartContentType);
  // The browser keeps several connections open at once; a pool smaller
  // than that would leave requests waiting for an idle connection to time
  // out.
  server.new_task_queue = [] { return new httplib::ThreadPool(32); };
  if (keep_alive_seconds) server.set_keep_alive_timeout(*keep_alive_seconds);
  server.Get(".*", [this](const httplib::Request& request,
                           httplib::Response& response) {
    RestoreContentType(request);
    handler_(request, response, "");
  });
  const auto with_body = [this](const httplib::Request& request,
                                httplib::Response& response,
                                const httplib::ContentReader& reader) {
    // The raw reader keeps a multipart body as bytes instead of parsing it.
    std::string body;
    reader([&body](const char* data, size_t length) {
      body.append(data, length);
      return true;
    });
    RestoreContentType(request);
    handler_(request, response, body);
  };
  server.Post(".*", with_body);
  server.Put(".*", with_body);
  port_ = server.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error(what + " cannot bind");
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // The socket listens from bind_to_any_port on, so connections made before
  // the accept loop runs wait in its backlog.
}

LoopbackHttpServer::~LoopbackHttpServer() {
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace scrivlet::e2e
