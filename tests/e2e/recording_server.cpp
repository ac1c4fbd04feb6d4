#include "recording_server.h"

#include <utility>

namespace scrivlet::e2e {

std::string RecordedRequest::Header(const std::string& name) const {
  auto it = headers.find(name);
  return it == headers.end() ? "" : it->second;
}

std::string BeaconPage(const std::string& title, const std::string& body,
                       const std::string& script, const std::string& style) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
         "</title><style>body{margin:0;font:16px sans-serif}" + style +
         "</style><script>addEventListener('pageshow',function(){"
         "setTimeout(function(){fetch('/beacon?page='+encodeURIComponent("
         "location.pathname+location.search));},0);});</script>"
         "</head><body>" +
         body + (script.empty() ? "" : "<script>" + script + "</script>") +
         "</body></html>";
}

RecordingServer::RecordingServer(Route fallback, Caching caching,
                                 const std::optional<TlsIdentity>& tls)
    : fallback_(std::move(fallback)),
      caching_(caching),
      scheme_(tls ? "https" : "http"),
      server_(
          "the test web server",
          [this](const httplib::Request& request, httplib::Response& response,
                 const std::string& body) { Handle(request, response, body); },
          std::nullopt, tls) {}

void RecordingServer::Add(const std::string& path, Route route) {
  std::lock_guard lock(mutex_);
  routes_[path] = std::move(route);
}

void RecordingServer::AddPage(const std::string& path,
                              const std::string& html) {
  Add(path, [html](const RecordedRequest&) { return Reply{200, html, ""}; });
}

std::string RecordingServer::Authority() const {
  return "127.0.0.1:" + std::to_string(port());
}

std::string RecordingServer::Url(const std::string& path_and_query,
                                 const std::string& host) const {
  return scheme_ + "://" + host + ":" + std::to_string(port()) +
         path_and_query;
}

void RecordingServer::Handle(const httplib::Request& request,
                             httplib::Response& response,
                             const std::string& body) {
  RecordedRequest recorded;
  recorded.method = request.method;
  recorded.target = request.target;
  recorded.path = request.target.substr(0, request.target.find('?'));
  recorded.headers = request.headers;
  recorded.body = body;
  Route route = fallback_;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(recorded);
    auto it = routes_.find(recorded.path);
    if (it != routes_.end()) route = it->second;
  }
  if (recorded.path == "/beacon") {
    response.status = 204;
    return;
  }
  Reply reply = route(recorded);
  response.status = reply.status;
  if (!reply.location.empty()) response.set_header("Location", reply.location);
  if (!reply.content_disposition.empty()) {
    response.set_header("Content-Disposition", reply.content_disposition);
  }
  if (reply.status == 401) {
    response.set_header("WWW-Authenticate", kBasicChallenge);
  }
  if (caching_ == Caching::kNoStore) {
    response.set_header("Cache-Control", "no-store");
  }
  // A 204 answer has no body.
  if (reply.status == 204) return;
  if (reply.endless) {
    response.set_chunked_content_provider(
        "text/html; charset=utf-8",
        [this, chunk = reply.html](std::size_t, httplib::DataSink& sink) {
          if (!sink.write(chunk.data(), chunk.size())) return false;
          endless_bytes_ += chunk.size();
          return true;
        },
        [this](bool) { ++endless_cut_; });
    return;
  }
  response.set_content(reply.html, "text/html; charset=utf-8");
}

std::vector<RecordedRequest> RecordingServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<RecordedRequest> RecordingServer::RequestsTo(
    const std::string& path) const {
  std::vector<RecordedRequest> found;
  for (auto& request : Requests()) {
    if (request.path == path) found.push_back(request);
  }
  return found;
}

RecordedRequest RecordingServer::LastPost() const {
  RecordedRequest post;
  for (const auto& request : Requests()) {
    if (request.method == "POST") post = request;
  }
  return post;
}

int RecordingServer::BeaconCount(const std::string& page) const {
  int count = 0;
  for (auto& request : RequestsTo("/beacon")) {
    auto query = request.target.find("?page=");
    if (query == std::string::npos) continue;
    if (PercentDecode(request.target.substr(query + 6)) == page) ++count;
  }
  return count;
}

bool RecordingServer::WaitFor(
    const std::function<bool(const std::vector<RecordedRequest>&)>& predicate,
    std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return predicate(Requests()); }, timeout);
}

bool RecordingServer::WaitForBeacon(const std::string& page, int count,
                                    std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return BeaconCount(page) >= count; }, timeout);
}

bool RecordingServer::WaitForRequest(const std::string& path, int count,
                                     std::chrono::milliseconds timeout) const {
  return WaitUntil(
      [&] { return static_cast<int>(RequestsTo(path).size()) >= count; },
      timeout);
}

}  // namespace scrivlet::e2e
