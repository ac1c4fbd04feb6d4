#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace scrivlet::testing {
namespace {

using NavigationCaptureTest = SessionTest;

TEST_F(NavigationCaptureTest, WritesTheTenLinesOfAPlainGet) {
  Start();
  Navigate("http://shop.example:8080/cart?a=1&b=<2>\"'");

  EXPECT_EQ(Recorded(),
            Lines({"<REQUEST><REQUEST-LINE NAME='STATIC'>",
                   "<METHOD>GET</METHOD><URI>/cart?a=1&amp;b=&lt;2&gt;&quot;'"
                   "</URI><PROT-VER>HTTP/1.1</PROT-VER>",
                   "</REQUEST-LINE>", "<HEADERS>",
                   "<HL>Host: shop.example:8080</HL>", kAcceptHl, kUserAgentHl,
                   "<HL>Referer: http://shop.example:8080</HL>", "</HEADERS>",
                   "</REQUEST>"}));
  EXPECT_EQ(view.progress, "loading...");
  EXPECT_EQ(view.pointer, MousePointer::kHourglass);
}

TEST_F(NavigationCaptureTest, WritesAPostWithHeadersAndPieces) {
  Start();
  Navigate("https://bank.example", std::string("user=ann&pin=1%262\0", 19),
           "Content-Type: application/x-www-form-urlencoded\r\n");

  EXPECT_EQ(Recorded(),
            Lines({"<REQUEST><REQUEST-LINE NAME='STATIC'>",
                   "<METHOD>POST</METHOD><URI></URI>"
                   "<PROT-VER>HTTP/1.1</PROT-VER>",
                   "</REQUEST-LINE>", "<HEADERS>",
                   "<HL>Host: bank.example</HL>", kAcceptHl,
                   "<HL>Content-Type: application/x-www-form-urlencoded",
                   "</HL>", kUserAgentHl,
                   "<HL>Referer: https://bank.example</HL>", "</HEADERS>",
                   "<CONTENT>", "<W3C_ENC>user=ann</W3C_ENC>",
                   "<W3C_ENC>pin=1%262</W3C_ENC>", "</CONTENT>",
                   "</REQUEST>"}));
}

TEST_F(NavigationCaptureTest, EscapesPiecesAndHeadersAndKeepsEmptyPieces) {
  Start();
  Navigate("http://h/p", std::string("a=<b>&&c=\"&\0", 12), "X-A: 1&2\r\n");

  EXPECT_EQ(Recorded(),
            Lines({"<REQUEST><REQUEST-LINE NAME='STATIC'>",
                   "<METHOD>POST</METHOD><URI>/p</URI>"
                   "<PROT-VER>HTTP/1.1</PROT-VER>",
                   "</REQUEST-LINE>", "<HEADERS>", "<HL>Host: h</HL>",
                   kAcceptHl, "<HL>X-A: 1&amp;2", "</HL>", kUserAgentHl,
                   "<HL>Referer: http://h</HL>", "</HEADERS>", "<CONTENT>",
                   "<W3C_ENC>a=&lt;b&gt;</W3C_ENC>", "<W3C_ENC></W3C_ENC>",
                   "<W3C_ENC>c=&quot;</W3C_ENC>", "<W3C_ENC></W3C_ENC>",
                   "</CONTENT>", "</REQUEST>"}));
}

// Line breaks between the parts and inside values go as references, so that
// each piece stays on its line and the joined document keeps them.
TEST_F(NavigationCaptureTest, WritesAMultipartBodyWithItsLineBreaksAsReferences) {
  Start();
  const std::string body =
      "--b\r\nContent-Disposition: form-data; name=\"f\"; "
      "filename=\"a&b.txt\"\r\n\r\nx\r\ny\nz\r\n--b--\r\n";
  Navigate("http://h/up", body,
           "Content-Type: multipart/form-data; boundary=b\r\n");

  const std::string first =
      "<W3C_ENC>--b&#13;&#10;Content-Disposition: form-data; name=&quot;f"
      "&quot;; filename=&quot;a</W3C_ENC>";
  const std::string second =
      "<W3C_ENC>b.txt&quot;&#13;&#10;&#13;&#10;x&#13;&#10;y&#10;z&#13;&#10;"
      "--b--&#13;&#10;</W3C_ENC>";
  EXPECT_EQ(Recorded(),
            Lines({"<REQUEST><REQUEST-LINE NAME='STATIC'>",
                   "<METHOD>POST</METHOD><URI>/up</URI>"
                   "<PROT-VER>HTTP/1.1</PROT-VER>",
                   "</REQUEST-LINE>", "<HEADERS>", "<HL>Host: h</HL>",
                   kAcceptHl,
                   "<HL>Content-Type: multipart/form-data; boundary=b", "</HL>",
                   kUserAgentHl, "<HL>Referer: http://h</HL>", "</HEADERS>",
                   "<CONTENT>", first, second, "</CONTENT>", "</REQUEST>"}));
}

TEST_F(NavigationCaptureTest, AnEmptyBodyGivesAnEmptyContentBlock) {
  Start();
  Navigate("http://h/form", std::string());

  EXPECT_EQ(Recorded(),
            Lines({"<REQUEST><REQUEST-LINE NAME='STATIC'>",
                   "<METHOD>POST</METHOD><URI>/form</URI>"
                   "<PROT-VER>HTTP/1.1</PROT-VER>",
                   "</REQUEST-LINE>", "<HEADERS>", "<HL>Host: h</HL>",
                   kAcceptHl, kUserAgentHl, "<HL>Referer: http://h</HL>",
                   "</HEADERS>", "<CONTENT>", "</CONTENT>", "</REQUEST>"}));
}

TEST_F(NavigationCaptureTest, AGetAfterAPostIsWrittenWithoutContent) {
  Start();
  Navigate("http://h/a", std::string("x=1"));
  WriteFile(install.TransXml(), kStartLine);
  Navigate("http://h/b");
  EXPECT_EQ(Recorded(),
            Lines({"<REQUEST><REQUEST-LINE NAME='STATIC'>",
                   "<METHOD>GET</METHOD><URI>/b</URI>"
                   "<PROT-VER>HTTP/1.1</PROT-VER>",
                   "</REQUEST-LINE>", "<HEADERS>", "<HL>Host: h</HL>",
                   kAcceptHl, kUserAgentHl, "<HL>Referer: http://h</HL>",
                   "</HEADERS>", "</REQUEST>"}));
}

TEST_F(NavigationCaptureTest, SkipsEveryExcludedAddress) {
  struct Case {
    std::string url;
    bool did_refresh = false;
  };
  const std::vector<Case> cases = {
      {kServletAnswer},
      {"http://other/x/servlet/com.brenik.morix.core.util."
       "ApplyTransDocServlet?z"},
      {"http://any.host/WYT/record.html"},
      {"http://h/page", true},
      {"http://h/pending"},
      {"http:///"},
      {"res://ieframe.dll/blank.htm"},
      {"file:///agent/work/scrivletIntro.html"},
      {"about:blank"},
      {"javascript:void(0)"},
      {"HTTP://h/upper"},
      {"htt"},
      {""},
      {"http://h/qzo.html?RTT=1"},
      {"http:foo"},
      {"https:/x"},
      {"http://"},
      {"http:///x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    Installation fresh;
    FailingFileSystem fresh_files;
    FakeView fresh_view;
    FakeBrowser fresh_browser;
    RecordingSession s(fresh_files, fresh_browser, fresh_view, proxy,
                       fresh.WorkingDirectory());
    WriteFile(fresh.AgentIni(), "dbmgmtsrvurl=" + kServer + "\n");
    WriteFile(fresh.TransName(), "");
    s.Form_Load({});
    s.state().pendingUrl = "http://h/pending";
    s.state().didRefresh = c.did_refresh;

    s.WebBrowser1_BeforeNavigate2(kMainView, c.url, std::string("a=1"), "");

    EXPECT_EQ(ReadFile(fresh.TransXml()), kStartLine);
    EXPECT_EQ(s.state().startUrl, "");
    EXPECT_EQ(s.state().pendingUrl, "http://h/pending");
    EXPECT_EQ(fresh_view.progress, "loading...");
    EXPECT_EQ(fresh_view.pointer, MousePointer::kHourglass);
  }
}

TEST_F(NavigationCaptureTest, KeepsFirstAddressesAndSkipsOnlyThePendingOne) {
  Start();
  Navigate("http://h/1");
  Navigate("http://h/frame");
  Navigate("http://h/1");  // the pending address again: skipped
  Navigate("http://h/frame");
  EXPECT_EQ(state.startUrl, "http://h/1");
  EXPECT_EQ(state.pendingUrl, "http://h/1");

  session.WebBrowser1_DocumentComplete(kMainView, "http://h/1");
  EXPECT_EQ(state.pendingUrl, "");
  Navigate("http://h/2");
  Navigate("http://h/1");
  EXPECT_EQ(state.startUrl, "http://h/1");
  EXPECT_EQ(state.pendingUrl, "http://h/2");

  std::string uris;
  const std::string all = Recorded();
  for (std::size_t at = all.find("<URI>"); at != std::string::npos;
       at = all.find("<URI>", at + 1)) {
    uris += all.substr(at + 5, all.find("</URI>", at) - at - 5) + " ";
  }
  EXPECT_EQ(uris, "/1 /frame /frame /2 /1 ");
}

// A script's request is one more navigation-form element, on the hosts of
// the recorded navigations (or those allowed), under the navigations' skip
// rules, and never the pending or first address.
TEST_F(NavigationCaptureTest, RecordsAScriptRequestOnlyWhereAndWhenANavigationWouldBe) {
  struct Case {
    std::string url;
    bool on = true;
    bool refresh = false;
    bool closed = false;
    bool allowed = false;
    bool recorded = true;
  };
  const std::vector<Case> cases = {
      {"http://h:8/api?a=1"},
      {"http://h:8/api", false, false, false, false, false},
      {"http://h:8/api", true, true, false, false, false},
      {"http://h:8/api", true, false, true, false, false},
      {"http://other:8/api", true, false, false, false, false},
      {"http://other:8/api", true, false, false, true, true},
      {"http://h/api", true, false, false, false, false},
      {kServletAnswer, true, false, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    Installation fresh;
    FailingFileSystem fresh_files;
    FakeView fresh_view;
    RecordingSession s(fresh_files, browser, fresh_view, proxy,
                       fresh.WorkingDirectory());
    WriteFile(fresh.AgentIni(), "dbmgmtsrvurl=" + kServer + "\n");
    WriteFile(fresh.TransName(), "");
    s.Form_Load({});
    s.WebBrowser1_BeforeNavigate2(kMainView, "http://h:8/page", std::nullopt, "");
    const std::string page = ReadFile(fresh.TransXml());
    s.SetRecordScriptRequests(c.on);
    if (c.allowed) s.AllowScriptHost(c.url.substr(7, c.url.find('/', 7) - 7));
    s.state().didRefresh = c.refresh;
    s.state().documentClosed = c.closed;

    s.WebBrowser1_ScriptRequest(ScriptRequest{
        "fetch", "PUT", c.url, {{"content-type", "application/json"}, {"X-A", "1"}},
        std::string("{\"a\":\"b&c\"}"), ""});

    const std::string host = c.url.substr(7, c.url.find('/', 7) - 7);
    const std::string uri = c.url.substr(7 + host.size());
    EXPECT_EQ(ReadFile(fresh.TransXml()),
              page + (c.recorded
                          ? Lines({"<REQUEST><REQUEST-LINE NAME='STATIC'>",
                                   "<METHOD>PUT</METHOD><URI>" + uri +
                                       "</URI><PROT-VER>HTTP/1.1</PROT-VER>",
                                   "</REQUEST-LINE>", "<HEADERS>",
                                   "<HL>Host: " + host + "</HL>", kAcceptHl,
                                   "<HL>content-type: application/json", "X-A: 1",
                                   "</HL>", kUserAgentHl,
                                   "<HL>Referer: http://" + host + "</HL>",
                                   "</HEADERS>", "<CONTENT>",
                                   "<W3C_ENC>{&quot;a&quot;:&quot;b</W3C_ENC>",
                                   "<W3C_ENC>c&quot;}</W3C_ENC>", "</CONTENT>",
                                   "</REQUEST>"})
                          : ""));
    EXPECT_EQ(s.state().startUrl, "http://h:8/page");
    EXPECT_EQ(s.state().pendingUrl, "http://h:8/page");
    EXPECT_EQ(s.other_script_hosts().contains(host),
              !c.recorded && c.on && !c.refresh && !c.closed && !c.allowed);
  }
}

TEST_F(NavigationCaptureTest, WritesCredentialLinesByScheme) {
  struct Case {
    bool non_ssl_auth;
    std::string url;
    bool authorization;
    bool proxy_authorization;
  };
  const std::vector<Case> cases = {
      {false, "http://plain/x", false, false},
      {false, "https://secure/x", true, true},
      {false, "http://plain/?next=https", true, true},
      {true, "http://plain/x", true, true},
      {true, "https://intranet.corp/x", true, false},
      {false, "https://intranet.corp/x", true, false},
      {true, "http://localhost:81/", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url + (c.non_ssl_auth ? " nonsslauth" : ""));
    state.transFilePath = install.TransXml();
    WriteFile(install.TransXml(), "");
    state.servletPath = kServletPath;
    state.nonSslAuth = c.non_ssl_auth;
    state.noProxyList = {"", "intranet", "localhost"};
    state.realmAuth = "cmVhbG0=";
    state.proxyAuth = "cHJveHk=";
    state.pendingUrl = "";

    Navigate(c.url);

    const std::string out = ReadFile(install.TransXml());
    EXPECT_EQ(out.find("<HL>Authorization: Basic cmVhbG0=</HL>\r\n") !=
                  std::string::npos,
              c.authorization);
    EXPECT_EQ(out.find("<HL>Proxy-Authorization: Basic cHJveHk=</HL>\r\n") !=
                  std::string::npos,
              c.proxy_authorization);
    EXPECT_FALSE(state.noProxyMatch);
  }
}

TEST_F(NavigationCaptureTest, PutsCredentialLinesBetweenAcceptAndUserAgent) {
  Start();
  state.realmAuth = "cmVhbG0=";
  state.proxyAuth = "cHJveHk=";
  Navigate("https://s/", std::nullopt, "X: 1");
  EXPECT_EQ(Recorded(),
            Lines({"<REQUEST><REQUEST-LINE NAME='STATIC'>",
                   "<METHOD>GET</METHOD><URI>/</URI>"
                   "<PROT-VER>HTTP/1.1</PROT-VER>",
                   "</REQUEST-LINE>", "<HEADERS>", "<HL>Host: s</HL>",
                   kAcceptHl, "<HL>X: 1</HL>",
                   "<HL>Authorization: Basic cmVhbG0=</HL>",
                   "<HL>Proxy-Authorization: Basic cHJveHk=</HL>",
                   kUserAgentHl, "<HL>Referer: https://s</HL>", "</HEADERS>",
                   "</REQUEST>"}));
}

TEST_F(NavigationCaptureTest, ReportsAFailedWriteOnceUntilACaptureSucceeds) {
  Start();
  files.fail_appends = true;
  Navigate("http://h/1", std::string("a=1"));
  Navigate("http://h/2");
  const Message failure{
      "Could not write trans.xml: No space left on device. The requests "
      "recorded so far are kept.",
      MessageIcon::kWarning};
  EXPECT_EQ(view.messages, std::vector<Message>{failure});
  EXPECT_EQ(Recorded(), "");
  EXPECT_EQ(view.end_status, std::nullopt);

  files.fail_appends = false;
  Navigate("http://h/3");
  EXPECT_NE(Recorded().find("<URI>/3</URI>"), std::string::npos);
  files.fail_appends = true;
  Navigate("http://h/4");
  EXPECT_EQ(view.messages, (std::vector<Message>{failure, failure}));
}

TEST_F(NavigationCaptureTest, RecordsAnIncompleteBodyAndSaysSoOncePerTransaction) {
  Start();
  view.messages.clear();
  session.WebBrowser1_BeforeNavigate2(kMainView, "http://h/up", "a=1&f=",
                                      "", /*body_complete=*/false);
  session.WebBrowser1_BeforeNavigate2(kMainView, "http://h/up2", "b=2", "",
                                      /*body_complete=*/false);
  Navigate("http://h/up3", std::string("c=3"));
  const Message incomplete{
      "The form data sent to http://h/up could not be read in time. The "
      "request is recorded with an incomplete body; the other requests are "
      "kept.",
      MessageIcon::kWarning};
  EXPECT_EQ(view.messages, std::vector<Message>{incomplete});
  const std::string recorded = Recorded();
  EXPECT_NE(recorded.find("<W3C_ENC>a=1</W3C_ENC>\r\n<W3C_ENC>f=</W3C_ENC>"),
            std::string::npos);
  EXPECT_NE(recorded.find("<W3C_ENC>b=2</W3C_ENC>"), std::string::npos);

  // A skipped navigation is not recorded, so there is nothing to report.
  session.Reset_Click();
  view.messages.clear();
  session.WebBrowser1_BeforeNavigate2(kMainView, kServletAnswer, "doc=x", "",
                                      /*body_complete=*/false);
  EXPECT_TRUE(view.messages.empty());
  session.WebBrowser1_BeforeNavigate2(kMainView, "http://h/up", "a=1", "",
                                      /*body_complete=*/false);
  EXPECT_EQ(view.messages, std::vector<Message>{incomplete});
}

TEST_F(NavigationCaptureTest, CreatesAMissingDocumentWithoutItsFirstLine) {
  Start();
  std::filesystem::remove(install.TransXml());
  Navigate("http://h/");
  EXPECT_EQ(ReadFile(install.TransXml()).rfind("<REQUEST>", 0), 0u);
}

}  // namespace
}  // namespace scrivlet::testing
