#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "replay/replayed_request.h"
#include "replay/request_rows.h"
#include "replay/session_bound.h"
#include "replay/verdict.h"

namespace scrivlet::replay {
namespace {

using Values = std::vector<NamedValue>;

DocumentElement Element(const std::string& method, const std::string& uri,
                        const std::string& host) {
  DocumentElement element;
  element.method = method, element.uri = uri, element.scheme = "http";
  element.host = host;
  return element;
}

// A form with a text field and a file, sent as multipart with boundary B.
const std::string kMultipart =
    "--B\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nT 1\r\n"
    "--B\r\nContent-Disposition: form-data; name=\"file\"; "
    "filename=\"a.txt\"\r\nContent-Type: text/plain\r\n\r\nsecret\r\n--B--\r\n";

TEST(SessionBoundTest, AnAnswerHandsOutHiddenValuesMetaContentAndLinkParameters) {
  struct Case {
    std::string html;
    Values expected;
  };
  const std::vector<Case> cases = {
      {"<form action='/post?sid=7&amp;x=a+b#top'>"
       "<input type=hidden name=csrf value='t1'>"
       "<INPUT TYPE=HIDDEN NAME=Case VALUE=v>"
       "<input type=hidden name=empty value=''>"
       "<input name=user value=alice><input type=password name=p value=s>"
       "<input type=checkbox name=remember value=yes>"
       "<input type=submit name=go value='Log in'></form>",
       {{"sid", "7"}, {"x", "a b"}, {"csrf", "t1"}, {"Case", "v"},
        {"remember", "yes"}, {"go", "Log in"}}},
      {"<html><head><meta name=csrf-token content='m%41'><meta charset=utf-8>"
       "</head><body><a href='next?nonce=n1&amp;page=2'>n</a>"
       "<a href='/plain'>p</a><iframe src='f.html?view=%41'></iframe>"
       "<p>name=fake value=text</p></body></html>",
       {{"csrf-token", "m%41"}, {"nonce", "n1"}, {"page", "2"},
        {"view", "A"}}},
      {"not html at all", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(HandedOutValues(c.html), c.expected) << c.html;
}

TEST(SessionBoundTest, ARequestSendsItsQueryAndItsFormFieldsButNoFiles) {
  const std::string multipart =
      kMultipart.substr(0, kMultipart.size() - 4) +
      "\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\nk\r\n--B--\r\n";
  struct Case {
    std::vector<HeaderField> headers;
    std::optional<std::string> body;
    Values expected;
  };
  const std::vector<Case> cases = {
      {{}, std::nullopt, {{"q", "a b"}, {"t", "%"}}},
      {{}, "user=al%20ice&&flag", {{"q", "a b"}, {"t", "%"}, {"user", "al ice"}, {"flag", ""}}},
      {{{"content-type", "application/x-www-form-urlencoded; charset=UTF-8"}},
       "a=1", {{"q", "a b"}, {"t", "%"}, {"a", "1"}}},
      {{{"Content-Type", "multipart/form-data; boundary=B"}}, multipart,
       {{"q", "a b"}, {"t", "%"}, {"title", "T 1"}, {"token", "k"}}},
      {{{"Content-Type", "text/plain"}}, "a=1", {{"q", "a b"}, {"t", "%"}}},
  };
  for (const Case& c : cases) {
    ReplayedRequest request;
    request.method = "POST", request.url = "http://h/p?q=a+b&t=%#frag=x";
    request.headers = c.headers, request.body = c.body;
    EXPECT_EQ(SentFields(request), c.expected) << c.body.value_or("");
  }
}

TEST(SessionBoundTest, OnlyAnAnswerThatNamesTheFieldIsWorthParsing) {
  struct Case {
    std::string html, name;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"<input name=\"tok\" value=1>", "tok", true},
      {"<input name=tok>", "tok", true},
      {"<a href='/x?a=1&amp;tok=2'>", "tok", true},
      {"<a href='/x?tok'>", "tok", true},
      {"<p>tok tokens token=</p><i>1px </i>", "tok", false},
      {"<p>nothing</p>", "item[]", true},
  };
  for (const Case& c : cases) EXPECT_EQ(MayHandOut(c.html, c.name), c.expected) << c.html;
}

// A page that still writes the recorded pair (a script's link) hands it
// out: no alarm.
TEST(SessionBoundTest, AValueIsSessionBoundWhenTheLatestAnswerNamingItHandedOutAnother) {
  struct Case {
    std::vector<Values> answers;
    Values sent;
    std::vector<SessionBoundValue> expected;
    std::string last_text = "";
  };
  const std::vector<Case> cases = {
      {{{{"token", "new"}}}, {{"token", "old"}, {"other", "x"}},
       {{"token", "old", "new"}}},
      {{{{"token", "same"}}}, {{"token", "same"}}, {}},
      {{{{"choice", "a"}, {"choice", "b"}}}, {{"choice", "b"}}, {}},
      {{{{"token", "first"}}, {{"token", "second"}}, {{"page", "1"}}},
       {{"token", "first"}}, {}},
      {{}, {{"token", "old"}}, {}},
      {{{{"t", "new"}}}, {{"t", "a"}, {"t", "b"}}, {{"t", "a", "new"}}},
      {{{{"via", "link"}}}, {{"via", "button"}}, {}, "open('/p?via=button')"},
      {{{{"q", "x"}}}, {{"q", "a b"}}, {}, "<a href=/s?q=a+b>"},
      {{{{"via", "link"}}}, {{"via", "button"}}, {{"via", "button", "link"}},
       "xvia=button via=buttons"},
  };
  for (const Case& c : cases) {
    HandedOutLedger ledger;
    for (const Values& answer : c.answers) {
      ledger.AddAnswer(answer, &answer == &c.answers.back() ? c.last_text : "",
                       c.sent);
    }
    EXPECT_EQ(ledger.SessionBound(c.sent), c.expected);
  }
}

// A step fails without an answer or from status 400 on; a replay differs
// from the recording by status class or redirect target.
TEST(VerdictTest, StepsFailFrom400AndDifferByStatusClassOrRedirectTarget) {
  const std::pair<std::optional<int>, Verdict> verdicts[] = {
      {200, Verdict::kOk}, {302, Verdict::kOk}, {399, Verdict::kOk}, {400, Verdict::kFails},
      {403, Verdict::kFails}, {503, Verdict::kFails}, {std::nullopt, Verdict::kFails}};
  for (const auto& [status, verdict] : verdicts) {
    EXPECT_EQ(StepVerdict(status), verdict) << status.value_or(-1);
  }
  EXPECT_EQ(StepVerdict(200, "the answer broke off"), Verdict::kFails);
  struct Case {
    AnswerSummary recorded, replayed;
    Agreement expected;
  };
  const std::vector<Case> cases = {
      {{200, ""}, {204, ""}, Agreement::kSame},
      {{200, ""}, {403, ""}, Agreement::kDiffers},
      {{std::nullopt, ""}, {std::nullopt, ""}, Agreement::kSame},
      {{std::nullopt, ""}, {500, ""}, Agreement::kDiffers},
      {{302, "http://h/a"}, {303, "http://h/a"}, Agreement::kSame},
      {{302, "http://h/a"}, {302, "http://h/login"}, Agreement::kDiffers},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareWithRecording(c.recorded, c.replayed), c.expected);
  }
  EXPECT_EQ(ResolveLocation("http://h:8/a/b?x", "c?d=1"), "http://h:8/a/c?d=1");
}

// The texts of a row of the "Recorded Requests" list: a failure says so in
// words, a redirect names its target, a replay names each session-bound
// field and compares with the answer recorded.
TEST(RequestRowsTest, RowsSayFailuresRedirectsAndReplayVerdicts) {
  const RecordedElement get{ElementKind::kNavigation, "GET", "http://h/a", 0, ""};
  const RecordedElement target{ElementKind::kCompletion, "GET", "http://h/b", 0, ""};
  const RecordedElement script{ElementKind::kNavigation, "PUT", "http://h/a", 2, "", true};
  struct Case {
    RecordedElement element;
    std::optional<RecordedAnswer> answer;
    std::string status, notes;
    bool failed;
  };
  const std::vector<Case> cases = {
      {get, std::nullopt, "", "", false},
      {get, RecordedAnswer{200, "http://h/a", ""}, "200", "", false},
      {get, RecordedAnswer{302, "http://h/b", ""}, "302", "redirected to http://h/b", false},
      {get, RecordedAnswer{404, "http://h/a", ""}, "failed: 404", "", true},
      {get, RecordedAnswer{std::nullopt, "", "no host"}, "failed: no answer (no host)", "", true},
      {get, RecordedAnswer{std::nullopt, "", kPageStoppedWorking},
       "failed: the page stopped working", "", true},
      {target, RecordedAnswer{200, "http://h/b", ""}, "200", "the redirect's target", false},
      {get, RecordedAnswer{302, "http://h/b", "Too many redirects"},
       "failed: 302 (Too many redirects)", "redirected to http://h/b", true},
      {script, std::nullopt, "", "script", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StatusText(c.answer), c.status);
    EXPECT_EQ(AnswerFailed(c.answer), c.failed) << c.status;
    EXPECT_EQ(NotesText(c.element, c.answer), c.notes) << c.status;
  }
  StepResult step;
  step.status = 403;
  step.session_bound = {{"csrf", "0123456789abcdefXYZ", "new"}};
  EXPECT_EQ(ReplayText(step, get, RecordedAnswer{302, "http://h/b", ""}),
            "403 differs; session-bound csrf: recorded \"0123456789abcde…\", "
            "served \"new\"");
  step = StepResult{};
  step.status = 302;
  step.redirect_target = "http://h/b";
  EXPECT_EQ(ReplayText(step, get, RecordedAnswer{302, "http://h/b", ""}), "302 same");
  EXPECT_EQ(ReplayText(step, get, std::nullopt), "302");
}

TEST(RequestRowsTest, TheFormViewDecodesFieldsAndNamesFileParts) {
  DocumentElement post{.method = "POST", .uri = "/p?q=1", .scheme = "http", .host = "h",
                       .header_lines = {"Content-Type: multipart/form-data; boundary=B"},
                       .body = kMultipart};
  EXPECT_EQ(FormText(post),
            "title = T 1\nfile: file \"a.txt\", text/plain, 6 bytes\n");
  // A part's headers without their end: nothing is read past the body's.
  post.body = "--B\r\nContent-Type: text/plain\r\nx\r\n--B--\r\n";
  EXPECT_EQ(FormText(post), "");
  post.header_lines = {};
  post.body = "user=al%20ice&flag";
  EXPECT_EQ(FormText(post), "user = al ice\nflag = \n");
  post.header_lines = {"X-A: 1\r\ncontent-type: application/json\r\n"};
  post.body = R"({"a":[1, {}],"b":{"c":"x,\"{y:"}})";
  EXPECT_EQ(FormText(post), "{\n  \"a\": [\n    1,\n    {}\n  ],\n  \"b\": {\n"
                            "    \"c\": \"x,\\\"{y:\"\n  }\n}\n");
  post.body = std::nullopt;
  EXPECT_EQ(FormText(post), "");
}

