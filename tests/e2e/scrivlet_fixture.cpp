#include "scrivlet_fixture.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace scrivlet::e2e {
namespace {

// Thrown by the waiting helpers: gtest reports it as a failure of the test
// and ends the test there, instead of letting it hang or go on blind.
class WaitFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

const char kIntroPage[] =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
    "<title>Scrivlet</title></head><body><h1>Recording</h1>"
    "<p>Type an address into the address box to start recording.</p>"
    "</body></html>\n";

std::string Tail(const std::string& text, size_t count) {
  return text.size() <= count ? text : text.substr(text.size() - count);
}

std::string TestPath() {
  return std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
}

// What the container needs, read once from the script that holds it.
const Environment& ContainerEnvironment() {
  static const Environment environment = [] {
    const CommandResult printed =
        RunCommand({"bash", WEBKIT_ENV_SCRIPT}, {{"PATH", TestPath()}});
    if (printed.exit_status != 0) {
      throw std::runtime_error(std::string("bash ") + WEBKIT_ENV_SCRIPT +
                               " failed");
    }
    Environment read;
    std::istringstream lines(printed.output);
    for (std::string line; std::getline(lines, line);) {
      const size_t equals = line.find('=');
      if (equals == std::string::npos) continue;
      read[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return read;
  }();
  return environment;
}

}  // namespace

AgentInstallation::AgentInstallation(std::string task_dir)
    : root_("scrivlet-install-"), task_dir_(std::move(task_dir)) {
  std::filesystem::create_directories(root() + "/configuration");
  std::filesystem::create_directories(WorkDir());
  std::filesystem::create_directories(HomeDir());
  WriteFileBytes(IntroPath(), kIntroPage);
  WriteTransName("E2E Checkout", "0f8fad5b-d9cb-469f-a165-70867728950e");
}

void AgentInstallation::WriteAgentIni(
    const std::vector<std::string>& lines) const {
  std::string text = "[agent]\r\n";
  for (const auto& line : lines) text += line + "\r\n";
  WriteFileBytes(AgentIniPath(), text);
}

void AgentInstallation::RemoveAgentIni() const {
  std::filesystem::remove(AgentIniPath());
}

void AgentInstallation::WriteTransName(const std::string& name,
                                       const std::string& uuid) const {
  WriteFileBytes(TransNamePath(),
                 "transactionName=" + name + "\r\nuuid=" + uuid + "\r\n");
}

Environment ProgramEnvironment(const AgentInstallation& installation) {
  const std::string home = installation.HomeDir();
  const std::string runtime = home + "/runtime";
  std::filesystem::create_directories(runtime);
  chmod(runtime.c_str(), 0700);
  Environment environment = {
      {"PATH", TestPath()},
      {"HOME", home},
      {"XDG_CONFIG_HOME", home + "/config"},
      {"XDG_CACHE_HOME", home + "/cache"},
      {"XDG_DATA_HOME", home + "/data"},
      {"XDG_STATE_HOME", home + "/state"},
      {"XDG_RUNTIME_DIR", runtime},
      {"TMPDIR", home},
      {"LC_ALL", "C"},
      {"DISPLAY", Display().name()},
      // No session bus: a bus address that leads nowhere, so that nothing
      // tries to start one behind the test's back.
      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home + "/no-session-bus"},
  };
  environment.insert(ContainerEnvironment().begin(),
                     ContainerEnvironment().end());
  return environment;
}

std::string ScrivletBinary() { return SCRIVLET_BINARY_PATH; }
std::string StandInServerBinary() { return STAND_IN_SERVER_BINARY_PATH; }

int CountElements(const std::string& document) {
  int count = 0;
  const std::string end = "</REQUEST>\r\n";
  for (size_t at = document.find(end); at != std::string::npos;
       at = document.find(end, at + end.size())) {
    ++count;
  }
  return count;
}

ScrivletTest::ScrivletTest(const std::string& task_dir)
    : installation_(task_dir) {
  installation_.WriteAgentIni(DefaultAgentIni());
}

std::vector<std::string> ScrivletTest::DefaultAgentIni() const {
  return {"dbmgmtsrvurl=" + server_.Url(kManagementPrefix)};
}

void ScrivletTest::TearDown() {
  if (HasFailure()) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string file = std::string(info->test_suite_name()) + "." +
                       info->name() + ".png";
    for (char& c : file) {
      if (c == '/') c = '_';
    }
    std::string shot = std::string(E2E_ARTIFACT_DIR) + "/" + file;
    std::filesystem::create_directories(E2E_ARTIFACT_DIR);
    RunCommand({"import", "-display", Display().name(), "-window", "root",
                shot},
               {{"PATH", std::getenv("PATH") ? std::getenv("PATH") : ""}},
               20s);
    std::cerr << "screen at failure: " << shot << "\n";
    std::cerr << "trans.xml at failure:\n"
              << ReadFileBytes(installation_.TransXmlPath()).value_or("(none)")
              << "\n";
    std::cerr << "program log (tail):\n"
              << Tail(ReadFileBytes(installation_.root() + "/scrivlet.log")
                          .value_or(""),
                      6000)
              << "\n";
  }
  program_.reset();
  // A GLib critical or warning is a misuse of the toolkit or a failure
  // caught at a callback's edge: the test fails where it happened.
  std::istringstream log(
      ReadFileBytes(installation_.root() + "/scrivlet.log").value_or(""));
  for (std::string line; std::getline(log, line);) {
    if (line.find("CRITICAL **") != std::string::npos ||
        line.find("WARNING **") != std::string::npos) {
      ADD_FAILURE() << "the program printed: " << line;
    }
  }
}

