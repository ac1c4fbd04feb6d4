#ifndef SCRIVLET_PLATFORM_LOAD_OUTCOME_H_
#define SCRIVLET_PLATFORM_LOAD_OUTCOME_H_

#include <optional>
#include <string>

#include "session/browser_events.h"

namespace scrivlet {

// Why the engine says a load failed, in the terms that decide what the view
// shows afterwards.
enum class LoadFailure {
  kCancelled,        // by a newer load, or stopped
  kIgnoredByPolicy,  // the response became a download, or was ignored (204)
  kTakenByPlayer,    // media that a media player takes over
  kOther,            // anything else: the engine shows its error page
};

// What one finished load of a view's top-level page completes.
struct LoadCompletion {
  // true: a page came (the load was committed, or the engine shows its
  // error page at the failing address) and `url` is where it completed;
  // false: the view still shows the page it showed before.
  bool new_page = false;
  std::string url;
  // What the page got: its answer's status, or the engine's error page.
  PageAnswer answer;
};

// The rules that say how a top-level load ended, fed with the engine's load
// events of one view in their order. A load that fails before its page was
// committed leaves the view's address at the old page, which is no
// completion of this load: a load that gets the engine's error page
// completes at the failing address; one that ends without a page (a
// download, a 204 answer, a refused or an accepted certificate, a load
// stopped for another one) leaves the view on the page it showed.
class LoadOutcome {
 public:
  void Started();
  void Committed();
  // `before_commit`: the failure came before the load was committed.
  // `reason`: the engine's description of the failure.
  void Failed(LoadFailure failure, bool before_commit,
              const std::string& failing_url, const std::string& reason = "");
  // The server answered the load's request with a redirect (`status`) to
  // `target`; only the first since Started is kept.
  void Redirected(int status, std::string target);
  // The load has finished; `view_url` is the view's address now and
  // `status` the HTTP status of the page's answer (nullopt or 0: none).
  // Starts afresh for the next load.
  LoadCompletion Finished(const std::string& view_url,
                          std::optional<int> status = std::nullopt);

 private:
  bool shows_page_ = false;
  std::string error_page_url_;
  // The engine's error page is shown, and why.
  bool error_page_ = false;
  std::string error_;
  std::optional<RedirectHop> redirect_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_LOAD_OUTCOME_H_
