#ifndef SCRIVLET_SESSION_RECORDED_ELEMENT_H_
#define SCRIVLET_SESSION_RECORDED_ELEMENT_H_

#include <cstddef>
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
  bool operator==(const RecordedElement&) const = default;
};

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
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_RECORDED_ELEMENT_H_
