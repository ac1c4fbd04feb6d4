#include "forwarding_proxy.h"

#include <cctype>
#include <stdexcept>

namespace scrivlet::e2e {
namespace {

// Headers that belong to one hop and are not passed on.
bool IsHopHeader(const std::string& name) {
  static const char* const kHop[] = {
      "Connection",   "Proxy-Connection", "Keep-Alive",     "Proxy-Authorization",
      "Content-Length", "Transfer-Encoding", "TE", "Upgrade", "Host", "Accept-Encoding"};
  for (const char* hop : kHop) {
    std::string lower_hop(hop);
    if (name.size() != lower_hop.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(name[i])) !=
          std::tolower(static_cast<unsigned char>(lower_hop[i]))) {
        same = false;
      }
    }
    if (same) return true;
  }
  return false;
}

}  // namespace

ForwardingProxy::ForwardingProxy() {
  // The browser keeps several connections open at once; a pool smaller
  // than that would leave requests waiting for an idle connection to time
  // out.
  server_.new_task_queue = [] { return new httplib::ThreadPool(32); };
  server_.set_keep_alive_timeout(1);
  // httplib would parse a multipart body itself and refuse the raw reader;
  // a proxy passes bodies on untouched, so the type is hidden from it until
  // the request is forwarded.
  server_.set_pre_routing_handler(
      [](const httplib::Request& const_request, httplib::Response&) {
        auto& request = const_cast<httplib::Request&>(const_request);
        auto it = request.headers.find("Content-Type");
        if (it != request.headers.end() &&
            it->second.rfind("multipart/form-data", 0) == 0) {
          it->second = "x-e2e-parked;" + it->second;
        }
        return httplib::Server::HandlerResponse::Unhandled;
      });
  server_.Get(".*", [this](const httplib::Request& request,
                           httplib::Response& response) {
    Forward(request, response, "");
  });
  server_.Post(".*", [this](const httplib::Request& request,
                            httplib::Response& response,
                            const httplib::ContentReader& reader) {
    std::string body;
    reader([&body](const char* data, size_t length) {
      body.append(data, length);
      return true;
    });
    Forward(request, response, body);
  });
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("the proxy cannot bind");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // The socket listens from bind_to_any_port on, so connections made before
  // the accept loop runs wait in its backlog.
}

ForwardingProxy::~ForwardingProxy() {
  server_.stop();
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> ForwardingProxy::Seen() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

void ForwardingProxy::Forward(const httplib::Request& request,
                              httplib::Response& response,
                              const std::string& body) {
  {
    std::lock_guard lock(mutex_);
    seen_.push_back(request.method + " " + request.target);
  }
  // Only loopback origins: the proxy never reaches beyond this machine.
  const std::string prefix = "http://127.0.0.1:";
  if (request.target.rfind(prefix, 0) != 0) {
    response.status = 403;
    return;
  }
  size_t port_end = request.target.find('/', prefix.size());
  int port = std::stoi(request.target.substr(
      prefix.size(), port_end == std::string::npos ? std::string::npos
                                                   : port_end - prefix.size()));
  std::string path =
      port_end == std::string::npos ? "/" : request.target.substr(port_end);

  httplib::Client origin("127.0.0.1", port);
  httplib::Headers headers;
  for (const auto& [name, value] : request.headers) {
    if (!IsHopHeader(name)) headers.emplace(name, value);
  }
  std::string content_type = request.get_header_value("Content-Type");
  const std::string parked = "x-e2e-parked;";
  if (content_type.rfind(parked, 0) == 0) {
    content_type = content_type.substr(parked.size());
  }
  headers.erase("Content-Type");
  httplib::Result result =
      request.method == "POST"
          ? origin.Post(path.c_str(), headers, body, content_type.c_str())
          : origin.Get(path.c_str(), headers);
  if (!result) {
    response.status = 502;
    return;
  }
  response.status = result->status;
  for (const auto& [name, value] : result->headers) {
    if (!IsHopHeader(name) && name != "Content-Type") {
      response.set_header(name.c_str(), value);
    }
  }
  response.set_content(result->body,
                       result->get_header_value("Content-Type").c_str());
}

}  // namespace scrivlet::e2e
