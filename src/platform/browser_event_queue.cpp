#include "platform/browser_event_queue.h"

#include <exception>
#include <utility>

#include "platform/form_body.h"

namespace scrivlet {

std::uint64_t BrowserEventQueue::Enqueue(BrowserEvent event) {
  event.sequence = next_sequence_++;
  events_.push_back(std::move(event));
  return events_.back().sequence;
}

void BrowserEventQueue::AddSubmission(FormSubmission submission,
                                      std::int64_t now_us) {
  submissions_.Add(std::move(submission), now_us);
}

std::vector<std::uint64_t> BrowserEventQueue::DropView(BrowserId view) {
  std::vector<std::uint64_t> decisions;
  for (auto it = events_.begin(); it != events_.end();) {
    if (it->view == view) {
      if (it->kind == BrowserEvent::Kind::kNavigation) {
        decisions.push_back(it->sequence);
      }
      it = events_.erase(it);
    } else {
      ++it;
    }
  }
  return decisions;
}

BrowserEventQueue::Step BrowserEventQueue::Next(std::int64_t now_us) {
  Step step;
  if (events_.empty()) return step;
  const BrowserEvent& head = events_.front();
  const bool navigation = head.kind == BrowserEvent::Kind::kNavigation;
  std::optional<std::string> body;
  bool body_complete = true;
  std::string body_error;
  // Only a form submission has a formdata event behind it; any other POST
  // (a resubmission from the history) is delivered at once with the body
  // unknown.
  if (navigation && head.post && !head.form_submission) {
    body = "";
  } else if (navigation && head.post) {
    FormSubmission submission;
    const SubmissionMatcher::Lookup lookup =
        submissions_.Find(head.url, head.decided_us, now_us, submission);
    const std::int64_t deadline_us =
        head.decided_us + (lookup == SubmissionMatcher::Lookup::kIncomplete
                               ? kFileReadWaitUs
                               : kBodyWaitUs);
    if (lookup != SubmissionMatcher::Lookup::kComplete &&
        now_us < deadline_us) {
      step.kind = Step::Kind::kWait;
      step.wait_until_us = deadline_us;
      return step;
    }
    body = "";
    body_complete = lookup == SubmissionMatcher::Lookup::kComplete;
    if (lookup != SubmissionMatcher::Lookup::kNone) {
      try {
        body = SerializeFormBody(head.content_type, submission.entries,
                                 submission.charset);
      } catch (const std::exception& error) {
        body_error = error.what();
        body_complete = false;
      }
      submissions_.Consume(submission);
    }
  }
  step.kind = Step::Kind::kDeliver;
  BrowserEventDelivery& delivery = step.delivery;
  delivery.event = std::move(events_.front());
  events_.pop_front();
  if (navigation && delivery.event.post) {
    delivery.post_data = std::move(body);
    if (!delivery.event.content_type.empty()) {
      delivery.headers =
          "Content-Type: " + delivery.event.content_type + "\r\n";
    }
  }
  delivery.body_complete = body_complete;
  delivery.body_error = std::move(body_error);
  return step;
}

}  // namespace scrivlet
