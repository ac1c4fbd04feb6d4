#ifndef SCRIVLET_PLATFORM_SUBMISSION_MATCHER_H_
#define SCRIVLET_PLATFORM_SUBMISSION_MATCHER_H_

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/form_body.h"

namespace scrivlet {

// What a page's `formdata` event carried: the entry list as late as the
// event allowed, and where the form submits to.
struct FormSubmission {
  std::uint64_t id = 0;  // the sending frame's count of formdata events
  std::string frame;     // the sending frame's token
  std::string action;    // the resolved action URL (submitter's formaction)
  std::string method;    // "post", "get" or "dialog"
  std::string charset;   // the encoding the form submits in
  std::vector<FormEntry> entries;
  // False while file contents are still being read; the entries then hold
  // the files with empty contents.
  bool complete = true;
  std::int64_t received_us = 0;  // monotonic time of the first message
};

// Where the body of a POST is matched to its navigation: the submissions
// the capture script reported, kept until a navigation the engine asks
// about takes them. The engine's decision and the script's message travel
// separately, so either may come first. Toolkit-free: times are monotonic
// microseconds the caller passes in.
class SubmissionMatcher {
 public:
  enum class Lookup { kNone, kIncomplete, kComplete };

  // A submission belongs to a navigation the engine asks about at most this
  // long after it; an older one (a `new FormData(form)` that led nowhere) is
  // never matched.
  static constexpr std::int64_t kLeadUs = 2'000'000;
  // Submissions are forgotten after this long, matched or not.
  static constexpr std::int64_t kKeptUs = 60'000'000;

  // Keeps `submission`, received at `now_us`. A second message of the same
  // frame and id (the one of a form with files, once they are read)
  // replaces the first and keeps its time of receipt.
  void Add(FormSubmission submission, std::int64_t now_us);

  // The newest submission to `url` by POST that was received close enough
  // to `decided_us` (the time the engine asked about the navigation) to
  // belong to it; the fragments of both addresses are ignored. kIncomplete
  // when its file contents have not arrived yet (`found` then holds what is
  // known so far).
  Lookup Find(const std::string& url, std::int64_t decided_us,
              std::int64_t now_us, FormSubmission& found);

  // Removes the submission with that frame and id and every older one
  // to the same address, so that no body is lent to a later request.
  void Consume(const FormSubmission& submission);

 private:
  void DropStale(std::int64_t now_us);

  std::deque<FormSubmission> submissions_;  // oldest first
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_SUBMISSION_MATCHER_H_
