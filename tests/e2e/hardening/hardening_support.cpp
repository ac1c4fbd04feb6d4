#include "hardening_support.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace scrivlet::e2e::hardening {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 +
                               HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string BeaconPage(const std::string& title, const std::string& body,
                       const std::string& script) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
         "</title><style>body{margin:0;font:16px sans-serif}</style>"
         "<script>addEventListener('pageshow',function(){"
         "setTimeout(function(){fetch('/beacon?page='+encodeURIComponent("
         "location.pathname+location.search));},0);});</script>"
         "</head><body>" +
         body + (script.empty() ? "" : "<script>" + script + "</script>") +
         "</body></html>";
}

Site::Site() {
  // The browser keeps several connections open at once.
  server_.new_task_queue = [] { return new httplib::ThreadPool(16); };
  server_.Get(".*", [this](const httplib::Request& request,
                           httplib::Response& response) {
    Handle(request, response, "");
  });
  server_.Post(".*", [this](const httplib::Request& request,
                            httplib::Response& response,
                            const httplib::ContentReader& reader) {
    std::string body;
    reader([&body](const char* data, size_t length) {
      body.append(data, length);
      return true;
    });
    Handle(request, response, body);
  });
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("the test site cannot bind");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
}

Site::~Site() {
  server_.stop();
  if (thread_.joinable()) thread_.join();
}

void Site::Add(const std::string& path, Route route) {
  std::lock_guard lock(mutex_);
  routes_[path] = std::move(route);
}

void Site::AddPage(const std::string& path, const std::string& html) {
  Add(path, [html](const RecordedRequest&) { return Reply{200, html, ""}; });
}

std::string Site::Url(const std::string& path_and_query,
                      const std::string& host) const {
  return "http://" + host + ":" + std::to_string(port_) + path_and_query;
}

void Site::Handle(const httplib::Request& request, httplib::Response& response,
                  const std::string& body) {
  RecordedRequest recorded;
  recorded.method = request.method;
  recorded.target = request.target;
  recorded.path = request.target.substr(0, request.target.find('?'));
  recorded.headers = request.headers;
  recorded.body = body;
  Route route;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(recorded);
    auto it = routes_.find(recorded.path);
    if (it != routes_.end()) route = it->second;
  }
  if (recorded.path == "/beacon" || recorded.path == "/favicon.ico") {
    response.status = 204;
    return;
  }
  Reply reply = route ? route(recorded)
                      : Reply{404, BeaconPage("Not found", "not found"), ""};
  response.status = reply.status;
  if (!reply.location.empty()) response.set_header("Location", reply.location);
  response.set_header("Cache-Control", "no-store");
  response.set_content(reply.html, "text/html; charset=utf-8");
}

std::vector<RecordedRequest> Site::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<RecordedRequest> Site::RequestsTo(const std::string& path) const {
  std::vector<RecordedRequest> found;
  for (auto& request : Requests()) {
    if (request.path == path) found.push_back(request);
  }
  return found;
}

int Site::BeaconCount(const std::string& page) const {
  int count = 0;
  for (auto& request : RequestsTo("/beacon")) {
    auto query = request.target.find("?page=");
    if (query == std::string::npos) continue;
    if (PercentDecode(request.target.substr(query + 6)) == page) ++count;
  }
  return count;
}

bool Site::WaitForBeacon(const std::string& page, int count,
                         std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return BeaconCount(page) >= count; }, timeout);
}

bool Site::WaitForRequest(const std::string& path, int count,
                          std::chrono::milliseconds timeout) const {
  return WaitUntil(
      [&] { return static_cast<int>(RequestsTo(path).size()) >= count; },
      timeout);
}

StandInServer::StandInServer() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{StandInServerBinary(), "--port", "0", "--store",
                               store_.path() + "/uploads"},
      Environment{{"PATH", std::getenv("PATH") ? std::getenv("PATH") : ""},
                  {"LC_ALL", "C"}},
      store_.path(), store_.path() + "/server.log", fds[1]);
  close(fds[1]);
  // The first line names the address: "listening on http://127.0.0.1:P/".
  std::string line;
  char c;
  while (line.find('\n') == std::string::npos && read(fds[0], &c, 1) == 1) {
    line += c;
  }
  close(fds[0]);
  const std::string prefix = "listening on ";
  if (line.rfind(prefix, 0) != 0) {
    throw std::runtime_error("the stand-in server did not start: " + line);
  }
  url_ = line.substr(prefix.size(), line.size() - prefix.size() - 1);
}

