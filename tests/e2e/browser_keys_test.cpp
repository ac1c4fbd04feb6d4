// The keys every browser has: each does what its button does, so the
// document records exactly what a click records.
#include <atomic>
#include <cctype>
#include <memory>
#include <thread>

#include "scrivlet_fixture.h"

namespace scrivlet::e2e {
namespace {

// A point of the test pages where nothing is: a click there gives the page
// the keyboard focus and does nothing else.
constexpr PagePoint kBlank{600, 450};

class BrowserKeysTest : public ScrivletTest {
 protected:
  void SetUp() override { StartAndAnswerDialogs(); }
  ~BrowserKeysTest() override { *released_ = true; }

  // Presses `keys` with the keyboard focus in the page.
  void PressInPage(const std::string& keys) {
    ClickInPage(kBlank);
    Display().Key(keys);
  }

  // "METHOD target" of every page request the server received.
  std::vector<std::string> ServerLog() const {
    std::vector<std::string> log;
    for (const auto& request : server_.PageRequests()) {
      log.push_back(request.method + " " + request.target);
    }
    return log;
  }

  // /slow-page answers only once the test releases it.
  void AddSlowPage() {
    std::shared_ptr<std::atomic<bool>> released = released_;
    server_.Add("/slow-page", [released](const RecordedRequest&) {
      WaitUntil([&] { return released->load(); }, 60s);
      return Reply{200, BeaconPage("Slow", "<p>slow</p>"), ""};
    });
  }

  std::shared_ptr<std::atomic<bool>> released_ =
      std::make_shared<std::atomic<bool>>(false);
};

class KeyTest : public BrowserKeysTest,
                public ::testing::WithParamInterface<const char*> {};

// "ctrl+l" names its case CtrlL.
std::string KeyName(const ::testing::TestParamInfo<const char*>& info) {
  std::string name;
  bool upper = true;
  for (const char* c = info.param; *c; ++c) {
    if (*c == '+') {
      upper = true;
      continue;
    }
    name += upper ? static_cast<char>(std::toupper(*c)) : *c;
    upper = false;
  }
  return name;
}

using FocusAddressKeyTest = KeyTest;

// Typing right after the key replaces the whole address: the box has the
// focus and its text is selected.
TEST_P(FocusAddressKeyTest, PutsTheCursorInTheAddressBoxWithItsTextSelected) {
  NavigateTo("/page");
  PressInPage(GetParam());
  Display().Type(server_.Url("/page2"));
  Display().Key("Return");
  WaitForPage("/page2");

  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")) +
                             ExpectedGet(server_.Url("/page2")));
}

INSTANTIATE_TEST_SUITE_P(Keys, FocusAddressKeyTest,
                         ::testing::Values("ctrl+l", "F6"), KeyName);

using RefreshKeyTest = KeyTest;

TEST_P(RefreshKeyTest, ReloadsThePageAndRecordsNothingLikeRefresh) {
  NavigateTo("/page");
  PressInPage(GetParam());
  WaitForPage("/page", 2);

  EXPECT_EQ(ServerLog(),
            (std::vector<std::string>{"GET /page", "GET /page"}));
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")));
}

TEST_P(RefreshKeyTest, RefreshesThePopupAndRecordsNothing) {
  const WindowId popup = OpenPopupFrom("/popup-link", "/popup-page?by=link");

  ClickInPopup(popup, kBlank);
  Display().Key(GetParam());
  WaitForPage("/popup-page?by=link", 2);

  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/popup-link")) +
                             ExpectedGet(server_.Url("/popup-page?by=link")));
}

INSTANTIATE_TEST_SUITE_P(Keys, RefreshKeyTest,
                         ::testing::Values("F5", "ctrl+r"), KeyName);

TEST_F(BrowserKeysTest, AltLeftAndAltRightGoBackAndForwardLikeTheButtons) {
  ExpectBackAndForwardRecorded([this] { PressInPage("alt+Left"); },
                               [this] { PressInPage("alt+Right"); });
}

TEST_F(BrowserKeysTest, AltLeftAndAltRightDoNothingWhileTheButtonsCannot) {
  // The intro page has no page before or after it.
  PressInPage("alt+Left");
  Display().Key("alt+Right");

  ExpectDocumentThenSentinel("");
  EXPECT_EQ(ServerLog(), (std::vector<std::string>{"GET /sentinel?n=1"}));
}

// The page that was asked for never comes, and nothing beyond its own
// navigation is recorded.
TEST_F(BrowserKeysTest, EscapeStopsAPageThatIsLoading) {
  AddSlowPage();
  NavigateTo("/page");
  TypeAddress(server_.Url("/slow-page"));
  ASSERT_TRUE(server_.WaitForRequest("/slow-page", 1));

  PressInPage("Escape");
  WaitForElements(2);
  *released_ = true;
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(server_.BeaconCount("/slow-page"), 0);

  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")) +
                             ExpectedGet(server_.Url("/slow-page")));
}

// The answer keeps coming until Escape: the browser then closes the
// connection, and the page is recorded once.
TEST_F(BrowserKeysTest, EscapeStopsAnAnswerThatIsArriving) {
  Reply endless{200, std::string(64 * 1024, 'x') + "<br>", ""};
  endless.endless = true;
  server_.Add("/endless", [endless](const RecordedRequest&) { return endless; });
  TypeAddress(server_.Url("/endless"));
  ASSERT_TRUE(WaitUntil([&] { return server_.EndlessBytesSent() > 8 << 20; }, 30s));

  PressInPage("Escape");
  EXPECT_TRUE(WaitUntil([&] { return server_.EndlessAnswersCut() == 1; }, 30s));
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/endless")));
  EXPECT_TRUE(MessageWindows().empty());
}

}  // namespace
}  // namespace scrivlet::e2e
