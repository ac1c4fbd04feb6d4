#include "platform/frame_ids.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scrivlet {
namespace {

TEST(FrameIdsTest, GivesEachFrameDocumentItsOwnOddIdentity) {
  FrameIds ids;
  const BrowserId first = ids.IdOf("x1.a");
  const BrowserId second = ids.IdOf("y2.b");

  EXPECT_EQ(ids.IdOf("x1.a"), first);
  EXPECT_NE(first, second);
  EXPECT_EQ(first % 2, 1u);
  EXPECT_EQ(second % 2, 1u);
}

TEST(FrameIdsTest, AFrameGoesToTheViewShowingItsTopDocumentElseTheMainView) {
  struct Case {
    std::vector<std::string> view_urls;
    std::string top_url;
    std::size_t view;
  };
  const Case cases[] = {
      {{"http://a/", "http://b/"}, "http://b/", 1},
      {{"http://a/", "http://b/"}, "http://c/", 0},
      // A cross-origin frame cannot read its top document's address.
      {{"http://a/", ""}, "", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ViewShowingFrame(c.view_urls, c.top_url), c.view) << c.top_url;
  }
}

}  // namespace
}  // namespace scrivlet
