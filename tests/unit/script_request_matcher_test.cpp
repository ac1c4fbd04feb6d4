#include "session/script_request_matcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scrivlet {
namespace {

// Steps: 'a' announces (id), 's' the engine sends, 'x' expires; at time t
// (seconds), page 1 unless given. `matched` lists the ids vouched for, in
// order; `never_sent` and `unannounced` what expired.
TEST(ScriptRequestMatcherTest, AnAnnouncementCountsOnlyWithItsSentRequest) {
  struct Step {
    char what;
    double t;
    std::string url;
    std::uint64_t id = 0;
    std::string method = "POST";
    std::uint64_t page = 1;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::uint64_t> matched;
    std::vector<std::uint64_t> never_sent;
    std::vector<std::string> unannounced;
  };
  const std::string a = "http://h/api";
  const std::string b = "http://h/other";
  const Case cases[] = {
      {"announced, then sent", {{'a', 0, a, 1}, {'s', 0.1, a}}, {1}, {}, {}},
      {"sent, then announced (a body read later)",
       {{'s', 0, a}, {'a', 0.5, a, 1}}, {1}, {}, {}},
      {"same address twice: each send vouches for one, oldest first",
       {{'a', 0, a, 1}, {'a', 0, a, 2}, {'s', 0.1, a}, {'s', 0.2, a}},
       {1, 2}, {}, {}},
      {"same address twice, sent once",
       {{'a', 0, a, 1}, {'a', 0, a, 2}, {'s', 0.1, a}, {'x', 10, ""}},
       {1}, {2}, {}},
      {"out of order between addresses",
       {{'a', 0, a, 1}, {'a', 0, b, 2}, {'s', 0.1, b}, {'s', 0.2, a}},
       {2, 1}, {}, {}},
      {"never sent", {{'a', 0, a, 1}, {'x', 10, ""}}, {}, {1}, {}},
      {"sent unannounced", {{'s', 0, a}, {'x', 10, ""}}, {}, {}, {a}},
      {"a send too late for its announcement",
       {{'a', 0, a, 1}, {'x', 4, ""}, {'s', 4, a}, {'x', 10, ""}},
       {}, {1}, {a}},
      {"another method is another request",
       {{'a', 0, a, 1, "PUT"}, {'s', 0.1, a}, {'x', 10, ""}}, {}, {1}, {a}},
      {"another page is another request",
       {{'a', 0, a, 1, "POST", 2}, {'s', 0.1, a}, {'x', 10, ""}},
       {}, {1}, {a}},
      {"the fragment is not sent",
       {{'a', 0, a + "#top", 1}, {'s', 0.1, a}}, {1}, {}, {}},
      {"the engine's address holds XMLHttpRequest.open's user and password",
       {{'a', 0, a, 1}, {'s', 0.1, "http://u:p%40w@h/api"}}, {1}, {}, {}},
  };
  for (const Case& c : cases) {
    ScriptRequestMatcher matcher;
    std::vector<std::uint64_t> matched;
    std::vector<std::uint64_t> never_sent;
    std::vector<std::string> unannounced;
    for (const Step& step : c.steps) {
      const auto us = static_cast<std::int64_t>(step.t * 1e6);
      std::optional<std::uint64_t> id;
      if (step.what == 'a') {
        id = matcher.Announced(step.id, step.page, step.method, step.url, us);
      } else if (step.what == 's') {
        id = matcher.Sent(1, "POST", step.url, us);
      } else {
        ScriptRequestMatcher::Expired gone = matcher.Expire(us);
        never_sent.insert(never_sent.end(), gone.never_sent.begin(),
                          gone.never_sent.end());
        for (const auto& sent : gone.unannounced) {
          unannounced.push_back(sent.url);
        }
      }
      if (id) matched.push_back(*id);
    }
    EXPECT_EQ(matched, c.matched) << c.name;
    EXPECT_EQ(never_sent, c.never_sent) << c.name;
    EXPECT_EQ(unannounced, c.unannounced) << c.name;
  }
}

}  // namespace
}  // namespace scrivlet
