#ifndef SCRIVLET_SESSION_RECORDED_ELEMENT_H_
#define SCRIVLET_SESSION_RECORDED_ELEMENT_H_

#include <cstddef>
#include <optional>
#include <string>

#include "document/element_kind.h"

namespace scrivlet {

// One REQUEST element as it was appended to trans.xml.
struct RecordedElement {
  ElementKind kind = ElementKind::kNavigation;
  std::string method;
  // The address exactly as the browser reported it.
  std::string url;
  // Bytes of the body the element records: the post data of a navigation,
  // the content line of a completion after a post; 0 without one.
  std::size_t body_size = 0;
  // The element's text exactly as appended, line ends included.
  std::string text;
  // A request a page's script made (fetch, XMLHttpRequest, sendBeacon).
  bool script = false;
  bool operator==(const RecordedElement&) const = default;
};

// What the browser got for the request of one recorded navigation. Kept
// beside the element in memory only; nothing of it is written to trans.xml.
struct RecordedAnswer {
  // The HTTP status of the answer; nullopt when none came (no host, the
  // connection refused, a certificate refused, the load stopped).
  std::optional<int> status;
  // The address the page ended at ("" when the load produced no page).
  std::string final_url;
  // Why no answer came, or why the load that followed a redirect failed
  // (a redirect loop), as the engine said it; "" when the answer came.
  std::string error;
  bool operator==(const RecordedAnswer&) const = default;
};

// The error of a request whose page's process ended before its answer came.
inline constexpr char kPageStoppedWorking[] = "the page stopped working";

// Told about every element the session appends, after the append has
// succeeded, so that what it sees is what the file holds. Called on the
// user-interface thread from inside the capture handlers; it must not call
// back into the session.
class RecordedElementObserver {
 public:
  virtual ~RecordedElementObserver() = default;

  virtual void ElementRecorded(RecordedElement element) = 0;
  // A new transaction document has been started (at load and on every
  // "Reset Transaction"); the elements told so far belong to the old one.
  virtual void TransactionStarted() = 0;
  // The answer to the request of element `index` (from 0, in document
  // order, kept elements of an earlier run included) has come.
  virtual void ElementAnswered(std::size_t /*index*/,
                               const RecordedAnswer& /*answer*/) {}
  // Element `index` has been removed from trans.xml; the later elements
  // move up by one.
  virtual void ElementDeleted(std::size_t /*index*/) {}
  // "Save Transaction" has closed the document: no element is added or
  // deleted until the next TransactionStarted.
  virtual void TransactionClosed() {}
  // The closed transaction's upload did not happen, or the user browses on
  // while it waits: nothing is recorded until the next TransactionStarted
  // (kRecordingPausedText).
  virtual void RecordingPaused() {}
  // The hosts that pages' scripts called outside the transaction's hosts,
  // or their counts, changed (RecordingSession::other_script_hosts), or the
  // count of those not recorded while unticked
  // (RecordingSession::script_requests_not_recorded).
  virtual void ScriptHostsChanged() {}
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_RECORDED_ELEMENT_H_
