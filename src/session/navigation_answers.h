#ifndef SCRIVLET_SESSION_NAVIGATION_ANSWERS_H_
#define SCRIVLET_SESSION_NAVIGATION_ANSWERS_H_

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "session/browser.h"
#include "session/recorded_element.h"

namespace scrivlet {

// The answers to the recorded requests, beside the elements of the
// document in order (index from 0, kept elements of an earlier run
// included), and which recorded navigation a finished load answers.
//
// A navigation waits for the completion of the view it was recorded for.
// Sub-frames complete under identities of their own, which no navigation
// carries: a frame's completion takes its navigation by address, and
// answers it when its status is known. A view's top-level completion answers the view's
// waiting navigation to the same address (the latest), or, when the page
// ended elsewhere (a redirect), the view's first waiting navigation; the
// view's other waiting navigations are given up (frames that ended
// elsewhere, loads replaced by this one).
class NavigationAnswers {
 public:
  // A new document that already holds `count` elements.
  void Restart(std::size_t count);
  // Element number count() is appended: a navigation of `view` to `url`.
  void NavigationAppended(BrowserId view, const std::string& url);
  // Element number count() is appended: the completion element of the page
  // that ended elsewhere; it gets that page's answer.
  void CompletionAppended(const RecordedAnswer& answer);
  // Element number count() is appended: a request a page's script made to
  // `url` (as sent). Its element is written once its body has been read,
  // which may be after its answer came: the oldest answer from that
  // address that no script request took is its answer (returns true), else
  // the next one to come.
  bool ScriptRequestAppended(const std::string& url);
  // A script request to `url` went out and is not recorded: the oldest
  // answer from that address that no script request took was its answer.
  void ScriptRequestNotRecorded(const std::string& url);
  // An answer came from `url` (as sent) for one of the views' resources.
  // Returns the script request it answers (the oldest waiting at that
  // address), nullopt for none; the answer is kept, or kept for a while
  // for a script request still to be written.
  std::optional<std::size_t> ResourceAnswered(const std::string& url,
                                              const RecordedAnswer& answer);
  // A page of `id` (a view or a sub-frame) completed at `url`. Returns the
  // element `answer` belongs to, nullopt for none; the answer is kept.
  std::optional<std::size_t> PageCompleted(BrowserId id, const std::string& url,
                                           const RecordedAnswer& answer);
  // A load of `view` ended without a page (stopped, replaced, a download):
  // its first waiting navigation gets no answer.
  void LoadEndedWithoutPage(BrowserId view);
  // The view's process ended: its waiting navigations get no answer from
  // the network, but kPageStoppedWorking. Returns the elements answered so.
  std::vector<std::size_t> ViewLost(BrowserId view);
  // Element `index` has left the document: its answer, and its wait for
  // one, go with it; the later elements move up by one.
  void ElementDeleted(std::size_t index);

  std::size_t count() const { return answers_.size(); }
  // The answer kept for element `index`; nullopt while none is known.
  const std::optional<RecordedAnswer>& answer(std::size_t index) const {
    return answers_.at(index);
  }

 private:
  struct Waiting {
    std::size_t index;
    BrowserId view;
    std::string url;
  };
  std::vector<std::optional<RecordedAnswer>> answers_;
  std::vector<Waiting> waiting_;  // in the order they were recorded
  // The latest answers that no script request has taken, oldest first.
  std::deque<std::pair<std::string, RecordedAnswer>> untaken_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_NAVIGATION_ANSWERS_H_
