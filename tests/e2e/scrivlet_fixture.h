#ifndef SCRIVLET_TESTS_E2E_SCRIVLET_FIXTURE_H_
#define SCRIVLET_TESTS_E2E_SCRIVLET_FIXTURE_H_

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "expected_document.h"
#include "session/window_layout.h"
#include "subprocess.h"
#include "test_web_server.h"
#include "ui/window_design.h"
#include "waiting.h"
#include "x_display.h"

namespace scrivlet::e2e {

using namespace std::chrono_literals;

// A control at its place in its window at design size, in twips. The places
// are the program's own design table; the tests name the controls by the
// captions a user sees.
using Control = DesignRect;
inline constexpr Control kLocation = main_window_design::kGo;
inline constexpr Control kText1 = main_window_design::kText1;
inline constexpr Control kBack = main_window_design::kBack;
inline constexpr Control kForward = main_window_design::kForward;
inline constexpr Control kSaveTransaction = main_window_design::kEndRecord;
inline constexpr Control kRefresh = main_window_design::kRefreshButton;
inline constexpr Control kResetTransaction = main_window_design::kReset;
inline constexpr Control kCheck1 = main_window_design::kCheck1;
inline constexpr Control kCheck2 = main_window_design::kCheck2;
// The pop-up window's "Refresh".
inline constexpr Control kPopupRefresh = popup_design::kRefreshButton;

// The middle of a control, in pixels from its window's top left corner.
inline constexpr PagePoint Centre(const Control& control) {
  return {control.left / kTwipsPerPixel + control.width / (2 * kTwipsPerPixel),
          control.top / kTwipsPerPixel + control.height / (2 * kTwipsPerPixel)};
}

// The windows' client areas at design size, in pixels.
inline constexpr int kMainWidth = main_window_design::kForm.width / kTwipsPerPixel;
inline constexpr int kMainHeight =
    main_window_design::kForm.height / kTwipsPerPixel;
inline constexpr int kPopupWidth = popup_design::kForm.width / kTwipsPerPixel;
inline constexpr int kPopupHeight = popup_design::kForm.height / kTwipsPerPixel;
// Where the browsers' pages start inside their windows, in pixels.
inline constexpr int kMainPageLeft =
    main_window_design::kWebBrowser1.left / kTwipsPerPixel;
inline constexpr int kMainPageTop =
    main_window_design::kWebBrowser1.top / kTwipsPerPixel;
inline constexpr int kPopupPageLeft =
    popup_design::kWebBrowser1.left / kTwipsPerPixel;
inline constexpr int kPopupPageTop =
    popup_design::kWebBrowser1.top / kTwipsPerPixel;

// An agent installation in a fresh temporary directory:
//   ROOT/configuration/agent.ini
//   ROOT/agent/task/            the program's working directory, holding
//                               transName.txt and scrivletIntro.html
class AgentInstallation {
 public:
  // `task_dir` is the working directory's path below ROOT, two levels deep.
  explicit AgentInstallation(std::string task_dir = "agent/task");

  const std::string& root() const { return root_.path(); }
  std::string WorkDir() const { return root() + "/" + task_dir_; }
  std::string AgentIniPath() const {
    return root() + "/configuration/agent.ini";
  }
  std::string TransXmlPath() const { return WorkDir() + "/trans.xml"; }
  std::string TransNamePath() const { return WorkDir() + "/transName.txt"; }
  std::string IntroPath() const { return WorkDir() + "/scrivletIntro.html"; }
  std::string HomeDir() const { return root() + "/home"; }

  // Writes agent.ini with these lines (CR LF endings, as the agent writes
  // it). Each line is written exactly as given.
  void WriteAgentIni(const std::vector<std::string>& lines) const;
  void RemoveAgentIni() const;
  void WriteTransName(const std::string& name, const std::string& uuid) const;

 private:
  TempDir root_;
  std::string task_dir_;
};

// The hermetic environment in which the program runs: nothing from the
// test's own environment but PATH, a temporary home and XDG directories,
// the C locale, this process's X display, no session bus, and what WebKit
// and GTK need in a container under Xvfb, as scripts/lib/webkit-env.bash
// prints it (the scripts source the same file).
Environment ProgramEnvironment(const AgentInstallation& installation);

// Path of the program under test and of the stand-in management server.
std::string ScrivletBinary();
std::string StandInServerBinary();

// Number of REQUEST elements in a transaction document.
int CountElements(const std::string& document);

// What is typed into a credential dialog: the user name, Tab, the password.
struct TypedCredentials {
  std::string user;
  std::string password;
};

// Base of every end-to-end test: a recording web server, an agent
// installation whose agent.ini points the management server at that web
// server, and helpers to run the real program and give it real input.
class ScrivletTest : public ::testing::Test {
 protected:
  // The program's working directory is `task_dir` below the installation's
  // root.
  explicit ScrivletTest(const std::string& task_dir = "agent/task");
  void TearDown() override;

