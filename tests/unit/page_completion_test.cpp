#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace scrivlet::testing {
namespace {

using PageCompletionTest = SessionTest;

const std::string kIntro = "file:///w/scrivletIntro.html";

TEST_F(PageCompletionTest, RecordsARedirectInTheCompletionForm) {
  Start();
  Navigate("http://a/b");
  WriteFile(install.TransXml(), kStartLine);

  session.WebBrowser1_DocumentComplete(kMainView, "http://a/c?x=1&y=<2>");

  EXPECT_EQ(Recorded(),
            Lines({"<REQUEST><REQUEST-LINE NAME='STATIC'>",
                   "<METHOD>GET</METHOD><URI>/c?x=1&amp;y=&lt;2&gt;</URI>"
                   "<PROT-VER>HTTP/1.1</PROT-VER>",
                   "<HEADERS>", "<HL>Host: a</HL>", kAcceptHl, kUserAgentHl,
                   "<HL>Referer: http://a</HL>", "</HEADERS>",
                   "</REQUEST-LINE></REQUEST>"}));
  EXPECT_EQ(view.text1, "http://a/c?x=1&y=<2>");
  EXPECT_EQ(state.pendingUrl, "");
  EXPECT_EQ(view.progress, "done");
  EXPECT_EQ(view.pointer, MousePointer::kArrow);
}

// The redirect a post ends in is written as a GET without content, with
// the credential lines that apply to its address.
TEST_F(PageCompletionTest, RecordsTheRedirectAfterAPostAsAGetWithCredentials) {
  Start();
  state.realmAuth = "cmVhbG0=";
  state.proxyAuth = "cHJveHk=";
  Navigate("https://a/form", std::string("k=v"));
  WriteFile(install.TransXml(), kStartLine);

  session.WebBrowser1_DocumentComplete(kMainView, "https://a:443/done");

  EXPECT_EQ(Recorded(),
            Lines({"<REQUEST><REQUEST-LINE NAME='STATIC'>",
                   "<METHOD>GET</METHOD><URI>/done</URI>"
                   "<PROT-VER>HTTP/1.1</PROT-VER>",
                   "<HEADERS>", "<HL>Host: a:443</HL>", kAcceptHl,
                   "<HL>Authorization: Basic cmVhbG0=</HL>",
                   "<HL>Proxy-Authorization: Basic cHJveHk=</HL>",
                   kUserAgentHl, "<HL>Referer: https://a:443</HL>",
                   "</HEADERS>", "</REQUEST-LINE></REQUEST>"}));
  EXPECT_EQ(view.text1, "https://a:443/done");
}

TEST_F(PageCompletionTest, WritesNoRedirectWhenASkipConditionHolds) {
  struct Case {
    BrowserId view;
    std::string pending;
    std::string url;
    bool did_refresh = false;
  };
  const std::vector<Case> cases = {
      {kMainView, "http://a/b", "http://a/b"},
      {kMainView, "", "http://a/c"},
      {kMainView, "http://a/b", "http://a/c", true},
      {kMainView, "http://a/b", "http:///"},
      {kMainView, "http://a/b", "res://x/y"},
      {kMainView, "http://a/b", "about:blank"},
      {kMainView, "http://a/b", "http://a/qzo.html?RTT=5"},
      {kMainView, "http://a/b", "http://evil/WYT/record.html"},
      {kMainView, "http://a/b", kServletAnswer},
      {kMainView, "http://a/b", "http:a"},
      {kFrame, "http://a/b", "http://a/c"},
      {kPopupView, "http://a/b", "http://a/c"},
  };
  Start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url + " pending " + c.pending);
    state.pendingUrl = c.pending;
    state.didRefresh = c.did_refresh;
    session.WebBrowser1_DocumentComplete(c.view, c.url);
    EXPECT_EQ(Recorded(), "");
    EXPECT_EQ(state.pendingUrl, "");
    EXPECT_FALSE(state.didRefresh);
    EXPECT_EQ(view.progress, "done");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.end_status, std::nullopt);
  }
}

