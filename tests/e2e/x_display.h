#ifndef SCRIVLET_TESTS_E2E_X_DISPLAY_H_
#define SCRIVLET_TESTS_E2E_X_DISPLAY_H_

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "subprocess.h"

namespace scrivlet::e2e {

// An X window as xdotool names it.
using WindowId = unsigned long;

struct WindowGeometry {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// A private X server (Xvfb, 1280x1024x24) for one test process, with real
// input through xdotool (the XTEST extension), so key presses and clicks
// arrive as they would from a person. There is no window manager: windows
// are raised and focused explicitly before they get input.
class XDisplay {
 public:
  // Starts Xvfb and waits until it accepts connections. Throws
  // std::runtime_error when it does not come up.
  XDisplay();
  ~XDisplay();
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;

  // ":N"
  const std::string& name() const { return name_; }

  // Visible windows whose title matches the regular expression `title`
  // (xdotool's syntax), in stacking order.
  std::vector<WindowId> FindVisibleWindows(const std::string& title) const;
  WindowGeometry Geometry(WindowId window) const;

  // Raises `window` to the top of the stack and gives it the keyboard focus.
  void Activate(WindowId window) const;
  // Moves the pointer to (x, y) relative to `window`'s top-left corner.
  void MoveTo(WindowId window, int x, int y) const;
  // Moves the pointer to (x, y) relative to `window`'s top-left corner and
  // clicks the left button there.
  void ClickAt(WindowId window, int x, int y) const;
  // Types `text` into whatever has the keyboard focus.
  void Type(const std::string& text) const;
  // Presses and releases a key combination in xdotool's syntax ("Return",
  // "Escape", "ctrl+a", "Tab").
  void Key(const std::string& keys) const;
  // Resizes the window (there is no window manager to ask).
  void Resize(WindowId window, int width, int height) const;
  // Asks the window to close itself, as its title bar's close box does
  // (WM_DELETE_WINDOW).
  void RequestClose(WindowId window) const;
  // Writes a PNG picture of `window` to `path`.
  void Screenshot(WindowId window, const std::string& path) const;

 private:
  CommandResult Xdotool(const std::vector<std::string>& args) const;
  Environment ToolEnvironment() const;

  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<TempDir> log_dir_;
  std::string name_;
};

// The display of the current test process, started by the test binary's
// main before any test runs.
XDisplay& Display();
void StartDisplay();
void StopDisplay();

}  // namespace scrivlet::e2e

#endif  // SCRIVLET_TESTS_E2E_X_DISPLAY_H_
