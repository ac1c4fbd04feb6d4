#include "platform/load_outcome.h"

#include <utility>

namespace scrivlet {

void LoadOutcome::Started() {
  shows_page_ = false;
  error_page_url_.clear();
}

void LoadOutcome::Committed() { shows_page_ = true; }

// The engine shows an error page at the failing address for every failure
// but the three that leave the old page standing.
void LoadOutcome::Failed(LoadFailure failure, bool before_commit,
                         const std::string& failing_url) {
  if (failure != LoadFailure::kOther) return;
  shows_page_ = true;
  if (before_commit && !failing_url.empty()) error_page_url_ = failing_url;
}

LoadCompletion LoadOutcome::Finished(const std::string& view_url) {
  LoadCompletion completion;
  completion.new_page = shows_page_;
  completion.url =
      error_page_url_.empty() ? view_url : std::move(error_page_url_);
  Started();
  return completion;
}

}  // namespace scrivlet
