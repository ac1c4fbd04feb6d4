// The program's own memory over a long session: 500 navigations of pages
// that advance by themselves (links, and every fifth a form post answered
// with a redirect). Under valgrind no block allocated through the program's
// own code is definitely lost; without it, the user-interface process's
// resident size after 500 navigations is close to the one after 100.
// Run with SCRIVLET_MEMORY_NAVIGATIONS=N for another count (at least 200).
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <thread>

#include "hardening_support.h"

namespace scrivlet::e2e::hardening {
namespace {

using namespace std::chrono_literals;

int Navigations() {
  const char* count = std::getenv("SCRIVLET_MEMORY_NAVIGATIONS");
  return count ? std::atoi(count) : 500;
}

// VmRSS of a process in kB; 0 when it cannot be read.
long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
  }
  return 0;
}

// The smallest of ten samples over half a second: a page being loaded or
// drawn holds buffers for a moment (single samples of the same run differ
// by up to 10 MB); what the program keeps stays in every sample.
long SettledResidentKb(pid_t pid) {
  long smallest = ResidentKb(pid);
  for (int sample = 1; sample < 10; ++sample) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    smallest = std::min(smallest, ResidentKb(pid));
  }
  return smallest;
}

// Whether a loss record's block was allocated by the program's own code:
// the first frame of its stack that is neither an allocator (malloc, new,
// GLib's allocating helpers, GObject instance creation) nor a library
// template inlined from /usr/include lies under `own`. One-time
// initialisations of the engine that merely run inside the program's
// constructor are the engine's, not the program's.
bool AllocatedByOwnCode(const std::string& record, const std::string& own) {
  static const std::regex frame(R"(==\d+== +(?:at|by) 0x[0-9A-F]+: (.*) \((.*)\)$)");
  static const std::regex allocator(
      R"(^(malloc|calloc|realloc|memalign|posix_memalign|aligned_alloc|)"
      R"(operator new.*|g_malloc.*|g_realloc.*|g_try_malloc.*|g_strn?dup.*|)"
      R"(g_strdup_v?printf|g_memdup2?|g_slice_alloc0?|g_type_create_instance|)"
      R"(g_object_new.*|g_new.*)$)");
  std::istringstream lines(record);
  std::string line;
  while (std::getline(lines, line)) {
    std::smatch match;
    if (!std::regex_search(line, match, frame)) continue;
    const std::string function = match[1];
    const std::string location = match[2];
    if (std::regex_match(function, allocator)) continue;
    if (location.starts_with("/usr/include/")) continue;
    return location.find(own) != std::string::npos;
  }
  return false;
}

class MemoryTest : public HardeningTest {
 protected:
  MemoryTest() {
    const int last = Navigations();
    // /m/n?i=K moves on to K+1 as soon as it has loaded; every fifth page
    // posts its form, which the site answers with a redirect to the next.
    site_.Add("/m/n", [last](const RecordedRequest& request) {
      const int i = std::atoi(
          request.target.substr(request.target.find("i=") + 2).c_str());
      std::string next;
      if (i < last) {
        next = i % 5 == 4
                   ? "document.forms[0].submit();"
                   : "location.href='/m/n?i=" + std::to_string(i + 1) + "';";
      }
      return Reply{
          200,
          BeaconPage("Step " + std::to_string(i),
                     "<form method=\"post\" action=\"/m/post?i=" +
                         std::to_string(i) +
                         "\"><input name=\"step\" value=\"" +
                         std::to_string(i) + "\"></form>",
                     "addEventListener('load',function(){setTimeout("
                     "function(){" + next + "},0);});"),
          ""};
    });
    site_.Add("/m/post", [](const RecordedRequest& request) {
      const int i = std::atoi(
          request.target.substr(request.target.find("i=") + 2).c_str());
      return Reply{302, BeaconPage("Moved", "moved"),
                   "/m/n?i=" + std::to_string(i + 1)};
    });
  }

  std::string Step(int i) const { return "/m/n?i=" + std::to_string(i); }

  // Waits for the main window and the two dialogs of a slow start (under
  // valgrind it takes far longer than the shared waits allow).
  void AnswerDialogsOfASlowStart(std::chrono::milliseconds timeout) {
    ASSERT_TRUE(WaitUntil([&] { return MainWindow() != 0; }, timeout))
        << "no main window";
    for (const char* title : {"Network Login", "Proxy Login"}) {
      ASSERT_TRUE(WaitUntil(
          [&] {
            return !Display()
                        .FindVisibleWindows("^" + std::string(title) + "$")
                        .empty();
          },
          timeout))
          << "no dialog " << title;
      AnswerDialog(title, std::nullopt);
    }
  }
};

