#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "session/agent_config.h"
#include "test_support.h"

namespace scrivlet::testing {
namespace {

using SessionStartTest = SessionTest;

TEST_F(SessionStartTest, ComposesThePathsFromTheWorkingDirectory) {
  Start();
  const std::string wd = install.WorkingDirectory();
  EXPECT_EQ(state.transFilePath, wd + "/trans.xml");
  EXPECT_EQ(state.transNamePath, wd + "/transName.txt");
  EXPECT_EQ(state.agentIniPath, wd + "/../../configuration/agent.ini");
  EXPECT_EQ(state.introUrl, "file://" + wd + "/scrivletIntro.html");
  EXPECT_EQ(state.servletPath,
            "/servlet/com.brenik.morix.core.util.ApplyTransDocServlet");
  EXPECT_EQ(browser.navigations, std::vector<std::string>{state.introUrl});
  EXPECT_EQ(ReadFile(install.TransXml()), kStartLine);
  EXPECT_EQ(std::filesystem::status(install.TransXml()).permissions(),
            std::filesystem::perms::owner_read |
                std::filesystem::perms::owner_write);
  EXPECT_EQ(view.text1, "");
  EXPECT_EQ(view.progress, "");
  EXPECT_EQ(view.end_record_enabled, true);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(view.end_status, std::nullopt);
  EXPECT_TRUE(proxy.calls.empty());
  EXPECT_EQ(session.RecordPageUrl(), kRecordPage);
}

TEST_F(SessionStartTest, ReadsAgentIniKeys) {
  struct Case {
    std::string name;
    std::string ini;
    SessionState expected;  // only the configuration fields are compared
  };
  auto with = [](auto change) {
    SessionState s;
    s.noProxyList = {""};
    change(s);
    return s;
  };
  const std::vector<Case> cases = {
      {"proxy", "[agent]\nProxyHost=gateway\r\nProxyPort=80\n",
       with([](SessionState& s) {
         s.useProxy = true, s.ProxyServer = "gateway", s.ProxyPort = "80";
       })},
      {"empty host", "ProxyHost=\n", with([](SessionState& s) {
         s.useProxy = true;
       })},
      {"first equals", "dbmgmtsrvurl=x?y=z\n", with([](SessionState& s) {
         s.mgmtServerUrl = "x?y=z";
       })},
      {"last wins", "dbmgmtsrvurl=a\ndbmgmtsrvurl=b\n",
       with([](SessionState& s) { s.mgmtServerUrl = "b"; })},
      {"exact keys", "NonSslAuth=1\nnonsslauth =1\n ProxyHost=h\n# c\n\n",
       with([](SessionState&) {})},
      {"proto kept", "ProxyProto=socks\n", with([](SessionState& s) {
         s.ProxyProto = "socks";
       })},
      {"no proxy split", "noProxy=intranet, localhost, \n",
       with([](SessionState& s) {
         s.noProxyList = {"intranet", "localhost", ""};
       })},
      {"no proxy comma", "noProxy=a,b\n", with([](SessionState& s) {
         s.noProxyList = {"a,b"};
       })},
      {"no proxy replaced, empty ignored", "noProxy=x, y\nnoProxy=z\nnoProxy=\n",
       with([](SessionState& s) { s.noProxyList = {"z"}; })},
      {"nonsslauth forms",
       "nonsslauth=0\nnonsslauth=2\nnonsslauth= 01 \n",
       with([](SessionState& s) { s.nonSslAuth = true; })},
      {"nonsslauth never clears", "nonsslauth=1\nnonsslauth=0\n",
       with([](SessionState& s) { s.nonSslAuth = true; })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SessionState s;
    s.noProxyList = {""};
    std::string line;
    for (char ch : c.ini) {
      if (ch == '\n') {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ApplyAgentConfigLine(s, line);
        line.clear();
      } else {
        line += ch;
      }
    }
    EXPECT_EQ(s.useProxy, c.expected.useProxy);
    EXPECT_EQ(s.ProxyServer, c.expected.ProxyServer);
    EXPECT_EQ(s.ProxyPort, c.expected.ProxyPort);
    EXPECT_EQ(s.ProxyProto, c.expected.ProxyProto);
    EXPECT_EQ(s.mgmtServerUrl, c.expected.mgmtServerUrl);
    EXPECT_EQ(s.nonSslAuth, c.expected.nonSslAuth);
    EXPECT_EQ(s.noProxyList, c.expected.noProxyList);
  }
}

TEST(DecimalEqualsOneTest, AcceptsNumberFormsAndRejectsWords) {
  struct Case {
    std::string text;
    std::optional<bool> expected;
  };
  const std::vector<Case> cases = {
      {"1", true},      {"01", true},     {" 1", true},    {"1 ", true},
      {"1.0", true},    {"+1", true},     {"1.", true},    {"\t001.000", true},
      {"0", false},     {"2", false},     {"-1", false},   {"10", false},
      {"1.5", false},   {".1", false},    {"0.9", false},  {"", std::nullopt},
      {" ", std::nullopt}, {"true", std::nullopt}, {"1x", std::nullopt},
      {"+", std::nullopt}, {".", std::nullopt},   {"1 1", std::nullopt},
      {"0x1", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecimalEqualsOne(c.text), c.expected) << "'" << c.text << "'";
  }
}

TEST_F(SessionStartTest, AppliesTheProxyOnceWhenAHostIsConfigured) {
  Start("ProxyHost=gateway\nProxyPort=80\nProxyProto=https\n");
  using Call = std::array<std::string, 4>;
  EXPECT_EQ(proxy.calls, (std::vector<Call>{{"http=gateway:80 https=gateway:80",
                                             "gateway:80", "gateway", "80"}}));
  session.Reset_Click();
  EXPECT_EQ(proxy.calls.size(), 1u);
}

TEST_F(SessionStartTest, AnUnusableProxyIsReportedOnceAndTheSessionGoesOn) {
  proxy.usable = false;
  Start("ProxyHost=http://gateway\nProxyPort=80\n");
  EXPECT_EQ(proxy.calls.size(), 1u);
  EXPECT_EQ(view.messages,
            (std::vector<Message>{
                {"The proxy in " + install.WorkingDirectory() +
                     "/../../configuration/agent.ini cannot be used: "
                     "ProxyHost=http://gateway, ProxyPort=80. A proxy needs a "
                     "host name without a scheme or path and a port from 1 to "
                     "65535. Pages will be loaded without a proxy.",
                 MessageIcon::kWarning}}));
  EXPECT_EQ(view.end_status, std::nullopt);
  EXPECT_EQ(browser.navigations, std::vector<std::string>{state.introUrl});

  session.Reset_Click();
  EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(SessionStartTest, AUsableProxyShowsNothing) {
  Start("ProxyHost=gateway\nProxyPort=8080\n");
  EXPECT_EQ(proxy.calls.size(), 1u);
  EXPECT_TRUE(view.messages.empty());
}

TEST(ProxyListsTest, ComposesBothListsFromHostAndPort) {
  struct Case {
    std::string server, port, proxy_list, bypass_list;
  };
  for (const Case& c : std::vector<Case>{
           {"gateway", "80", "http=gateway:80 https=gateway:80", "gateway:80"},
           {"gateway", "", "http=gateway: https=gateway:", "gateway:"},
           {"", "80", "http=:80 https=:80", ":80"}}) {
    const ProxyLists lists = ComposeProxyLists(c.server, c.port);
    EXPECT_EQ(lists.proxy_list, c.proxy_list);
    EXPECT_EQ(lists.bypass_list, c.bypass_list);
  }
}

TEST_F(SessionStartTest, AMissingAgentIniEndsTheProgramTouchingNothing) {
  Start(std::nullopt);
  EXPECT_EQ(view.messages,
            (std::vector<Message>{{"agent.ini file missing, Application closing!",
                                   MessageIcon::kWarning}}));
  EXPECT_EQ(view.end_status, 1);
  EXPECT_FALSE(Exists(install.TransXml()));
  EXPECT_TRUE(browser.navigations.empty());
  EXPECT_TRUE(session.ended());
}

TEST_F(SessionStartTest, ABadNonSslAuthValueEndsTheProgramWithItsName) {
  for (const std::string value : {"true", ""}) {
    SCOPED_TRACE(value);
    Installation fresh;
    FakeView v;
    RecordingSession s(files, browser, v, proxy, fresh.WorkingDirectory());
    WriteFile(fresh.AgentIni(), "nonsslauth=" + value + "\n");
    s.Form_Load({});
    EXPECT_EQ(v.messages,
              (std::vector<Message>{
                  {"agent.ini: the value \"" + value +
                       "\" of the key nonsslauth is not a number. Application "
                       "closing!",
                   MessageIcon::kWarning}}));
    EXPECT_EQ(v.end_status, 1);
    EXPECT_FALSE(Exists(fresh.TransXml()));
  }
}

TEST_F(SessionStartTest, AnUnreadableAgentIniEndsTheProgram) {
  std::filesystem::create_directory(install.AgentIni());
  struct SeesAFile : FailingFileSystem {
    bool FileExists(const std::string&) override { return true; }
  } sees_a_file;
  RecordingSession s(sees_a_file, browser, view, proxy,
                     install.WorkingDirectory());
  s.Form_Load({});
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].prompt,
            "Could not read " + install.WorkingDirectory() +
                "/../../configuration/agent.ini: Is a directory. Application "
                "closing!");
  EXPECT_EQ(view.end_status, 1);
}

TEST_F(SessionStartTest, ReadsTheTransactionNameFile) {
  struct Case {
    std::optional<std::string> file;
    std::string name, uuid;
  };
  const std::vector<Case> cases = {
      {"transactionName=Checkout\nuuid=1234\n", "Checkout", "1234"},
      {"uuid=1234\r\ntransactionName=Checkout", "Checkout", "1234"},
      {" transactionName=a\nTransactionName=b\n uuid=c\n", "transactionName=",
       "uuid="},
      {"transactionName=\nuuid=a=b\n", "", "a=b"},
      {"uuid=1\nuuid=2\n", "transactionName=", "2"},
      {std::nullopt, "transactionName=", "uuid="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.value_or("(missing)"));
    Installation fresh;
    FakeView v;
    FakeBrowser b;
    RecordingSession s(files, b, v, proxy, fresh.WorkingDirectory());
    WriteFile(fresh.AgentIni(), "");
    if (c.file) WriteFile(fresh.TransName(), *c.file);
    s.Form_Load({});
    EXPECT_EQ(s.state().transactionName, c.name);
    EXPECT_EQ(s.state().transactionUuid, c.uuid);
    const std::vector<Message> expected_messages =
        c.file ? std::vector<Message>{}
               : std::vector<Message>{
                     {"transName.txt missing! Start Scrivlet as a Task!",
                      MessageIcon::kInformation}};
    EXPECT_EQ(v.messages, expected_messages);
    EXPECT_EQ(ReadFile(fresh.TransXml()), kStartLine);
    EXPECT_EQ(b.navigations.size(), 1u);
    EXPECT_EQ(v.end_status, std::nullopt);
  }
}

TEST_F(SessionStartTest, KeepsADocumentLeftFromAnEarlierProcess) {
  WriteFile(install.TransXml(), kStartLine + "<REQUEST>old</REQUEST>\r\n");
  Start();
  EXPECT_EQ(Recorded(), "<REQUEST>old</REQUEST>\r\n");
}

TEST_F(SessionStartTest, AFailedStartReportsErrorAndDeletesNothing) {
  Start();
  // A directory named trans.xml cannot be created as a file, even by root.
  std::filesystem::remove(install.TransXml());
  std::filesystem::create_directory(install.TransXml());
  session.Reset_Click();
  EXPECT_EQ(view.messages,
            (std::vector<Message>{{"Error :Is a directory (" +
                                       install.TransXml() + ")",
                                   MessageIcon::kNone}}));
  EXPECT_EQ(view.end_status, 1);
  EXPECT_TRUE(Exists(install.TransName()));
  EXPECT_EQ(browser.navigations.size(), 1u);
}

TEST_F(SessionStartTest, AFailedIntroNavigationKeepsTheWorkingFiles) {
  browser.loads_fail = true;
  Start();
  CompleteErrorPages();
  EXPECT_TRUE(Exists(install.TransXml()));
  EXPECT_TRUE(Exists(install.TransName()));
}

}  // namespace
}  // namespace scrivlet::testing
