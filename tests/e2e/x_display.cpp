#include "x_display.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace scrivlet::e2e {
namespace {

std::unique_ptr<XDisplay>& DisplaySlot() {
  static std::unique_ptr<XDisplay> display;
  return display;
}

// Reads the display number that Xvfb writes to the -displayfd descriptor
// once it is ready for connections.
std::string ReadDisplayNumber(int fd, std::chrono::milliseconds timeout) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (text.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[64];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  auto end = text.find('\n');
  if (end == std::string::npos || end == 0) return "";
  return text.substr(0, end);
}

}  // namespace

XDisplay::XDisplay() {
  log_dir_ = std::make_unique<TempDir>("scrivlet-xvfb-");
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  Environment env{{"PATH", std::getenv("PATH") ? std::getenv("PATH") : ""}};
  try {
    // -displayfd 1: Xvfb picks a free display number and writes it to its
    // standard output, which is the pipe, when it accepts connections.
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"Xvfb", "-displayfd", "1", "-screen", "0",
                                 "1280x1024x24", "-nolisten", "tcp",
                                 "-noreset"},
        env, log_dir_->path(), log_dir_->path() + "/xvfb.log", fds[1]);
  } catch (...) {
    close(fds[0]);
    close(fds[1]);
    throw;
  }
  close(fds[1]);
  std::string number = ReadDisplayNumber(fds[0], std::chrono::seconds(20));
  close(fds[0]);
  if (number.empty()) {
    throw std::runtime_error("Xvfb did not report a display: " +
                             ReadFileBytes(log_dir_->path() + "/xvfb.log")
                                 .value_or(""));
  }
  name_ = ":" + number;
}

XDisplay::~XDisplay() {
  if (server_) server_->Stop();
}

Environment XDisplay::ToolEnvironment() const {
  return {{"DISPLAY", name_},
          {"PATH", std::getenv("PATH") ? std::getenv("PATH") : ""},
          {"LC_ALL", "C"}};
}

CommandResult XDisplay::Xdotool(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv, ToolEnvironment());
}

std::vector<WindowId> XDisplay::FindVisibleWindows(
    const std::string& title) const {
  // xdotool walks the window tree and dies of an X error (BadWindow) when a
  // window goes away under it, a tooltip say; that reads like "none found",
  // so an empty answer is asked again before it is believed.
  CommandResult result;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    result = Xdotool({"search", "--onlyvisible", "--name", title});
    if (result.exit_status == 0 && !result.output.empty()) break;
  }
  std::vector<WindowId> windows;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty()) windows.push_back(std::stoul(line));
  }
  return windows;
}

WindowGeometry XDisplay::Geometry(WindowId window) const {
  CommandResult result =
      Xdotool({"getwindowgeometry", "--shell", std::to_string(window)});
  WindowGeometry geometry;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    int value = std::atoi(line.c_str() + equals + 1);
    if (key == "X") geometry.x = value;
    if (key == "Y") geometry.y = value;
    if (key == "WIDTH") geometry.width = value;
    if (key == "HEIGHT") geometry.height = value;
  }
  return geometry;
}

void XDisplay::Activate(WindowId window) const {
  Xdotool({"windowraise", std::to_string(window)});
  Xdotool({"windowfocus", std::to_string(window)});
}

void XDisplay::MoveTo(WindowId window, int x, int y) const {
  Xdotool({"mousemove", "--window", std::to_string(window), std::to_string(x),
           std::to_string(y)});
}

void XDisplay::ClickAt(WindowId window, int x, int y) const {
  MoveTo(window, x, y);
  Xdotool({"click", "1"});
}

void XDisplay::Type(const std::string& text) const {
  Xdotool({"type", "--delay", "8", "--", text});
}

void XDisplay::Key(const std::string& keys) const {
  Xdotool({"key", "--", keys});
}

void XDisplay::Resize(WindowId window, int width, int height) const {
  Xdotool({"windowsize", std::to_string(window), std::to_string(width),
           std::to_string(height)});
}

void XDisplay::RequestClose(WindowId window) const {
  ::Display* connection = XOpenDisplay(name_.c_str());
  if (connection == nullptr) {
    throw std::runtime_error("cannot open display " + name_);
  }
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(connection, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] =
      static_cast<long>(XInternAtom(connection, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(connection, window, False, NoEventMask, &event);
  XFlush(connection);
  XCloseDisplay(connection);
}

void XDisplay::Screenshot(WindowId window, const std::string& path) const {
  CommandResult result =
      RunCommand({"import", "-display", name_, "-window",
                  std::to_string(window), path},
                 ToolEnvironment(), std::chrono::seconds(20));
  if (result.exit_status != 0) {
    throw std::runtime_error("import failed for " + path);
  }
}

XDisplay& Display() {
  if (!DisplaySlot()) throw std::logic_error("the X display is not started");
  return *DisplaySlot();
}

void StartDisplay() { DisplaySlot() = std::make_unique<XDisplay>(); }

void StopDisplay() { DisplaySlot().reset(); }

}  // namespace scrivlet::e2e
