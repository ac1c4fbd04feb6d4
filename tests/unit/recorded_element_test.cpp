#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace scrivlet::testing {
namespace {

// Keeps what it is told, and "start" for every transaction start.
class FakeObserver : public RecordedElementObserver {
 public:
  void ElementRecorded(RecordedElement element) override {
    events.push_back("element");
    elements.push_back(std::move(element));
  }
  void TransactionStarted() override { events.push_back("start"); }
  void ElementDeleted(std::size_t index) override {
    events.push_back("deleted " + std::to_string(index));
    elements.erase(elements.begin() + static_cast<std::ptrdiff_t>(index));
  }
  void ElementAnswered(std::size_t i, const RecordedAnswer& a) override {
    answers.emplace_back(i, a);
  }

  std::vector<std::string> events;
  std::vector<std::pair<std::size_t, RecordedAnswer>> answers;
  std::vector<RecordedElement> elements;
};

class RecordedElementTest : public SessionTest {
 protected:
  void SetUp() override { session.SetRecordedElementObserver(&observer); }
  FakeObserver observer;
};

TEST_F(RecordedElementTest, TellsEachAppendedElementAsTheFileHoldsIt) {
  Start();
  Navigate("http://h/form");
  session.WebBrowser1_DocumentComplete(kMainView, "http://h/form");
  Navigate("http://h/post", "a=1&b=2",
           "Content-Type: application/x-www-form-urlencoded\r\n");
  session.WebBrowser1_DocumentComplete(kMainView, "http://h/landing?x=1");

  // The texts are the file's elements, whole and in order.
  std::vector<RecordedElement> expected = {
      {ElementKind::kNavigation, "GET", "http://h/form", 0, ""},
      {ElementKind::kNavigation, "POST", "http://h/post", 7, ""},
      {ElementKind::kCompletion, "GET", "http://h/landing?x=1", 0, ""}};
  std::string texts;
  for (RecordedElement& told : observer.elements) texts += std::exchange(told.text, "");
  EXPECT_EQ(observer.elements, expected);
  EXPECT_EQ(texts, Recorded());
}

// Each recorded navigation gets what its page got (a frame too): a
// redirect's navigation and its completion element both get the final
// page's, a load without a page gets none, a redirect loop keeps the
// engine's reason.
TEST_F(RecordedElementTest, TellsEachNavigationWhatItsPageGot) {
  Start();
  Navigate("http://h/a");
  Navigate("http://h/frame");
  session.WebBrowser1_DocumentComplete(kFrame, "http://h/frame", Answered(200));
  session.WebBrowser1_DocumentComplete(kMainView, "http://h/a", Answered(404));
  Navigate("http://h/post", "a=1");
  session.WebBrowser1_DocumentComplete(
      kMainView, "http://h/end", {200, false, "", {{302, "http://h/end"}}});
  session.WebBrowser1_BeforeNavigate2(kPopupView, "http://p/x", {}, "");
  session.WebBrowser1_DocumentComplete(kPopupView, "http://p/x", ErrorPage("no"));
  Navigate("http://h/stopped");
  session.WebBrowser1_LoadEndedWithoutPage(kMainView);
  Navigate("http://h/next");
  session.WebBrowser1_DocumentComplete(kMainView, "http://h/next", Answered(200));
  Navigate("http://h/loop");
  session.WebBrowser1_DocumentComplete(
      kMainView, "http://h/loop", {{}, true, "Too many redirects", {{302, "http://h/loop"}}});
  Navigate("http://h/lost");
  session.WebBrowser1_WebProcessTerminated(kMainView);
  // Script requests: the answers from their address, oldest first; a
  // frame's completion there is no answer of theirs; a failure, its reason.
  session.SetRecordScriptRequests(true);
  for (const char* url : {"http://h/api", "http://h/api", "http://h/down"}) {
    session.WebBrowser1_ScriptRequest({"fetch", "GET", url, {}, {}, ""});
  }
  session.WebBrowser1_DocumentComplete(kFrame, "http://h/api", Answered(500));
  for (int status : {201, 202}) {
    session.WebBrowser1_ResourceAnswered("http://h/other", 200);
    session.WebBrowser1_ResourceAnswered("http://h/api", status);
  }
  session.WebBrowser1_ResourceFailed("http://h/down", "Connection refused");
  using Told = std::pair<std::size_t, RecordedAnswer>;
  EXPECT_EQ(observer.answers, (std::vector<Told>{{1, {200, "http://h/frame", ""}},
                                                 {0, {404, "http://h/a", ""}},
                                                 {2, {302, "http://h/end", ""}},
                                                 {3, {200, "http://h/end", ""}},
                                                 {4, {{}, "", "no"}},
                                                 {6, {200, "http://h/next", ""}},
                                                 {7, {302, "http://h/loop", "Too many redirects"}},
                                                 {8, {{}, "", kPageStoppedWorking}},
                                                 {9, {201, "http://h/api", ""}},
                                                 {10, {202, "http://h/api", ""}},
                                                 {11, {{}, "", "Connection refused"}}}));
  EXPECT_EQ(session.answers().answer(11), observer.answers.back().second);
}

TEST_F(RecordedElementTest, EveryTransactionStartIsTold) {
  Start();
  Navigate("http://h/1");
  session.Reset_Click();
  Navigate("http://h/2");

  EXPECT_EQ(observer.events,
            (std::vector<std::string>{"start", "element", "start", "element"}));
  EXPECT_EQ(observer.elements.back().text, Recorded());
}

// A document left by a killed run goes on: its first address is the first,
// its elements are told as then, and the status line says so until a reset.
// So does one with LF line ends (an editor's), kept as it is before the new.
TEST_F(RecordedElementTest, AKeptDocumentGoesOnWithItsAddressAndElements) {
  for (const bool lf : {false, true}) {
    SCOPED_TRACE(lf ? "LF" : "CR LF");
    if (lf) session.Reset_Click();
    else Start();
    observer.elements.clear();
    Navigate("http://h:8080/list?a=1&b=<x>\"");
    session.WebBrowser1_DocumentComplete(kMainView, "http://h:8080/list");
    Navigate("http://h/post", "a=1&b=\"2\"\r\n", "Referer: http://other/\r\n");
    session.WebBrowser1_DocumentComplete(kMainView, "http://h/landing");
    std::vector<RecordedElement> expected = observer.elements;
    if (lf) {
      WriteFile(install.TransXml(), WithLf(ReadFile(install.TransXml())));
      for (RecordedElement& element : expected) element.text = WithLf(element.text);
    }
    const std::string kept = ReadFile(install.TransXml());
    files.AppendText(install.TransXml(), "<REQUEST><REQUEST-LINE NAME=");

    FakeObserver later;
    RecordingSession restarted(files, browser, view, proxy,
                               install.WorkingDirectory());
    restarted.SetRecordedElementObserver(&later);
    restarted.Form_Load({});
    EXPECT_EQ(later.elements, expected);
    EXPECT_EQ(restarted.state().startUrl, "http://h:8080/list?a=1&b=<x>\"");
    EXPECT_EQ(restarted.answers().count(), 4u);  // the kept ones come first
    EXPECT_EQ(view.status_text,
              "Recording goes on after the requests kept from an earlier run (4 "
              "in trans.xml). \"Reset Transaction\" starts over.");
    restarted.WebBrowser1_BeforeNavigate2(kMainView, "http://h/next",
                                          std::nullopt, "");
    EXPECT_EQ(ReadFile(install.TransXml()), kept + later.elements.back().text);
    EXPECT_EQ(restarted.ReadDocumentForCheck().elements.size(),
              later.elements.size());
    restarted.Reset_Click();
    EXPECT_EQ(view.status_text, "");
    EXPECT_EQ(restarted.state().startUrl, "");
  }
}

// A deleted element leaves the file through one replacement; the rest stay
// as written, the observer hears of it, and the first address follows.
TEST_F(RecordedElementTest, ADeletedElementLeavesTheFileAndTheList) {
  struct Case {
    std::size_t index;
    std::string start_url;
  };
  for (const Case& c : {Case{0, "http://h/2"}, Case{1, "http://h/1"},
                        Case{2, "http://h/1"}}) {
    SCOPED_TRACE(c.index);
    Start();
    for (const char* url : {"http://h/1", "http://h/2", "http://h/3"}) {
      Navigate(url);
    }
    std::vector<RecordedElement> kept = observer.elements;
    kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(c.index));
    EXPECT_TRUE(session.DeleteRequest_Click(c.index));
    EXPECT_EQ(observer.events.back(), "deleted " + std::to_string(c.index));
    EXPECT_EQ(observer.elements, kept);
    EXPECT_EQ(Recorded(), kept[0].text + kept[1].text);
    EXPECT_EQ(state.startUrl, c.start_url);
    // Appends go on at the new file's end.
    Navigate("http://h/4");
    EXPECT_EQ(Recorded(), kept[0].text + kept[1].text +
                              observer.elements.back().text);
    // The answers move up with the elements: h/4's lands on its own number
    // (the page ends elsewhere than h/1, so a completion element follows).
    session.WebBrowser1_DocumentComplete(kMainView, "http://h/4");
    EXPECT_EQ(session.answers().count(), 4u);
    EXPECT_TRUE(session.answers().answer(2).has_value());
    session.Reset_Click();
    observer.elements.clear();
  }
}