// The question names each host once, counts the requests and posts, and
// names the hosts that receive the password and those that never asked.
TEST(RequestRowsTest, TheCheckUsesTheBrowsersProxyAndAcceptedCertificates) {
  const ReplayOptions options = CheckOptions("http://p:3128", {"p:3128"}, {});
  EXPECT_EQ(options.proxy, "http://p:3128");
  EXPECT_EQ(options.proxy_ignore_hosts, (std::vector<std::string>{"p:3128"}));
  ASSERT_TRUE(options.accept_certificate);
  EXPECT_EQ(options.accept_certificate("h", nullptr, G_TLS_CERTIFICATE_UNKNOWN_CA),
            "the system does not trust it, and none was accepted for h");
  std::vector<DocumentElement> elements(4);
  const char* methods[] = {"GET", "POST", "POST", "GET"};
  const char* hosts[] = {"a:8080", "b", "a:8080", "a"};
  for (int i = 0; i < 4; ++i) {
    elements[i] = Element(methods[i], "/", hosts[i]);
    elements[i].header_lines = {i == 0 ? "" : "Authorization: Basic eDp5"};
  }
  const ReplayScope scope = ScopeOf(elements);
  EXPECT_EQ(HostsNeverAsked(elements, {"a:80"}), (std::vector<std::string>{"b", "a:8080"}));
  EXPECT_EQ(CheckQuestion(scope, {"b"}),
            "Check Replay sends the 4 requests of trans.xml (2 POSTs) again to "
            "a:8080, b, a. Those servers act on them as on the recorded ones (a "
            "POST may place an order again). The password typed for this "
            "recording goes to b, a:8080, a. Of these, b never asked for it "
            "while recording: \"Check, Password Only Where Asked\" leaves it out "
            "for that host. Nothing in trans.xml or the browser changes.");
}

