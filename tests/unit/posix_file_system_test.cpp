#include "platform/posix_file_system.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
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

std::size_t PageSize() {
  return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

ino_t Inode(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return info.st_ino;
}

// Text that ends within the page holding the file's end is appended in
// place (same inode); anything else replaces the file (new inode). Either
// way the content is the old one plus the text.
TEST_F(PosixFileSystemTest, AppendsInPlaceOnlyWithinTheLastPage) {
  const std::size_t page = PageSize();
  struct Case {
    std::size_t old_size;
    std::size_t text_size;
    bool in_place;
  };
  const std::vector<Case> cases = {
      {0, 1, true},
      {0, page, true},
      {0, page + 1, false},
      {100, page - 100, true},
      {100, page - 99, false},
      {page - 1, 1, true},
      {page - 1, 2, false},
      {page, page, true},
      {3 * page + 5, 200, true},
      {3 * page + 5, page - 4, false},
      {5000, 70000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "old " << c.old_size << ", text " << c.text_size);
    const std::string old_content(c.old_size, 'o');
    const std::string text(c.text_size, 't');
    files.CreateTextFile(Path("t"), old_content);
    const ino_t before = Inode(Path("t"));
    files.AppendText(Path("t"), text);
    EXPECT_EQ(Inode(Path("t")) == before, c.in_place);
    EXPECT_EQ(ReadFile(Path("t")), old_content + text);
    EXPECT_EQ(fs::status(Path("t")).permissions(), kOwnerReadWrite);
  }
}

TEST_F(PosixFileSystemTest, AnAppendInPlaceMakesTheFileOwnerOnly) {
  WriteFile(Path("t"), "old");
  fs::permissions(Path("t"), fs::perms::all);
  const ino_t before = Inode(Path("t"));
  files.AppendText(Path("t"), "new");
  EXPECT_EQ(Inode(Path("t")), before);
  EXPECT_EQ(ReadFile(Path("t")), "oldnew");
  EXPECT_EQ(fs::status(Path("t")).permissions(), kOwnerReadWrite);
}

TEST_F(PosixFileSystemTest, AnEmptyAppendCreatesAMissingFileAndKeepsAnOther) {
  files.AppendText(Path("fresh"), "");
  EXPECT_EQ(ReadFile(Path("fresh")), "");
  EXPECT_TRUE(files.FileExists(Path("fresh")));
  WriteFile(Path("old"), "old");
  files.AppendText(Path("old"), "");
  EXPECT_EQ(ReadFile(Path("old")), "old");
}

// A FIFO in place of a file must not hang a reader or a writer.
TEST_F(PosixFileSystemTest, AFifoIsRefusedWithoutWaiting) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  EXPECT_FALSE(files.FileExists(Path("fifo")));
  EXPECT_THROW(files.ReadLines(Path("fifo")), FileError);
  EXPECT_THROW(files.AppendText(Path("fifo"), "x"), FileError);
}

// Sets RLIMIT_FSIZE for the scope with SIGXFSZ ignored: a write beyond the
// limit is then cut short or fails with EFBIG, as on a disk that fills up
// mid-write.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_limit_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old_action_);
    rlimit limit = old_limit_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_limit_);
    sigaction(SIGXFSZ, &old_action_, nullptr);
  }

 private:
  rlimit old_limit_{};
  struct sigaction old_action_ {};
};

// Both ways of appending, cut short part way and refused outright: the
// append reports the system's reason and leaves nothing of the text.
TEST_F(PosixFileSystemTest, AnAppendCutShortLeavesTheFileAsItWas) {
  struct Case {
    std::size_t text_size;  // 1000 fits in the last page, 9000 does not
    rlim_t limit;
  };
  const std::vector<Case> cases = {
      {1000, 1500}, {1000, 1000}, {9000, 1500}, {9000, 1000}, {9000, 4096}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "text " << c.text_size << ", limit " << c.limit);
    files.CreateTextFile(Path("t"), std::string(1000, 'a'));
    std::string reason = "(no error)";
    {
      FileSizeLimit limit(c.limit);
      try {
        files.AppendText(Path("t"), std::string(c.text_size, 'b'));
      } catch (const FileError& error) {
        reason = error.what();
      }
    }
    EXPECT_EQ(reason, "File too large");
    EXPECT_EQ(ReadFile(Path("t")), std::string(1000, 'a'));
  }
  // Nothing but the document is left in the directory.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(install.WorkingDirectory())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"t"});
}

// The elements a killed writer appends, built before it starts so that it
// spends its time appending. Seven of eight lie well within a page and are
// mostly appended in place; every eighth spans several pages.
std::vector<std::string> KillTestElements(int round) {
  std::vector<std::string> elements;
  for (int index = 0; index < 500; ++index) {
    const std::string url =
        "http://h/r" + std::to_string(round) + "/" + std::to_string(index);
    const std::size_t body_size =
        index % 8 == 7 ? 4000 + static_cast<std::size_t>(index * 7919 % 20000)
                       : static_cast<std::size_t>(index * 389 % 700);
    elements.push_back(BuildNavigationElement(
        {"POST", *SplitUrl(url), "", ""}, "",
        BuildContentBlock(SplitBody("k=" + std::string(body_size, 'x')))));
  }
  return elements;
}

int KillRounds() {
  const char* rounds = std::getenv("SCRIVLET_KILL_ROUNDS");
  return rounds != nullptr ? std::atoi(rounds) : 30;
}

// Kills a writer at a random moment, KillRounds() times (SCRIVLET_KILL_ROUNDS,
// 30 unless set), each time on a fresh document. After each kill the document
// must be its first line followed by the writer's first elements, whole and
// in order: nothing half-written, nothing written lost.
TEST_F(PosixFileSystemTest, AWriterKilledAtAnyMomentLeavesWholeElements) {
  const int rounds = KillRounds();
  ASSERT_GT(rounds, 0);
  const std::string path = Path("trans.xml");
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pause_us(100, 4000);
  int total_elements = 0;
  int kills_mid_element = 0;

  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(::testing::Message()
                 << "round " << round << ", seed " << seed);
    const std::vector<std::string> elements = KillTestElements(round);
    files.CreateTextFile(path, kStartLine);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      PosixFileSystem child_files;
      for (const std::string& element : elements) {
        child_files.AppendText(path, element);
      }
      while (true) ::pause();
    }
    ::usleep(static_cast<useconds_t>(pause_us(random)));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    const std::string document = ReadFile(path);
    ASSERT_EQ(document.compare(0, kStartLine.size(), kStartLine), 0);
    std::size_t at = kStartLine.size();
    std::size_t whole = 0;
    while (whole < elements.size() &&
           document.compare(at, elements[whole].size(), elements[whole]) == 0) {
      at += elements[whole].size();
      ++whole;
    }
    ASSERT_EQ(at, document.size())
        << "after " << whole << " whole elements the document goes on with "
        << document.size() - at << " more bytes";
    ASSERT_LT(whole, elements.size()) << "the writer finished before the kill";
    total_elements += static_cast<int>(whole);
    // Stray temporary files show kills during the slow way.
    for (const auto& entry :
         fs::directory_iterator(install.WorkingDirectory())) {
      if (entry.path().filename() != "trans.xml") {
        ++kills_mid_element;
        fs::remove(entry.path());
      }
    }
  }
  RecordProperty("kills", rounds);
  std::cout << "[ figures  ] " << rounds << " kills survived, "
            << total_elements << " whole elements written, "
            << kills_mid_element << " kills during a replacing append (seed "
            << seed << ")\n";
}

}  // namespace
}  // namespace scrivlet::testing