void ScrivletTest::StartProgram(const std::vector<std::string>& arguments) {
  if (!FileExists(ScrivletBinary())) {
    throw std::runtime_error("the program is not built: " + ScrivletBinary());
  }
  std::vector<std::string> argv{ScrivletBinary()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  Environment environment = ProgramEnvironment(installation_);
  for (const auto& [name, value] : environment_changes_) {
    environment[name] = value;
  }
  program_ = std::make_unique<ChildProcess>(
      argv, environment, installation_.WorkDir(),
      installation_.root() + "/scrivlet.log");
}

void ScrivletTest::StartAndWaitForMainWindow() {
  StartProgram();
  if (MainWindow() == 0) {
    throw WaitFailure("the main window \"Nerovant Scrivlet\" did not appear");
  }
}

void ScrivletTest::StartAndAnswerDialogs(const std::optional<Typed>& realm,
                                         const std::optional<Typed>& proxy) {
  StartAndWaitForMainWindow();
  AnswerDialog("Network Login", realm);
  AnswerDialog("Proxy Login", proxy);
}

void ScrivletTest::AnswerDialog(const std::string& title,
                                const std::optional<Typed>& typed) {
  WindowId dialog = WaitForWindow("^" + title + "$");
  if (dialog == 0) throw WaitFailure("the dialog \"" + title + "\" did not appear");
  Display().Activate(dialog);
  if (typed) {
    if (!typed->user.empty()) Display().Type(typed->user);
    Display().Key("Tab");
    if (!typed->password.empty()) Display().Type(typed->password);
    Display().Key("Return");
  } else {
    Display().Key("Escape");
  }
  if (!WaitForWindowGone(dialog, "^" + title + "$")) {
    throw WaitFailure("the dialog \"" + title + "\" did not close");
  }
}

void ScrivletTest::AcceptDialogAsShown(const std::string& title) {
  WindowId dialog = WaitForWindow("^" + title + "$");
  if (dialog == 0) throw WaitFailure("the dialog \"" + title + "\" did not appear");
  Display().Activate(dialog);
  Display().Key("Return");
  if (!WaitForWindowGone(dialog, "^" + title + "$")) {
    throw WaitFailure("the dialog \"" + title + "\" did not close");
  }
}

WindowId ScrivletTest::MainWindow() {
  if (main_window_ != 0) return main_window_;
  WaitUntil([this] {
    for (WindowId window : Display().FindVisibleWindows("^Nerovant Scrivlet$")) {
      WindowGeometry geometry = Display().Geometry(window);
      if (geometry.width >= kMainWidth && geometry.height >= kMainHeight) {
        main_window_ = window;
        return true;
      }
    }
    return program_ && !program_->IsRunning();
  });
  return main_window_;
}

std::vector<WindowId> ScrivletTest::MessageWindows() {
  std::vector<WindowId> messages;
  for (WindowId window : Display().FindVisibleWindows("^Nerovant Scrivlet$")) {
    if (window != main_window_) messages.push_back(window);
  }
  return messages;
}

bool ScrivletTest::AcknowledgeMessage() {
  const WindowId message = WaitForMessage();
  if (message == 0) return false;
  Display().Activate(message);
  Display().Key("Return");
  return WaitForWindowGone(message, "^Nerovant Scrivlet$");
}

bool ScrivletTest::ConfirmQuestion() {
  const WindowId question = WaitForMessage();
  if (question == 0) return false;
  Display().Activate(question);
  Display().Key("shift+Tab");
  Display().Key("Return");
  return true;
}

WindowId ScrivletTest::OpenRecordedRequests() {
  ClickInPage({600, 450});  // a blank part of every test page
  Display().Key("F9");
  const WindowId window = WaitForWindow("^Recorded Requests$");
  if (window == 0) throw WaitFailure("no \"Recorded Requests\" window appeared");
  return window;
}

WindowId ScrivletTest::WaitForMessage() {
  WindowId found = 0;
  WaitUntil([&] {
    for (WindowId window : Display().FindVisibleWindows("^Nerovant Scrivlet$")) {
      WindowGeometry geometry = Display().Geometry(window);
      if (geometry.width < kMainWidth || geometry.height < kMainHeight) {
        found = window;
      }
    }
    return found != 0 || (program_ && !program_->IsRunning());
  });
  return found;
}

WindowId ScrivletTest::WaitForWindow(const std::string& title) {
  WindowId found = 0;
  WaitUntil([&] {
    auto windows = Display().FindVisibleWindows(title);
    if (!windows.empty()) found = windows.back();
    return found != 0 || (program_ && !program_->IsRunning());
  });
  return found;
}

bool ScrivletTest::WaitForWindowGone(WindowId window, const std::string& title) {
  return WaitUntil([&] {
    for (WindowId visible : Display().FindVisibleWindows(title)) {
      if (visible == window) return false;
    }
    return true;
  });
}

void ScrivletTest::ClickControl(const Control& control) {
  WindowId main = MainWindow();
  if (main == 0) throw WaitFailure("no main window to click on");
  Display().Activate(main);
  const PagePoint centre = Centre(control);
  Display().ClickAt(main, centre.x, centre.y);
}

void ScrivletTest::ClickPopupControl(WindowId popup, const Control& control) {
  Display().Activate(popup);
  const PagePoint centre = Centre(control);
  Display().ClickAt(popup, centre.x, centre.y);
}

void ScrivletTest::ClickInPage(PagePoint point) {
  WindowId main = MainWindow();
  if (main == 0) throw WaitFailure("no main window to click on");
  Display().Activate(main);
  Display().ClickAt(main, kMainPageLeft + point.x, kMainPageTop + point.y);
}

void ScrivletTest::ClickInPopup(WindowId popup, PagePoint point) {
  Display().Activate(popup);
  Display().ClickAt(popup, kPopupPageLeft + point.x, kPopupPageTop + point.y);
}

void ScrivletTest::TypeAddress(const std::string& url) {
  ClickControl(kText1);
  Display().Key("ctrl+a");
  Display().Type(url);
  Display().Key("Return");
}

void ScrivletTest::NavigateTo(const std::string& path_and_query) {
  int loads = server_.BeaconCount(path_and_query) + 1;
  TypeAddress(server_.Url(path_and_query));
  WaitForPage(path_and_query, loads);
}

void ScrivletTest::WaitForPage(const std::string& path_and_query, int count) {
  if (!server_.WaitForBeacon(path_and_query, count, kWaitTimeout)) {
    throw WaitFailure("the page " + path_and_query + " did not load (" +
                      std::to_string(count) + " times expected)");
  }
}

WindowId ScrivletTest::OpenPopupFrom(const std::string& opener,
                                     const std::string& popup_page) {
  NavigateTo(opener);
  ClickInPage(kBox1);
  const WindowId popup = WaitForWindow("^Popup$");
  if (popup == 0) throw WaitFailure("no \"Popup\" window appeared");
  WaitForPage(popup_page);
  return popup;
}

void ScrivletTest::ExpectBackAndForwardRecorded(
    const std::function<void()>& back, const std::function<void()>& forward) {
  NavigateTo("/page");
  ClickInPage(kBox1);
  WaitForPage("/link?a=1&b=2");

  back();
  WaitForPage("/page", 2);
  WaitForElements(3);
  forward();
  WaitForPage("/link?a=1&b=2", 2);

  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")) +
                             ExpectedGet(server_.Url("/link?a=1&b=2")) +
                             ExpectedGet(server_.Url("/page")) +
                             ExpectedGet(server_.Url("/link?a=1&b=2")));
}

std::string ScrivletTest::Document() const {
  return ReadFileBytes(installation_.TransXmlPath()).value_or("");
}

void ScrivletTest::WaitForElements(int count) {
  if (!WaitUntil([&] { return CountElements(Document()) >= count; })) {
    throw WaitFailure("trans.xml did not reach " + std::to_string(count) +
                      " REQUEST elements; it holds:\n" + Document());
  }
}

void ScrivletTest::ExpectDocumentThenSentinel(
    const std::string& elements, const CredentialLines& credentials) {
  std::string sentinel = "/sentinel?n=" + std::to_string(++sentinel_count_);
  int before = CountElements(kDocumentStart + elements);
  NavigateTo(sentinel);
  WaitForElements(before + 1);
  EXPECT_EQ(Document(), kDocumentStart + elements +
                            ExpectedGet(server_.Url(sentinel), credentials));
}

std::optional<int> ScrivletTest::WaitForProgramExit() {
  if (!program_) return std::nullopt;
  return program_->WaitForExit(kWaitTimeout);
}

}  // namespace scrivlet::e2e
