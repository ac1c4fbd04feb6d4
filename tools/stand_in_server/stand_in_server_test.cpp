// Starts the real scrivlet-stand-in-server on a free port of 127.0.0.1 and
// talks to it over HTTP, as the recording program and the demo do.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "stand_in_server/base64.h"
#include "stand_in_server/form_decoding.h"

extern char** environ;

namespace scrivlet::stand_in {
namespace {

namespace fs = std::filesystem;

constexpr char kServlet[] =
    "/servlet/com.brenik.morix.core.util.ApplyTransDocServlet";
constexpr char kRecordPage[] =
    "/com.brenik.morix.core.util.FileTransfer/WYT/record.html";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string UrlEncodedForm(
    const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string body;
  for (const auto& [name, value] : fields) {
    if (!body.empty()) body += '&';
    body += PercentEncode(name) + "=" + PercentEncode(value);
  }
  return body;
}

// One server process per test, with its own store folder.
class StandInServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string dir_template = (fs::temp_directory_path() / "stand-in-XXXXXX").string();
    ASSERT_NE(mkdtemp(dir_template.data()), nullptr);
    temp_dir_ = dir_template;
    store_ = temp_dir_ / "store";
  }

  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << "the server did not stop cleanly on SIGTERM";
    }
    if (stdout_) fclose(stdout_);
    fs::remove_all(temp_dir_);
  }

  // Starts the server executable with `args`, its stdout read by ReadLine().
  void SpawnServer(std::vector<std::string> args) {
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
    args.insert(args.begin(), SCRIVLET_STAND_IN_SERVER);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&pid_, SCRIVLET_STAND_IN_SERVER, &actions, nullptr,
                          argv.data(), environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    stdout_ = fdopen(pipe_fds[0], "r");
    ASSERT_NE(stdout_, nullptr);
  }

  // Waits for a server that ends by itself and returns its exit status, or
  // -1 when it did not exit normally.
  int WaitForServerExit() {
    int status = 0;
    const pid_t waited = waitpid(pid_, &status, 0);
    pid_ = -1;
    if (waited < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

  // Starts the server on port 0 and reads the port from its first line.
  void StartServer() {
    ASSERT_NO_FATAL_FAILURE(
        SpawnServer({"--port", "0", "--store", store_.string()}));
    const std::string first = ReadLine();
    const std::string prefix = "listening on http://127.0.0.1:";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
    ASSERT_EQ(first.back(), '/') << first;
    port_ = std::stoi(first.substr(prefix.size()));
    ASSERT_GT(port_, 0);
    client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
  }

  // The next stdout line of the server, without its line break. The server
  // writes each line before it answers the request that caused it, so this
  // never waits for an answer still to come.
  std::string ReadLine() {
    char buffer[4096];
    if (!fgets(buffer, sizeof buffer, stdout_)) return "<end of output>";
    std::string line = buffer;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
  }

  // Sends `request` on a new connection and returns everything the server
  // wrote until it closed the connection.
  std::string RawExchange(const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return "<no socket>";
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), 0) ==
            static_cast<ssize_t>(request.size())) {
      char buffer[4096];
      ssize_t n;
      while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) {
        answer.append(buffer, static_cast<size_t>(n));
      }
    }
    close(fd);
    return answer;
  }

  httplib::Result PostUpload(const std::string& body) {
    return client_->Post(kServlet, body, "application/x-www-form-urlencoded");
  }

  fs::path temp_dir_;
  fs::path store_;
  pid_t pid_ = -1;
  FILE* stdout_ = nullptr;
  int port_ = 0;
  std::unique_ptr<httplib::Client> client_;
};

