#ifndef SCRIVLET_PLATFORM_NETWORK_PROCESS_WATCH_H_
#define SCRIVLET_PLATFORM_NETWORK_PROCESS_WATCH_H_

#include <webkit/webkit.h>

#include <functional>

#include "platform/gobject_ptr.h"

namespace scrivlet {

// Tells when the engine's network process ends (a crash, the out-of-memory
// killer). The engine raises no event for it: it starts a new one at the
// next load, and the new one holds none of the sites' session cookies, so
// the user is signed out without a word. The process is this program's
// child (or a sandbox's child below it), found by its name and watched
// through a process file descriptor. The watch is armed whenever a load of
// `view` starts while nothing is watched, so the process that the engine
// starts again is watched too.
class NetworkProcessWatch {
 public:
  NetworkProcessWatch(WebKitWebView* view, std::function<void()> ended);
  ~NetworkProcessWatch();
  NetworkProcessWatch(const NetworkProcessWatch&) = delete;
  NetworkProcessWatch& operator=(const NetworkProcessWatch&) = delete;

  // Starts watching the network process when none is watched; called when
  // a load starts, by which time the engine has one running. Does nothing
  // when the process cannot be found or watched.
  void Watch();

 private:
  static gboolean OnEnded(gint fd, GIOCondition, gpointer self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event,
                            gpointer self);
  void Stop();

  GObjectPtr<WebKitWebView> view_;  // its handler goes with the watch
  std::function<void()> ended_;
  int process_fd_ = -1;
  guint source_ = 0;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_NETWORK_PROCESS_WATCH_H_
