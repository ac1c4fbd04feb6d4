#include "session/load_tracker.h"

#include <utility>

namespace scrivlet {
namespace {

// The committed page's address: its answer's, or the view's address at the
// commit when that names the same answer (it keeps the fragment the
// navigation was recorded with).
std::string PageAddress(const std::string& view_url,
                        const std::string& answer_url) {
  if (answer_url.empty()) return view_url;
  if (view_url.substr(0, view_url.find('#')) == answer_url) return view_url;
  return answer_url;
}

}  // namespace

bool LoadTracker::StaysInDocument(const std::string& view_url,
                                  const std::string& url) const {
  if (loading_ && !load_.committed) return false;
  const std::size_t fragment = url.find('#');
  if (fragment == std::string::npos) return false;
  if (view_url.substr(0, view_url.find('#')) != url.substr(0, fragment)) {
    return false;
  }
  const bool asked = asked_ && asked_url_.empty();
  return !(asked && view_url == url);
}

void LoadTracker::Asked(AskedLoad load) {
  asked_ = load;
  asked_url_.clear();
}

std::optional<LoadCompletion> LoadTracker::Stopped(
    const MainResponse& response) {
  asked_.reset();
  asked_url_.clear();
  if (!loading_) return std::nullopt;
  stopped_ = true;
  return Complete(response);
}

void LoadTracker::NavigationDecided(const std::string& url) {
  if (asked_ && asked_url_.empty()) asked_url_ = url;
}

// The first load to start after a request is the one asked for.
void LoadTracker::Started(const std::string& url) {
  load_ = Load{};
  load_.url = url;
  load_.refresh = asked_ == AskedLoad::kRefresh;
  loading_ = true;
  stopped_ = false;
  asked_.reset();
  asked_url_.clear();
  lost_url_.reset();
}

void LoadTracker::Redirected(int status, std::string target) {
  if (loading_ && !load_.redirect) {
    load_.redirect = RedirectHop{status, std::move(target)};
  }
}

void LoadTracker::Committed(const std::string& view_url) {
  if (!loading_) return;
  load_.committed = true;
  load_.committed_url = view_url;
}

// The engine shows an error page at the failing address for every failure
// but the three that leave the old page standing. A failure that comes
// while no load is in progress is an earlier load's.
void LoadTracker::Failed(LoadFailure failure, bool before_commit,
                         const std::string& failing_url,
                         const std::string& reason) {
  if (!loading_ || failure != LoadFailure::kOther) return;
  load_.error_page = true;
  load_.error = reason;
  if (before_commit && !failing_url.empty()) load_.error_page_url = failing_url;
}

// The engine's error page carries the status of no answer, and a load that
// was not committed has none: the committed resource is still the old
// page's.
std::optional<LoadCompletion> LoadTracker::Finished(
    const MainResponse& response) {
  if (!loading_ && std::exchange(stopped_, false)) return std::nullopt;
  return Complete(response);
}

LoadCompletion LoadTracker::Complete(const MainResponse& response) {
  LoadCompletion completion;
  if (loading_) {
    completion.new_page = load_.committed || load_.error_page;
    completion.answer.error_page = load_.error_page;
    completion.answer.error = std::move(load_.error);
    completion.answer.redirect = std::move(load_.redirect);
    if (load_.committed && !load_.error_page && response.status &&
        *response.status > 0) {
      completion.answer.status = response.status;
    }
    if (!load_.error_page_url.empty()) {
      completion.url = std::move(load_.error_page_url);
    } else if (load_.committed) {
      completion.url = PageAddress(load_.committed_url, response.url);
    } else {
      completion.url = load_.url;
    }
  }
  completion.answer.replaced_by_asked_load = asked_.has_value();
  if (asked_) completion.answer.asked_load_url = asked_url_;
  completion.answer.refresh_goes_on = asked_ == AskedLoad::kRefresh;
  load_ = Load{};
  loading_ = false;
  return completion;
}

// What was asked and had not started is gone with the process too: the
// engine loads nothing until it is asked again. The engine's reload goes to
// the page it committed last, which is right unless the load that died had
// not been committed.
void LoadTracker::ProcessEnded() {
  stopped_ = false;
  if (loading_) {
    lost_url_.reset();
    if (!load_.committed) lost_url_ = load_.url;
  } else if (asked_ && !asked_url_.empty()) {
    lost_url_ = asked_url_;
  }
  load_ = Load{};
  loading_ = false;
  asked_.reset();
  asked_url_.clear();
}

bool LoadTracker::RefreshGoesOn() const {
  return asked_ == AskedLoad::kRefresh || (loading_ && load_.refresh);
}

}  // namespace scrivlet
