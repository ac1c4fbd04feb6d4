#include "session/window_layout.h"

#include <cmath>
#include <limits>

namespace scrivlet {
namespace {

// Round half to even (the default floating-point rounding mode), clamped to
// the 32-bit range; NaN counts as 0.
std::int32_t ToTwips(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);
  constexpr double kLow = std::numeric_limits<std::int32_t>::min();
  constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
  if (rounded < kLow) return std::numeric_limits<std::int32_t>::min();
  if (rounded > kHigh) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(rounded);
}

}  // namespace

void SaveInitialLayout(SessionState& state, const InitialGeometry& geometry) {
  state.initialBrowserHeight = ToTwips(geometry.browser_height);
  state.initialBrowserWidth = ToTwips(geometry.browser_width);
  state.initialFormHeight = ToTwips(geometry.form_height);
  state.initialFormWidth = ToTwips(geometry.form_width);
  state.bottomOffset = ToTwips(static_cast<double>(geometry.form_height) -
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
  // A position, not a stored size: kept unrounded.
  result.check_top =
      static_cast<float>(static_cast<double>(form_height) - state.bottomOffset);
  const std::int32_t height =
      ToTwips(static_cast<double>(form_height) - state.initialFormHeight +
              state.initialBrowserHeight);
  const std::int32_t width =
      ToTwips(static_cast<double>(form_width) - state.initialFormWidth +
              state.initialBrowserWidth);
  if (height >= 0 && width >= 0) {
    result.browser_height = height;
    result.browser_width = width;
  }
  return result;
}

}  // namespace scrivlet
