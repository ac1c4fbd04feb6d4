#include "platform/posix_file_system.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "capture/document_writer.h"
#include "test_support.h"

namespace scrivlet::testing {
namespace {

namespace fs = std::filesystem;
constexpr fs::perms kOwnerReadWrite =
    fs::perms::owner_read | fs::perms::owner_write;

class PosixFileSystemTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const {
    return install.WorkingDirectory() + "/" + name;
  }
  Installation install;
  PosixFileSystem files;
};

TEST_F(PosixFileSystemTest, ReadsLinesEndingAtLfWithoutTheirCr) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\nc", {"a", "b", "c"}},
      {"a\n\n", {"a", ""}},
      {"\r\n", {""}},
      {"x\ry\r\r\n", {"x\ry\r"}},
      {std::string("n\0l\xff\n", 5), {std::string("n\0l\xff", 4)}},
  };
  for (const Case& c : cases) {
    WriteFile(Path("f"), c.bytes);
    EXPECT_EQ(files.ReadLines(Path("f")), c.lines);
  }
}

TEST_F(PosixFileSystemTest, CreatesAndAppendsOwnerOnlyFiles) {
  WriteFile(Path("old"), "previous content");
  fs::permissions(Path("old"), fs::perms::all);
  files.CreateTextFile(Path("old"), "new\r\n");
  files.AppendText(Path("fresh"), "a");
  files.AppendText(Path("fresh"), "b\r\n");

  EXPECT_EQ(ReadFile(Path("old")), "new\r\n");
  EXPECT_EQ(ReadFile(Path("fresh")), "ab\r\n");
  EXPECT_EQ(fs::status(Path("old")).permissions(), kOwnerReadWrite);
  EXPECT_EQ(fs::status(Path("fresh")).permissions(), kOwnerReadWrite);
}

TEST_F(PosixFileSystemTest, ReportsFailuresWithTheSystemsReason) {
  fs::create_directory(Path("dir"));
  EXPECT_FALSE(files.FileExists(Path("dir")));
  EXPECT_FALSE(files.FileExists(Path("missing")));
  try {
    files.DeleteFile(Path("missing"));
    FAIL() << "deleting a missing file succeeded";
  } catch (const FileError& error) {
    EXPECT_EQ(error.path(), Path("missing"));
    EXPECT_STREQ(error.what(), "No such file or directory");
  }
  EXPECT_THROW(files.ReadLines(Path("dir")), FileError);
  EXPECT_THROW(files.AppendText(Path("dir"), "x"), FileError);
  EXPECT_THROW(files.AppendText(Path("no/such/dir"), "x"), FileError);
}

// A file size limit makes the kernel accept only part of the text, as a
// disk that fills up mid-write does; the append must leave nothing of it.
TEST_F(PosixFileSystemTest, AnAppendCutShortLeavesTheFileAsItWas) {
  files.CreateTextFile(Path("t"), std::string(1000, 'a'));
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  struct sigaction ignore {}, old_action {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &old_action), 0);
  rlimit limit = old_limit;
  limit.rlim_cur = 1500;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);

  std::string reason;
  try {
    files.AppendText(Path("t"), std::string(2000, 'b'));
  } catch (const FileError& error) {
    reason = error.what();
  }
  setrlimit(RLIMIT_FSIZE, &old_limit);
  sigaction(SIGXFSZ, &old_action, nullptr);

  EXPECT_EQ(reason, "File too large");
  EXPECT_EQ(ReadFile(Path("t")), std::string(1000, 'a'));
}

std::string KillTestElement(int round, int index) {
  const std::string url =
      "http://h/r" + std::to_string(round) + "/" + std::to_string(index);
  // Elements of up to 100 KB span many pages, where an in-place append can
  // be cut short by the kill.
  const std::string body(static_cast<std::size_t>(index * 7919 % 100000), 'x');
  return BuildNavigationElement({"POST", *SplitUrl(url), "", ""}, "",
                                BuildContentBlock(SplitBody("k=" + body)));
}

// Kills a writer at random moments. Each time the document must be its first
// line followed by whole elements, each round's elements in order from its
// first: nothing half-written, nothing written lost.
TEST_F(PosixFileSystemTest, AWriterKilledAtAnyMomentLeavesWholeElements) {
  constexpr int kRounds = 20;
  const std::string path = Path("trans.xml");
  files.CreateTextFile(path, kStartLine);
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pause_us(500, 15000);

  for (int round = 0; round < kRounds; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      PosixFileSystem child_files;
      for (int index = 0;; ++index) {
        child_files.AppendText(path, KillTestElement(round, index));
      }
    }
    ::usleep(static_cast<useconds_t>(pause_us(random)));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
  }

  const std::string document = ReadFile(path);
  ASSERT_EQ(document.rfind(kStartLine, 0), 0u);
  std::size_t at = kStartLine.size();
  int round = -1, index = -1, elements = 0;
  auto matches = [&](int r, int i) {
    const std::string element = KillTestElement(r, i);
    if (document.compare(at, element.size(), element) != 0) return false;
    at += element.size();
    round = r, index = i, ++elements;
    return true;
  };
  while (at < document.size()) {
    bool found = round >= 0 && matches(round, index + 1);
    for (int next = round + 1; !found && next < kRounds; ++next) {
      found = matches(next, 0);
    }
    ASSERT_TRUE(found) << "not a whole element at byte " << at << " (seed "
                       << seed << ", after " << elements << " elements)";
  }
  EXPECT_GT(elements, 0);
}

}  // namespace
}  // namespace scrivlet::testing
