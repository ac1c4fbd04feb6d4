#ifndef SCRIVLET_PLATFORM_BROWSER_EVENT_QUEUE_H_
#define SCRIVLET_PLATFORM_BROWSER_EVENT_QUEUE_H_

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/submission_matcher.h"
#include "session/browser.h"
#include "session/browser_events.h"

namespace scrivlet {

// One event of a view as the engine reported it, in plain values.
struct BrowserEvent {
  enum class Kind {
    kNavigation,
    kDocumentComplete,
    kLoadEndedWithoutPage,
    kWebProcessTerminated,
    // A request a page's script sent: it waits behind a form's POST that
    // waits for its body, so that the document keeps the order of sending.
    kScriptRequest,
  };
  Kind kind = Kind::kNavigation;
  // Given by the queue, in the order the events came. A navigation's
  // number names the engine's decision, which the caller keeps.
  std::uint64_t sequence = 0;
  BrowserId view = 0;  // the view whose window receives the event
  BrowserId id = 0;    // the view's or a sub-frame's identity (pDisp)
  std::string url;
  // Of a document completion only: what the page got.
  PageAnswer answer;
  // Of a navigation only.
  bool post = false;
  bool form_submission = false;  // the engine says a form was submitted
  std::string content_type;      // the request's Content-Type header
  std::int64_t decided_us = 0;   // when the engine asked about it
  // Of a script request only.
  std::optional<ScriptRequest> script;
};

// An event ready for its window, with what BeforeNavigate2 is given.
struct BrowserEventDelivery {
  BrowserEvent event;
  // Of a navigation: the body of a POST (nullopt for any other method),
  // the headers, and whether the body is known in full.
  std::optional<std::string> post_data;
  std::string headers;
  bool body_complete = true;
  // Why the form's body could not be rebuilt, "" when it could.
  std::string body_error;
};

// The queue through which the events of a main view and its pop-ups reach
// their windows, one at a time and in the order the engine reported them.
// A POST navigation from a form waits at the head of the queue until the
// capture script's message with its body has arrived, or kBodyWaitUs has
// passed (kFileReadWaitUs while its files are known to be read); every
// event behind it waits too.
//
// The queue decides only what comes next; the caller delivers, runs the
// timer for a wait and answers the engine's decisions. Times are monotonic
// microseconds the caller passes in. To keep the order, the caller does not
// ask Next while a delivered event's handler runs (it may run a nested main
// loop): what is enqueued meanwhile is taken by the outer run.
class BrowserEventQueue {
 public:
  // How long a POST decision waits for the body its page is still sending.
  static constexpr std::int64_t kBodyWaitUs = 500'000;
  // How long it waits once the page has said that it is still reading the
  // files of the body: as long as a large file needs, but bounded, so that
  // the browser never hangs on a read that does not end.
  static constexpr std::int64_t kFileReadWaitUs = 10'000'000;

  struct Step {
    enum class Kind { kIdle, kWait, kDeliver };
    Kind kind = Kind::kIdle;
    std::int64_t wait_until_us = 0;  // kWait: when to ask again at the latest
    BrowserEventDelivery delivery;   // kDeliver: the event, taken off the queue
  };

  // Appends the event (its `sequence` is set here) and returns its sequence.
  // A navigation's `decided_us` must be set.
  std::uint64_t Enqueue(BrowserEvent event);
  // Keeps a submission the capture script reported at `now_us`.
  void AddSubmission(FormSubmission submission, std::int64_t now_us);
  // Drops the queued events of a view that goes away. Returns the sequences
  // of its dropped navigations, whose decisions the caller is to ignore.
  std::vector<std::uint64_t> DropView(BrowserId view);

  // What is to be done at `now_us`: nothing (the queue is empty), wait (the
  // head is a POST whose body may still come), or deliver the head, which
  // is then off the queue. A POST's body is matched here.
  Step Next(std::int64_t now_us);

 private:
  std::deque<BrowserEvent> events_;
  SubmissionMatcher submissions_;
  std::uint64_t next_sequence_ = 1;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_BROWSER_EVENT_QUEUE_H_
