#include "platform/browser_event_dispatch.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace scrivlet {

void BrowserEventDispatch::AddView(BrowserId view, BrowserEvents& events,
                                   DeliveryListener* listener) {
  members_.push_back(Member{view, &events, listener});
}

void BrowserEventDispatch::RemoveView(BrowserId view) {
  std::erase_if(members_, [&](const Member& m) { return m.view == view; });
  for (const std::uint64_t sequence : queue_.DropView(view)) {
    engine_.IgnoreDecision(sequence);
  }
}

std::uint64_t BrowserEventDispatch::Enqueue(BrowserEvent event) {
  return queue_.Enqueue(std::move(event));
}

void BrowserEventDispatch::AddSubmission(FormSubmission submission) {
  queue_.AddSubmission(std::move(submission), engine_.NowUs());
}

void BrowserEventDispatch::Run() {
  if (running_) return;
  running_ = true;
  for (;;) {
    BrowserEventQueue::Step step = queue_.Next(engine_.NowUs());
    if (step.kind == BrowserEventQueue::Step::Kind::kWait) {
      engine_.WakeAt(step.wait_until_us);
      break;
    }
    if (step.kind != BrowserEventQueue::Step::Kind::kDeliver) break;
    Deliver(step.delivery);
  }
  running_ = false;
}

// Every queued event's view is a member: a view that goes away takes its
// events with it (RemoveView).
void BrowserEventDispatch::Deliver(const BrowserEventDelivery& delivery) {
  const BrowserEvent& event = delivery.event;
  if (!delivery.body_error.empty()) {
    engine_.Warn("form body: " + delivery.body_error);
  }
  auto member =
      std::find_if(members_.begin(), members_.end(),
                   [&](const Member& m) { return m.view == event.view; });
  if (member != members_.end()) {
    // Copied: the members may change while the handler runs.
    const Member target = *member;
    if (target.listener) target.listener->DeliveryStarted();
    try {
      switch (event.kind) {
        case BrowserEvent::Kind::kNavigation:
          target.events->WebBrowser1_BeforeNavigate2(
              event.id, event.url, delivery.post_data, delivery.headers,
              delivery.body_complete);
          break;
        case BrowserEvent::Kind::kDocumentComplete:
          target.events->WebBrowser1_DocumentComplete(event.id, event.url,
                                                      event.answer);
          break;
        case BrowserEvent::Kind::kLoadEndedWithoutPage:
          target.events->WebBrowser1_LoadEndedWithoutPage(event.id,
                                                        event.answer);
          break;
        case BrowserEvent::Kind::kWebProcessTerminated:
          target.events->WebBrowser1_WebProcessTerminated(event.id);
          break;
        case BrowserEvent::Kind::kScriptRequest:
          if (event.script) target.events->WebBrowser1_ScriptRequest(*event.script);
          break;
      }
    } catch (const std::exception& error) {
      engine_.Warn(std::string("browser event: ") + error.what());
    } catch (...) {
      engine_.Warn("browser event: unknown failure");
    }
    // The listener's window waits for this call before it goes.
    if (target.listener) target.listener->DeliveryEnded();
  }
  if (event.kind == BrowserEvent::Kind::kNavigation) {
    engine_.UseDecision(event.sequence);
  }
}

}  // namespace scrivlet
