#ifndef SCRIVLET_PLATFORM_NETWORK_PROCESS_WATCH_H_
#define SCRIVLET_PLATFORM_NETWORK_PROCESS_WATCH_H_

#include <glib.h>

#include <functional>

namespace scrivlet {

// Tells when the engine's network process ends (a crash, the out-of-memory
// killer). The engine raises no event for it: it starts a new one at the
// next load, and the new one holds none of the sites' session cookies, so
// the user is signed out without a word. The process is this program's
// child (or a sandbox's child below it), found by its name and watched
// through a process file descriptor.
class NetworkProcessWatch {
 public:
  explicit NetworkProcessWatch(std::function<void()> ended);
  ~NetworkProcessWatch();
  NetworkProcessWatch(const NetworkProcessWatch&) = delete;
  NetworkProcessWatch& operator=(const NetworkProcessWatch&) = delete;

  // Starts watching the network process when none is watched; called when
  // a load starts, by which time the engine has one running. Does nothing
  // when the process cannot be found or watched.
  void Watch();

 private:
  static gboolean OnEnded(gint fd, GIOCondition, gpointer self);
  void Stop();

  std::function<void()> ended_;
  int process_fd_ = -1;
  guint source_ = 0;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_NETWORK_PROCESS_WATCH_H_
