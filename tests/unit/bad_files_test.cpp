// agent.ini and transName.txt as the agent (or a broken disk) may leave
// them: not files at all, empty, garbage, huge, not UTF-8, with NUL bytes or
// old Mac line ends. Each gives a clear message or the normal reading of
// lines (a line ends at LF only), never a crash or a hang.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace scrivlet::testing {
namespace {

constexpr std::size_t kTenMegabytes = 10 * 1024 * 1024;

// What stands at a configuration path.
struct FileSetup {
  enum class Kind { kBytes, kDirectory, kFifo } kind = Kind::kBytes;
  std::string bytes;
};

FileSetup Bytes(std::string bytes) {
  return {FileSetup::Kind::kBytes, std::move(bytes)};
}
const FileSetup kDirectory{FileSetup::Kind::kDirectory, ""};
const FileSetup kFifo{FileSetup::Kind::kFifo, ""};

void Put(const std::string& path, const FileSetup& setup) {
  switch (setup.kind) {
    case FileSetup::Kind::kBytes:
      WriteFile(path, setup.bytes);
      break;
    case FileSetup::Kind::kDirectory:
      std::filesystem::create_directory(path);
      break;
    case FileSetup::Kind::kFifo:
      ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
      break;
  }
}

std::string Garbage(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::string AllBytes() {
  std::string bytes;
  for (int round = 0; round < 4; ++round) {
    for (int byte = 0; byte < 256; ++byte) bytes += static_cast<char>(byte);
  }
  return bytes;
}

std::string B(const char* bytes, std::size_t size) {
  return std::string(bytes, size);
}

// A fresh installation and session per case.
struct StartedSession {
  explicit StartedSession(const FileSetup& agent_ini,
                          const FileSetup& trans_name) {
    Put(install.AgentIni(), agent_ini);
    Put(install.TransName(), trans_name);
    session.Form_Load({});
  }
  Installation install;
  FailingFileSystem files;
  FakeBrowser browser;
  FakeView view;
  FakeProxy proxy;
  RecordingSession session{files, browser, view, proxy,
                           install.WorkingDirectory()};
};

const FileSetup kGoodTransName =
    Bytes("transactionName=Checkout\r\nuuid=1234\r\n");
const std::string kMissingAgentIni =
    "agent.ini file missing, Application closing!";

std::string NotANumber(const std::string& shown) {
  return "agent.ini: the value \"" + shown +
         "\" of the key nonsslauth is not a number. Application closing!";
}

TEST(BadFilesTest, AgentIni) {
  struct Case {
    std::string name;
    FileSetup file;
    std::vector<Message> messages{};  // any message ends the program
    std::string mgmt_server_url{};
    bool use_proxy = false;
    std::string proxy_server{};
    bool non_ssl_auth = false;
  };
  const std::string huge(kTenMegabytes, 'x');
  const std::string invalid_utf8 = "\xff\xfe\xc0\x80\xed\xa0\x80";
  const std::vector<Case> cases = {
      {.name = "directory",
       .file = kDirectory,
       .messages = {{kMissingAgentIni, MessageIcon::kWarning}}},
      {.name = "fifo",
       .file = kFifo,
       .messages = {{kMissingAgentIni, MessageIcon::kWarning}}},
      {.name = "empty", .file = Bytes("")},
      {.name = "every byte value", .file = Bytes(AllBytes())},
      {.name = "random garbage", .file = Bytes(Garbage(1 << 20, 7))},
      {.name = "10 MB line without =", .file = Bytes(huge + "\n")},
      {.name = "10 MB server address",
       .file = Bytes("dbmgmtsrvurl=" + huge),
       .mgmt_server_url = huge},
      {.name = "10 MB nonsslauth word",
       .file = Bytes("nonsslauth=" + huge + "\n"),
       .messages = {{NotANumber(std::string(64, 'x') + "..."),
                     MessageIcon::kWarning}}},
      {.name = "10 MB nonsslauth number",
       .file = Bytes("nonsslauth=" + std::string(kTenMegabytes, '0') + "1\n"),
       .non_ssl_auth = true},
      {.name = "invalid UTF-8 proxy host",
       .file = Bytes("ProxyHost=" + invalid_utf8 + "\n"),
       .use_proxy = true,
       .proxy_server = invalid_utf8},
      {.name = "invalid UTF-8 nonsslauth",
       .file = Bytes("nonsslauth=\xff"
                     "1\n"),
       .messages = {{NotANumber("\xEF\xBF\xBD"
                                "1"),
                     MessageIcon::kWarning}}},
      {.name = "a long nonsslauth cut before a UTF-8 sequence",
       .file = Bytes("nonsslauth=" + std::string(63, 'y') + "\xC3\xA9zz\n"),
       .messages = {{NotANumber(std::string(63, 'y') + "..."),
                     MessageIcon::kWarning}}},
      {.name = "NUL bytes in keys and values",
       .file =
           Bytes(B("dbmgmtsrvurl=a\0b\nnonssl\0auth=1\nProxyHost\0=x\n", 44)),
       .mgmt_server_url = B("a\0b", 3)},
      {.name = "NUL byte after nonsslauth",
       .file = Bytes(B("nonsslauth=1\0\n", 14)),
       .messages = {{NotANumber("1\xEF\xBF\xBD"), MessageIcon::kWarning}}},
      {.name = "CR-only line ends after a section header",
       .file = Bytes("[agent]\rdbmgmtsrvurl=http://m/\rProxyHost=gw\r")},
      {.name = "CR-only line ends",
       .file = Bytes("dbmgmtsrvurl=http://m/\rProxyHost=gw\r"),
       .mgmt_server_url = "http://m/\rProxyHost=gw\r"},
      {.name = "UTF-16 with byte order mark",
       .file = Bytes(B("\xff\xfe"
                       "d\0b\0m\0g\0m\0t\0s\0r\0v\0u\0r\0l\0=\0x\0\r\0\n\0",
                       32))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartedSession run(c.file, kGoodTransName);
    const SessionState& state = run.session.state();
    EXPECT_EQ(run.view.messages, c.messages);
    const bool ends = !c.messages.empty();
    EXPECT_EQ(run.session.ended(), ends);
    EXPECT_EQ(run.view.end_status, ends ? std::optional<int>(1) : std::nullopt);
    EXPECT_EQ(Exists(run.install.TransXml()), !ends);
    EXPECT_EQ(state.mgmtServerUrl, c.mgmt_server_url);
    EXPECT_EQ(state.useProxy, c.use_proxy);
    EXPECT_EQ(state.ProxyServer, c.proxy_server);
    EXPECT_EQ(state.nonSslAuth, c.non_ssl_auth);
    EXPECT_EQ(run.proxy.calls.size(), c.use_proxy ? 1u : 0u);
    if (!ends) {
      EXPECT_EQ(ReadFile(run.install.TransXml()), kStartLine);
      EXPECT_EQ(run.browser.navigations,
                std::vector<std::string>{state.introUrl});
      EXPECT_EQ(state.transactionName, "Checkout");
    }
  }
}

TEST(BadFilesTest, TransName) {
  struct Case {
    std::string name;
    FileSetup file;
    std::string transaction_name;
    std::string transaction_uuid;
    std::vector<Message> messages;
  };
  const std::string huge(kTenMegabytes, 'n');
  const std::vector<Message> missing = {
      {"transName.txt missing! Start Scrivlet as a Task!",
       MessageIcon::kInformation}};
  const std::vector<Case> cases = {
      {"directory", kDirectory, "transactionName=", "uuid=", missing},
      {"fifo", kFifo, "transactionName=", "uuid=", missing},
      {"empty", Bytes(""), "transactionName=", "uuid=", {}},
      {"every byte value", Bytes(AllBytes()), "transactionName=", "uuid=", {}},
      {"random garbage",
       Bytes(Garbage(1 << 20, 11)),
       "transactionName=",
       "uuid=",
       {}},
      {"10 MB line without a key",
       Bytes(huge + "\nuuid=u\n"),
       "transactionName=",
       "u",
       {}},
      {"10 MB name", Bytes("uuid=u\ntransactionName=" + huge), huge, "u", {}},
      {"invalid UTF-8",
       Bytes("transactionName=\xff\xfe\r\nuuid=\xc3\x28\r\n"),
       "\xff\xfe",
       "\xc3\x28",
       {}},
      {"NUL bytes",
       Bytes(B("transactionName=a\0b\nuuid=\0\n\0uuid=x\n", 34)),
       B("a\0b", 3),
       B("\0", 1),
       {}},
      {"CR-only line ends",
       Bytes("transactionName=A\ruuid=B\r"),
       "A\ruuid=B\r",
       "uuid=",
       {}},
      {"UTF-16 with byte order mark",
       Bytes(B("\xff\xfeu\0u\0i\0d\0=\0x\0\r\0\n\0", 18)),
       "transactionName=",
       "uuid=",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartedSession run(Bytes("dbmgmtsrvurl=" + kServer + "\r\n"), c.file);
    const SessionState& state = run.session.state();
    EXPECT_EQ(run.view.messages, c.messages);
    EXPECT_FALSE(run.session.ended());
    EXPECT_EQ(state.transactionName, c.transaction_name);
    EXPECT_EQ(state.transactionUuid, c.transaction_uuid);
    EXPECT_EQ(ReadFile(run.install.TransXml()), kStartLine);
    EXPECT_EQ(run.browser.navigations,
              std::vector<std::string>{state.introUrl});
  }
}

}  // namespace
}  // namespace scrivlet::testing