  // The agent.ini lines every test starts with (management server on this
  // test's web server); tests add lines with WriteAgentIni before starting.
  std::vector<std::string> DefaultAgentIni() const;

  // Starts the program in the installation's working directory, with
  // `arguments` after its name.
  void StartProgram(const std::vector<std::string>& arguments = {});
  // Starts the program and waits for its main window; fails the test when
  // it does not come.
  void StartAndWaitForMainWindow();
  // Starts the program and answers both credential dialogs: with user name
  // and password typed and Return, or with Escape when nullopt.
  using Typed = TypedCredentials;
  void StartAndAnswerDialogs(const std::optional<Typed>& realm = std::nullopt,
                             const std::optional<Typed>& proxy = std::nullopt);
  // Waits for the dialog titled `title` and answers it.
  void AnswerDialog(const std::string& title, const std::optional<Typed>& typed);
  // Waits for the dialog titled `title` and presses Return without typing.
  void AcceptDialogAsShown(const std::string& title);

  // The main window (a visible window titled "Nerovant Scrivlet" of at least
  // the design size); waits for it. 0 when it does not come.
  WindowId MainWindow();
  // Visible windows titled "Nerovant Scrivlet" that are not the main window:
  // the program's message boxes.
  std::vector<WindowId> MessageWindows();
  // Waits for a message box: a visible window titled "Nerovant Scrivlet"
  // smaller than the main window at design size. 0 when none comes (or the
  // program ends first).
  WindowId WaitForMessage();
  // Waits for a message box, answers it with Return and waits for it to
  // go; false when none comes or it stays.
  bool AcknowledgeMessage();
  // Waits for a question whose default is Cancel and answers it with the
  // button before Cancel; false when none comes.
  bool ConfirmQuestion();
  // Presses F9 over the page and waits for "Recorded Requests"; throws
  // when it does not come.
  WindowId OpenRecordedRequests();
  // Waits for a visible window whose title matches `title`; 0 when none
  // comes.
  WindowId WaitForWindow(const std::string& title);
  bool WaitForWindowGone(WindowId window, const std::string& title);

  void ClickControl(const Control& control);
  void ClickPopupControl(WindowId popup, const Control& control);
  // Clicks a point of the page shown in the main window.
  void ClickInPage(PagePoint point);
  void ClickInPopup(WindowId popup, PagePoint point);
  // Types `url` into the address box and presses Return.
  void TypeAddress(const std::string& url);
  // Types the address of `path_and_query` on the test web server, presses
  // Return and waits until that page has loaded.
  void NavigateTo(const std::string& path_and_query);
  // Waits until the test web server's page `path_and_query` has loaded
  // `count` times in all.
  void WaitForPage(const std::string& path_and_query, int count = 1);
  // Loads `opener`, clicks its first box, which opens a pop-up, and waits
  // until the pop-up's page `popup_page` has loaded. Returns the pop-up.
  WindowId OpenPopupFrom(const std::string& opener,
                         const std::string& popup_page);
  // Browses /page and its link, then goes back with `back` and forward
  // again with `forward`, and expects all four navigations recorded.
  void ExpectBackAndForwardRecorded(const std::function<void()>& back,
                                    const std::function<void()>& forward);

  std::string Document() const;
  // Waits until trans.xml holds at least `count` REQUEST elements.
  void WaitForElements(int count);
  // Finishes a scenario: navigates to a fresh sentinel page, waits for its
  // element and then expects the document to be exactly the start line,
  // `elements` and the sentinel's element. Anything recorded that should
  // not have been shows up before the sentinel.
  void ExpectDocumentThenSentinel(const std::string& elements,
                                  const CredentialLines& credentials = {});

  // The program's exit status once it has ended; nullopt when it is still
  // running after the wait.
  std::optional<int> WaitForProgramExit();

  TestWebServer server_;
  AgentInstallation installation_;
  // Set before StartProgram: what replaces ProgramEnvironment's entries.
  Environment environment_changes_;
  std::unique_ptr<ChildProcess> program_;
  WindowId main_window_ = 0;
  int sentinel_count_ = 0;
};

}  // namespace scrivlet::e2e

#endif  // SCRIVLET_TESTS_E2E_SCRIVLET_FIXTURE_H_
