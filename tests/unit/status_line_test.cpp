#include "session/status_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scrivlet::testing {
namespace {

// A link goes with the pointer or the page, a message with the next load
// (a load the program asked for keeps it), a standing state when ended.
TEST(StatusLineTest, EachTextLastsAsLongAsWhatItIsAbout) {
  enum Op { kLink, kAsked, kStarted, kChanged, kTell, kStanding };
  struct Step { Op op; std::string text; };
  struct Case { std::vector<Step> steps; std::string shown; };
  const Case cases[] = {
      {{{kLink, "http://a/"}, {kStarted, ""}}, ""},
      {{{kLink, "http://a/"}, {kChanged, ""}}, ""},
      {{{kTell, "stopped"}, {kChanged, ""}, {kLink, "x"}, {kLink, ""}}, "stopped"},
      {{{kAsked, "kept"}, {kTell, "stopped"}, {kStarted, ""}}, ""},
      {{{kAsked, "kept"}, {kStarted, ""}, {kChanged, ""}}, "kept"},
      {{{kAsked, "kept"}, {kStarted, ""}, {kStarted, ""}}, ""},
      {{{kStanding, "paused"}, {kStarted, ""}, {kChanged, ""}}, "paused"},
      {{{kStanding, "paused"}, {kTell, "stopped"}, {kLink, "http://a/"}}, "http://a/"},
      {{{kStanding, "paused"}, {kTell, "stopped"}, {kStarted, ""}}, "paused"},
  };
  for (const Case& c : cases) {
    StatusLine line;
    for (const Step& step : c.steps) {
      SCOPED_TRACE(std::to_string(&c - cases) + "." + std::to_string(&step - c.steps.data()));
      const std::string before = line.text();
      bool changed = false;
      switch (step.op) {
        case kLink: changed = line.PointerOver(step.text); break;
        case kAsked: changed = line.TellWithAskedLoad(step.text); break;
        case kStarted: changed = line.LoadStarted(); break;
        case kChanged: changed = line.PageChanged(); break;
        case kTell: changed = line.Tell(step.text); break;
        case kStanding: changed = line.SetStanding(step.text); break;
      }
      EXPECT_EQ(changed, line.text() != before);
    }
    EXPECT_EQ(line.text(), c.shown) << "case " << &c - cases;
  }
}

}  // namespace
}  // namespace scrivlet::testing
