#ifndef SCRIVLET_PLATFORM_MAIN_RESOURCE_WATCH_H_
#define SCRIVLET_PLATFORM_MAIN_RESOURCE_WATCH_H_

#include <webkit/webkit.h>

#include <functional>
#include <string>
#include <utility>

#include "platform/gobject_ptr.h"
#include "session/load_tracker.h"

namespace scrivlet {

// The main resource of a view's top-level loads: the redirects of the
// request of the load in progress, and the answer of the committed page,
// which is read when the load ends (by then the next load may have a main
// resource of its own).
class MainResourceWatch {
 public:
  // `redirected` is told each redirect of the watched request: the status
  // of the answer that caused it and the address it leads to.
  explicit MainResourceWatch(
      std::function<void(int status, std::string target)> redirected)
      : redirected_(std::move(redirected)) {}
  ~MainResourceWatch();
  MainResourceWatch(const MainResourceWatch&) = delete;
  MainResourceWatch& operator=(const MainResourceWatch&) = delete;

  // `resource` is the view's new main resource: its redirects are told
  // from now on, the last one's no longer.
  void Follow(WebKitWebResource* resource);
  // The view's page was committed with `resource` (may be nullptr).
  void Committed(WebKitWebResource* resource);
  // The committed page's answer: its address and HTTP status, empty while
  // none is known.
  MainResponse CommittedResponse() const;
  // The followed resource's data is still coming.
  bool AnswerArriving() const { return arriving_; }

 private:
  static void OnEnded(WebKitWebResource* resource, gpointer self);
  static void OnSentRequest(WebKitWebResource* resource,
                            WebKitURIRequest* request,
                            WebKitURIResponse* redirected_response,
                            gpointer self);

  std::function<void(int, std::string)> redirected_;
  GObjectPtr<WebKitWebResource> followed_;
  GObjectPtr<WebKitWebResource> committed_;
  bool arriving_ = false;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_MAIN_RESOURCE_WATCH_H_
