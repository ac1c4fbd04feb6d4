#include "forwarding_proxy.h"

#include <cctype>

#include "expected_document.h"

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

ForwardingProxy::ForwardingProxy()
    : server_("the proxy",
              [this](const httplib::Request& request,
                     httplib::Response& response, const std::string& body) {
                Forward(request, response, body);
              },
              /*keep_alive_seconds=*/1) {}

std::vector<std::string> ForwardingProxy::Seen() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

void ForwardingProxy::RequireCredentials(const std::string& user,
                                         const std::string& password) {
  std::lock_guard lock(mutex_);
  required_authorization_ = "Basic " + Base64(user + ":" + password);
}

std::vector<std::string> ForwardingProxy::ProxyAuthorizations() const {
  std::lock_guard lock(mutex_);
  return proxy_authorizations_;
}

void ForwardingProxy::Forward(const httplib::Request& request,
                              httplib::Response& response,
                              const std::string& body) {
  const std::string authorization =
      request.get_header_value("Proxy-Authorization");
  bool admitted = false;
  {
    std::lock_guard lock(mutex_);
    seen_.push_back(request.method + " " + request.target);
    proxy_authorizations_.push_back(authorization);
    admitted = required_authorization_.empty() ||
               authorization == required_authorization_;
  }
  if (!admitted) {
    response.status = 407;
    response.set_header("Proxy-Authenticate", "Basic realm=\"E2E proxy\"");
    return;
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
  const std::string content_type = request.get_header_value("Content-Type");
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
