#ifndef SCRIVLET_UI_BROWSER_KEYS_H_
#define SCRIVLET_UI_BROWSER_KEYS_H_

#include <gtkmm/window.h>

#include <functional>

namespace scrivlet {

// The keys every browser has.
enum class BrowserKey {
  kFocusAddress,      // Ctrl+L, F6
  kRefresh,           // F5, Ctrl+R
  kBack,              // Alt+Left
  kForward,           // Alt+Right
  kStop,              // Escape
  kRecordedRequests,  // F9
};

// Hands every browser key pressed in `window` to `handler` before the
// focused control sees it, so that the page cannot swallow it. When the
// handler returns false the key goes on to the focused control as if
// nothing had looked at it. `handler` must not outlive what it captures;
// the window owns it.
void HandleBrowserKeys(Gtk::Window& window,
                       std::function<bool(BrowserKey)> handler);

}  // namespace scrivlet

#endif  // SCRIVLET_UI_BROWSER_KEYS_H_
