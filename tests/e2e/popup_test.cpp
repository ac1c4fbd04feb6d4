// Pages that open new windows: each opens a "Popup" window whose requests
// land in the same transaction document.
#include "scrivlet_fixture.h"

namespace scrivlet::e2e {
namespace {

struct PopupCase {
  const char* name;
  const char* opener;  // the page in the main window
  const char* popup;   // the page the pop-up shows
};

class PopupTest : public ScrivletTest,
                  public ::testing::WithParamInterface<PopupCase> {
 protected:
  void SetUp() override { StartAndAnswerDialogs(); }

  // Opens the case's pop-up from the main window and waits until its page
  // has loaded.
  WindowId OpenPopup() {
    NavigateTo(GetParam().opener);
    ClickInPage(kBox1);
    WindowId popup = WaitForWindow("^Popup$");
    if (popup == 0) throw std::runtime_error("no \"Popup\" window appeared");
    WaitForPage(GetParam().popup);
    return popup;
  }
};

TEST_P(PopupTest, OpensAPopupWindowWhosePostIsRecorded) {
  WindowId popup = OpenPopup();
  WindowGeometry geometry = Display().Geometry(popup);
  EXPECT_EQ(geometry.width, kPopupWidth);
  EXPECT_EQ(geometry.height, kPopupHeight);

  ClickInPopup(popup, kBox1);
  WaitForPage("/popup-form-target");

  const RecordedRequest post = server_.LastPost();
  ASSERT_EQ(post.path, "/popup-form-target");
  ExpectDocumentThenSentinel(
      ExpectedGet(server_.Url(GetParam().opener)) +
      ExpectedGet(server_.Url(GetParam().popup)) +
      ExpectedPost(server_.Url("/popup-form-target"), post.body,
                   post.Header("Content-Type")));
  // The pop-up stays open beside the main window.
  EXPECT_EQ(Display().FindVisibleWindows("^Popup$").size(), 1u);
}

TEST_P(PopupTest, RefreshInThePopupRecordsNothing) {
  WindowId popup = OpenPopup();

  ClickPopupControl(popup, kPopupRefresh);
  WaitForPage(GetParam().popup, 2);

  ExpectDocumentThenSentinel(ExpectedGet(server_.Url(GetParam().opener)) +
                             ExpectedGet(server_.Url(GetParam().popup)));
}

// A page's window.close() closes its pop-up; in the main window it is
// ignored, so the session and its recording go on.
TEST_P(PopupTest, APageClosesItsPopupButNotTheMainWindow) {
  WindowId popup = OpenPopup();
  ClickInPopup(popup, kBox2);
  EXPECT_TRUE(WaitForWindowGone(popup, "^Popup$"));
  NavigateTo("/close-self");
  ClickInPage(kBox2);
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url(GetParam().opener)) +
                             ExpectedGet(server_.Url(GetParam().popup)) +
                             ExpectedGet(server_.Url("/close-self")));
}

INSTANTIATE_TEST_SUITE_P(
    Openers, PopupTest,
    ::testing::Values(PopupCase{"LinkWithTarget", "/popup-link",
                                "/popup-page?by=link"},
                      PopupCase{"WindowOpenFromScript", "/popup-script",
                                "/popup-page?by=script"}),
    [](const ::testing::TestParamInfo<PopupCase>& param_info) {
      return std::string(param_info.param.name);
    });

}  // namespace
}  // namespace scrivlet::e2e
