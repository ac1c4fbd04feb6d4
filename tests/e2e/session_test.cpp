// Start, reset and end of a recording session, and the main window's look.
#include <filesystem>

#include "scrivlet_fixture.h"

namespace scrivlet::e2e {
namespace {

class SessionTest : public ScrivletTest {
 protected:
  // A message shown at start, before the main window: it is acknowledged,
  // then the main window asks for credentials as usual.
  void AcknowledgeStartMessageAndAnswerDialogs() {
    ASSERT_TRUE(AcknowledgeMessage()) << "no message box appeared";
    ASSERT_NE(MainWindow(), 0u);
    AnswerDialog("Network Login", std::nullopt);
    AnswerDialog("Proxy Login", std::nullopt);
  }
};

TEST_F(SessionTest, MissingAgentIniShowsTheWarningAndEndsWithoutTouchingFiles) {
  installation_.RemoveAgentIni();
  const auto trans_name_before = ReadFileBytes(installation_.TransNamePath());
  StartProgram();

  WindowId message = WaitForMessage();
  ASSERT_NE(message, 0u) << "no message box appeared";
  // The message is all there is: the main window is never shown.
  for (WindowId window : Display().FindVisibleWindows("^Nerovant Scrivlet$")) {
    WindowGeometry geometry = Display().Geometry(window);
    EXPECT_FALSE(geometry.width >= kMainWidth && geometry.height >= kMainHeight)
        << "a window of the main window's size is visible";
  }
  EXPECT_FALSE(FileExists(installation_.TransXmlPath()));

  Display().Activate(message);
  Display().Key("Return");
  std::optional<int> status = WaitForProgramExit();
  ASSERT_TRUE(status.has_value()) << "the program did not end";
  EXPECT_NE(*status, 0);
  EXPECT_FALSE(FileExists(installation_.TransXmlPath()));
  EXPECT_EQ(ReadFileBytes(installation_.TransNamePath()), trans_name_before);
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(SessionTest, StartAsksForCredentialsAndWritesOnlyTheDocumentStart) {
  StartAndAnswerDialogs(Typed{"alice", "wonder"}, Typed{"bob", "builder"});

  EXPECT_EQ(Document(), kDocumentStart);
  EXPECT_TRUE(MessageWindows().empty());
  // The intro page is a local file: nothing reaches the web server.
  EXPECT_TRUE(server_.Requests().empty());
  ExpectDocumentThenSentinel("");
}

// The agent may pass a task's arguments; the program starts as without them.
TEST_F(SessionTest, ArgumentsOnTheCommandLineAreIgnored) {
  StartProgram({"task.xml", "--task-id=7"});
  ASSERT_NE(MainWindow(), 0u) << "the main window did not appear";
  AnswerDialog("Network Login", std::nullopt);
  AnswerDialog("Proxy Login", std::nullopt);

  EXPECT_TRUE(program_->IsRunning());
  EXPECT_EQ(Document(), kDocumentStart);
  EXPECT_TRUE(MessageWindows().empty());
  ExpectDocumentThenSentinel("");
}

// A working directory whose path holds a blank, "#", "?" and "%": the intro
// page must still load from it, and nothing of it is recorded. This intro
// page shows an image from the test server, so that its loading is seen.
class OddWorkingDirectoryTest : public ScrivletTest {
 protected:
  OddWorkingDirectoryTest() : ScrivletTest("agent 2/task #3?50%") {}
};

TEST_F(OddWorkingDirectoryTest, IntroPageLoadsAndTheSessionRecords) {
  WriteFileBytes(installation_.IntroPath(),
                 "<!DOCTYPE html><html><body><p>intro</p><img src=\"" +
                     server_.Url("/beacon?page=intro") + "\"></body></html>");
  StartAndAnswerDialogs();
  EXPECT_TRUE(server_.WaitForBeacon("intro", 1)) << "the intro page did not load";
  EXPECT_EQ(Document(), kDocumentStart);

  NavigateTo("/page");
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")));
}

TEST_F(SessionTest, ExistingDocumentIsKeptAndAppendedTo) {
  const std::string earlier = std::string(kDocumentStart) +
                              ExpectedGet("http://earlier.invalid/x");
  WriteFileBytes(installation_.TransXmlPath(), earlier);
  StartAndAnswerDialogs();

  EXPECT_EQ(Document(), earlier);
  ExpectDocumentThenSentinel(ExpectedGet("http://earlier.invalid/x"));
}

TEST_F(SessionTest, ClosingTheWindowDeletesBothWorkingFilesAndEnds) {
  StartAndAnswerDialogs();
  NavigateTo("/page");
  WaitForElements(1);

  Display().RequestClose(MainWindow());
  std::optional<int> status = WaitForProgramExit();
  ASSERT_TRUE(status.has_value()) << "the program did not end";
  EXPECT_EQ(*status, 0);
  EXPECT_FALSE(FileExists(installation_.TransXmlPath()));
  EXPECT_FALSE(FileExists(installation_.TransNamePath()));
  EXPECT_TRUE(FileExists(installation_.AgentIniPath()));
  EXPECT_TRUE(FileExists(installation_.IntroPath()));
}

TEST_F(SessionTest, ClosingWithTheNameFileAlreadyGoneStillDeletesTheDocument) {
  StartAndAnswerDialogs();
  std::filesystem::remove(installation_.TransNamePath());

  Display().RequestClose(MainWindow());
  std::optional<int> status = WaitForProgramExit();
  ASSERT_TRUE(status.has_value()) << "the program did not end";
  EXPECT_EQ(*status, 0);
  EXPECT_FALSE(FileExists(installation_.TransXmlPath()));
}

TEST_F(SessionTest, ResetTransactionStartsOverWithTheIntroPageAndTheDialogs) {
  StartAndAnswerDialogs();
  NavigateTo("/page");
  ClickInPage(kBox1);
  WaitForPage("/link?a=1&b=2");
  WaitForElements(2);
  const auto trans_name_before = ReadFileBytes(installation_.TransNamePath());

  ClickControl(kResetTransaction);
  // The intro page completes again, so both dialogs come again.
  AnswerDialog("Network Login", std::nullopt);
  AnswerDialog("Proxy Login", std::nullopt);

  EXPECT_EQ(Document(), kDocumentStart);
  EXPECT_EQ(ReadFileBytes(installation_.TransNamePath()), trans_name_before);
  EXPECT_TRUE(MessageWindows().empty());
  // The same page as before is recorded again: nothing of the previous
  // transaction's pending state survives.
  NavigateTo("/page");
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")));
}

TEST_F(SessionTest, MissingNameFileIsReportedAndTheTransactionStartsAnyway) {
  std::filesystem::remove(installation_.TransNamePath());
  StartProgram();

  ASSERT_NO_FATAL_FAILURE(AcknowledgeStartMessageAndAnswerDialogs());

  EXPECT_EQ(Document(), kDocumentStart);
  ExpectDocumentThenSentinel("");
}

// A proxy written with a scheme is no proxy the browser can use: the user is
// told once, and pages load directly.
TEST_F(SessionTest, UnusableProxySettingsAreReportedAndPagesLoadDirectly) {
  installation_.WriteAgentIni(
      {DefaultAgentIni()[0], "ProxyHost=http://proxy.invalid", "ProxyPort=3128"});
  StartProgram();

  ASSERT_NO_FATAL_FAILURE(AcknowledgeStartMessageAndAnswerDialogs());
  EXPECT_TRUE(MessageWindows().empty());

  NavigateTo("/page");
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")));
}

TEST_F(SessionTest, TickedCheckBoxesSkipTheDialogsOnReset) {
  StartAndAnswerDialogs();
  ClickControl(kCheck1);
  ClickControl(kCheck2);

  ClickControl(kResetTransaction);
  // With a dialog showing, the main window takes no input and the sentinel
  // page would never load.
  ExpectDocumentThenSentinel("");
  EXPECT_TRUE(Display().FindVisibleWindows("^(Network|Proxy) Login$").empty());
}

TEST_F(SessionTest, ResizingGrowsTheBrowserAndMovesTheCheckBoxes) {
  StartAndAnswerDialogs();
  NavigateTo("/size");
  // At design size the browser is 10095 by 8175 twips.
  WaitForPage("size-673x545");

  // 3000 twips wider and 1500 twips taller: the browser grows by as much.
  Display().Resize(MainWindow(), kMainWidth + 200, kMainHeight + 100);
  WaitForPage("size-873x645");

  // The check boxes keep their distance from the bottom edge: Check1 is
  // now 1500 twips lower. Ticked there, it keeps the realm dialog away.
  Display().Activate(MainWindow());
  Control lowered_check1 = kCheck1;
  lowered_check1.top += 1500;
  const PagePoint check1 = Centre(lowered_check1);
  Display().ClickAt(MainWindow(), check1.x, check1.y);
  ClickControl(kResetTransaction);
  WindowId first = WaitForWindow("^(Network|Proxy) Login$");
  ASSERT_NE(first, 0u);
  EXPECT_EQ(Display().FindVisibleWindows("^Proxy Login$"),
            std::vector<WindowId>{first})
      << "the realm dialog came although Check1 was ticked";
}

TEST_F(SessionTest, MainWindowAtDesignSizeScreenshot) {
  StartAndAnswerDialogs();
  NavigateTo("/page");
  WindowId main = MainWindow();

  WindowGeometry geometry = Display().Geometry(main);
  EXPECT_EQ(geometry.width, kMainWidth);
  EXPECT_EQ(geometry.height, kMainHeight);

  std::filesystem::create_directories(E2E_ARTIFACT_DIR);
  const std::string shot = std::string(E2E_ARTIFACT_DIR) + "/main_window.png";
  std::filesystem::remove(shot);
  Display().Screenshot(main, shot);
  CommandResult size = RunCommand({"identify", "-format", "%wx%h", shot},
                                  {{"PATH", std::getenv("PATH")}});
  EXPECT_EQ(size.output, std::to_string(kMainWidth) + "x" +
                             std::to_string(kMainHeight));
  std::cout << "main window screenshot: " << shot << "\n";
}

// What a screen reader reads of the window "role|name" argv[1] over AT-SPI:
// a line "role|name|states" for each control that takes the focus and each
// caption, in the order Tab visits them. Exits 1 until they are there.
constexpr char kAccessibleControls[] = R"PY(
from pyatspi import *
import sys
flags = ((STATE_EDITABLE, 'editable'), (STATE_READ_ONLY, 'read only'))
def show(node, parent):
    role, states = node.getRoleName(), node.getState()
    shown = (states.contains(STATE_FOCUSABLE) or
             (role, parent) == ('label', 'filler'))
    if shown:
        names = [f for s, f in flags if states.contains(s)]
        print('|'.join([role, node.name] + names))
    return shown + sum(show(child, role) for child in node)
windows = [w for app in Registry.getDesktop(0) if app and app.name == 'scrivlet'
           for w in app if w.getRoleName() + '|' + w.name == sys.argv[1]]
sys.exit(0 if sum(show(w, '') for w in windows) else 1)
)PY";

class AccessibleTreeTest : public SessionTest {
 protected:
  // The program talks to assistive technologies on the test's own bus.
  void SetUp() override {
    const std::string socket = installation_.root() + "/session-bus";
    environment_changes_ = ProgramEnvironment(installation_);
    environment_changes_["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + socket;
    bus_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"dbus-daemon", "--session", "--nofork",
                                 "--address=unix:path=" + socket},
        environment_changes_, installation_.root(), socket + ".log");
    environment_changes_["GTK_A11Y"] = "atspi";
    ASSERT_TRUE(WaitUntil([&] { return FileExists(socket); }));
  }

