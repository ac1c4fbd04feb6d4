#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "document/base64.h"
#include "test_support.h"

namespace scrivlet::testing {
namespace {

using AuthenticationTest = SessionTest;

AuthenticationChallenge Challenge(bool for_proxy, bool basic = true,
                                  bool retry = false) {
  AuthenticationChallenge challenge;
  challenge.for_proxy = for_proxy;
  challenge.basic = basic;
  challenge.retry = retry;
  challenge.host = "intranet";
  challenge.port = 80;
  challenge.realm = "Staff";
  return challenge;
}

std::optional<std::string> Answer(const std::optional<Credentials>& given) {
  if (!given) return std::nullopt;
  return given->user_name + "/" + given->password;
}

// The dialogs answered as the user would: the realm dialog, then the proxy
// dialog, when the intro page completes.
void AnswerDialogs(FakeView& view, RecordingSession& session,
                   std::optional<Credentials> realm,
                   std::optional<Credentials> proxy) {
  view.realm_answers.push_back(std::move(realm));
  view.proxy_answers.push_back(std::move(proxy));
  session.WebBrowser1_DocumentComplete(kMainView,
                                       session.state().introUrl);
}

TEST_F(AuthenticationTest, AnswersEachSideWithTheCredentialsTypedForIt) {
  Start();
  AnswerDialogs(view, session, Credentials{"alice", "s3cr:et"},
                Credentials{"bob", "builder"});

  EXPECT_EQ(Answer(session.WebBrowser1_Authenticate(Challenge(false))),
            "alice/s3cr:et");
  EXPECT_EQ(Answer(session.WebBrowser1_Authenticate(Challenge(true))),
            "bob/builder");
  // Answering records nothing and stores nothing but which server asked.
  EXPECT_EQ(Recorded(), "");
  EXPECT_EQ(state.realmAuth, EncodeBase64("alice:s3cr:et"));
  EXPECT_EQ(state.credentialsAskedBy, std::set<std::string>{"intranet:80"});
}

TEST_F(AuthenticationTest, LeavesTheChallengeToTheBrowsersPrompt) {
  struct Case {
    const char* name;
    std::optional<Credentials> realm;  // the realm dialog's answer
    AuthenticationChallenge challenge;
  };
  const Case cases[] = {
      {"refused before", Credentials{"alice", "pw"},
       Challenge(false, true, /*retry=*/true)},
      {"not the Basic scheme", Credentials{"alice", "pw"},
       Challenge(false, /*basic=*/false)},
      {"nothing typed", std::nullopt, Challenge(false)},
      {"no password typed", Credentials{"alice", ""}, Challenge(false)},
      {"proxy asks, only realm typed", Credentials{"alice", "pw"},
       Challenge(true)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation fresh;
    FakeView v;
    RecordingSession s(files, browser, v, proxy, fresh.WorkingDirectory());
    WriteFile(fresh.AgentIni(), "");
    s.Form_Load({});
    AnswerDialogs(v, s, c.realm, std::nullopt);
    EXPECT_EQ(Answer(s.WebBrowser1_Authenticate(c.challenge)), std::nullopt);
  }
}

// After a reset with the box ticked, the typed pair is kept but no longer
// recorded; the browser must not send what the document does not carry.
TEST_F(AuthenticationTest, CredentialsNoLongerRecordedAreNotSent) {
  Start();
  AnswerDialogs(view, session, Credentials{"alice", "pw"},
                Credentials{"bob", "builder"});
  view.check1 = true;
  view.check2 = true;
  session.Reset_Click();
  session.WebBrowser1_DocumentComplete(kMainView, state.introUrl);

  EXPECT_EQ(state.username, "alice");
  EXPECT_EQ(Answer(session.WebBrowser1_Authenticate(Challenge(false))),
            std::nullopt);
  EXPECT_EQ(Answer(session.WebBrowser1_Authenticate(Challenge(true))),
            std::nullopt);
}

// Cancel after an earlier OK empties the typed pair, the recorded value
// stays: there is nothing to send that matches it.
TEST_F(AuthenticationTest, CancelledAfterAnEarlierAnswerSendsNothing) {
  Start();
  AnswerDialogs(view, session, Credentials{"alice", "pw"}, std::nullopt);
  AnswerDialogs(view, session, Credentials{"", ""}, std::nullopt);

  EXPECT_EQ(state.realmAuth, EncodeBase64("alice:pw"));
  EXPECT_EQ(Answer(session.WebBrowser1_Authenticate(Challenge(false))),
            std::nullopt);
}

}  // namespace
}  // namespace scrivlet::testing
