// The "Recorded Requests" window (F9): one row per element of trans.xml,
// live, the selected element's XML below, emptied by "Reset Transaction".
// What the window shows is read from the texts it lays out.
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "hardening_support.h"

namespace scrivlet::e2e {
namespace {

using hardening::WholeElements;
using hardening::WindowTexts;

// The text between `open` and `close` in `text`; "" when absent.
std::string Between(const std::string& text, const std::string& open,
                    const std::string& close) {
  const size_t start = text.find(open);
  if (start == std::string::npos) return "";
  const size_t end = text.find(close, start + open.size());
  if (end == std::string::npos) return "";
  return text.substr(start + open.size(), end - start - open.size());
}

// The URI as the document escapes it, made plain again.
std::string Unescaped(std::string text) {
  const std::pair<const char*, const char*> entities[] = {
      {"&quot;", "\""}, {"&gt;", ">"}, {"&lt;", "<"}, {"&amp;", "&"}};
  for (const auto& [entity, plain] : entities) {
    for (size_t at = text.find(entity); at != std::string::npos;
         at = text.find(entity, at + 1)) {
      text.replace(at, std::string(entity).size(), plain);
    }
  }
  return text;
}

class RecordedRequestsTest : public hardening::HardeningTest {
 protected:
  void SetUp() override {
    Environment extra;
    texts_.AddTo(extra);
    // Typed credentials go on plain http too (none are typed at the start).
    std::vector<std::string> ini = DefaultAgentIni();
    ini.push_back("nonsslauth=1");
    installation_.WriteAgentIni(ini);
    StartRecording(extra);
  }

  // The cells the window must show for each element of trans.xml: number,
  // method, address, body size, and the completion's note. `body_sizes`
  // gives the size of each post's body in turn.
  std::vector<std::vector<std::string>> ExpectedRows(
      const std::vector<size_t>& body_sizes = {}) const {
    std::vector<std::vector<std::string>> rows;
    auto body = body_sizes.begin();
    const auto elements = WholeElements(Document());
    if (!elements) return {{"(trans.xml is not whole elements)"}};
    for (const std::string& element : *elements) {
      const std::string method = Between(element, "<METHOD>", "</METHOD>");
      const bool navigation =
          element.find("</PROT-VER>\r\n</REQUEST-LINE>\r\n") !=
          std::string::npos;
      const size_t size =
          method == "POST" && body != body_sizes.end() ? *body++ : 0;
      rows.push_back({std::to_string(rows.size() + 1), method,
                      Between(element, "<HL>Referer: ", "</HL>") +
                          Unescaped(Between(element, "<URI>", "</URI>")),
                      std::to_string(size)});
      if (!navigation) rows.back().push_back("the redirect's target");
    }
    return rows;
  }

  // Waits until the window has laid out each cell of `rows`.
  void ExpectRowsShown(const std::vector<std::vector<std::string>>& rows) const {
    for (const auto& row : rows) {
      for (const std::string& cell : row) {
        EXPECT_TRUE(texts_.WaitFor("\n" + cell + "\n")) << "no cell " << cell;
      }
    }
  }

  // The last line of the window's count of recorded requests.
  std::string LastCount() const {
    std::string last;
    std::istringstream lines(texts_.All());
    for (std::string line; std::getline(lines, line);) {
      if (line.find("recorded") != std::string::npos &&
          line.ends_with("in this transaction.")) {
        last = line;
      }
    }
    return last;
  }

  WindowTexts texts_;
};

TEST_F(RecordedRequestsTest, RowsAreTheElementsOfTheDocumentAsTheyAreWritten) {
  const WindowId window = OpenRecordedRequests();
  NavigateTo("/page");
  ClickInPage(kBox1);
  WaitForPage("/link?a=1&b=2");
  NavigateTo("/page2");
  NavigateTo("/form");
  ClickInPage(kBox1);
  WaitForPage("/form-target");
  WaitForElements(5);

  const RecordedRequest post = server_.LastPost();
  const auto rows = ExpectedRows({post.body.size()});
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[4][1], "POST");
  ExpectRowsShown(rows);
  EXPECT_TRUE(WaitUntil([&] {
    return LastCount() == "5 requests recorded in trans.xml in this transaction.";
  })) << LastCount();

