// A recording killed with SIGKILL at random moments, then started again in
// the same working directory: whatever the moment, the document after the
// restart's repair holds its first line and whole REQUEST elements, a prefix
// of what an uninterrupted run records, and the continued recording is
// saved and uploaded to the stand-in management server well-formed. The
// pages advance by themselves (a link followed by script, a form post by
// form.submit(), a 302 answer, a frame that navigates and then moves the top
// page), so the kill lands while the program is capturing.
#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <thread>

#include "hardening_support.h"
#include "stand_in_server.h"

namespace scrivlet::e2e::hardening {
namespace {

using Clock = std::chrono::steady_clock;

// Each page moves on this long after its load event.
constexpr char kAdvance[] = "200";

std::string AfterLoad(const std::string& action) {
  return std::string("addEventListener('load',function(){setTimeout("
                     "function(){") +
         action + "}," + kAdvance + ");});";
}

// Sends SIGKILL to a process at a moment set later, unless told to stand
// down first. Only kill(2) is used here: the process is reaped by the test
// thread, so its pid cannot be reused before the signal.
class Killer {
 public:
  explicit Killer(pid_t pid) : pid_(pid), thread_([this] { Run(); }) {}
  ~Killer() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  void KillAt(Clock::time_point moment) {
    {
      std::lock_guard lock(mutex_);
      moment_ = moment;
    }
    changed_.notify_all();
  }
  bool fired() const { return fired_; }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (!done_) {
      if (moment_) {
        if (changed_.wait_until(lock, *moment_, [this] { return done_; })) {
          return;
        }
        kill(pid_, SIGKILL);
        fired_ = true;
        return;
      }
      changed_.wait(lock);
    }
  }

  pid_t pid_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Clock::time_point> moment_;
  bool done_ = false;
  std::atomic<bool> fired_{false};
  std::thread thread_;
};

class KillTest : public HardeningTest {
 protected:
  KillTest() {
    installation_.WriteAgentIni({"dbmgmtsrvurl=" + management_.url()});
    site_.AddPage("/k/start",
                  BeaconPage("Start", "<p>start</p>",
                             AfterLoad("location.href='/k/a?x=1&y=2';")));
    site_.AddPage(
        "/k/a",
        BeaconPage("Form",
                   "<form method=\"post\" action=\"/k/post\">"
                   "<input name=\"a\" value=\"1\"><input name=\"b\" "
                   "value=\"x y\"></form>",
                   AfterLoad("document.forms[0].submit();")));
    site_.Add("/k/post", [](const RecordedRequest&) {
      return Reply{302, BeaconPage("Moved", "moved"), "/k/landing"};
    });
    site_.AddPage("/k/landing",
                  BeaconPage("Landing", "<p>landing</p>",
                             AfterLoad("location.href='/k/frames';")));
    site_.AddPage("/k/frames",
                  BeaconPage("Frames", "<iframe src=\"/k/fa\"></iframe>"));
    site_.AddPage("/k/fa", BeaconPage("Frame A", "<p>a</p>",
                                      AfterLoad("location.href='/k/fb';")));
    site_.AddPage("/k/fb",
                  BeaconPage("Frame B", "<p>b</p>",
                             AfterLoad("top.location.href='/k/end';")));
    site_.AddPage("/k/end", BeaconPage("End", "<p>end</p>"));
  }

  std::vector<std::string> ExpectedElements() const {
    return {
        ExpectedGet(site_.Url("/k/start")),
        ExpectedGet(site_.Url("/k/a?x=1&y=2")),
        ExpectedPost(site_.Url("/k/post"), "a=1&b=x+y",
                     "application/x-www-form-urlencoded"),
        ExpectedCompletion(site_.Url("/k/landing")),
        ExpectedGet(site_.Url("/k/frames")),
        ExpectedGet(site_.Url("/k/fa")),
        ExpectedGet(site_.Url("/k/fb")),
        ExpectedGet(site_.Url("/k/end")),
    };
  }

  // One whole run without a kill; gives how long the start (up to the
  // typed address) and the scripted pages took.
  void RunOnce(Clock::duration& start_time, Clock::duration& pages_time) {
    const int ends = site_.BeaconCount("/k/end") + 1;
    const auto started = Clock::now();
    StartRecording();
    const auto typed = Clock::now();
    TypeAddress(site_.Url("/k/start"));
    ASSERT_TRUE(site_.WaitForBeacon("/k/end", ends));
    WaitForElements(static_cast<int>(ExpectedElements().size()));
    pages_time = Clock::now() - typed;
    start_time = typed - started;
    std::string expected = kDocumentStart;
    for (const auto& element : ExpectedElements()) expected += element;
    ASSERT_EQ(Document(), expected);
    program_->Stop();
    ForgetProgram();
  }