std::string StandInServer::Upload(int number) const {
  char folder[32];
  std::snprintf(folder, sizeof folder, "/upload-%04d", number);
  return store_.path() + "/uploads" + folder;
}

TmpfsMount::TmpfsMount(const std::string& path, const std::string& size)
    : path_(path) {
  const std::string options = "size=" + size + ",mode=0755";
  if (mount("scrivlet-e2e", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
            options.c_str()) != 0) {
    throw std::runtime_error("cannot mount a tmpfs on " + path + ": " +
                             std::strerror(errno) +
                             " (this test needs root to mount it)");
  }
}

TmpfsMount::~TmpfsMount() { umount2(path_.c_str(), MNT_DETACH); }

void TmpfsMount::RemountReadOnly() const {
  if (mount(nullptr, path_.c_str(), nullptr,
            MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) != 0) {
    throw std::runtime_error("cannot remount " + path_ + " read-only: " +
                             std::strerror(errno));
  }
}

void FillFileSystem(const std::string& path) {
  const std::string filler = path + "/filler";
  int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create " + filler);
  const std::string block(4096, 'x');
  // Whole blocks first, then single bytes for the last partial block.
  while (write(fd, block.data(), block.size()) > 0) {
  }
  while (write(fd, "x", 1) == 1) {
  }
  close(fd);
}

WindowTexts::WindowTexts() = default;

void WindowTexts::AddTo(Environment& environment) const {
  environment["LD_PRELOAD"] = TEXT_SPY_LIBRARY;
  environment["SCRIVLET_TEXT_SPY_LOG"] = dir_.path() + "/texts.log";
}

std::string WindowTexts::All() const {
  return ReadFileBytes(dir_.path() + "/texts.log").value_or("");
}

bool WindowTexts::Contains(const std::string& part) const {
  return All().find(part) != std::string::npos;
}

bool WindowTexts::WaitFor(const std::string& part,
                          std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return Contains(part); }, timeout);
}

std::optional<std::vector<std::string>> WholeElements(
    const std::string& document) {
  const std::string start = kDocumentStart;
  const std::string open = "<REQUEST><REQUEST-LINE NAME='STATIC'>\r\n";
  const std::string close = "</REQUEST>\r\n";
  if (document.compare(0, start.size(), start) != 0) return std::nullopt;
  std::vector<std::string> elements;
  size_t at = start.size();
  while (at < document.size()) {
    if (document.compare(at, open.size(), open) != 0) return std::nullopt;
    size_t end = document.find(close, at);
    if (end == std::string::npos) return std::nullopt;
    // A second start inside means the first element was cut short.
    if (document.find(open, at + open.size()) < end) return std::nullopt;
    end += close.size();
    elements.push_back(document.substr(at, end - at));
    at = end;
  }
  return elements;
}

void HardeningTest::StartProgramWith(const Environment& extra) {
  if (!FileExists(ScrivletBinary())) {
    throw std::runtime_error("the program is not built: " + ScrivletBinary());
  }
  Environment environment = ProgramEnvironment(installation_);
  for (const auto& [name, value] : extra) environment[name] = value;
  program_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{ScrivletBinary()}, environment,
      installation_.WorkDir(), installation_.root() + "/scrivlet.log");
}

void HardeningTest::StartRecording(const Environment& extra) {
  StartProgramWith(extra);
  if (MainWindow() == 0) {
    throw std::runtime_error("the main window did not appear");
  }
  AnswerDialog("Network Login", std::nullopt);
  AnswerDialog("Proxy Login", std::nullopt);
}

void HardeningTest::ForgetProgram() {
  program_.reset();
  main_window_ = 0;
}

void HardeningTest::Visit(const std::string& path_and_query) {
  const int loads = site_.BeaconCount(path_and_query) + 1;
  TypeAddress(site_.Url(path_and_query));
  if (!site_.WaitForBeacon(path_and_query, loads)) {
    throw std::runtime_error("the page " + path_and_query + " did not load");
  }
}

int ClosedPort() {
  int sock = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
  close(sock);
  return ntohs(address.sin_port);
}

}  // namespace scrivlet::e2e::hardening