  // The last row selected: its element's lines show below the list.
  Display().Activate(window);
  Display().Key("End");
  const std::string element = WholeElements(Document())->back();
  EXPECT_TRUE(texts_.WaitFor("<W3C_ENC>user=ann+lee</W3C_ENC>\n"));
  std::filesystem::create_directories(E2E_ARTIFACT_DIR);
  Display().Screenshot(window,
                       std::string(E2E_ARTIFACT_DIR) + "/recorded_requests.png");
  std::istringstream lines(element);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // The view lays out lines below its visible part a little later.
    EXPECT_TRUE(texts_.WaitFor(line + "\n")) << "not shown: " << line;
  }
  ExpectDocumentThenSentinel(
      ExpectedGet(server_.Url("/page")) +
      ExpectedGet(server_.Url("/link?a=1&b=2")) +
      ExpectedGet(server_.Url("/page2")) + ExpectedGet(server_.Url("/form")) +
      ExpectedPost(server_.Url("/form-target"), post.body,
                   post.Header("Content-Type")));
}

// Opened after a sign-in without a token: all are listed, the first shown
// below unhyphenated; the check replays them as recorded, redirect too. The
// password typed for the transaction, which the server never asked for, is
// named in the question and left out when the user says so.
TEST_F(RecordedRequestsTest, OpenedLaterShowsEveryElementSoFarAndReplaysThem) {
  ClickControl(kResetTransaction);
  AnswerDialog("Network Login", Typed{"ann", "pw"});
  AnswerDialog("Proxy Login", std::nullopt);
  NavigateTo("/redirect-form");
  ClickInPage(kBox1);
  WaitForPage("/landing");
  WaitForElements(3);

  const WindowId window = OpenRecordedRequests();
  const RecordedRequest post = server_.LastPost();
  const auto rows = ExpectedRows({post.body.size()});
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2], (std::vector<std::string>{"3", "GET", server_.Url("/landing"),
                                               "0", "the redirect's target"}));
  ExpectRowsShown(rows);
  EXPECT_TRUE(texts_.WaitFor("<URI>/redirect-form</URI>"));
  EXPECT_TRUE(texts_.WaitFor("\n(insert-hyphens off)\n"));
  Display().Activate(window);
  Display().Key("ctrl+shift+r");
  EXPECT_TRUE(texts_.WaitFor("The password typed for this recording goes to " +
                             server_.Authority() + ". Of these, " +
                             server_.Authority() +
                             " never asked for it while recording"))
      << texts_.All();
  ASSERT_TRUE(ConfirmQuestion());
  const std::string left_out = "; Authorization not sent: this host never asked for it\n";
  EXPECT_TRUE(texts_.WaitFor("\n200 same" + left_out) &&
              texts_.WaitFor("\n302 same" + left_out));
  EXPECT_EQ(texts_.All().find("differs"), std::string::npos) << texts_.All();
  EXPECT_EQ(server_.LastPost().Header("Authorization"), "");
}

// An address without a host is recorded as typed; the check fails its step
// and sends nothing for it, and the program goes on.
TEST_F(RecordedRequestsTest, AnElementWithoutAHostFailsItsStepOnly) {
  const WindowId window = OpenRecordedRequests();
  TypeAddress("http://:18081/x");
  WaitForElements(1);
  NavigateTo("/page");
  WaitForElements(2);
  Display().Activate(window);
  Display().Key("ctrl+shift+r");
  ASSERT_TRUE(ConfirmQuestion());
  EXPECT_TRUE(texts_.WaitFor(
      "\nno answer (not sent: the Host line \":18081\" names no server) same\n"))
      << texts_.All();
  EXPECT_TRUE(texts_.WaitFor("Replay check done: 1 requests sent"));
  ExpectDocumentThenSentinel(ExpectedGet("http://:18081/x") +
                             ExpectedGet(server_.Url("/page")));
}

