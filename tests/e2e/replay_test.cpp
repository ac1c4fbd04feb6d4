// scrivlet-replay against the real stand-in server on 127.0.0.1: documents
// as the program records them, replayed step by step.
#include <gtest/gtest.h>
#include <httplib.h>

#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "expected_document.h"
#include "forwarding_proxy.h"
#include "recording_server.h"
#include "stand_in_server.h"

namespace scrivlet::e2e {
namespace {

constexpr char kForm[] = "application/x-www-form-urlencoded";
constexpr char kHeading[] = "STEP METHOD STATUS VERDICT ADDRESS  SESSION-BOUND\n";

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

  // One step as --json prints it; `location` and `bound` are JSON already.
  std::string Step(int step, const std::string& method, const std::string& path,
                   int status, const std::string& verdict,
                   const std::string& location = "null",
                   const std::string& bound = "") const {
    return "{\"step\":" + std::to_string(step) + ",\"method\":\"" + method +
           "\",\"url\":\"" + Url(path) + "\",\"status\":" +
           std::to_string(status) + ",\"location\":" + location +
           ",\"verdict\":\"" + verdict + "\",\"session_bound\":[" + bound +
           "],\"ms\":0}\n";
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
  const CommandResult refused = Replay(kDocumentStart + ExpectedGet(url), {});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_EQ(refused.output, kHeading + ("   1 GET      none fails   " + url) +
                                "\n     no answer: Unacceptable TLS certificate\n");
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

}  // namespace
}  // namespace scrivlet::e2e
