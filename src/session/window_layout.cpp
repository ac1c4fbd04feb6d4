#include "session/window_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace scrivlet {
namespace {

// Round half to even (the default floating-point rounding mode), clamped to
// the 16-bit range; NaN counts as 0.
std::int16_t ToInt16(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);
  constexpr double kLow = std::numeric_limits<std::int16_t>::min();
  constexpr double kHigh = std::numeric_limits<std::int16_t>::max();
  if (rounded < kLow) return std::numeric_limits<std::int16_t>::min();
  if (rounded > kHigh) return std::numeric_limits<std::int16_t>::max();
  return static_cast<std::int16_t>(rounded);
}

}  // namespace

void SaveInitialLayout(SessionState& state, const InitialGeometry& geometry) {
  state.initialBrowserHeight = ToInt16(geometry.browser_height);
  state.initialBrowserWidth = ToInt16(geometry.browser_width);
  state.initialFormHeight = ToInt16(geometry.form_height);
  state.initialFormWidth = ToInt16(geometry.form_width);
  state.bottomOffset = ToInt16(static_cast<double>(geometry.form_height) -
                               static_cast<double>(geometry.check1_top));
}

std::optional<LayoutResult> LayoutControls(const SessionState& state,
                                           WindowState window_state,
                                           float form_height,
                                           float form_width) {
  if (window_state != WindowState::kNormal &&
      window_state != WindowState::kMaximized) {
    return std::nullopt;
  }
  LayoutResult result;
  // A position, not a stored size: kept unrounded, only held in range.
  result.check_top = std::clamp(form_height - state.bottomOffset, -32768.0f,
                                32767.0f);
  const std::int16_t height =
      ToInt16(static_cast<double>(form_height) - state.initialFormHeight +
              state.initialBrowserHeight);
  const std::int16_t width =
      ToInt16(static_cast<double>(form_width) - state.initialFormWidth +
              state.initialBrowserWidth);
  if (height >= 0 && width >= 0) {
    result.browser_height = height;
    result.browser_width = width;
  }
  return result;
}

}  // namespace scrivlet
