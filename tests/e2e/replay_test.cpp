// scrivlet-replay against the real stand-in server on 127.0.0.1: documents
// as the program records them, replayed step by step.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <thread>

#include "expected_document.h"
#include "forwarding_proxy.h"
#include "recording_server.h"
#include "stand_in_server.h"

namespace scrivlet::e2e {
namespace {

constexpr char kForm[] = "application/x-www-form-urlencoded";
constexpr char kHeading[] = "STEP METHOD STATUS VERDICT ADDRESS  SESSION-BOUND\n";
const CredentialLines kBoth{Base64("ann:site"), Base64("agent:secret")};

Reply Ok(const RecordedRequest&) { return Reply{200, "<p>ok</p>", ""}; }

// A TCP server on 127.0.0.1 that hands each connection in turn to `serve`,
// for what no HTTP library sends: answers cut short or trickled, a CONNECT
// tunnel. `serve` must return once the client has gone.
class RawServer {
 public:
  explicit RawServer(std::function<void(int)> serve)
      : listener_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    listen(listener_, 8);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, serve] {
      for (int fd; (fd = accept(listener_, nullptr, nullptr)) >= 0; close(fd)) serve(fd);
    });
  }
  ~RawServer() {
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int port() const { return port_; }

 private:
  int listener_;
  int port_ = 0;
  std::thread thread_;
};

std::string ReadHead(int fd) {
  std::string head;
  char c;
  while (head.find("\r\n\r\n") == std::string::npos && recv(fd, &c, 1, 0) == 1) head += c;
  return head;
}

bool Send(int fd, const std::string& bytes) {
  return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(bytes.size());
}

class ReplayTest : public ::testing::Test {
 protected:
  // Runs scrivlet-replay with `options` on `document`; standard error
  // comes with standard output, and every "ms" figure reads 0.
  CommandResult Replay(const std::string& document,
                       const std::vector<std::string>& options = {"--json"}) {
    const std::string file = dir_.path() + "/trans.xml";
    WriteFileBytes(file, document);
    return ReplayFile(file, options);
  }

  CommandResult ReplayFile(const std::string& file,
                           const std::vector<std::string>& options = {"--json"}) {
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$@\" 2>&1", "sh",
                                     SCRIVLET_REPLAY_BINARY_PATH};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(file);
    CommandResult result = RunCommand(argv, {{"LC_ALL", "C"}});
    result.output =
        std::regex_replace(result.output, std::regex("\"ms\":[0-9]+"), "\"ms\":0");
    return result;
  }

  std::string Url(const std::string& path) const {
    return server_.url() + path.substr(1);
  }

  // One step as --json prints it; `location`, `bound` and `error` are JSON
  // already. A `path` that begins with "http" is a whole address.
  std::string Step(int step, const std::string& method, const std::string& path,
                   int status, const std::string& verdict,
                   const std::string& location = "null",
                   const std::string& bound = "",
                   const std::string& error = "null") const {
    return "{\"step\":" + std::to_string(step) + ",\"method\":\"" + method +
           "\",\"url\":\"" + (path.rfind("http", 0) == 0 ? path : Url(path)) +
           "\",\"status\":" + std::to_string(status) + ",\"location\":" +
           location + ",\"verdict\":\"" + verdict + "\",\"session_bound\":[" +
           bound + "],\"error\":" + error + ",\"ms\":0}\n";
  }

  StandInServer server_;
  TempDir dir_;
};

TEST_F(ReplayTest, TheStaleTokenOfARecordedOrderFailsAndIsNamed) {
  // The recording: the order form handed out a token, and the post used it.
  httplib::Client client(server_.url().substr(0, server_.url().size() - 1));
  const auto form = client.Get("/demo/order.html");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(form->body, match,
                                std::regex("name=\"token\" value=\"([0-9a-f]+)\"")));
  const std::string token = match[1];
  ASSERT_EQ(client.Post("/demo/order", "token=" + token + "&copies=2", kForm)->status,
            302);

  const std::string document =
      kDocumentStart + ExpectedGet(Url("/demo/order.html")) +
      ExpectedPost(Url("/demo/order"), "token=" + token + "&copies=2", kForm);
  const CommandResult result = Replay(document);
  ASSERT_TRUE(std::regex_search(result.output, match,
                                std::regex("\"served\":\"([0-9a-f]+)\"")));
  const std::string served = match[1];
  EXPECT_NE(served, token);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.output,
            Step(1, "GET", "/demo/order.html", 200, "ok") +
                Step(2, "POST", "/demo/order", 403, "fails", "null",
                     "{\"name\":\"token\",\"recorded\":\"" + token +
                         "\",\"served\":\"" + served + "\"}"));
  const CommandResult table = Replay(document, {});
  ASSERT_TRUE(std::regex_search(table.output, match,
                                std::regex("served \"([0-9a-f]{15})…\"")));
  EXPECT_EQ(table.output,
            kHeading + ("   1 GET       200 ok      " + Url("/demo/order.html")) +
                "\n   2 POST      403 fails   " + Url("/demo/order") +
                "  token\n     session-bound token: recorded \"" +
                token.substr(0, 15) + "…\", served \"" + std::string(match[1]) + "…\"\n");
}

