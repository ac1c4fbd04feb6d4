#include "platform/load_outcome.h"

#include <utility>

namespace scrivlet {

void LoadOutcome::Started() {
  shows_page_ = false;
  error_page_url_.clear();
  error_page_ = false;
  error_.clear();
  redirect_.reset();
}

void LoadOutcome::Committed() { shows_page_ = true; }

void LoadOutcome::Redirected(int status, std::string target) {
  if (!redirect_) redirect_ = RedirectHop{status, std::move(target)};
}

// The engine shows an error page at the failing address for every failure
// but the three that leave the old page standing.
void LoadOutcome::Failed(LoadFailure failure, bool before_commit,
                         const std::string& failing_url,
                         const std::string& reason) {
  if (failure != LoadFailure::kOther) return;
  shows_page_ = true;
  error_page_ = true;
  error_ = reason;
  if (before_commit && !failing_url.empty()) error_page_url_ = failing_url;
}

// The engine's error page carries the status of no answer, whatever the
// view's resource says (it may still be the old page's).
LoadCompletion LoadOutcome::Finished(const std::string& view_url,
                                     std::optional<int> status) {
  LoadCompletion completion;
  completion.new_page = shows_page_;
  completion.answer.error_page = error_page_;
  completion.answer.error = std::move(error_);
  completion.answer.redirect = std::move(redirect_);
  if (!error_page_ && status && *status > 0) completion.answer.status = status;
  completion.url =
      error_page_url_.empty() ? view_url : std::move(error_page_url_);
  Started();
  return completion;
}

}  // namespace scrivlet
