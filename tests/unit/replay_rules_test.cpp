#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "replay/session_bound.h"
#include "replay/verdict.h"

namespace scrivlet::replay {
namespace {

using Values = std::vector<NamedValue>;

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
      "--B\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nT 1\r\n"
      "--B\r\nContent-Disposition: form-data; name=\"file\"; "
      "filename=\"a.txt\"\r\nContent-Type: text/plain\r\n\r\nsecret\r\n"
      "--B\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\nk\r\n"
      "--B--\r\n";
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
    const ReplayedRequest request{"POST", "http://h/p?q=a+b&t=%#frag=x",
                                  c.headers, c.body};
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

TEST(SessionBoundTest, AValueIsSessionBoundWhenTheLatestAnswerNamingItHandedOutAnother) {
  struct Case {
    std::vector<Values> answers;
    Values sent;
    std::vector<SessionBoundValue> expected;
  };
  const std::vector<Case> cases = {
      {{{{"token", "new"}}}, {{"token", "old"}, {"other", "x"}},
       {{"token", "old", "new"}}},
      {{{{"token", "same"}}}, {{"token", "same"}}, {}},
      {{{{"choice", "a"}, {"choice", "b"}}}, {{"choice", "b"}}, {}},
      {{{{"token", "first"}}, {{"token", "second"}}, {{"page", "1"}}},
       {{"token", "first"}}, {{"token", "first", "second"}}},
      {{}, {{"token", "old"}}, {}},
      {{{{"t", "new"}}}, {{"t", "a"}, {"t", "b"}}, {{"t", "a", "new"}}},
  };
  for (const Case& c : cases) {
    HandedOutLedger ledger;
    for (const Values& answer : c.answers) ledger.AddAnswer(answer);
    EXPECT_EQ(ledger.SessionBound(c.sent), c.expected);
  }
}

TEST(VerdictTest, AStepFailsWithoutAnAnswerOrFromStatus400On) {
  struct Case {
    std::optional<int> status;
    Verdict expected;
  };
  const std::vector<Case> cases = {{200, Verdict::kOk},  {302, Verdict::kOk},
                                   {399, Verdict::kOk},  {400, Verdict::kFails},
                                   {403, Verdict::kFails}, {503, Verdict::kFails},
                                   {std::nullopt, Verdict::kFails}};
  for (const Case& c : cases) {
    EXPECT_EQ(StepVerdict(c.status), c.expected) << c.status.value_or(-1);
  }
}

TEST(VerdictTest, AReplayDiffersByStatusClassOrRedirectTarget) {
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

TEST(ReplayScopeTest, NamesEachHostOnceAndCountsRequestsAndPosts) {
  std::vector<DocumentElement> elements(4);
  const char* methods[] = {"GET", "POST", "POST", "GET"};
  const char* hosts[] = {"a:8080", "b", "a:8080", "a"};
  for (int i = 0; i < 4; ++i) elements[i].method = methods[i], elements[i].host = hosts[i];
  const ReplayScope scope = ScopeOf(elements);
  EXPECT_EQ(scope.hosts, (std::vector<std::string>{"a:8080", "b", "a"}));
  EXPECT_EQ((std::vector<std::size_t>{scope.requests, scope.posts}),
            (std::vector<std::size_t>{4, 2}));
}

}  // namespace
}  // namespace scrivlet::replay