  // Goes on recording in the restarted program (one page), saves, and
  // expects upload number `upload` to be the repaired document `repaired`
  // with that page's element and the closing line, accepted by the server;
  // then the program ends cleanly.
  void ContinueAndUpload(const std::string& repaired, int upload) {
    AnswerDialog("Network Login", std::nullopt);
    AnswerDialog("Proxy Login", std::nullopt);
    Visit("/k/end");
    WaitForElements(CountElements(repaired) + 1);
    const std::string document =
        repaired + ExpectedGet(site_.Url("/k/end")) + kDocumentEnd;
    ClickControl(kSaveTransaction);
    const std::string folder = management_.Upload(upload);
    // The server writes the verdict last; a whole one ends in a line end.
    const auto verdict = [&] {
      return ReadFileBytes(folder + "/verdict.txt").value_or("");
    };
    ASSERT_TRUE(WaitUntil([&] {
      return !verdict().empty() && verdict().back() == '\n';
    })) << "nothing was uploaded; trans.xml:\n" << Document();
    EXPECT_EQ(verdict(), "accepted\n");
    EXPECT_EQ(ReadFileBytes(folder + "/trans.xml"), JoinedLines(document));
    ASSERT_TRUE(AcknowledgeMessage()) << "no stopped message";
    const std::optional<int> status = WaitForProgramExit();
    ASSERT_TRUE(status.has_value()) << "the program did not end";
    EXPECT_EQ(*status, 0);
    ForgetProgram();
  }

  // Runs the scripted recording `kills` times, each killed at a random
  // moment of the start or of the pages, restarts the program on what the
  // kill left, checks the repaired document and continues and uploads it.
  void KillAtRandomMoments(int kills) {
    Clock::duration start_time{};
    Clock::duration pages_time{};
    RunOnce(start_time, pages_time);
    if (HasFatalFailure()) return;
    const std::vector<std::string> expected = ExpectedElements();

    const unsigned seed =
        std::getenv("SCRIVLET_KILL_SEED")
            ? static_cast<unsigned>(std::atoi(std::getenv("SCRIVLET_KILL_SEED")))
            : std::random_device{}();
    std::cout << "kill seed " << seed << " (set SCRIVLET_KILL_SEED to repeat)\n";
    std::mt19937 random(seed);
    // One kill in five falls into the start, the rest into the pages.
    std::uniform_int_distribution<int> phase(0, 4);
    std::uniform_int_distribution<long> start_us(
        0, std::chrono::duration_cast<std::chrono::microseconds>(start_time)
               .count());
    std::uniform_int_distribution<long> pages_us(
        0, std::chrono::duration_cast<std::chrono::microseconds>(pages_time)
                   .count() *
               5 / 4);

    std::vector<int> elements_at_kill(expected.size() + 1, 0);
    int survived = 0;
    int not_started = 0;
    int repaired = 0;
    int uploads = 0;
    for (int kill = 0; kill < kills; ++kill) {
      std::filesystem::remove(installation_.TransXmlPath());
      // The upload after the previous kill ended the session, which deletes
      // the transaction name file with the document.
      installation_.WriteTransName("Killed", "k1ll");
      const bool in_start = phase(random) == 0;
      const auto delay = std::chrono::microseconds(
          in_start ? start_us(random) : pages_us(random));
      StartProgramWith();
      {
        Killer killer(program_->pid());
        if (in_start) killer.KillAt(Clock::now() + delay);
        try {
          if (MainWindow() != 0) {
            AnswerDialog("Network Login", std::nullopt);
            AnswerDialog("Proxy Login", std::nullopt);
            TypeAddress(site_.Url("/k/start"));
          }
        } catch (const std::exception&) {
          // The kill came while the test was still talking to the program.
        }
        if (!in_start) killer.KillAt(Clock::now() + delay);
        ASSERT_TRUE(WaitUntil([&] { return killer.fired(); }))
            << "kill " << kill << ": the killer did not fire";
      }
      const std::optional<int> status = program_->WaitForExit(kWaitTimeout);
      ASSERT_TRUE(status.has_value()) << "kill " << kill << ": still running";
      EXPECT_EQ(*status, 128 + SIGKILL) << "kill " << kill;

      const std::optional<std::string> killed =
          ReadFileBytes(installation_.TransXmlPath());
      if (!killed) ++not_started;
      ForgetProgram();

      // The restart repairs the document before its window shows.
      StartProgramWith();
      ASSERT_NE(MainWindow(), 0u) << "kill " << kill << ": no restart";
      const std::string document =
          ReadFileBytes(installation_.TransXmlPath()).value_or("(missing)");
      const auto elements = WholeElements(document);
      ASSERT_TRUE(elements.has_value())
          << "kill " << kill << " (" << (in_start ? "start" : "pages") << ", "
          << delay.count() << " us): after the restart not the first line "
          << "and whole elements:\n"
          << document << "\nleft by the kill:\n"
          << killed.value_or("(no file)");
      ASSERT_LE(elements->size(), expected.size()) << document;
      for (size_t i = 0; i < elements->size(); ++i) {
        ASSERT_EQ((*elements)[i], expected[i])
            << "kill " << kill << ": element " << i << " differs";
      }
      if (killed && *killed != document) ++repaired;
      ++elements_at_kill[elements->size()];

      ContinueAndUpload(document, ++uploads);
      if (HasFatalFailure()) return;
      ++survived;
    }
    std::cout << "kills survived: " << survived << " of " << kills
              << "; killed before the document existed: " << not_started
              << "; documents repaired at the restart: " << repaired
              << "; documents by element count:";
    for (size_t i = 0; i < elements_at_kill.size(); ++i) {
      std::cout << " " << i << ":" << elements_at_kill[i];
    }
    std::cout << "\n";
  }