// A document as the recording program sends it: one line, a navigation-form
// and a completion-form element, and text that trips naive handling (quotes,
// a backslash, "</script>", non-ASCII text and U+2028).
constexpr char kDocument[] =
    "<?xml version='1.0'?><HTTP-TRANSACTION>"
    "<REQUEST><REQUEST-LINE NAME='STATIC'><METHOD>POST</METHOD>"
    "<URI>/demo/login?a=&quot;1&quot;&amp;b='\\'</URI><PROT-VER>HTTP/1.1</PROT-VER>"
    "</REQUEST-LINE><HEADERS><HL>Host: 127.0.0.1:8080</HL></HEADERS>"
    "<CONTENT><W3C_ENC>user=J\xC3\xBCrgen</W3C_ENC>"
    "<W3C_ENC>note=&lt;/script&gt;\xE2\x80\xA8</W3C_ENC></CONTENT></REQUEST>"
    "<REQUEST><REQUEST-LINE NAME='STATIC'><METHOD>GET</METHOD>"
    "<URI>/demo/welcome.html</URI><PROT-VER>HTTP/1.1</PROT-VER>"
    "<HEADERS><HL>Host: 127.0.0.1:8080</HL></HEADERS></REQUEST-LINE></REQUEST>"
    "</HTTP-TRANSACTION>";

TEST_F(StandInServerTest, ReportsTheProjectVersionAndExits) {
  ASSERT_NO_FATAL_FAILURE(SpawnServer({"--version"}));
  EXPECT_EQ(ReadLine(), std::string("scrivlet-stand-in-server ") + SCRIVLET_VERSION);
  EXPECT_EQ(ReadLine(), "<end of output>");
  EXPECT_EQ(WaitForServerExit(), 0);
}

TEST_F(StandInServerTest, StoresAnAcceptedUploadByteForByte) {
  StartServer();
  const std::string uuid = "6f1c2a4e-0b7d-4c1e-9a55-3d2f8e1b7c90";
  const std::string name = "Checkout \"quoted\" \\ caf\xC3\xA9";
  const std::string start_url = "http://127.0.0.1:8080/demo/login?a=1&b=2";
  const auto result = PostUpload(UrlEncodedForm({{"uuid", uuid},
                                                 {"name", name},
                                                 {"startUrl", start_url},
                                                 {"trans", kDocument}}));
  ASSERT_TRUE(result) << httplib::to_string(result.error());
  EXPECT_EQ(result->status, 200);

  const fs::path folder = store_ / "upload-0001";
  EXPECT_EQ(ReadLine(), "stored upload in " + folder.string());
  EXPECT_EQ(ReadFile(folder / "uuid.txt"), uuid);
  EXPECT_EQ(ReadFile(folder / "name.txt"), name);
  EXPECT_EQ(ReadFile(folder / "start-url.txt"), start_url);
  EXPECT_EQ(ReadFile(folder / "trans.xml"), kDocument);
  EXPECT_EQ(ReadFile(folder / "verdict.txt"), "accepted\n");
  // The document holds credentials: the upload is its owner's only.
  EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
  for (const auto& file : fs::directory_iterator(folder)) {
    EXPECT_EQ(file.status().permissions(),
              fs::perms::owner_read | fs::perms::owner_write)
        << file.path();
  }

  // The body of the POST is its two pieces joined by "&": 12 + 1 + 17 bytes.
  EXPECT_NE(result->body.find(
                "<table id=\"requests\">\n"
                "<tr><th>Method</th><th>Address</th><th>Body size</th></tr>\n"
                "<tr><td>POST</td><td>127.0.0.1:8080/demo/login?a=&quot;1&quot;"
                "&amp;b=&#39;\\&#39;</td><td>30</td></tr>\n"
                "<tr><td>GET</td><td>127.0.0.1:8080/demo/welcome.html</td>"
                "<td>no body</td></tr>\n"
                "</table>\n"),
            std::string::npos)
      << result->body;
}

