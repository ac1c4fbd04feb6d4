#ifndef SCRIVLET_PLATFORM_CALLBACK_GUARD_H_
#define SCRIVLET_PLATFORM_CALLBACK_GUARD_H_

#include <glib.h>

#include <exception>

namespace scrivlet {

// Runs `body` at the edge of a GLib or WebKit callback, which no exception
// may cross: one that escapes `body` is logged under `edge`, and the
// callback returns `fallback`, the answer that lets the engine go on with
// its own default.
template <typename Result, typename Body>
Result GuardCallback(const char* edge, Result fallback, Body&& body) {
  try {
    return body();
  } catch (const std::exception& error) {
    g_warning("%s: %s", edge, error.what());
  } catch (...) {
    g_warning("%s: unknown failure", edge);
  }
  return fallback;
}

// The same for a callback that returns nothing.
template <typename Body>
void GuardCallback(const char* edge, Body&& body) {
  GuardCallback(edge, 0, [&] {
    body();
    return 0;
  });
}

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_CALLBACK_GUARD_H_
