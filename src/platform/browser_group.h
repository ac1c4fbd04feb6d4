#ifndef SCRIVLET_PLATFORM_BROWSER_GROUP_H_
#define SCRIVLET_PLATFORM_BROWSER_GROUP_H_

#include <webkit/webkit.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/browser_event_dispatch.h"
#include "platform/form_capture.h"
#include "platform/frame_ids.h"
#include "platform/gobject_ptr.h"
#include "session/browser_events.h"
#include "session/load_tracker.h"

namespace scrivlet {

// Shared by a main view and every pop-up opened from it: the settings, the
// form capture, the frames' identities, and one BrowserEventDispatch through
// which all of their events reach the session's handlers in the order the
// engine reported them. The group feeds the dispatch, runs its timer and
// answers the engine's policy decisions; the dispatch decides what comes
// next.
class BrowserGroup : private BrowserEventEngine,
                     public std::enable_shared_from_this<BrowserGroup> {
 public:
  BrowserGroup();
  ~BrowserGroup() override;
  BrowserGroup(const BrowserGroup&) = delete;
  BrowserGroup& operator=(const BrowserGroup&) = delete;

  WebKitSettings* settings() const { return settings_.get(); }
  // A view's user message: false unless it is the capture script's.
  bool HandleUserMessage(WebKitUserMessage* message) {
    return capture_.HandleUserMessage(message);
  }

  // `view` joins the group; its events go to `events`, and `listener` (may
  // be nullptr) is told about each delivery. `loads` tracks the view's
  // top-level loads; a frame's completion asks it whether a refresh goes
  // on. All four must stay until Remove.
  void Add(WebKitWebView* view, BrowserEvents& events,
           DeliveryListener* listener, const LoadTracker& loads);
  // Drops the view and its queued events; its pending decisions are
  // ignored, since the view goes away.
  void Remove(WebKitWebView* view);

  // A navigation of `view` (or one of its frames) that waits for `decision`.
  void EnqueueNavigation(WebKitWebView* view, WebKitPolicyDecision* decision,
                         std::string url, bool post, bool form_submission,
                         std::string content_type);
  // A finished load of `view`'s top-level page.
  void EnqueueCompletion(WebKitWebView* view, LoadCompletion completion);
  // The web process that rendered `view` has ended.
  void EnqueueWebProcessTerminated(WebKitWebView* view);
  // The answer of `resource`, one of a view's resources, is kept once it
  // comes, for the sub-frame whose document it may be, which reports its
  // load later (a bounded number of the latest are kept). The group must be
  // held by a shared_ptr.
  void WatchAnswer(WebKitWebResource* resource);

 private:
  static BrowserId IdOf(WebKitWebView* view) {
    return reinterpret_cast<BrowserId>(view);
  }
  void EnqueueCompletion(BrowserId view, BrowserId id,
                         LoadCompletion completion);
  void OnFrameLoad(const FrameLoad& load);
  void NoteAnswer(std::string url, int status);
  std::optional<int> TakeAnswer(const std::string& url);
  static gboolean OnTimer(gpointer self);

  // BrowserEventEngine
  std::int64_t NowUs() override;
  void WakeAt(std::int64_t deadline_us) override;
  void UseDecision(std::uint64_t sequence) override;
  void IgnoreDecision(std::uint64_t sequence) override;
  void Warn(const std::string& what) override;

  GObjectPtr<WebKitPolicyDecision> TakeDecision(std::uint64_t sequence);

  GObjectPtr<WebKitSettings> settings_;
  FormCapture capture_;
  std::vector<WebKitWebView*> views_;  // in the order they joined
  std::map<WebKitWebView*, const LoadTracker*> loads_;
  BrowserEventDispatch dispatch_{*this};
  // The engine's decisions of the queued navigations, by their sequence.
  std::map<std::uint64_t, GObjectPtr<WebKitPolicyDecision>> decisions_;
  FrameIds frame_ids_;
  std::deque<std::pair<std::string, int>> answers_;  // oldest first
  guint timer_ = 0;
  // The events of the first view that joined, the main view's.
  BrowserEvents* script_events_ = nullptr;
  BrowserId script_view_ = 0;  // whose events script_events_ are
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_BROWSER_GROUP_H_