TEST_F(StandInServerTest, StoresADocumentFarLargerThanAFewKilobytes) {
  // httplib on its own refuses urlencoded bodies over 8 KiB.
  std::string document = "<?xml version='1.0'?><HTTP-TRANSACTION>";
  for (int i = 0; i < 5000; ++i) {
    document += "<REQUEST><REQUEST-LINE NAME='STATIC'><METHOD>GET</METHOD><URI>/p" +
                std::to_string(i) +
                "?a=1&amp;b=2</URI><PROT-VER>HTTP/1.1</PROT-VER></REQUEST-LINE>"
                "<HEADERS><HL>Host: h</HL></HEADERS></REQUEST>";
  }
  document += "</HTTP-TRANSACTION>";
  StartServer();
  const auto result = PostUpload(UrlEncodedForm(
      {{"uuid", "u"}, {"name", "n"}, {"startUrl", "s"}, {"trans", document}}));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  const fs::path folder = store_ / "upload-0001";
  EXPECT_EQ(ReadLine(), "stored upload in " + folder.string());
  EXPECT_EQ(ReadFile(folder / "trans.xml"), document);
  EXPECT_NE(result->body.find("<h2>Recorded requests: 5000</h2>"), std::string::npos);
}

TEST_F(StandInServerTest, NumbersUploadsAfterTheFoldersAlreadyInTheStore) {
  fs::create_directories(store_ / "upload-0007");
  StartServer();
  const std::string body = UrlEncodedForm(
      {{"uuid", "u"}, {"name", "n"}, {"startUrl", "s"}, {"trans", kDocument}});
  ASSERT_TRUE(PostUpload(body));
  ASSERT_TRUE(PostUpload(body));
  EXPECT_EQ(ReadLine(), "stored upload in " + (store_ / "upload-0008").string());
  EXPECT_EQ(ReadLine(), "stored upload in " + (store_ / "upload-0009").string());
}

TEST_F(StandInServerTest, RefusesMalformedDocumentsButKeepsThemAsReceived) {
  struct Case {
    std::string document;
    std::string expected_verdict;  // a prefix when it ends in "("
  };
  const std::vector<Case> cases = {
      {"<?xml version='1.0'?><HTTP-TRANSACTION><REQUEST></REQUEST>",
       "refused: the transaction document is not well-formed XML ("},
      {"<?xml version='1.0'?><HTTP-TRANSACTION><REQUEST><HL>a & b</HL>"
       "</REQUEST></HTTP-TRANSACTION>",
       "refused: the transaction document is not well-formed XML ("},
      {"", "refused: the transaction document is empty\n"},
      {"<?xml version='1.0'?><TRANSACTION><REQUEST></REQUEST></TRANSACTION>",
       "refused: the root element is TRANSACTION, not HTTP-TRANSACTION\n"},
      {"<?xml version='1.0'?><HTTP-TRANSACTION><REQUEST></REQUEST>"
       "<RESPONSE></RESPONSE></HTTP-TRANSACTION>",
       "refused: element 2 inside HTTP-TRANSACTION is RESPONSE, not REQUEST\n"},
      {"<?xml version='1.0'?><HTTP-TRANSACTION>stray<REQUEST></REQUEST>"
       "</HTTP-TRANSACTION>",
       "refused: HTTP-TRANSACTION holds text outside its REQUEST elements\n"},
  };
  StartServer();
  int number = 0;
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.document);
    const auto result = PostUpload(UrlEncodedForm({{"uuid", "u"},
                                                   {"name", "n"},
                                                   {"startUrl", "s"},
                                                   {"trans", test_case.document}}));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 400);
    EXPECT_NE(result->body.find("<h1>Transaction refused</h1>"), std::string::npos);
    char folder_name[32];
    std::snprintf(folder_name, sizeof folder_name, "upload-%04d", ++number);
    const fs::path folder = store_ / folder_name;
    EXPECT_EQ(ReadLine(), "stored upload in " + folder.string());
    EXPECT_EQ(ReadFile(folder / "trans.xml"), test_case.document);
    const std::string verdict = ReadFile(folder / "verdict.txt");
    if (test_case.expected_verdict.back() == '(') {
      EXPECT_EQ(verdict.rfind(test_case.expected_verdict, 0), 0u) << verdict;
      EXPECT_EQ(verdict.substr(verdict.size() - 2), ")\n") << verdict;
    } else {
      EXPECT_EQ(verdict, test_case.expected_verdict);
    }
  }
}