// Each element's address is built from its parts; one that could reach
// another host than its Host line names, or is no HTTP, is not sent.
TEST(ReplayedRequestTest, AnElementIsSentOnlyToTheHostItNames) {
  struct Case {
    std::string host, uri, method, url_or_problem;
  };
  const std::vector<Case> cases = {
      {"h:81", "/p?q=%41#f", "GET", "http://h:81/p?q=%41"},
      {"[::1]:82", "/", "POST", "http://[::1]:82/"},
      {"h", "@[::1]:82/x", "GET", "the URI \"@[::1]:82/x\" is not a path beginning with \"/\" without blanks"},
      {"h", "/a b", "GET", "the URI \"/a b\" is not a path beginning with \"/\" without blanks"},
      {"h", "/", "G T", "the method \"G T\" is not an HTTP method"},
      {"\x1b]0;t\x07", "/", "GET", "the Host line \"\\x1b]0;t\\x07\" names no server"},
  };
  for (const std::string host : {"", ":80", ":", "#:80", "?:80", "/:80", "@:80", "h:0", "h:", "[::1"}) {
    const ReplayedRequest request = RequestFor(Element("GET", "/", host));
    EXPECT_EQ(request.problem, "the Host line \"" + host + "\" names no server");
  }
  for (const Case& c : cases) {
    const ReplayedRequest request = RequestFor(Element(c.method, c.uri, c.host));
    EXPECT_EQ(request.problem.empty() ? request.url : request.problem, c.url_or_problem);
  }
}

}  // namespace
}  // namespace scrivlet::replay