TEST_F(RecordedRequestsTest, ResetTransactionEmptiesTheList) {
  OpenRecordedRequests();
  NavigateTo("/page");
  ExpectRowsShown(ExpectedRows());

  ClickControl(kResetTransaction);
  AnswerDialog("Network Login", std::nullopt);
  AnswerDialog("Proxy Login", std::nullopt);
  EXPECT_TRUE(WaitUntil([&] {
    return LastCount() == "No requests recorded yet in this transaction.";
  })) << LastCount();

  // Numbering starts again with the new document.
  ExpectDocumentThenSentinel("");
  ExpectRowsShown({{"1", "GET", server_.Url("/sentinel?n=1")}});
}

// An order recorded through the demo's form, whose token is good once: the
// check, asked for with Ctrl+Shift+R and confirmed, finds the post refused
// and names the token with both values.
TEST_F(RecordedRequestsTest, TheReplayCheckNamesTheTokenOfARecordedOrder) {
  StandInServer demo;
  const WindowId window = OpenRecordedRequests();
  // The progress box says "done" once more when the form has loaded.
  const auto loads = [&] {
    const std::string all = texts_.All();
    size_t count = 0;
    for (size_t at = all.find("\ndone\n"); at != std::string::npos;
         at = all.find("\ndone\n", at + 1)) {
      ++count;
    }
    return count;
  };
  const size_t loaded = loads();
  TypeAddress(demo.url() + "demo/order.html");
  WaitForElements(1);
  ASSERT_TRUE(WaitUntil([&] { return loads() > loaded; }));
  // The "Copies" box of the order form.
  ClickInPage({165, 92});
  Display().Type("2");
  Display().Key("Return");
  WaitForElements(3);
  const std::string token =
      Between(WholeElements(Document())->at(1), "<W3C_ENC>token=", "</W3C_ENC>");
  ASSERT_FALSE(token.empty()) << Document();
  EXPECT_TRUE(texts_.WaitFor("\n302\n") && texts_.WaitFor("\n200\n"));

  Display().Activate(window);
  Display().Key("ctrl+shift+r");
  EXPECT_TRUE(texts_.WaitFor(
      "Check Replay sends the 3 requests of trans.xml (1 POST) again to " +
      demo.url().substr(7, demo.url().size() - 8) + "."))
      << texts_.All();
  ASSERT_TRUE(ConfirmQuestion());
  const std::regex row("\n403 differs; session-bound token: recorded \"" +
                       token.substr(0, 15) + "…\", served \"[0-9a-f]{15}…\"\n");
  EXPECT_TRUE(WaitUntil([&] { return std::regex_search(texts_.All(), row); }))
      << texts_.All();
  EXPECT_TRUE(texts_.WaitFor("Replay check done: 3 requests sent"));
  std::filesystem::create_directories(E2E_ARTIFACT_DIR);
  Display().Screenshot(window, std::string(E2E_ARTIFACT_DIR) +
                                   "/recorded_requests_replay.png");
}

// The next row takes a deleted one's place, keyboard too; a filter counts.
TEST_F(RecordedRequestsTest, ADeletionSelectsTheNextRowAndTheFilterCounts) {
  for (const char* page : {"/page", "/page2", "/form"}) NavigateTo(page);
  const WindowId window = OpenRecordedRequests();
  Display().Key("Delete");
  ASSERT_TRUE(ConfirmQuestion());
  EXPECT_TRUE(texts_.WaitFor("<URI>/page2</URI>"));
  Display().Activate(window);
  Display().Key("Down");
  EXPECT_TRUE(texts_.WaitFor("<URI>/form</URI>"));
  Display().Key("ctrl+f");
  Display().Type("page");
  EXPECT_TRUE(texts_.WaitFor("\n1 of 2 requests shown.\n"));
  Display().Type("-none");
  EXPECT_TRUE(texts_.WaitFor("\nNo request matches \"page-none\".\n"));
}