// A token-free sign-in replays "ok" throughout, each request through the
// proxy with the proxy credentials it was recorded with.
TEST_F(ReplayTest, ATokenFreeSignInReplaysOkThroughTheProxyWithItsCredentials) {
  ForwardingProxy proxy;
  proxy.RequireCredentials("agent", "secret");
  const CredentialLines credentials{"", Base64("agent:secret")};
  const CommandResult json = Replay(
      kDocumentStart + ExpectedGet(Url("/demo/login.html"), credentials) +
          ExpectedPost(Url("/demo/login"), "user=ann&password=pw", kForm,
                       credentials) +
          ExpectedCompletion(Url("/demo/welcome.html?user=ann"), credentials) +
          kDocumentEnd,
      {"--json", "--proxy", "http://127.0.0.1:" + std::to_string(proxy.port())});
  EXPECT_EQ(json.exit_status, 0);
  EXPECT_EQ(json.output,
            Step(1, "GET", "/demo/login.html", 200, "ok") +
                Step(2, "POST", "/demo/login", 302, "ok",
                     "\"/demo/welcome.html?user=ann\"") +
                Step(3, "GET", "/demo/welcome.html?user=ann", 200, "ok"));
  EXPECT_EQ(proxy.Seen(), (std::vector<std::string>{
                              "GET " + Url("/demo/login.html"),
                              "POST " + Url("/demo/login"),
                              "GET " + Url("/demo/welcome.html?user=ann")}));
}

TEST_F(ReplayTest, AnUntrustedCertificateFailsItsStepUnlessInsecure) {
  TempDir certificate_dir("scrivlet-certificate-");
  RecordingServer secure(
      [](const RecordedRequest&) { return Reply{200, "<p>secure</p>", ""}; },
      Caching::kNoStore, MakeSelfSignedIdentity(certificate_dir.path()));
  const std::string url = secure.Url("/secure");
  TempDir other_dir("scrivlet-certificate-");
  const std::string reason =
      "\n     no answer: Unacceptable TLS certificate (the certificate of "
      "127.0.0.1 is refused: the system does not trust it, and ";
  for (const auto& [options, refusal] :
       {std::pair<std::vector<std::string>, std::string>{{}, "none was accepted for 127.0.0.1)\n"},
        {{"--certificate", MakeSelfSignedIdentity(other_dir.path()).certificate_path},
         "it is not the one accepted for 127.0.0.1)\n"}}) {
    const CommandResult refused = Replay(kDocumentStart + ExpectedGet(url), options);
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_EQ(refused.output, kHeading + ("   1 GET      none fails   " + url) +
                                  reason + refusal);
  }
  const CommandResult pinned = Replay(
      kDocumentStart + ExpectedGet(url),
      {"--json", "--certificate", certificate_dir.path() + "/certificate.pem"});
  EXPECT_EQ(pinned.output, Step(1, "GET", url, 200, "ok"));
  const CommandResult accepted =
      Replay(kDocumentStart + ExpectedGet(url), {"--insecure"});
  EXPECT_EQ(accepted.exit_status, 0);
  EXPECT_EQ(accepted.output,
            "scrivlet-replay: --insecure: every server certificate is "
            "accepted, whoever issued it\n" +
                (kHeading + ("   1 GET       200 ok      " + url)) + "\n");
}

