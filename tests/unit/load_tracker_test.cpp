#include "session/load_tracker.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace scrivlet {
namespace {

std::string Said(const LoadCompletion& c) {
  const PageAnswer& answer = c.answer;
  std::string text = c.new_page ? "page " + c.url : "no page";
  if (answer.status) text += " " + std::to_string(*answer.status);
  if (answer.redirect) {
    text += " via " + std::to_string(answer.redirect->status) + " " +
            answer.redirect->target;
  }
  if (answer.error_page) text += " error page (" + answer.error + ")";
  if (answer.replaced_by_asked_load) {
    text += ", replaced";
    if (!answer.asked_load_url.empty()) text += " by " + answer.asked_load_url;
  }
  if (answer.refresh_goes_on) text += ", refresh goes on";
  return text;
}

// Runs `steps` ("ask navigate", "decide URL", "start URL", "redirect 302
// URL", "commit VIEW-URL", "fail cancelled|other|policy before|after URL",
// "finish [ANSWER-URL [STATUS]]", "stop", "crash", and the questions
// "frame" and "refresh") and returns what each finish and question said.
std::vector<std::string> Replay(const std::vector<std::string>& steps) {
  LoadTracker loads;
  std::vector<std::string> said;
  for (const std::string& step : steps) {
    std::istringstream in(step);
    std::string verb, a, b;
    in >> verb >> a >> b;
    if (verb == "ask") {
      loads.Asked(a == "refresh" ? AskedLoad::kRefresh
                  : a == "back"  ? AskedLoad::kBack
                                 : AskedLoad::kNavigate);
    } else if (verb == "decide") {
      loads.NavigationDecided(a);
    } else if (verb == "start") {
      loads.Started(a);
    } else if (verb == "redirect") {
      loads.Redirected(std::stoi(a), b);
    } else if (verb == "commit") {
      loads.Committed(a);
    } else if (verb == "fail") {
      std::string url;
      in >> url;
      loads.Failed(a == "cancelled" ? LoadFailure::kCancelled
                   : a == "policy"  ? LoadFailure::kIgnoredByPolicy
                                    : LoadFailure::kOther,
                   b == "before", url, "refused");
    } else if (verb == "stop") {
      if (auto c = loads.Stopped(MainResponse{a, 200})) said.push_back(Said(*c));
    } else if (verb == "crash") {
      loads.ProcessEnded();
    } else if (verb == "frame") {
      said.push_back(loads.RefreshGoesOn() ? "frame, refresh goes on"
                                           : "frame");
    } else if (verb == "refresh") {
      said.push_back("refresh loads " +
                     loads.RefreshTarget().value_or("the committed page"));
    } else if (verb == "finish") {
      MainResponse response{a, std::nullopt};
      if (!b.empty()) response.status = std::stoi(b);
      const std::optional<LoadCompletion> c = loads.Finished(response);
      said.push_back(c ? Said(*c) : "nothing");
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
    std::vector<std::string> steps;
    std::vector<std::string> said;
  };
  const std::string kTyped[] = {"ask navigate", "decide http://a/1",
                                "start http://a/1", "commit http://a/1"};
  const Case cases[] = {
      {"typed an address", {"ask navigate", "decide http://a/1",
        "start http://a/1", "commit http://a/1", "finish http://a/1 200"},
       {"page http://a/1 200"}},
      {"followed a link that the server redirected",
       {"decide http://a/r", "start http://a/r", "redirect 302 http://a/in",
        "commit http://a/in", "finish http://a/in 200"},
       {"page http://a/in 200 via 302 http://a/in"}},
      {"typed an address with a fragment",
       {"start http://a/1#top", "commit http://a/1#top",
        "finish http://a/1 200"},
       {"page http://a/1#top 200"}},
      {"typed an address while the page before still drew, its navigation "
       "decided before that page ended",
       {"start http://a/1", "commit http://a/1", "ask navigate",
        "decide http://a/r", "finish http://a/1 200", "start http://a/r",
        "redirect 302 http://a/in", "commit http://a/in",
        "finish http://a/in 200"},
       {"page http://a/1 200, replaced by http://a/r",
        "page http://a/in 200 via 302 http://a/in"}},
      {"typed an address while the page before still drew, that page "
       "ending first",
       {"start http://a/1", "commit http://a/1", "ask navigate",
        "finish http://a/1 200", "decide http://a/2", "start http://a/2",
        "commit http://a/2", "finish http://a/2 200"},
       {"page http://a/1 200, replaced", "page http://a/2 200"}},
      {"typed an address (or saved) before the page before had an answer",
       {"start http://a/1", "ask navigate", "fail cancelled before http://a/1",
        "finish", "decide http://a/2", "start http://a/2",
        "commit http://a/2", "finish http://a/2 200"},
       {"no page, replaced", "page http://a/2 200"}},
      {"went back while a page loaded",
       {"start http://a/2", "commit http://a/2", "ask back",
        "decide http://a/1", "fail cancelled after http://a/2",
        "finish http://a/2 200", "start http://a/1", "commit http://a/1",
        "finish http://a/1 200"},
       {"page http://a/2 200, replaced by http://a/1", "page http://a/1 200"}},
      {"pressed Refresh while a typed page waited for its answer",
       {"ask navigate", "decide http://a/slow", "start http://a/slow",
        "ask refresh", "decide http://a/1", "fail cancelled before x",
        "finish", "start http://a/1", "commit http://a/1",
        "finish http://a/1 200"},
       {"no page, replaced by http://a/1, refresh goes on",
        "page http://a/1 200"}},
      {"pressed Refresh while a typed page waited, the reload decided later",
       {"start http://a/slow", "ask refresh", "finish", "frame",
        "decide http://a/1", "start http://a/1", "frame", "commit http://a/1",
        "finish http://a/1 200", "frame"},
       {"no page, replaced, refresh goes on", "frame, refresh goes on",
        "frame, refresh goes on", "page http://a/1 200", "frame"}},
      {"pressed Refresh while the page still drew",
       {"start http://a/1", "commit http://a/1", "ask refresh",
        "finish http://a/1 200", "start http://a/1", "commit http://a/1",
        "finish http://a/1 200"},
       {"page http://a/1 200, replaced, refresh goes on",
        "page http://a/1 200"}},
      {"pressed Escape while the answer arrived",
       {"start http://a/big", "commit http://a/big", "stop http://a/big",
        "fail cancelled after http://a/big", "finish http://a/big 200",
        "frame"},
       {"page http://a/big 200", "nothing", "frame"}},
      {"pressed Refresh, then Escape before the answer came",
       {"start http://a/slow", "ask refresh", "stop", "commit http://a/slow",
        "fail cancelled before http://a/slow", "finish", "stop"},
       {"no page", "nothing"}},
      {"pressed Escape before a typed address started, then typed another",
       {kTyped[0], kTyped[1], kTyped[2], kTyped[3], "finish http://a/1 200",
        "ask navigate", "stop", "decide http://a/2", "start http://a/2",
        "commit http://a/2", "finish http://a/2 200"},
       {"page http://a/1 200", "page http://a/2 200"}},
      {"typed an address that no server answers",
       {"ask navigate", "start http://a/x", "fail other before http://a/x",
        "finish http://a/1 200"},
       {"page http://a/x error page (refused)"}},
      {"loaded a page that failed after its commit",
       {"start http://a/x", "commit http://a/x", "fail other after http://a/x",
        "finish http://a/x 200"},
       {"page http://a/x error page (refused)"}},
      {"clicked a download after an error page of another load",
       {"fail other before http://a/old", "start http://a/d",
        "fail policy before http://a/d", "finish http://a/1 200"},
       {"no page"}},
      {"accepted a certificate", {"start https://a/", "finish"}, {"no page"}},
      {"had the page process end while an address was asked for",
       {"ask navigate", "decide http://a/2", "crash", "refresh"},
       {"refresh loads http://a/2"}},
      {"had the page process end before the answer, then pressed Refresh",
       {"start http://a/1", "commit http://a/1", "finish http://a/1 200",
        "ask navigate", "decide http://a/2", "start http://a/2", "crash",
        "refresh", "ask refresh", "start http://a/2", "refresh",
        "commit http://a/2", "finish http://a/2 200"},
       {"page http://a/1 200", "refresh loads http://a/2",
        "refresh loads the committed page", "page http://a/2 200"}},
      {"had the page process end after the commit",
       {kTyped[0], kTyped[1], kTyped[2], kTyped[3], "crash", "refresh"},
       {"refresh loads the committed page"}},
      {"had the page process end with nothing loading",
       {kTyped[0], kTyped[1], kTyped[2], kTyped[3], "finish http://a/1 200",
        "crash", "refresh", "frame"},
       {"page http://a/1 200", "refresh loads the committed page", "frame"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user_did);
    EXPECT_EQ(Replay(c.steps), c.said);
  }
}

}  // namespace
}  // namespace scrivlet
