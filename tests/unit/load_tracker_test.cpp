#include "session/load_tracker.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace scrivlet {
namespace {

std::string Said(const LoadCompletion& c) {
  const PageAnswer& a = c.answer;
  std::string text = c.new_page ? "page " + c.url : "no page";
  if (a.status) text += " " + std::to_string(*a.status);
  if (a.redirect) text += " via " + std::to_string(a.redirect->status);
  if (a.error_page) text += " error page (" + a.error + ")";
  if (a.replaced_by_asked_load) text += ", replaced by [" + a.asked_load_url + "]";
  return text + (a.refresh_goes_on ? ", refresh goes on" : "");
}

// Runs `steps` ("ask navigate|back|refresh", "decide URL", "start URL",
// "redirect URL", "commit VIEW-URL", "fail cancelled|other|policy
// before|after URL", "finish [ANSWER-URL [STATUS]]", "stop [ANSWER-URL]",
// "crash", and the questions "frame", "refresh" and "stays VIEW-URL URL"),
// separated by ", ", and
// returns what each finish, stop and question said.
std::vector<std::string> Replay(const std::string& steps) {
  LoadTracker loads;
  std::vector<std::string> said;
  std::istringstream all(steps);
  for (std::string step; std::getline(all, step, ',');) {
    std::istringstream in(step);
    std::string verb, a, b, c;
    in >> verb >> a >> b >> c;
    if (verb == "ask") {
      loads.Asked(a == "refresh" ? AskedLoad::kRefresh
                  : a == "back"  ? AskedLoad::kBack
                                 : AskedLoad::kNavigate);
    } else if (verb == "decide") {
      loads.NavigationDecided(a);
    } else if (verb == "start") {
      loads.Started(a);
    } else if (verb == "redirect") {
      loads.Redirected(302, a);
    } else if (verb == "commit") {
      loads.Committed(a);
    } else if (verb == "fail") {
      loads.Failed(a == "cancelled" ? LoadFailure::kCancelled
                   : a == "policy"  ? LoadFailure::kIgnoredByPolicy
                                    : LoadFailure::kOther,
                   b == "before", c, "refused");
    } else if (verb == "stop") {
      if (auto done = loads.Stopped({a, 200})) said.push_back(Said(*done));
    } else if (verb == "crash") {
      loads.ProcessEnded();
    } else if (verb == "frame") {
      said.push_back(loads.RefreshGoesOn() ? "frame, refresh goes on" : "frame");
    } else if (verb == "refresh") {
      said.push_back("reload " + loads.RefreshTarget().value_or("the committed page"));
    } else if (verb == "stays") {
      said.push_back(loads.StaysInDocument(a, b) ? "stays" : "loads");
    } else if (verb == "finish") {
      MainResponse response{a, std::nullopt};
      if (!b.empty()) response.status = std::stoi(b);
      const std::optional<LoadCompletion> done = loads.Finished(response);
      said.push_back(done ? Said(*done) : "nothing");
    } else {
      ADD_FAILURE() << "no such step: " << step;
    }
  }
  return said;
}

// What each finished load of a view completes, whatever overlaps it, in
// each order the engine delivers the events.
TEST(LoadTrackerTest, SaysWhatEachFinishedLoadCompletes) {
  struct Case {
    const char* user_did;
    std::string steps;
    std::vector<std::string> said;
  };
  const std::string typed = "ask navigate, decide a/1, start a/1, commit a/1";
  const Case cases[] = {
      {"typed an address with a fragment",
       "ask navigate, start a/1#top, commit a/1#top, finish a/1 200",
       {"page a/1#top 200"}},
      {"typed an address while the page before drew, decided before its end",
       "start a/1, commit a/1, ask navigate, decide a/r, finish a/1 200, "
       "start a/r, redirect a/in, commit a/in, finish a/in 200",
       {"page a/1 200, replaced by [a/r]", "page a/in 200 via 302"}},
      {"typed an address while the page before drew, decided after its end",
       "start a/1, commit a/1, ask navigate, finish a/1 200, decide a/2, "
       "start a/2, commit a/2, finish a/2 200",
       {"page a/1 200, replaced by []", "page a/2 200"}},
      {"typed an address (or saved) before the page before had an answer",
       "start a/1, ask navigate, fail cancelled before a/1, finish, "
       "decide a/2, start a/2, commit a/2, finish a/2 200",
       {"no page, replaced by []", "page a/2 200"}},
      {"went back while a page loaded",
       "start a/2, commit a/2, ask back, decide a/1, fail cancelled after a/2, "
       "finish a/2 200, start a/1, commit a/1, finish a/1 200",
       {"page a/2 200, replaced by [a/1]", "page a/1 200"}},
      {"pressed Refresh while a typed page waited for its answer",
       "ask navigate, decide a/slow, start a/slow, ask refresh, decide a/1, "
       "fail cancelled before a/slow, finish, start a/1, commit a/1, "
       "finish a/1 200",
       {"no page, replaced by [a/1], refresh goes on", "page a/1 200"}},
      {"pressed Refresh while a typed page waited, the reload decided later",
       "start a/slow, ask refresh, finish, frame, decide a/1, start a/1, "
       "frame, commit a/1, finish a/1 200, frame",
       {"no page, replaced by [], refresh goes on", "frame, refresh goes on",
        "frame, refresh goes on", "page a/1 200", "frame"}},
      {"followed links to parts of the shown page, to the same part again",
       typed + ", finish a/1 200, stays a/1 a/1#p, stays a/1#p a/1#p, "
               "stays a/1#p a/1, stays a/1 a/2#p, stays a/1 a/1?q#p",
       {"page a/1 200", "stays", "stays", "loads", "loads", "loads"}},
      {"typed the shown address with its fragment, then another fragment",
       typed + ", finish a/1 200, ask navigate, stays a/1#p a/1#p, "
               "stays a/1#p a/1#q",
       {"page a/1 200", "loads", "stays"}},
      {"followed a link to a part while the next page had no answer yet",
       "start a/1, commit a/1, finish a/1 200, start a/2, stays a/1 a/1#p",
       {"page a/1 200", "loads"}},
      {"pressed Refresh while the page still drew",
       "start a/1, commit a/1, ask refresh, finish a/1 200, start a/1, "
       "commit a/1, finish a/1 200",
       {"page a/1 200, replaced by [], refresh goes on", "page a/1 200"}},
      {"pressed Escape while the answer arrived",
       "start a/big, commit a/big, stop a/big, fail cancelled after a/big, "
       "finish a/big 200, frame",
       {"page a/big 200", "nothing", "frame"}},
      {"pressed Refresh, then Escape before the answer came",
       "start a/slow, ask refresh, stop, commit a/slow, "
       "fail cancelled before a/slow, finish, stop",
       {"no page", "nothing"}},
      {"pressed Escape before a typed address started, then typed another",
       typed + ", finish a/1 200, ask navigate, stop, decide a/2, start a/2, "
               "commit a/2, finish a/2 200",
       {"page a/1 200", "page a/2 200"}},
      {"typed an address that no server answers",
       "ask navigate, start a/x, fail other before a/x, finish a/1 200",
       {"page a/x error page (refused)"}},
      {"loaded a page that failed after its commit",
       "start a/x, commit a/x, fail other after a/x, finish a/x 200",
       {"page a/x error page (refused)"}},
      {"clicked a download after an error page of another load",
       "fail other before a/old, start a/d, fail policy before a/d, "
       "finish a/1 200",
       {"no page"}},
      {"accepted a certificate", "start a/, finish", {"no page"}},
      {"had the page process end while an address was asked for",
       "ask navigate, decide a/2, crash, refresh", {"reload a/2"}},
      {"had the page process end before the answer, then pressed Refresh",
       typed + ", finish a/1 200, ask navigate, decide a/2, start a/2, crash, "
               "refresh, ask refresh, start a/2, refresh, commit a/2, "
               "finish a/2 200",
       {"page a/1 200", "reload a/2", "reload the committed page",
        "page a/2 200"}},
      {"had the page process end after the commit", typed + ", crash, refresh",
       {"reload the committed page"}},
      {"had the page process end with nothing loading",
       typed + ", finish a/1 200, crash, refresh, frame",
       {"page a/1 200", "reload the committed page", "frame"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user_did);
    EXPECT_EQ(Replay(c.steps), c.said);
  }
}

}  // namespace
}  // namespace scrivlet