// After an upload that did not happen nothing browsed is recorded, both
// windows say so, and Delete asks nothing: the filter gets the typing.
TEST_F(RecordedRequestsTest, AfterAFailedUploadRecordingIsPausedAndSaysSo) {
  server_.SetRecordPage(RecordPage::kNotFound);
  NavigateTo("/page");
  ClickControl(kSaveTransaction);
  ASSERT_TRUE(AcknowledgeMessage());
  NavigateTo("/page2");
  EXPECT_TRUE(texts_.WaitFor(
      "\nRecording is paused: the transaction is closed and waits for its "
      "upload. Save Transaction tries again; Reset Transaction starts a new "
      "one.\n"));
  const WindowId window = OpenRecordedRequests();
  Display().Key("Delete");
  Display().Key("ctrl+f");
  Display().Type("x");
  EXPECT_TRUE(texts_.WaitFor("\n0 of 1 request shown.\n"));
  std::filesystem::create_directories(E2E_ARTIFACT_DIR);
  Display().Screenshot(window, std::string(E2E_ARTIFACT_DIR) + "/recorded_requests_paused.png");
  Display().Screenshot(MainWindow(), std::string(E2E_ARTIFACT_DIR) + "/main_window_paused.png");
}

// Ticked in the window (and kept for the next start), the requests of page
// scripts are recorded with the bytes and header names the server received;
// a multipart body by its parts, under a boundary of the program's own; a
// redirect adds its target. A fetch that never went out leaves nothing; one
// whose body the program could not read is listed, not written.
TEST_F(RecordedRequestsTest, ScriptRequestsAreRecordedAsTheServerGotThemOnceTicked) {
  const WindowId window = OpenRecordedRequests();
  Display().Activate(window);
  Display().Key("alt+s");
  EXPECT_TRUE(texts_.WaitFor(
      "\nRequests made by page scripts are recorded (F9 to change).\n"));
  EXPECT_TRUE(WaitUntil([&] {
    std::ifstream file(installation_.HomeDir() + "/config/scrivlet/choices.ini");
    std::stringstream text;
    text << file.rdbuf();
    return text.str().find("RecordScriptRequests=true") != std::string::npos;
  }));
  NavigateTo("/scripts");
  ClickInPage(kBox1);
  WaitForElements(12);
  // Recorded as it goes out: the server may not have it yet.
  ASSERT_TRUE(WaitUntil([&] { return !server_.RequestsTo("/api/leave").empty(); }));
  const auto sent = [&](const std::string& path) {
    return server_.RequestsTo(path).at(0);
  };
  // Its method, body and Content-Type line, under the name it came with.
  const auto as_received = [&](const std::string& path) {
    const RecordedRequest got = sent(path);
    const auto type = got.headers.find("Content-Type");
    const bool typed = type != got.headers.end();
    std::string element = ExpectedPost(server_.Url(path), got.body,
                                       typed ? type->second : "");
    const size_t line = element.find("<HL>Content-Type");
    if (typed) element.replace(line + 4, 12, type->first);
    if (!typed) element.erase(line, element.find("</HL>", line) + 7 - line);
    return element.replace(element.find("POST"), 4, got.method);
  };
  const RecordedRequest upload = sent("/api/upload");
  const std::string ours = Between(Document(), "boundary=", "\r\n");
  std::string parts = upload.body;
  const std::string their_boundary = upload.Header("Content-Type").substr(
      upload.Header("Content-Type").find("boundary=") + 9);
  for (size_t at = parts.find(their_boundary); at != std::string::npos;
       at = parts.find(their_boundary, at + ours.size())) {
    parts.replace(at, their_boundary.size(), ours);
  }
  std::string form = ExpectedPost(server_.Url("/api/upload"), parts,
                                  "multipart/form-data; boundary=" + ours);
  form.replace(form.find("<HL>Content-Type"), 4, "<HL>X-CSRF-Token: t0k\r\n");
  std::string expected = kDocumentStart + ExpectedGet(server_.Url("/scripts")) +
                         ExpectedGet(server_.Url("/beacon?page=%2Fscripts")) +
                         as_received("/api/sign-in") + form +
                         as_received("/redirect-after-post") +
                         ExpectedCompletion(server_.Url("/landing"));
  for (const char* path : {"/api/note", "/api/settings", "/api/blob",
                           "/api/buffer", "/api/typed", "/api/leave"}) {
    expected += as_received(path);
  }
  EXPECT_EQ(Document(), expected);
  EXPECT_TRUE(texts_.WaitFor("\nNot recorded: sent without its body being seen: " +
                             server_.Url("/api/doc") + " (1).\n"));
  EXPECT_TRUE(server_.RequestsTo("/api/never").empty());
  EXPECT_TRUE(texts_.WaitFor("\nscript\n"));
  EXPECT_TRUE(texts_.WaitFor("\nfailed: 404\n"));
}

