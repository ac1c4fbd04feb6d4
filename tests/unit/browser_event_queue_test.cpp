#include "platform/browser_event_queue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/browser_event_dispatch.h"
#include "support/fakes.h"

namespace scrivlet {
namespace {

constexpr BrowserId kMain = 0x1000;
constexpr BrowserId kPopup = 0x2000;
constexpr std::int64_t kMs = 1000;
// Any monotonic time; the timelines below count in milliseconds from it.
constexpr std::int64_t kStartUs = 1'000'000'000;
const std::string kUrlEncoded = "application/x-www-form-urlencoded";

std::int64_t At(std::int64_t ms) { return kStartUs + ms * kMs; }

BrowserEvent Navigation(BrowserId view, std::string url, std::int64_t ms,
                        bool post = true, bool form_submission = true) {
  BrowserEvent event;
  event.kind = BrowserEvent::Kind::kNavigation;
  event.view = view;
  event.id = view;
  event.url = std::move(url);
  event.post = post;
  event.form_submission = form_submission;
  event.content_type = post ? kUrlEncoded : "";
  event.decided_us = At(ms);
  return event;
}

BrowserEvent Completion(BrowserId view, BrowserId id, std::string url) {
  BrowserEvent event;
  event.kind = BrowserEvent::Kind::kDocumentComplete;
  event.view = view;
  event.id = id;
  event.url = std::move(url);
  return event;
}

// A message of the capture script: a form in `frame` posting v=`value`.
FormSubmission Submission(std::string frame, std::uint64_t id,
                          std::string action, std::string value,
                          bool complete = true) {
  FormSubmission submission;
  submission.id = id;
  submission.frame = std::move(frame);
  submission.action = std::move(action);
  submission.method = "post";
  submission.charset = "UTF-8";
  submission.entries = {FormEntry{"v", false, std::move(value), "", ""}};
  submission.complete = complete;
  return submission;
}

// What the windows are told at `ms` (one line per delivered event), up to
// the queue's running empty or waiting ("wait until <ms>").
std::vector<std::string> Told(BrowserEventQueue& queue, std::int64_t ms) {
  std::vector<std::string> told;
  for (;;) {
    const BrowserEventQueue::Step step = queue.Next(At(ms));
    if (step.kind == BrowserEventQueue::Step::Kind::kIdle) break;
    if (step.kind == BrowserEventQueue::Step::Kind::kWait) {
      told.push_back("wait until " +
                     std::to_string((step.wait_until_us - kStartUs) / kMs));
      break;
    }
    const BrowserEventDelivery& d = step.delivery;
    const std::string view = d.event.view == kMain ? "main " : "popup ";
    switch (d.event.kind) {
      case BrowserEvent::Kind::kNavigation:
        told.push_back(view + "BeforeNavigate2 " + d.event.url + " " +
                       (d.post_data ? "[" + *d.post_data + "]" : "GET") +
                       (d.body_complete ? "" : " incomplete"));
        break;
      case BrowserEvent::Kind::kDocumentComplete:
        told.push_back(view + "DocumentComplete " + d.event.url);
        break;
      case BrowserEvent::Kind::kScriptRequest:
        told.push_back(view + "ScriptRequest " + d.event.script->url);
        break;
      default:
        told.push_back(view + "LoadEndedWithoutPage");
        break;
    }
  }
  return told;
}

TEST(BrowserEventQueueTest, DeliversEventsInTheOrderTheEngineReportedThem) {
  BrowserEventQueue queue;
  queue.Enqueue(Navigation(kMain, "http://a/next", 0, /*post=*/false));
  BrowserEvent ended = Completion(kPopup, kPopup, "");
  ended.kind = BrowserEvent::Kind::kLoadEndedWithoutPage;
  queue.Enqueue(ended);
  queue.Enqueue(Completion(kMain, kMain, "http://a/next"));

  EXPECT_EQ(Told(queue, 0),
            (std::vector<std::string>{"main BeforeNavigate2 http://a/next GET",
                                      "popup LoadEndedWithoutPage",
                                      "main DocumentComplete http://a/next"}));
}

// The engine's decision and the script's message with the form's body
// travel separately; a POST from a form waits at the head of the queue for
// its body, but not for ever.
TEST(BrowserEventQueueTest, MatchesAPostToItsBodyWhicheverComesFirst) {
  enum What {
    kDecide,            // the engine asks about a POST of a form to /post
    kResubmit,          // ... of a POST that no form sent (the history)
    kBody,              // a message with a form's body, files all read
    kBodyWithoutFiles,  // ... whose files are still being read
    kFilesRead,         // the second message of the last form
    kTimer,             // the wait's timer fires
  };
  struct Action {
    std::int64_t ms;
    What what;
    std::string value = "1";
  };
  struct Case {
    const char* name;
    std::vector<Action> timeline;
    std::vector<std::string> told;
  };
  const std::string kPost = "main BeforeNavigate2 http://a/post ";
  const Case cases[] = {
      {"body before decision", {{-10, kBody}, {0, kDecide}}, {kPost + "[v=1]"}},
      {"decision before body",
       {{0, kDecide}, {100, kBody}},
       {"wait until 500", kPost + "[v=1]"}},
      {"the wait runs out",
       {{0, kDecide}, {500, kTimer}},
       {"wait until 500", kPost + "[] incomplete"}},
      {"files read within the longer wait",
       {{0, kDecide}, {100, kBodyWithoutFiles, "part"}, {3000, kFilesRead}},
       {"wait until 500", "wait until 10000", kPost + "[v=1]"}},
      {"files never read",
       {{0, kDecide}, {100, kBodyWithoutFiles, "part"}, {10000, kTimer}},
       {"wait until 500", "wait until 10000", kPost + "[v=part] incomplete"}},
      {"a form's data long before the decision is not its body",
       {{-2500, kBody}, {0, kDecide}, {500, kTimer}},
       {"wait until 500", kPost + "[] incomplete"}},
      {"the newest body is taken, and older ones are lent to no later post",
       {{-20, kBody, "old"},
        {-10, kBody, "new"},
        {0, kDecide},
        {10, kDecide},
        {510, kTimer}},
       {kPost + "[v=new]", "wait until 510", kPost + "[] incomplete"}},
      {"a post no form sent does not wait", {{0, kResubmit}}, {kPost + "[]"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BrowserEventQueue queue;
    std::vector<std::string> told;
    std::uint64_t last_id = 0;
    for (const Action& action : c.timeline) {
      switch (action.what) {
        case kDecide:
        case kResubmit:
          queue.Enqueue(Navigation(kMain, "http://a/post", action.ms, true,
                                   action.what == kDecide));
          break;
        case kBody:
        case kBodyWithoutFiles:
          queue.AddSubmission(Submission("f", ++last_id, "http://a/post",
                                         action.value, action.what == kBody),
                              At(action.ms));
          break;
        case kFilesRead:
          queue.AddSubmission(
              Submission("f", last_id, "http://a/post", action.value),
              At(action.ms));
          break;
        case kTimer:
          break;
      }
      for (std::string& line : Told(queue, action.ms)) {
        told.push_back(std::move(line));
      }
    }
    EXPECT_EQ(told, c.told);
  }
}

TEST(BrowserEventQueueTest, EventsBehindAWaitingPostWaitForIt) {
  BrowserEventQueue queue;
  queue.Enqueue(Navigation(kMain, "http://a/post", 0));
  EXPECT_EQ(Told(queue, 0), std::vector<std::string>{"wait until 500"});
  queue.Enqueue(Completion(kPopup, kPopup, "http://b/page"));
  BrowserEvent script;
  script.kind = BrowserEvent::Kind::kScriptRequest;
  script.view = kMain;
  script.script = ScriptRequest{"fetch", "PUT", "http://a/api", {}, "x", ""};
  queue.Enqueue(script);
  EXPECT_EQ(Told(queue, 10), std::vector<std::string>{"wait until 500"});

  queue.AddSubmission(Submission("f", 1, "http://a/post", "1"), At(20));

  EXPECT_EQ(Told(queue, 20), (std::vector<std::string>{
                                 "main BeforeNavigate2 http://a/post [v=1]",
                                 "popup DocumentComplete http://b/page",
                                 "main ScriptRequest http://a/api"}));
}

TEST(BrowserEventQueueTest, AClosedViewsQueuedEventsGoWithItsDecisions) {
  BrowserEventQueue queue;
  const std::uint64_t post =
      queue.Enqueue(Navigation(kPopup, "http://b/post", 0));
  queue.Enqueue(Completion(kMain, 3, "http://a/frame"));
  queue.Enqueue(Completion(kPopup, kPopup, "http://b/page"));
  EXPECT_EQ(Told(queue, 0), std::vector<std::string>{"wait until 500"});

  EXPECT_EQ(queue.DropView(kPopup), std::vector<std::uint64_t>{post});

  EXPECT_EQ(Told(queue, 10),
            std::vector<std::string>{"main DocumentComplete http://a/frame"});
}

TEST(BrowserEventQueueTest, TwoSubmissionsInFlightEachGetTheirOwnBody) {
  BrowserEventQueue queue;
  queue.Enqueue(Navigation(kMain, "http://a/post", 0));
  queue.Enqueue(Navigation(kPopup, "http://b/post", 5));
  EXPECT_EQ(Told(queue, 5), std::vector<std::string>{"wait until 500"});

  // The bodies come in the other order.
  queue.AddSubmission(Submission("popup-frame", 1, "http://b/post", "b"),
                      At(50));
  EXPECT_EQ(Told(queue, 50), std::vector<std::string>{"wait until 500"});
  queue.AddSubmission(Submission("main-frame", 1, "http://a/post", "a"),
                      At(60));

  EXPECT_EQ(Told(queue, 60), (std::vector<std::string>{
                                 "main BeforeNavigate2 http://a/post [v=a]",
                                 "popup BeforeNavigate2 http://b/post [v=b]"}));
}

// One log of what the engine and the handlers of every view were told, in
// the order they were told it.
class Recorder : public BrowserEventEngine {
 public:
  std::vector<std::string> log;
  std::int64_t now_ms = 0;

  std::int64_t NowUs() override { return At(now_ms); }
  void WakeAt(std::int64_t us) override {
    log.push_back("wake at " + std::to_string((us - kStartUs) / kMs));
  }
  void UseDecision(std::uint64_t n) override {
    log.push_back("use " + std::to_string(n));
  }
  void IgnoreDecision(std::uint64_t n) override {
    log.push_back("ignore " + std::to_string(n));
  }
  void Warn(const std::string& what) override { log.push_back(what); }
};

class ViewEvents : public testing::IgnoredBrowserEvents,
                   public DeliveryListener {
 public:
  ViewEvents(std::string name, std::vector<std::string>& log)
      : name_(std::move(name)), log_(log) {}
  std::function<void()> during_navigation;

  void WebBrowser1_BeforeNavigate2(BrowserId, const std::string& url,
                                   const std::optional<std::string>&,
                                   const std::string&, bool) override {
    log_.push_back(name_ + " BeforeNavigate2 " + url);
    if (during_navigation) during_navigation();
  }
  void WebBrowser1_DocumentComplete(BrowserId, const std::string& url,
                                    const PageAnswer&) override {
    log_.push_back(name_ + " DocumentComplete " + url);
  }
  void DeliveryStarted() override { log_.push_back(name_ + " started"); }
  void DeliveryEnded() override { log_.push_back(name_ + " ended"); }

 private:
  std::string name_;
  std::vector<std::string>& log_;
};

TEST(BrowserEventDispatchTest, APopupClosedWhileItsPostWaitsHoldsNothingUp) {
  Recorder engine;
  ViewEvents main("main", engine.log);
  ViewEvents popup("popup", engine.log);
  BrowserEventDispatch dispatch(engine);
  dispatch.AddView(kMain, main, nullptr);
  dispatch.AddView(kPopup, popup, &popup);
  dispatch.Enqueue(Navigation(kPopup, "http://b/post", 0));
  dispatch.Run();
  engine.now_ms = 10;
  dispatch.Enqueue(Completion(kMain, kMain, "http://a/page"));
  dispatch.Run();

  dispatch.RemoveView(kPopup);
  dispatch.Run();
  engine.now_ms = 20;
  dispatch.AddSubmission(Submission("f", 1, "http://b/post", "1"));
  dispatch.Run();

  EXPECT_EQ(engine.log,
            (std::vector<std::string>{"wake at 500", "wake at 500", "ignore 1",
                                      "main DocumentComplete http://a/page"}));
}

// A handler may run a nested main loop, in which the engine raises more
// events; they wait until the handler has returned.
TEST(BrowserEventDispatchTest, EventsRaisedDuringADeliveryComeAfterIt) {
  Recorder engine;
  ViewEvents popup("popup", engine.log);
  BrowserEventDispatch dispatch(engine);
  dispatch.AddView(kPopup, popup, &popup);
  popup.during_navigation = [&] {
    dispatch.Enqueue(Completion(kPopup, kPopup, "http://b/next"));
    dispatch.Run();
    engine.log.push_back("nested loop over");
  };
  dispatch.Enqueue(Navigation(kPopup, "http://b/next", 0, /*post=*/false));
  dispatch.Run();

  EXPECT_EQ(engine.log,
            (std::vector<std::string>{
                "popup started", "popup BeforeNavigate2 http://b/next",
                "nested loop over", "popup ended", "use 1", "popup started",
                "popup DocumentComplete http://b/next", "popup ended"}));
}

}  // namespace
}  // namespace scrivlet
