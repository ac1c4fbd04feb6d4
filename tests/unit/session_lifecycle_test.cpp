#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "session/typed_address.h"
#include "session/window_layout.h"
#include "test_support.h"

namespace scrivlet::testing {
namespace {

using SessionLifecycleTest = SessionTest;

TEST_F(SessionLifecycleTest, EndSessionDeletesBothFilesWhicheverExist) {
  for (int missing = 0; missing < 3; ++missing) {
    SCOPED_TRACE(missing);
    Installation fresh;
    FakeView v;
    RecordingSession s(files, browser, v, proxy, fresh.WorkingDirectory());
    WriteFile(fresh.AgentIni(), "");
    WriteFile(fresh.TransName(), "uuid=1\n");
    s.Form_Load({});
    if (missing == 1) std::filesystem::remove(fresh.TransXml());
    if (missing == 2) std::filesystem::remove(fresh.TransName());
    // A replacement killed before its rename left this copy behind.
    WriteFile(fresh.TransXml() + kReplacementSuffix, "<REQUEST>");
    s.EndSession();
    EXPECT_FALSE(Exists(fresh.TransXml() + kReplacementSuffix));
    EXPECT_FALSE(Exists(fresh.TransXml()));
    EXPECT_FALSE(Exists(fresh.TransName()));
    EXPECT_TRUE(v.messages.empty());
    EXPECT_EQ(v.end_status, 0);
  }
}

TEST_F(SessionLifecycleTest, AFailedDeletionAtCloseIsReportedAndEndsWithOne) {
  Start();
  struct CannotDelete : FailingFileSystem {
    void DeleteFile(const std::string& path) override {
      throw FileError(path, "Operation not permitted");
    }
  } cannot_delete;
  RecordingSession s(cannot_delete, browser, view, proxy,
                     install.WorkingDirectory());
  s.state() = state;
  s.EndSession();
  EXPECT_EQ(view.messages,
            (std::vector<Message>{{"Could not delete " + install.TransXml() +
                                       ": Operation not permitted. "
                                       "Application closing!",
                                   MessageIcon::kWarning}}));
  EXPECT_EQ(view.end_status, 1);
}

TEST_F(SessionLifecycleTest, ResetStartsAFreshDocumentAndTransaction) {
  Start();
  Navigate("http://h/1");
  state.realmAuth = "r";
  state.proxyAuth = "p";
  state.username = "kept";
  session.EndRecord_Click();
  WriteFile(install.TransName(), "transactionName=Second\n");

  session.Reset_Click();

  EXPECT_EQ(ReadFile(install.TransXml()), kStartLine);
  EXPECT_EQ(state.startUrl, "");
  EXPECT_EQ(state.pendingUrl, "");
  EXPECT_EQ(state.realmAuth, "");
  EXPECT_EQ(state.proxyAuth, "");
  EXPECT_EQ(state.username, "kept");
  EXPECT_EQ(state.transactionName, "Second");
  EXPECT_EQ(state.transactionUuid, "uuid=");
  EXPECT_FALSE(state.documentClosed);
  EXPECT_EQ(view.end_record_enabled, true);
  EXPECT_TRUE(Exists(install.TransName()));
  EXPECT_EQ(browser.navigations.back(), state.introUrl);
}

TEST_F(SessionLifecycleTest, SaveClosesTheDocumentOnceAndStopsCapture) {
  Start();
  Navigate("http://h/1");
  state.pendingUrl = "http://h/1";
  const std::string before = Recorded();

  session.EndRecord_Click();
  Navigate("http://h/after-save");
  session.WebBrowser1_DocumentComplete(kMainView, "http://h/redirected");

  EXPECT_EQ(Recorded(), before + "</HTTP-TRANSACTION>\r\n");
  EXPECT_EQ(view.end_record_enabled, false);
  EXPECT_TRUE(state.documentClosed);
  EXPECT_EQ(browser.navigations.back(), kRecordPage);
  EXPECT_EQ(view.progress, "done");
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(SessionLifecycleTest, AFailedSaveWriteIsReportedAndCanBeRetried) {
  Start();
  files.fail_appends = true;
  session.EndRecord_Click();
  EXPECT_EQ(view.messages,
            (std::vector<Message>{
                {"Could not write trans.xml: No space left on device. The "
                 "transaction was not saved; the requests recorded so far are "
                 "kept.",
                 MessageIcon::kWarning}}));
  EXPECT_EQ(view.end_record_enabled, true);
  EXPECT_FALSE(state.documentClosed);
  EXPECT_EQ(browser.navigations.size(), 1u);
  EXPECT_EQ(view.end_status, std::nullopt);

  files.fail_appends = false;
  session.EndRecord_Click();
  EXPECT_EQ(Recorded(), "</HTTP-TRANSACTION>\r\n");
}

TEST_F(SessionLifecycleTest, AFailedRecordPageNavigationKeepsOneClosingLine) {
  Start();
  browser.loads_fail = true;
  session.EndRecord_Click();
  CompleteErrorPages();
  browser.loads_fail = false;
  session.EndRecord_Click();
  EXPECT_EQ(Recorded(), "</HTTP-TRANSACTION>\r\n");
  EXPECT_EQ(browser.navigations.back(), kRecordPage);
  EXPECT_EQ(view.end_status, std::nullopt);
}

TEST_F(SessionLifecycleTest, NavigationControlsDriveTheBrowser) {
  Start();
  session.Go_Click("  example.org ");
  session.Back_Click();
  session.Forward_Click();
  session.WebBrowser1_CommandStateChange(kBackCommand, true);
  session.WebBrowser1_CommandStateChange(kForwardCommand, true);
  session.WebBrowser1_CommandStateChange(-1, false);
  session.WebBrowser1_CommandStateChange(3, false);
  session.Back_Click();
  session.Forward_Click();
  session.WebBrowser1_CommandStateChange(kBackCommand, false);
  session.Back_Click();
  session.RefreshButton_Click();
  EXPECT_TRUE(state.didRefresh);
  state.didRefresh = false;
  FakeBrowser popup;
  session.PopupRefreshButton_Click(popup);
  EXPECT_TRUE(state.didRefresh);
  EXPECT_EQ(browser.calls,
            (std::vector<std::string>{"Navigate2 http://example.org", "Focus",
                                      "GoBack", "GoForward", "Refresh"}));
  EXPECT_EQ(popup.calls, std::vector<std::string>{"Refresh"});
  session.WebBrowser1_StatusTextChange("http://link/");
  EXPECT_EQ(view.status_text, "http://link/");
  Navigate("http://example.org/");
  EXPECT_EQ(view.status_text, "");
  session.WebBrowser1_WebProcessTerminated(kMainView);
  session.WebBrowser1_BeforeNavigate2(kMainView + 1, "http://f/", {}, "");
  EXPECT_EQ(view.status_text.substr(0, 22), "The page stopped worki");
  Navigate("http://example.org/");
  EXPECT_EQ(view.status_text, "");
}

TEST(AddressToLoadTest, PutsHttpInFrontOfTextWithoutAScheme) {
  const std::pair<std::string, std::string> cases[] = {
      {"127.0.0.1:8080/app", "http://127.0.0.1:8080/app"},
      {"intranet:8080/app", "http://intranet:8080/app"},
      {" \tintranet/app ", "http://intranet/app"},
      {"aboutus/", "http://aboutus/"}, {" ftp://h/ ", " ftp://h/ "},
      {"in/?to=http://x", "in/?to=http://x"}, {"about:blank", "about:blank"},
      {"Data:,a", "Data:,a"}, {"file:/tmp/a", "file:/tmp/a"}, {"  ", "  "},
      {"JavaScript:0", "JavaScript:0"}, {"mailto:a@b", "mailto:a@b"}};
  for (const auto& [typed, expected] : cases) {
    EXPECT_EQ(AddressToLoad(typed), expected) << "'" << typed << "'";
  }
}

TEST(WindowLayoutTest, GrowsTheBrowserByTheWindowsGrowth) {
  SessionState state;
  SaveInitialLayout(state, {10095, 10545, 8175, 10095, 9360});
  EXPECT_EQ(state.bottomOffset, 735);

  const auto grown =
      LayoutControls(state, WindowState::kNormal, 10095 + 1500, 10545 + 3000);
  ASSERT_TRUE(grown);
  EXPECT_EQ(grown->check_top, 10860);
  EXPECT_EQ(grown->browser_height, 9675);
  EXPECT_EQ(grown->browser_width, 13095);

  const auto same = LayoutControls(state, WindowState::kMaximized, 10095, 10545);
  ASSERT_TRUE(same);
  EXPECT_EQ(same->check_top, 9360);
  EXPECT_EQ(same->browser_height, 8175);
  EXPECT_EQ(same->browser_width, 10095);

  EXPECT_EQ(LayoutControls(state, WindowState::kMinimized, 500, 500),
            std::nullopt);
}

TEST(WindowLayoutTest, KeepsTheBrowserWhenItWouldBeNegative) {
  SessionState state;
  SaveInitialLayout(state, {10095, 10545, 8175, 10095, 9360});
  const auto tiny = LayoutControls(state, WindowState::kNormal, 1000, 10545);
  ASSERT_TRUE(tiny);
  EXPECT_EQ(tiny->check_top, 265);
  EXPECT_EQ(tiny->browser_height, std::nullopt);
  EXPECT_EQ(tiny->browser_width, std::nullopt);
}

TEST(WindowLayoutTest, RoundsHalfToEvenAndKeepsSizesBeyond16Bits) {
  SessionState state;
  SaveInitialLayout(state, {100.5f, 40000, 101.5f, -40000, 0.5f});
  EXPECT_EQ(state.initialFormHeight, 100);
  EXPECT_EQ(state.initialBrowserHeight, 102);
  EXPECT_EQ(state.initialFormWidth, 40000);
  EXPECT_EQ(state.initialBrowserWidth, -40000);
  EXPECT_EQ(state.bottomOffset, 100);

  SaveInitialLayout(state, {1000, 1000, 500, 500, 100});
  const auto huge = LayoutControls(state, WindowState::kNormal, 60000, 1000.5f);
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->browser_height, 59500);
  EXPECT_EQ(huge->browser_width, 500);
  EXPECT_EQ(huge->check_top, 59100);
}

// Maximised on wide screens the browser fills the window: at 3840 by 2160
// pixels the window is 57600 by 32400 twips.
TEST(WindowLayoutTest, TheBrowserFillsAWindowOnAWideScreen) {
  struct Case {
    int width_px, height_px;
    std::int32_t browser_width, browser_height;
    float check_top;
  };
  const std::vector<Case> cases = {
      {3840, 2160, 57600 - 450, 32400 - 1920, 32400 - 735},
      {2560, 1440, 38400 - 450, 21600 - 1920, 21600 - 735},
      {2185, 2185, 32775 - 450, 32775 - 1920, 32775 - 735},
  };
  SessionState state;
  SaveInitialLayout(state, {10095, 10545, 8175, 10095, 9360});
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width_px) + "x" + std::to_string(c.height_px));
    const auto layout = LayoutControls(
        state, WindowState::kMaximized,
        static_cast<float>(c.height_px * kTwipsPerPixel),
        static_cast<float>(c.width_px * kTwipsPerPixel));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->browser_width, c.browser_width);
    EXPECT_EQ(layout->browser_height, c.browser_height);
    EXPECT_EQ(layout->check_top, c.check_top);
  }
}

}  // namespace
}  // namespace scrivlet::testing
