// Credentials typed into "Network Login" and "Proxy Login" answer the web
// server's and the proxy's Basic challenges, once; refused ones leave the
// question to the browser's own prompt.
#include <thread>

#include "forwarding_proxy.h"
#include "scrivlet_fixture.h"

namespace scrivlet::e2e {
namespace {

// The user name box of the browser's own credential prompt, which the
// engine centres over the page.
constexpr PagePoint kAuthenticationPromptUser{367, 284};

class AuthenticationTest : public ScrivletTest {
 protected:
  // /protected answers 401 with a Basic challenge unless the request
  // carries exactly the Basic credentials of `user` and `password`.
  void ProtectPage(const std::string& user, const std::string& password) {
    const std::string expected = "Basic " + Base64(user + ":" + password);
    server_.Add("/protected", [expected](const RecordedRequest& request) {
      if (request.Header("Authorization") == expected) {
        return Reply{200, BeaconPage("Protected", "<p>inside</p>"), ""};
      }
      return Reply{401, BeaconPage("Refused", "<p>refused</p>"), ""};
    });
  }

  // The Authorization header of every request for /protected, in order.
  std::vector<std::string> AuthorizationsSentToProtected() const {
    std::vector<std::string> sent;
    for (const auto& request : server_.RequestsTo("/protected")) {
      sent.push_back(request.Header("Authorization"));
    }
    return sent;
  }
};

TEST_F(AuthenticationTest, RealmCredentialsAnswerTheServersChallenge) {
  std::vector<std::string> ini = DefaultAgentIni();
  ini.push_back("nonsslauth=1");
  installation_.WriteAgentIni(ini);
  StartAndAnswerDialogs(Typed{"alice", "s3cr:et"});
  ProtectPage("alice", "s3cr:et");

  // The page loads without any further question.
  NavigateTo("/protected");

  EXPECT_EQ(AuthorizationsSentToProtected(),
            (std::vector<std::string>{
                "", "Basic " + Base64("alice:s3cr:et")}));
  // Recorded once, with the credential line as before.
  const CredentialLines realm{Base64("alice:s3cr:et"), ""};
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/protected"), realm),
                             realm);
}

TEST_F(AuthenticationTest, RefusedCredentialsLeaveTheBrowsersPromptNoLoop) {
  StartAndAnswerDialogs(Typed{"alice", "wrong"});
  ProtectPage("alice", "right");

  TypeAddress(server_.Url("/protected"));
  ASSERT_TRUE(server_.WaitForRequest("/protected", 2));
  // Nobody answers again on the program's side: the browser asks.
  std::this_thread::sleep_for(3s);
  EXPECT_EQ(AuthorizationsSentToProtected(),
            (std::vector<std::string>{"",
                                      "Basic " + Base64("alice:wrong")}));

  // The browser's own prompt takes the right password; afterwards Enter in
  // the address box still navigates (the sentinel below).
  ClickInPage(kAuthenticationPromptUser);
  Display().Type("alice");
  Display().Key("Tab");
  Display().Type("right");
  Display().Key("Return");
  WaitForPage("/protected");
  EXPECT_EQ(AuthorizationsSentToProtected().back(),
            "Basic " + Base64("alice:right"));
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/protected")));
}

TEST_F(AuthenticationTest, ProxyCredentialsAnswerTheProxysChallenge) {
  ForwardingProxy proxy;
  proxy.RequireCredentials("bob", "builder");
  std::vector<std::string> ini = DefaultAgentIni();
  ini.push_back("ProxyHost=127.0.0.1");
  ini.push_back("ProxyPort=" + std::to_string(proxy.port()));
  installation_.WriteAgentIni(ini);
  StartAndAnswerDialogs(std::nullopt, Typed{"bob", "builder"});

  NavigateTo("/page");

  const std::vector<std::string> seen = proxy.Seen();
  const std::vector<std::string> given = proxy.ProxyAuthorizations();
  std::vector<std::string> for_page;
  for (size_t i = 0; i < seen.size(); ++i) {
    if (seen[i] == "GET " + server_.Url("/page")) for_page.push_back(given[i]);
  }
  EXPECT_EQ(for_page, (std::vector<std::string>{
                          "", "Basic " + Base64("bob:builder")}));
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")));
  // The program goes first: its open connections would hold up the proxy's
  // shutdown.
  program_.reset();
}

}  // namespace
}  // namespace scrivlet::e2e
