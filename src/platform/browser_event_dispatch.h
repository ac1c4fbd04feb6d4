#ifndef SCRIVLET_PLATFORM_BROWSER_EVENT_DISPATCH_H_
#define SCRIVLET_PLATFORM_BROWSER_EVENT_DISPATCH_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/browser_event_queue.h"
#include "session/browser_events.h"

namespace scrivlet {

// Told before and after a view's handler runs for one of its events. The
// window of a pop-up shows its progress with it, and is not deleted while a
// handler for it runs (a handler may run a nested main loop in which the
// window is closed).
class DeliveryListener {
 public:
  virtual ~DeliveryListener() = default;
  virtual void DeliveryStarted() {}
  virtual void DeliveryEnded() {}
};

// What the dispatch needs of the engine: its clock, its timer, its
// decisions about navigations (kept by the caller under the sequence the
// queue gave them) and its log.
class BrowserEventEngine {
 public:
  virtual ~BrowserEventEngine() = default;
  virtual std::int64_t NowUs() = 0;
  // Run the dispatch again at `deadline_us` at the latest.
  virtual void WakeAt(std::int64_t deadline_us) = 0;
  // The navigation has been delivered: the engine goes on with it.
  virtual void UseDecision(std::uint64_t sequence) = 0;
  // Its view went away before it was delivered.
  virtual void IgnoreDecision(std::uint64_t sequence) = 0;
  virtual void Warn(const std::string& what) = 0;
};

// Delivers the events of a main view and its pop-ups to their handlers in
// the order BrowserEventQueue decides, one at a time. A handler may run a
// nested main loop: what arrives meanwhile waits in the queue, and the
// outer run delivers it once the handler has returned.
class BrowserEventDispatch {
 public:
  explicit BrowserEventDispatch(BrowserEventEngine& engine) : engine_(engine) {}
  BrowserEventDispatch(const BrowserEventDispatch&) = delete;
  BrowserEventDispatch& operator=(const BrowserEventDispatch&) = delete;

  // `events` and `listener` (may be nullptr) must outlive the view's
  // membership, which RemoveView ends.
  void AddView(BrowserId view, BrowserEvents& events,
               DeliveryListener* listener);
  // Drops the view and its queued events; the engine is told to ignore
  // its queued decisions.
  void RemoveView(BrowserId view);

  // Queues an event (its `sequence` set here) and returns its sequence;
  // Run delivers it.
  std::uint64_t Enqueue(BrowserEvent event);
  void AddSubmission(FormSubmission submission);
  // Delivers what is ready now, and arms the engine's timer when the head
  // waits. A call made while a handler runs returns at once.
  void Run();

 private:
  struct Member {
    BrowserId view;
    BrowserEvents* events;
    DeliveryListener* listener;
  };
  void Deliver(const BrowserEventDelivery& delivery);

  BrowserEventEngine& engine_;
  BrowserEventQueue queue_;
  std::vector<Member> members_;
  bool running_ = false;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_BROWSER_EVENT_DISPATCH_H_
