#include "platform/submission_matcher.h"

#include <string>
#include <utility>

namespace scrivlet {
namespace {

std::string WithoutFragment(const std::string& url) {
  return url.substr(0, url.find('#'));
}

}  // namespace

void SubmissionMatcher::Add(FormSubmission submission, std::int64_t now_us) {
  DropStale(now_us);
  submission.received_us = now_us;
  for (FormSubmission& known : submissions_) {
    if (known.frame == submission.frame && known.id == submission.id) {
      submission.received_us = known.received_us;
      known = std::move(submission);
      return;
    }
  }
  submissions_.push_back(std::move(submission));
}

void SubmissionMatcher::DropStale(std::int64_t now_us) {
  while (!submissions_.empty() &&
         now_us - submissions_.front().received_us > kKeptUs) {
    submissions_.pop_front();
  }
}

SubmissionMatcher::Lookup SubmissionMatcher::Find(const std::string& url,
                                                  std::int64_t decided_us,
                                                  std::int64_t now_us,
                                                  FormSubmission& found) {
  DropStale(now_us);
  const std::string target = WithoutFragment(url);
  for (auto it = submissions_.rbegin(); it != submissions_.rend(); ++it) {
    if (it->received_us < decided_us - kLeadUs) break;
    if (it->method == "post" && WithoutFragment(it->action) == target) {
      found = *it;
      return it->complete ? Lookup::kComplete : Lookup::kIncomplete;
    }
  }
  return Lookup::kNone;
}

void SubmissionMatcher::Consume(const FormSubmission& submission) {
  const std::string target = WithoutFragment(submission.action);
  auto it = submissions_.begin();
  while (it != submissions_.end()) {
    if (it->received_us <= submission.received_us &&
        WithoutFragment(it->action) == target) {
      it = submissions_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace scrivlet
