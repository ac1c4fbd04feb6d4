#ifndef SCRIVLET_SESSION_LOAD_TRACKER_H_
#define SCRIVLET_SESSION_LOAD_TRACKER_H_

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

// The loads the program asks a view for.
enum class AskedLoad { kNavigate, kBack, kForward, kRefresh };

// What one finished load of a view's top-level page completes.
struct LoadCompletion {
  // true: a page came (the load was committed, or the engine shows its
  // error page at the failing address) and `url` is where it completed;
  // false: the view still shows the page it showed before.
  bool new_page = false;
  std::string url;
  // What the page got, and how it stands to the loads asked for.
  PageAnswer answer;
};

// The answer the committed page came with, as the engine's main resource
// tells it when the load finishes: the address the answer came from
// ("" when unknown) and its HTTP status (nullopt or 0: none).
struct MainResponse {
  std::string url;
  std::optional<int> status;
};

// The loads of one view's top-level page, fed in the order they come with
// the program's requests and the engine's load events, and what each
// finished load completes. The session's rules decide what is recorded;
// this says which load ended, where and how.
//
// Overlaps: a load the program asks for replaces the one in progress, but
// the engine ends that one only after the request (and sometimes after the
// new load's navigation has been decided). Until the asked load starts,
// every load that finishes is the one before it: it completes at its own
// answer's address, it is "replaced by an asked load", and a refresh asked
// for is not over with it.
//
// Where a page completes: the address of the answer it came with, never the
// view's address at the end of the load, which the page's scripts may have
// changed (history.replaceState, pushState). The view's address at the
// commit is taken when it names the same answer, for its fragment.
//
// A load that fails before its page was committed leaves the view at the
// old page, which is no completion of this load: a load that gets the
// engine's error page completes at the failing address; one that ends
// without a page (a download, a 204 answer, a refused or an accepted
// certificate, a load stopped or replaced) leaves the view on its page.
class LoadTracker {
 public:
  // --- The program's requests ---
  void Asked(AskedLoad load);
  // The user stopped the view: what was asked and has not started is over,
  // and the load in progress ends now. Returns what it completes, with the
  // committed page's `response`; nullopt when none was in progress. The
  // engine's own end of that load may come late, or not at all while its
  // answer floods the page's process: it is not told again.
  std::optional<LoadCompletion> Stopped(const MainResponse& response);

  // Whether a navigation of the top-level page to `url`, decided while the
  // view shows `view_url`, stays in the shown document, as the engine
  // takes it: a GET to the shown address with another fragment, or with
  // the same one unless the program asked for it (a link to "#part", a
  // script's location.hash). No request goes out and no load follows.
  // While a new page has not committed, the shown address is unknown:
  // false.
  bool StaysInDocument(const std::string& view_url,
                       const std::string& url) const;

  // --- The engine's events ---
  // A navigation of the top-level page was decided (not a redirect hop).
  void NavigationDecided(const std::string& url);
  // A top-level load started, for `url`.
  void Started(const std::string& url);
  // The server answered the load's request with a redirect (`status`) to
  // `target`; only the first since Started is kept.
  void Redirected(int status, std::string target);
  // The load's page was committed; `view_url` is the view's address now,
  // before any script of the page has run.
  void Committed(const std::string& view_url);
  // `before_commit`: the failure came before the load was committed.
  // `reason`: the engine's description of the failure.
  void Failed(LoadFailure failure, bool before_commit,
              const std::string& failing_url, const std::string& reason = "");
  // The load has finished; `response` is its committed page's answer.
  // Starts afresh for the next load. nullopt for the end of a load that
  // Stopped completed already.
  std::optional<LoadCompletion> Finished(const MainResponse& response);
  // The process that rendered the view ended: the load in progress, if
  // any, ends without a page and without a load event.
  void ProcessEnded();

  // --- What the adapter asks ---
  // The load in progress has its page committed: Stop cannot leave the
  // view without one.
  bool PageCommitted() const { return loading_ && load_.committed; }
  // A refresh was asked for and its own load has not finished: a frame that
  // completes meanwhile does not end it.
  bool RefreshGoesOn() const;
  // The address "Refresh" is to load: the page whose load the process took
  // with it, which the engine's own reload would skip for the page before.
  // nullopt: the engine's reload.
  std::optional<std::string> RefreshTarget() const { return lost_url_; }

 private:
  struct Load {
    std::string url;
    bool committed = false;
    std::string committed_url;
    // Asked for as a refresh: its end ends the refresh.
    bool refresh = false;
    std::string error_page_url;
    bool error_page = false;
    std::string error;
    std::optional<RedirectHop> redirect;
  };
  // The load the program asked for and that has not started yet, and the
  // address of its navigation once decided.
  std::optional<AskedLoad> asked_;
  std::string asked_url_;
  // The load in progress since Started, until Finished or ProcessEnded.
  Load load_;
  bool loading_ = false;
  // Stopped completed the load; its end from the engine is yet to come.
  bool stopped_ = false;
  std::optional<std::string> lost_url_;

  LoadCompletion Complete(const MainResponse& response);
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_LOAD_TRACKER_H_