TEST_F(RecordedElementTest, DeletingIsRefusedWhenTheFileCannotFollow) {
  Start();
  Navigate("http://h/1");
  const std::string before = ReadFile(install.TransXml());
  EXPECT_FALSE(session.DeleteRequest_Click(1));
  EXPECT_EQ(view.messages.back().prompt,
            "trans.xml holds no request 2; nothing was deleted.");
  session.EndRecord_Click();
  const std::string saved = ReadFile(install.TransXml());
  EXPECT_FALSE(session.DeleteRequest_Click(0));
  EXPECT_EQ(view.messages.back().prompt,
            "The transaction is closed for its upload: its requests can no "
            "longer be deleted. trans.xml is kept as it is.");
  EXPECT_EQ(ReadFile(install.TransXml()), saved);
  EXPECT_EQ(saved.substr(0, before.size()), before);
  EXPECT_EQ(observer.elements.size(), 1u);
}

// A deletion whose folder cannot be synced is made all the same, and told.
TEST_F(RecordedElementTest, ADeletionThatMayNotSurviveAPowerLossIsTold) {
  Start();
  Navigate("http://h/1");
  files.fail_folder_syncs = true;
  EXPECT_TRUE(session.DeleteRequest_Click(0));
  EXPECT_EQ(Recorded(), "");
  EXPECT_TRUE(observer.elements.empty());
  EXPECT_EQ(view.messages.back(),
            (Message{"Request 1 was deleted from " + install.TransXml() +
                         ", but its folder could not be synced: Input/output "
                         "error. A power loss may bring the request back.",
                     MessageIcon::kWarning}));
}

// What the file does not hold (a failed append, a refresh, a skipped
// address, anything after the save) is told to nobody.
TEST_F(RecordedElementTest, WhatIsNotRecordedIsNotTold) {
  Start();
  files.fail_appends = true;
  Navigate("http://h/lost");
  files.fail_appends = false;
  Navigate("http://h/kept");
  session.RefreshButton_Click();
  Navigate("http://h/refreshed");
  Navigate("res://skipped");
  session.EndRecord_Click();
  Navigate("http://h/after-save");

  ASSERT_EQ(observer.elements.size(), 1u);
  EXPECT_EQ(observer.elements[0].url, "http://h/kept");
  EXPECT_EQ(observer.elements[0].text + "</HTTP-TRANSACTION>\r\n", Recorded());
}

}  // namespace
}  // namespace scrivlet::testing