TEST_F(StandInServerTest, RefusesAnUploadWithoutTheDocumentField) {
  StartServer();
  const auto result = PostUpload("uuid=u&name=n&startUrl=s");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 400);
  const fs::path folder = store_ / "upload-0001";
  EXPECT_EQ(ReadLine(), "stored upload in " + folder.string());
  EXPECT_EQ(ReadFile(folder / "verdict.txt"),
            "refused: the form did not send the field(s) trans\n");
  EXPECT_FALSE(fs::exists(folder / "trans.xml"));
  EXPECT_EQ(ReadFile(folder / "uuid.txt"), "u");
}

TEST_F(StandInServerTest, ServesRecordPagesUnderAnyPrefix) {
  struct Case {
    std::string prefix;
    bool has_usable_form;
    bool has_form;
  };
  const std::vector<Case> cases = {
      {"", true, true},
      {"/agents/mgmt", true, true},
      {"/noform", false, false},
      {"/shortform", false, true},
  };
  StartServer();
  for (const Case& test_case : cases) {
    SCOPED_TRACE(test_case.prefix);
    const auto result = client_->Get(test_case.prefix + kRecordPage);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    const std::string& page = result->body;
    const std::string form = std::string("<form method=\"post\" action=\"") +
                             kServlet + "\"";
    EXPECT_EQ(page.find(form) != std::string::npos, test_case.has_form) << page;
    const size_t uuid = page.find("name=\"uuid\"");
    const size_t name = page.find("name=\"name\"");
    const size_t start = page.find("name=\"startUrl\"");
    const size_t trans = page.find("<textarea name=\"trans\"");
    const bool usable = uuid != std::string::npos && uuid < name &&
                        name < start && start < trans &&
                        trans != std::string::npos &&
                        page.find("form.submit()") != std::string::npos;
    EXPECT_EQ(usable, test_case.has_usable_form) << page;
  }
}

TEST_F(StandInServerTest, LoginAnswersWithARedirectToTheWelcomePage) {
  StartServer();
  // httplib's client percent-decodes header values, so the answer is read
  // from the socket as it came.
  const std::string body = "user=ann+lee%21&password=x";
  const std::string answer = RawExchange(
      "POST /demo/login HTTP/1.1\r\nHost: 127.0.0.1\r\n"
      "Content-Type: application/x-www-form-urlencoded\r\n"
      "Content-Length: " + std::to_string(body.size()) +
      "\r\nConnection: close\r\n\r\n" + body);
  EXPECT_EQ(answer.rfind("HTTP/1.1 302 Found\r\n", 0), 0u) << answer;
  EXPECT_NE(answer.find("\r\nLocation: /demo/welcome.html?user=ann%20lee%21\r\n"),
            std::string::npos)
      << answer;
}

TEST_F(StandInServerTest, LogsEveryRequestWithItsBodyInBase64) {
  StartServer();
  ASSERT_TRUE(client_->Get("/demo/?x=1"));
  const std::string body = "user=a&password=b";
  ASSERT_TRUE(client_->Post("/demo/login", body,
                            "application/x-www-form-urlencoded"));
  ASSERT_TRUE(client_->Get("/missing"));
  const auto log = client_->Get("/__requests");
  ASSERT_TRUE(log);
  EXPECT_EQ(log->body, "GET /demo/?x=1 0 -\n"
                       "POST /demo/login 17 " + ToBase64(body) + "\n"
                       "GET /missing 0 -\n");
}

TEST(FormDecodingTest, DecodesPlusPercentAndLeavesBrokenEscapes) {
  const FormFields fields =
      DecodeUrlEncodedForm("a=1+2%2B3&&b=%E2%80%A8%zz%4&c&d=x=y");
  const FormFields expected = {{"a", "1 2+3"},
                               {"b", "\xE2\x80\xA8%zz%4"},
                               {"c", ""},
                               {"d", "x=y"}};
  EXPECT_EQ(fields, expected);
}

TEST(Base64Test, MatchesTheRfcVectors) {
  const std::vector<std::pair<std::string, std::string>> vectors = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
      {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"}};
  for (const auto& [input, expected] : vectors) {
    EXPECT_EQ(ToBase64(input), expected) << input;
  }
}

}  // namespace
}  // namespace scrivlet::stand_in
