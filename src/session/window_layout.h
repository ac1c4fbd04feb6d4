#ifndef SCRIVLET_SESSION_WINDOW_LAYOUT_H_
#define SCRIVLET_SESSION_WINDOW_LAYOUT_H_

#include <cstdint>
#include <optional>

#include "session/session_state.h"

namespace scrivlet {

inline constexpr int kTwipsPerPixel = 15;

enum class WindowState { kNormal = 0, kMinimized = 1, kMaximized = 2 };

// The geometry that SaveInitialLayout reads at load, in twips.
struct InitialGeometry {
  float form_height = 0;     // the window's outer height
  float form_width = 0;      // the window's outer width
  float browser_height = 0;  // WebBrowser1
  float browser_width = 0;
  float check1_top = 0;
};

// Stores the layout fields of `state` (rounded half to even into 32 bits).
void SaveInitialLayout(SessionState& state, const InitialGeometry& geometry);

// Where LayoutControls puts the controls for a window of the given outer
// size. Both check boxes take `check_top`; their left edges never change.
// `browser_height` and `browser_width` are absent when either would be
// negative: the browser then keeps its size.
struct LayoutResult {
  float check_top = 0;
  std::optional<std::int32_t> browser_height;
  std::optional<std::int32_t> browser_width;
};

// nullopt for a minimised window, which is left alone. The arithmetic is
// wide enough for a window of any size a screen can show; only sizes beyond
// the 32-bit range would be clamped into it.
std::optional<LayoutResult> LayoutControls(const SessionState& state,
                                           WindowState window_state,
                                           float form_height, float form_width);

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_WINDOW_LAYOUT_H_
