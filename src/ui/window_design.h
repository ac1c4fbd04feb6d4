#ifndef SCRIVLET_UI_WINDOW_DESIGN_H_
#define SCRIVLET_UI_WINDOW_DESIGN_H_

// Where the controls of the main window and of the pop-up window are placed:
// each window's client area at design size and each control's rectangle in
// it, in twips (15 to a pixel). The windows place their controls from these
// tables and the main window's resize arithmetic starts from them; the
// end-to-end tests click the controls at the same places. Toolkit-free, so
// the tests can include it. tests/package/install_test.sh reads the main
// window's kForm, kText1 and kEndRecord with sed: each stays on one line,
// in numbers.

namespace scrivlet {

struct DesignSize {
  int width;
  int height;
};

struct DesignRect {
  int left;
  int top;
  int width;
  int height;
};

// The main window, "Nerovant Scrivlet".
namespace main_window_design {

inline constexpr DesignSize kForm{10545, 10095};
inline constexpr DesignRect kWebBrowser1{240, 1080, 10095, 8175};
inline constexpr DesignRect kText1{1320, 120, 9015, 315};
inline constexpr DesignRect kGo{240, 120, 975, 375};  // "Location"
inline constexpr DesignRect kBack{240, 600, 975, 375};
inline constexpr DesignRect kForward{1440, 600, 855, 375};
inline constexpr DesignRect kEndRecord{6600, 600, 1815, 375};
inline constexpr DesignRect kRefreshButton{2520, 600, 1095, 375};
inline constexpr DesignRect kReset{8640, 600, 1695, 375};
inline constexpr DesignRect kProgress{4920, 600, 1095, 285};
inline constexpr DesignRect kProgressLabel{4080, 600, 855, 375};
// The check boxes move with the bottom edge; this is their place at load.
inline constexpr DesignRect kCheck1{240, 9360, 3855, 315};
inline constexpr DesignRect kCheck2{4320, 9360, 3855, 315};
// Docked to the bottom edge, as wide as the window.
inline constexpr DesignRect kStatusBar1{0, 9720, kForm.width, 375};

}  // namespace main_window_design

// The pop-up window, "Popup": its controls keep these places whatever the
// window's size.
namespace popup_design {

inline constexpr DesignSize kForm{10290, 9480};
inline constexpr DesignRect kWebBrowser1{120, 120, 10095, 8175};
inline constexpr DesignRect kProgress{5400, 8520, 1095, 405};
inline constexpr DesignRect kRefreshButton{2880, 8520, 1095, 375};
inline constexpr DesignRect kProgressLabel{4200, 8640, 975, 255};
inline constexpr DesignRect kStatusBar1{0, 9105, kForm.width, 375};

}  // namespace popup_design

}  // namespace scrivlet

#endif  // SCRIVLET_UI_WINDOW_DESIGN_H_