TEST_F(MemoryTest, ResidentSizeAfter500NavigationsStaysNearThatAfter100) {
  const int last = Navigations();
  ASSERT_GE(last, 200);
  StartRecording();
  TypeAddress(site_.Url(Step(0)));
  ASSERT_TRUE(site_.WaitForBeacon(Step(100), 1, 300s));
  const long at_100 = SettledResidentKb(program_->pid());
  ASSERT_TRUE(site_.WaitForBeacon(Step(last), 1, 1200s));
  const long at_last = SettledResidentKb(program_->pid());
  const int elements = CountElements(Document());
  std::cout << "UI process resident size: " << at_100 << " kB after 100 "
            << "navigations, " << at_last << " kB after " << last
            << "; trans.xml holds " << elements << " elements\n";
  // Every navigation is recorded (a redirected post adds its completion).
  EXPECT_EQ(elements, last + 1 + last / 5);
  // The engine keeps a history entry per page and some caches; anything
  // the program itself kept per navigation would show as growth in
  // proportion to the count. Allow 20 kB per navigation.
  EXPECT_LT(at_last - at_100, 20L * (last - 100))
      << "the program grows by about " << (at_last - at_100) / (last - 100)
      << " kB per navigation";
}

TEST_F(MemoryTest, ValgrindFindsNoDefinitelyLostBlockOfTheProgramsOwn) {
  const int last = Navigations();
  const std::string log = installation_.root() + "/valgrind.log";
  Environment environment = ProgramEnvironment(installation_);
  // Cairo drawing: software GL under valgrind is too slow to be usable.
  environment["GSK_RENDERER"] = "cairo";
  program_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{
          "valgrind", "--leak-check=full", "--show-leak-kinds=definite",
          "--num-callers=40", "--fullpath-after=", "--log-file=" + log,
          ScrivletBinary()},
      environment, installation_.WorkDir(),
      installation_.root() + "/scrivlet.log");
  AnswerDialogsOfASlowStart(600s);
  if (HasFatalFailure()) return;
  TypeAddress(site_.Url(Step(0)));
  ASSERT_TRUE(site_.WaitForBeacon(Step(last), 1, 3600s))
      << "the session did not reach step " << last;
  // Closing the window ends the program; valgrind then checks for leaks.
  Display().RequestClose(MainWindow());
  const std::optional<int> status = program_->WaitForExit(600s);
  ASSERT_TRUE(status.has_value()) << "the program did not end";

  const std::string report = ReadFileBytes(log).value_or("");
  ASSERT_NE(report.find("LEAK SUMMARY"), std::string::npos)
      << "valgrind wrote no leak summary:\n" << report.substr(0, 4000);
  // Loss records: a header line, then the stack, up to an empty line.
  const std::string own = std::string(SCRIVLET_SOURCE_DIR) + "/src/";
  const std::regex header(R"(==\d+== ([\d,]+) bytes in [\d,]+ blocks are definitely lost)");
  std::istringstream lines(report);
  std::string line;
  long own_bytes = 0;
  int own_records = 0;
  std::string own_stacks;
  std::string record;
  long record_bytes = -1;
  auto finish = [&] {
    if (record_bytes >= 0 && AllocatedByOwnCode(record, own)) {
      own_bytes += record_bytes;
      ++own_records;
      own_stacks += record + "\n";
    }
    record.clear();
    record_bytes = -1;
  };
  while (std::getline(lines, line)) {
    std::smatch match;
    if (std::regex_search(line, match, header)) {
      finish();
      std::string digits = match[1];
      std::erase(digits, ',');
      record_bytes = std::atol(digits.c_str());
    } else if (record_bytes >= 0 && std::regex_match(line, std::regex(R"(==\d+== *)"))) {
      finish();
      continue;
    }
    if (record_bytes >= 0) record += line + "\n";
  }
  finish();
  std::filesystem::create_directories(E2E_ARTIFACT_DIR);
  const std::string kept = std::string(E2E_ARTIFACT_DIR) + "/valgrind.log";
  WriteFileBytes(kept, report);
  const size_t summary = report.find("definitely lost:");
  std::cout << "valgrind, " << last << " navigations: "
            << report.substr(summary, report.find('\n', summary) - summary)
            << "; allocated by the program's own code: " << own_bytes
            << " bytes in " << own_records << " records (log: " << kept
            << ")\n";
  EXPECT_EQ(own_bytes, 0) << own_stacks;
}

}  // namespace
}  // namespace scrivlet::e2e::hardening