// Refused with exit 2 before anything is sent: a torn document, one whose
// bytes (and name) would act on a terminal, quoted printable; a FIFO, a
// device and a file over the size limit, which are not even read.
TEST_F(ReplayTest, ADocumentThatCannotBeReadIsRefusedNamingItsLine) {
  const std::string element = ExpectedGet(Url("/demo/"));
  const std::string file = dir_.path() + "/trans.xml";
  const std::string fifo = dir_.path() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string not_a_document =
      ". This is not a transaction document; nothing was sent.";
  const std::string not_regular =
      "Not a regular file (a FIFO, a device or a socket). Nothing was sent.";
  const struct { std::string path, document, shown_path, message; } cases[] = {
      {file, kDocumentStart + element.substr(0, element.size() - 24), file,
       "line 10: expected \"</HEADERS>\", found the end of the document" +
           not_a_document},
      {dir_.path() + "/\x1b]0;owned\x07.xml",
       std::string(kDocumentStart) + "\x1b]0;owned\x07" + element,
       dir_.path() + "/\\x1b]0;owned\\x07.xml",
       "line 2: expected \"<REQUEST>\" or \"</HTTP-TRANSACTION>\", found "
       "\"\\x1b]0;owned\\x07<REQUEST><REQU…\"" + not_a_document},
      {file, "", file,
       "File too large: 67108865 bytes, more than the 67108864 read at most. "
       "Nothing was sent."},
      {fifo, "", fifo, not_regular},
      {"/dev/zero", "", "/dev/zero", not_regular},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown_path);
    if (c.path != fifo && c.path != "/dev/zero") {
      WriteFileBytes(c.path, c.document.empty() ? kDocumentStart + element
                                                : c.document);
      // Over the limit by one byte (a hole, not written out).
      if (c.document.empty()) std::filesystem::resize_file(c.path, (64 << 20) + 1);
    }
    const CommandResult result = ReplayFile(c.path);
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(result.output, "scrivlet-replay: " + c.shown_path + ": " + c.message + "\n");
  }
  httplib::Client client(server_.url().substr(0, server_.url().size() - 1));
  const auto log = client.Get("/__requests");
  ASSERT_TRUE(log);
  EXPECT_EQ(log->body, "");
}

// The proxy's password goes to the proxy only: neither to a server reached
// directly (the step says so) nor into an https tunnel, where the proxy gets
// it for the tunnel. The site's goes to the site, its hosts named first.
TEST_F(ReplayTest, TheProxyPasswordNeverReachesAWebServer) {
  TempDir certificate_dir("scrivlet-certificate-");
  const TlsIdentity identity = MakeSelfSignedIdentity(certificate_dir.path());
  RecordingServer origin(Ok, Caching::kNoStore);
  RecordingServer secure(Ok, Caching::kNoStore, identity);
  std::mutex mutex;
  std::vector<std::string> connects;
  RawServer proxy([&](int fd) {
    const std::string head = ReadHead(fd);
    std::lock_guard lock(mutex);
    connects.push_back(head.substr(0, head.find(' ', 8)));
    if (head.find("Proxy-Authorization: Basic " + kBoth.proxy_authorization) ==
        std::string::npos) {
      Send(fd, "HTTP/1.1 407 No\r\nProxy-Authenticate: Basic realm=\"p\"\r\n"
               "Content-Length: 0\r\nConnection: close\r\n\r\n");
      return;
    }
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(secure.port())),
                        {htonl(INADDR_LOOPBACK)}, {}};
    connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address);
    Send(fd, "HTTP/1.1 200 Connection established\r\n\r\n");
    pollfd ends[] = {{fd, POLLIN, 0}, {server, POLLIN, 0}};
    char bytes[4096];
    for (bool open = true; open && poll(ends, 2, -1) > 0;) {
      for (int i = 0; i < 2; ++i) {
        if (ends[i].revents == 0) continue;
        const ssize_t size = recv(ends[i].fd, bytes, sizeof bytes, 0);
        open = open && size > 0 && Send(ends[1 - i].fd, std::string(bytes, size));
      }
    }
    close(server);
  });
  const CommandResult direct =
      Replay(kDocumentStart + ExpectedGet(origin.Url("/a"), kBoth), {});
  EXPECT_EQ(direct.output,
            "scrivlet-replay: the recorded Authorization line (the site's "
            "password) goes to " + origin.Authority() +
                "; --no-credentials leaves it out\n" + kHeading +
                "   1 GET       200 ok      " + origin.Url("/a") +
                "\n     Proxy-Authorization not sent: this request does not go "
                "through a proxy\n");
  const CommandResult tunnelled = Replay(
      kDocumentStart + ExpectedGet(secure.Url("/b"), kBoth),
      {"--json", "--certificate", identity.certificate_path, "--proxy",
       "http://127.0.0.1:" + std::to_string(proxy.port())});
  EXPECT_EQ(tunnelled.output.substr(tunnelled.output.find('{')),
            Step(1, "GET", secure.Url("/b"), 200, "ok"));
  EXPECT_EQ(connects, (std::vector<std::string>{"CONNECT " + secure.Authority(),
                                                "CONNECT " + secure.Authority()}));
  for (const RecordingServer* server : {&origin, &secure}) {
    ASSERT_EQ(server->Requests().size(), 1u);
    EXPECT_EQ(server->Requests()[0].Header("Authorization"), "Basic " + kBoth.authorization);
    EXPECT_EQ(server->Requests()[0].Header("Proxy-Authorization"), "");
  }
}

