// Realm and proxy credentials typed into the dialogs, the conditions under
// which they appear in the recorded header lines, and a configured proxy.
#include "forwarding_proxy.h"
#include "scrivlet_fixture.h"

namespace scrivlet::e2e {
namespace {

struct CredentialCase {
  const char* name;
  std::vector<std::string> agent_ini;  // lines besides the management server
  std::optional<TypedCredentials> realm;
  std::optional<TypedCredentials> proxy;
  CredentialLines expected;
};

class CredentialTest : public ScrivletTest,
                       public ::testing::WithParamInterface<CredentialCase> {};

// A GET, a POST and the completion element of its redirect all carry the
// same credential lines.
TEST_P(CredentialTest, RecordsTheCredentialLinesWhereTheyApply) {
  const CredentialCase& c = GetParam();
  std::vector<std::string> ini = DefaultAgentIni();
  ini.insert(ini.end(), c.agent_ini.begin(), c.agent_ini.end());
  installation_.WriteAgentIni(ini);
  StartAndAnswerDialogs(c.realm, c.proxy);

  NavigateTo("/redirect-form");
  ClickInPage(kBox1);
  WaitForPage("/landing");

  const RecordedRequest post = server_.LastPost();
  ASSERT_EQ(post.path, "/redirect-after-post");
  ExpectDocumentThenSentinel(
      ExpectedGet(server_.Url("/redirect-form"), c.expected) +
          ExpectedPost(server_.Url("/redirect-after-post"), post.body,
                       post.Header("Content-Type"), c.expected) +
          ExpectedCompletion(server_.Url("/landing"), c.expected),
      c.expected);
  // The credentials are recorded, never sent.
  for (const auto& request : server_.Requests()) {
    EXPECT_EQ(request.Header("Authorization"), "") << request.target;
    EXPECT_EQ(request.Header("Proxy-Authorization"), "") << request.target;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, CredentialTest,
    ::testing::Values(
        CredentialCase{"PlainHttpAllowedBothGiven",
                       {"nonsslauth=1"},
                       TypedCredentials{"alice", "s3cr:et"},
                       TypedCredentials{"bob", "builder"},
                       {Base64("alice:s3cr:et"), Base64("bob:builder")}},
        CredentialCase{"PlainHttpNotAllowed",
                       {},
                       TypedCredentials{"alice", "s3cr:et"},
                       TypedCredentials{"bob", "builder"},
                       {"", ""}},
        CredentialCase{"NoProxyEntryInTheAddress",
                       {"nonsslauth=1", "noProxy=intranet, 127.0.0.1"},
                       TypedCredentials{"alice", "s3cr:et"},
                       TypedCredentials{"bob", "builder"},
                       {Base64("alice:s3cr:et"), ""}},
        CredentialCase{"RealmPasswordLeftEmpty",
                       {"nonsslauth=1"},
                       TypedCredentials{"alice", ""},
                       TypedCredentials{"bob", "builder"},
                       {"", Base64("bob:builder")}},
        CredentialCase{"BothDialogsCancelled",
                       {"nonsslauth=1"},
                       std::nullopt,
                       std::nullopt,
                       {"", ""}}),
    [](const ::testing::TestParamInfo<CredentialCase>& param_info) {
      return std::string(param_info.param.name);
    });

using CredentialDialogTest = ScrivletTest;

TEST_F(CredentialDialogTest, DialogsOfferTheEarlierValuesAfterReset) {
  std::vector<std::string> ini = DefaultAgentIni();
  ini.push_back("nonsslauth=1");
  installation_.WriteAgentIni(ini);
  StartAndAnswerDialogs(Typed{"alice", "wonder"}, Typed{"bob", "builder"});

  ClickControl(kResetTransaction);
  AcceptDialogAsShown("Network Login");
  AcceptDialogAsShown("Proxy Login");
  ASSERT_EQ(Document(), kDocumentStart);

  const CredentialLines expected{Base64("alice:wonder"), Base64("bob:builder")};
  NavigateTo("/page");
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page"), expected),
                             expected);
}

TEST_F(CredentialDialogTest, ResetClearsCredentialsThatAreNotAskedAgain) {
  std::vector<std::string> ini = DefaultAgentIni();
  ini.push_back("nonsslauth=1");
  installation_.WriteAgentIni(ini);
  StartAndAnswerDialogs(Typed{"alice", "wonder"}, Typed{"bob", "builder"});
  const CredentialLines given{Base64("alice:wonder"), Base64("bob:builder")};
  NavigateTo("/page");
  WaitForElements(1);
  ASSERT_EQ(Document(), kDocumentStart + ExpectedGet(server_.Url("/page"),
                                                     given));

  ClickControl(kCheck1);
  ClickControl(kCheck2);
  ClickControl(kResetTransaction);

  NavigateTo("/page");
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")));
}

using ProxyTest = ScrivletTest;

TEST_F(ProxyTest, ConfiguredProxyCarriesTheBrowsersTraffic) {
  ForwardingProxy proxy;
  std::vector<std::string> ini = DefaultAgentIni();
  ini.push_back("ProxyHost=127.0.0.1");
  ini.push_back("ProxyPort=" + std::to_string(proxy.port()));
  installation_.WriteAgentIni(ini);
  StartAndAnswerDialogs();

  NavigateTo("/page");
  ClickInPage(kBox1);
  WaitForPage("/link?a=1&b=2");

  std::vector<std::string> pages;
  for (const auto& seen : proxy.Seen()) {
    if (seen.find("/beacon") == std::string::npos &&
        seen.find("/favicon.ico") == std::string::npos) {
      pages.push_back(seen);
    }
  }
  EXPECT_EQ(pages, (std::vector<std::string>{
                       "GET " + server_.Url("/page"),
                       "GET " + server_.Url("/link?a=1&b=2")}));
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")) +
                             ExpectedGet(server_.Url("/link?a=1&b=2")));
  // The program goes first: its open connections would hold up the proxy's
  // shutdown.
  program_.reset();
}

}  // namespace
}  // namespace scrivlet::e2e