  std::string Controls(const std::string& window) {
    CommandResult read;
    WaitUntil([&] {
      read = RunCommand({"/usr/bin/python3", "-c", kAccessibleControls, window},
                        environment_changes_);
      return read.exit_status == 0;
    });
    return read.output;
  }

  std::unique_ptr<ChildProcess> bus_;
};

TEST_F(AccessibleTreeTest, ControlsAreNamedPasswordsHiddenAndTabGoesRowByRow) {
  std::filesystem::remove(installation_.TransNamePath());  // a message first
  StartProgram();
  ASSERT_NE(WaitForMessage(), 0u);
  EXPECT_EQ(Controls("dialog|Nerovant Scrivlet"), "push button|OK\n");
  Display().Key("Return");
  ASSERT_NE(WaitForWindow("^Network Login$"), 0u);
  EXPECT_EQ(Controls("frame|Nerovant Scrivlet"),
            "push button|Location\ntext|Address|editable\npush button|< Back\n"
            "push button|Forward >\npush button|Refresh\nlabel|Progress:\n"
            "text|Progress:|read only\npush button|Save Transaction\n"
            "push button|Reset Transaction\n"
            "check box|Do not prompt for realm username and password\n"
            "check box|Do not prompt for proxy username and password\n"
            "label|Status\n");
  const std::string credentials =
      "label|User Name:\ntext|User Name:|editable\nlabel|Password:\n"
      "password text|Password:|editable\npush button|OK\npush button|Cancel\n";
  for (const std::string dialog : {"Network Login", "Proxy Login"}) {
    EXPECT_EQ(Controls("dialog|" + dialog).substr(0, credentials.size()),
              credentials);
    AnswerDialog(dialog, std::nullopt);
  }
  NavigateTo("/page");
  WaitForElements(1);
  OpenRecordedRequests();
  // A row is read by its columns' texts.
  EXPECT_EQ(Controls("frame|Recorded Requests"),
            "entry|Filter the requests|editable\npush button|Delete Request\n"
            "push button|Check Replay\n"
            "check box|Record requests made by page scripts\n"
            "filler|Divider between the list and the selected request\n"
            "scroll pane|Recorded requests\ntable row|Column headings\n"
            "list|Recorded requests\ntable row|1, GET, 200, " +
                server_.Url("/page") +
                ", 0\npanel|Selected request\nscroll pane|XML\n"
                "text|XML of the selected request|read only\nscroll pane|Form\n"
                "text|Form fields of the selected request|read only\n");
}

}  // namespace
}  // namespace scrivlet::e2e