TEST_F(PageCompletionTest, ALoadWithoutANewPageOnlyEndsTheBusyDisplay) {
  Start();
  session.WebBrowser1_DocumentComplete(kMainView, kIntro);
  Navigate("http://a/download");
  view.dialogs.clear();
  view.text1 = "http://a/page";
  state.didRefresh = true;

  session.WebBrowser1_LoadEndedWithoutPage(kMainView);

  EXPECT_EQ(Recorded(),
            Lines({"<REQUEST><REQUEST-LINE NAME='STATIC'>",
                   "<METHOD>GET</METHOD><URI>/download</URI>"
                   "<PROT-VER>HTTP/1.1</PROT-VER>",
                   "</REQUEST-LINE>", "<HEADERS>", "<HL>Host: a</HL>",
                   kAcceptHl, kUserAgentHl, "<HL>Referer: http://a</HL>",
                   "</HEADERS>", "</REQUEST>"}));
  EXPECT_TRUE(view.dialogs.empty());
  EXPECT_EQ(view.text1, "http://a/page");
  EXPECT_EQ(state.pendingUrl, "");
  EXPECT_FALSE(state.didRefresh);
  EXPECT_EQ(view.pointer, MousePointer::kArrow);
  EXPECT_EQ(view.progress, "done");
  EXPECT_TRUE(browser.fills.empty());
}

TEST_F(PageCompletionTest, AFrameCompletionOnlyRunsTheFinalSteps) {
  Start();
  view.text1 = "kept";
  state.pendingUrl = "http://a/b";
  state.didRefresh = true;
  view.pointer = MousePointer::kHourglass;
  session.WebBrowser1_DocumentComplete(kFrame, kIntro);
  EXPECT_EQ(view.text1, "kept");
  EXPECT_TRUE(view.dialogs.empty());
  EXPECT_EQ(state.pendingUrl, "");
  EXPECT_FALSE(state.didRefresh);
  EXPECT_EQ(view.pointer, MousePointer::kArrow);
  EXPECT_EQ(view.progress, "done");
}