  StandInServer management_;
};

TEST_F(KillTest, TenKillsLeaveThePrefixOfTheUninterruptedDocument) {
  KillAtRandomMoments(10);
}

TEST_F(KillTest, HundredKillsLeaveThePrefixOfTheUninterruptedDocument) {
  KillAtRandomMoments(100);
}

// The engine's helper processes killed: the network process between two
// pages, then the page's process in a slow load. The status bar says that
// the sites' session cookies are gone, a message that the page stopped
// working; the dead load's row says so, Refresh loads that page again and
// records nothing, and the scripted pages after it (a form post among
// them) are recorded as ever.
TEST_F(KillTest, KilledHelperProcessesAreToldAndRecordingGoesOn) {
  site_.Add("/k/slow", [](const RecordedRequest&) {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    return Reply{200, BeaconPage("Slow", "<p>slow</p>"), ""};
  });
  WindowTexts texts;
  Environment extra;
  texts.AddTo(extra);
  StartRecording(extra);
  Visit("/k/end");
  // Every one of its kind: the engine keeps more than one page process.
  const auto kill_child = [&](const std::string& name) {
    return RunCommand({"pkill", "-KILL", "-P", std::to_string(program_->pid()),
                       name}, {}).exit_status == 0;
  };
  ASSERT_TRUE(kill_child("WebKitNetworkPr")) << "no network process";
  EXPECT_TRUE(texts.WaitFor("The browser's network process ended and was "
                            "started again: the sites' session cookies are "
                            "gone, so a site may ask you to sign in again."));
  TypeAddress(site_.Url("/k/slow"));
  ASSERT_TRUE(site_.WaitForRequest("/k/slow", 1));
  ASSERT_TRUE(kill_child("WebKitWebProces")) << "no page process";
  ASSERT_TRUE(AcknowledgeMessage()) << "no message about the page";
  // Refresh loads the page whose process ended, not the one before it, and
  // records nothing.
  ClickControl(kRefresh);
  ASSERT_TRUE(site_.WaitForBeacon("/k/slow", 1)) << "Refresh did not load it";
  TypeAddress(site_.Url("/k/start"));
  ASSERT_TRUE(site_.WaitForBeacon("/k/end", 2));
  std::string expected = kDocumentStart + ExpectedGet(site_.Url("/k/end")) +
                         ExpectedGet(site_.Url("/k/slow"));
  for (const std::string& element : ExpectedElements()) expected += element;
  WaitForElements(CountElements(expected));
  EXPECT_EQ(Document(), expected);
  OpenRecordedRequests();
  EXPECT_TRUE(texts.WaitFor("failed: the page stopped working"));
}

}  // namespace
}  // namespace scrivlet::e2e::hardening