// Unticked, nothing of the scripts is recorded and the status line counts
// it, beacons too; ticked, the page shown records its next requests, and
// another host's wait for their host to be ticked; a request its frame
// sends by the engine's own fetch is listed as sent without its body.
TEST_F(RecordedRequestsTest, ScriptRequestsOffAreCountedAndOtherHostsWaitForTheirTick) {
  NavigateTo("/scripts");
  ClickInPage(kBox1);
  EXPECT_TRUE(texts_.WaitFor(
      "\n11 requests made by this page's scripts were not recorded: F9 to "
      "record them\n")) << texts_.All();
  EXPECT_EQ(CountElements(Document()), 1);

  // Ticked while the page is shown: its next requests count.
  NavigateTo("/scripts-other");
  const WindowId window = OpenRecordedRequests();
  EXPECT_TRUE(texts_.WaitFor("\nNot recorded while unticked: 12 requests.\n"));
  Display().Activate(window);
  Display().Key("alt+s");
  ClickInPage(kBox1);
  EXPECT_TRUE(texts_.WaitFor("\nlocalhost:" + std::to_string(server_.port()) +
                             " (1)\n"));
  EXPECT_TRUE(texts_.WaitFor("\nNot recorded: sent without its body being seen: " +
                             server_.Url("/api/unseen") + " (1).\n"));
  Display().Activate(window);
  for (const char* key : {"alt+s", "alt+s", "Tab", "space"}) Display().Key(key);
  ClickInPage(kBox1);
  WaitForElements(3);
  EXPECT_NE(Document().find("<HL>Host: localhost:"), std::string::npos);
  EXPECT_EQ(Document().find("/api/unseen"), std::string::npos);
}

// Where a user finds the window: the address box and the status bar say it.
TEST_F(RecordedRequestsTest, AddressBoxAndStatusBarTooltipsNameF9) {
  const WindowId main = MainWindow();
  Display().Activate(main);
  const std::pair<PagePoint, std::string> tips[] = {
      {Centre(kText1),
       "The address to go to: Ctrl+L or F6 puts the cursor here. F9 shows "
       "the requests recorded so far."},
      {{kMainWidth / 2, kMainHeight - 12},
       "F9 shows the requests recorded so far."}};
  for (const auto& [point, tip] : tips) {
    // Off the window first, so that each tooltip comes afresh.
    Display().MoveTo(main, kMainWidth + 50, point.y);
    Display().MoveTo(main, point.x, point.y);
    Display().MoveTo(main, point.x + 1, point.y);
    EXPECT_TRUE(texts_.WaitFor("\n" + tip + "\n")) << tip;
  }
}

}  // namespace
}  // namespace scrivlet::e2e