TEST_F(PageCompletionTest, TheIntroPageAsksForCredentialsAndEncodesThem) {
  struct Case {
    std::string name;
    bool check1, check2;
    std::optional<Credentials> realm, proxy;
    std::vector<std::string> dialogs;
    std::string realm_auth, proxy_auth;
  };
  const std::vector<Case> cases = {
      {"both OK", false, false, Credentials{"ann", "pw"},
       Credentials{"px", "p:w"}, {"realm", "proxy"}, "YW5uOnB3",
       "cHg6cDp3"},
      {"cancel keeps the old value", false, false, Credentials{"", ""},
       Credentials{"", ""}, {"realm", "proxy"}, "old-realm", "old-proxy"},
      {"password missing", false, false, Credentials{"ann", ""},
       Credentials{"", "pw"}, {"realm", "proxy"}, "old-realm", "old-proxy"},
      {"close box keeps the fields", false, false, std::nullopt,
       std::nullopt, {"realm", "proxy"}, "b2xkdTpvbGRw", "b2xkdTpvbGRw"},
      {"both ticked", true, true, Credentials{"x", "y"}, Credentials{"x", "y"},
       {}, "old-realm", "old-proxy"},
      {"realm ticked", true, false, Credentials{"x", "y"},
       Credentials{"x", "y"}, {"proxy"}, "old-realm", "eDp5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view.dialogs.clear();
    view.text1 = "http://previous/";
    view.check1 = c.check1;
    view.check2 = c.check2;
    view.realm_answers = {c.realm};
    view.proxy_answers = {c.proxy};
    state.username = state.proxyusername = "oldu";
    state.password = state.proxypassword = "oldp";
    state.realmAuth = "old-realm";
    state.proxyAuth = "old-proxy";

    session.WebBrowser1_DocumentComplete(kMainView, kIntro);

    EXPECT_EQ(view.dialogs, c.dialogs);
    EXPECT_EQ(state.realmAuth, c.realm_auth);
    EXPECT_EQ(state.proxyAuth, c.proxy_auth);
    EXPECT_EQ(view.text1, "");
    EXPECT_EQ(view.progress, "done");
  }
}

TEST_F(PageCompletionTest, FillsTheRecordPageWithTheJoinedDocument) {
  Start();
  state.startUrl = "http://first/";
  session.EndRecord_Click();
  WriteFile(install.TransXml(), "A\r\nB\r\nC\r\n");
  session.WebBrowser1_DocumentComplete(kMainView, kRecordPage + "?t=1",
                                       Answered(200));

  using Fill = std::pair<BrowserId, std::array<std::string, 4>>;
  EXPECT_EQ(browser.fills, (std::vector<Fill>{
                               {kMainView, {"1234", "Checkout", "http://first/",
                                            "ABC"}}}));
  EXPECT_EQ(view.text1, kRecordPage + "?t=1");
  EXPECT_EQ(ReadFile(install.TransXml()), "A\r\nB\r\nC\r\n");
}

TEST_F(PageCompletionTest, OtherHostsPortsAndPathsOfTheRecordPageGetNothing) {
  Start("dbmgmtsrvurl=http://mgmt/\r\n");
  session.EndRecord_Click();
  const std::string path = "com.brenik.morix.core.util.FileTransfer/WYT/record.html";
  for (const std::string& url :
       {"http://mgmt:8080/" + path, "https://mgmt/" + path,
        "http://mgmt.evil/" + path, "http://mgmt/x/" + path,
        "http://evil/?u=http://mgmt/" + path}) {
    SCOPED_TRACE(url);
    session.WebBrowser1_DocumentComplete(kMainView, url);
  }
  EXPECT_TRUE(browser.fills.empty());
  session.WebBrowser1_DocumentComplete(kMainView, "http://mgmt/" + path,
                                       Answered(200));
  EXPECT_EQ(browser.fills.size(), 1u);
}

TEST_F(PageCompletionTest, AMissingDocumentIsCreatedEmptyForTheRecordPage) {
  Start();
  session.EndRecord_Click();
  std::filesystem::remove(install.TransXml());
  session.WebBrowser1_DocumentComplete(kMainView, kRecordPage, Answered(200));
  ASSERT_EQ(browser.fills.size(), 1u);
  EXPECT_EQ(browser.fills[0].second[3], "");
  EXPECT_TRUE(Exists(install.TransXml()));
}

TEST_F(PageCompletionTest, LookAlikeRecordPagesReceiveNothing) {
  Start();
  session.EndRecord_Click();
  for (const std::string& url :
       {std::string("http://evil/com.brenik.morix.core.util.FileTransfer/WYT/"
                    "record.html"),
        "http://evil/?u=" + kRecordPage}) {
    SCOPED_TRACE(url);
    session.WebBrowser1_DocumentComplete(kMainView, url);
    EXPECT_EQ(view.text1, url);
  }
  session.WebBrowser1_DocumentComplete(kPopupView, kRecordPage);
  EXPECT_TRUE(browser.fills.empty());
  EXPECT_EQ(Recorded(), "</HTTP-TRANSACTION>\r\n");
}

TEST_F(PageCompletionTest, TheServletAnswerBeforeSavingIsAnOrdinaryPage) {
  Start();
  state.pendingUrl = "http://a/b";
  session.WebBrowser1_DocumentComplete(kMainView, kServletAnswer);
  EXPECT_EQ(view.text1, kServletAnswer);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(view.end_status, std::nullopt);
  EXPECT_TRUE(Exists(install.TransXml()));
  EXPECT_TRUE(Exists(install.TransName()));
  EXPECT_EQ(Recorded(), "");
}

TEST_F(PageCompletionTest, TheServletAnswerAfterSavingEndsTheSession) {
  Start();
  session.EndRecord_Click();
  session.WebBrowser1_DocumentComplete(kMainView, kServletAnswer + "?ok",
                                       Answered(200));
  EXPECT_EQ(view.messages, (std::vector<Message>{
                               {"The record session has been stopped",
                                MessageIcon::kNone}}));
  EXPECT_EQ(view.end_status, 0);
  EXPECT_FALSE(Exists(install.TransXml()));
  EXPECT_FALSE(Exists(install.TransName()));
  EXPECT_TRUE(session.ended());
}

TEST_F(PageCompletionTest, AFailedDeletionAtTheServletAnswerIsToldAndEnds) {
  Start();
  session.EndRecord_Click();
  // A directory in place of transName.txt cannot be removed by unlink.
  std::filesystem::remove(install.TransName());
  std::filesystem::create_directory(install.TransName());
  WriteFile(install.TransName() + "/x", "");
  struct PretendRegular : FailingFileSystem {
    bool FileExists(const std::string&) override { return true; }
  };
  PretendRegular pretending;
  RecordingSession s(pretending, browser, view, proxy,
                     install.WorkingDirectory());
  s.state() = state;
  view.messages.clear();
  s.WebBrowser1_DocumentComplete(kMainView, kServletAnswer, Answered(200));
  ASSERT_EQ(view.messages.size(), 2u);
  EXPECT_EQ(view.messages[1].prompt.substr(0, 16), "Could not delete");
  EXPECT_EQ(view.end_status, 1);
}

// Not handed over: one message naming the page and why, "Save Transaction"
// enabled again, the document with its one closing line. A record page
// whose process dies ("" below) is loaded again once; a second death is told.
TEST_F(PageCompletionTest, AnUploadThatDidNotHappenKeepsTheTransaction) {
  const std::string page = "The record page " + kRecordPage + " could not be used: ";
  const struct { std::string url; PageAnswer answer; std::string message; bool unreadable = false; } cases[] = {
      {kRecordPage, ErrorPage("refused"), page + "could not connect (refused)."},
      {kRecordPage, Answered(200), page + "could not read " + install.TransXml() +
                                       ": Input/output error.", true},
      {kRecordPage, Answered(404), page + "HTTP 404."},
      {kRecordPage, Answered(200), page + "no upload form on the page."},
      {kServletAnswer, Answered(500), "The upload to " + kServletAnswer + " failed: HTTP 500."},
      {"", {}, page + "the page stopped working."}};
  Start();
  for (const auto& c : cases) {
    session.EndRecord_Click();
    browser.navigations.clear();
    if (c.url.empty()) {
      session.WebBrowser1_WebProcessTerminated(kMainView);
      EXPECT_EQ(browser.navigations, std::vector<std::string>{kRecordPage});
    }
    view.messages.clear();
    files.fail_reads = c.unreadable;
    if (c.url.empty()) session.WebBrowser1_WebProcessTerminated(kMainView);
    else session.WebBrowser1_DocumentComplete(kMainView, c.url, c.answer);
    files.fail_reads = false;
    for (auto& filled : std::exchange(browser.fill_answers, {})) filled(false);
    EXPECT_EQ(view.messages, (std::vector<Message>{{c.message + " The transaction is kept; \"Save "
                                                    "Transaction\" tries the upload again.",
                                                    MessageIcon::kWarning}}));
    EXPECT_EQ(view.end_record_enabled, true);
    Navigate("http://a/b");
    EXPECT_EQ(view.status_text, kRecordingPausedText);
    EXPECT_EQ(Recorded(), "</HTTP-TRANSACTION>\r\n");
    EXPECT_EQ(browser.navigations.size(), c.url.empty() ? 1u : 0u);
  }
  session.Reset_Click();
  EXPECT_EQ(view.status_text, "");
}

}  // namespace
}  // namespace scrivlet::testing