TEST_F(ReplayTest, NoCredentialsLeavesBothPasswordsOut) {
  RecordingServer origin(Ok, Caching::kNoStore);
  const CommandResult result = Replay(
      kDocumentStart + ExpectedGet(origin.Url("/a"), kBoth), {"--json", "--no-credentials"});
  EXPECT_EQ(result.output, Step(1, "GET", origin.Url("/a"), 200, "ok"));
  ASSERT_EQ(origin.Requests().size(), 1u);
  EXPECT_EQ(origin.Requests()[0].Header("Authorization"), "");
  EXPECT_EQ(origin.Requests()[0].Header("Proxy-Authorization"), "");
}

TEST_F(ReplayTest, AnAnswerCutShortOrTrickledPastTheDeadlineFailsWithItsError) {
  RawServer server([](int fd) {
    const bool cut = ReadHead(fd).starts_with("GET /cut");
    Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789");
    // A byte now and then until the client has gone.
    while (!cut && Send(fd, "x")) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  });
  const CommandResult result =
      Replay(kDocumentStart + ExpectedGet(server.Url("/cut")) +
                 ExpectedGet(server.Url("/trickle")),
             {"--json", "--timeout", "1"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.output,
            Step(1, "GET", server.Url("/cut"), 200, "fails", "null", "",
                 "\"the answer broke off: Connection terminated unexpectedly\"") +
                Step(2, "GET", server.Url("/trickle"), 200, "fails", "null", "",
                     "\"no complete answer within 1 s\""));
}

// A script's request as recorded: its headers on lines of one HL, its JSON
// body in pieces split at "&"; sent back exactly so.
TEST_F(ReplayTest, AScriptRequestIsSentWithItsRecordedBodyAndHeaders) {
  RecordingServer origin(Ok, Caching::kNoStore);
  const std::string body = "{\"note\":\"a&b <c> \\\"q\\\"\",\r\n\"tags\":[\"x&\",\"&y\"]}";
  Replay(kDocumentStart + ExpectedPost(origin.Url("/api/save"), body,
                                       "application/json\r\nX-CSRF-Token: 7f&3<a>"));
  const std::vector<RecordedRequest> sent = origin.Requests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].body, body);
  EXPECT_EQ(sent[0].Header("Content-Type"), "application/json");
  EXPECT_EQ(sent[0].Header("X-CSRF-Token"), "7f&3<a>");
}

// Checked before anything is sent: an empty host, or a URI that would name
// another host than the Host line.
TEST_F(ReplayTest, AnElementThatCannotBeReplayedSendsNothing) {
  RecordingServer origin(Ok, Caching::kNoStore);
  const std::string get = ExpectedGet(origin.Url("/a"));
  const std::string line = std::to_string(2 + std::count(get.begin(), get.end(), '\n'));
  const std::pair<std::string, std::string> cases[] = {
      {std::regex_replace(get, std::regex("Host: [^<]*"), "Host: "),
       "the Host line \"\" names no server"},
      {std::regex_replace(get, std::regex("<URI>/a"), "<URI>@[::1]:1/a"),
       "the URI \"@[::1]:1/a\" is not a path beginning with \"/\" without blanks"}};
  for (const auto& [element, problem] : cases) {
    const CommandResult result = Replay(kDocumentStart + get + element);
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(result.output, "scrivlet-replay: " + dir_.path() + "/trans.xml: line " +
                                 line + ": " + problem +
                                 ". This element cannot be replayed; nothing was sent.\n");
  }
  EXPECT_TRUE(origin.Requests().empty());
}

// The pop-up's script opens it with via=button beside a link with via=link:
// the page still hands out the value recorded.
TEST_F(ReplayTest, TheDemosScriptedPopUpHasNoSessionBoundValue) {
  const CommandResult result =
      Replay(kDocumentStart + ExpectedGet(Url("/demo/popups.html")) +
             ExpectedGet(Url("/demo/popup.html?via=button")));
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.output, Step(1, "GET", "/demo/popups.html", 200, "ok") +
                               Step(2, "GET", "/demo/popup.html?via=button", 200, "ok"));
}

}  // namespace
}  // namespace scrivlet::e2e
