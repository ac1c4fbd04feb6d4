#ifndef SCRIVLET_UI_MAIN_WINDOW_DESIGN_H_
#define SCRIVLET_UI_MAIN_WINDOW_DESIGN_H_

namespace scrivlet {

// The main window at design size, in twips: its client area and the places
// of the controls that the layout reads at load.
inline constexpr int kFormWidth = 10545;
inline constexpr int kFormHeight = 10095;
inline constexpr int kBrowserLeft = 240;
inline constexpr int kBrowserTop = 1080;
inline constexpr int kBrowserWidth = 10095;
inline constexpr int kBrowserHeight = 8175;
inline constexpr int kCheckTop = 9360;
inline constexpr int kStatusBarHeight = 375;

}  // namespace scrivlet

#endif  // SCRIVLET_UI_MAIN_WINDOW_DESIGN_H_
