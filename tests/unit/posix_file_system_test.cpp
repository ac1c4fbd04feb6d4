#include "platform/posix_file_system.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "document/document_writer.h"
#include "session/document_file.h"
#include "test_support.h"

namespace scrivlet::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
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

ino_t Inode(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return info.st_ino;
}

// Every append is made in place (same inode), whatever the sizes: the
// content is the old one plus the text.
TEST_F(PosixFileSystemTest, AppendsInPlaceAtAnySize) {
  struct Case {
    std::size_t old_size;
    std::size_t text_size;
  };
  const std::vector<Case> cases = {
      {0, 1},        {0, 4096},          {0, 4097},       {100, 3996},
      {100, 3997},   {4095, 2},          {4096, 4096},    {12293, 4092},
      {5000, 70000}, {1 << 20, 5 << 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "old " << c.old_size << ", text " << c.text_size);
    const std::string old_content(c.old_size, 'o');
    const std::string text(c.text_size, 't');
    files.CreateTextFile(Path("t"), old_content);
    const ino_t before = Inode(Path("t"));
    files.AppendText(Path("t"), text);
    EXPECT_EQ(Inode(Path("t")), before);
    EXPECT_EQ(ReadFile(Path("t")), old_content + text);
    EXPECT_EQ(fs::status(Path("t")).permissions(), kOwnerReadWrite);
  }
}

TEST_F(PosixFileSystemTest, AppendsThroughASymbolicLinkToItsTarget) {
  WriteFile(Path("target"), "old");
  fs::create_symlink(Path("target"), Path("link"));
  files.AppendText(Path("link"), std::string(10000, 'n'));
  EXPECT_TRUE(fs::is_symlink(Path("link")));
  EXPECT_EQ(ReadFile(Path("target")), "old" + std::string(10000, 'n'));
}

TEST_F(PosixFileSystemTest, ReadsTheWholeTextAndTruncatesInPlace) {
  const std::string content = std::string("a\r\n\0b", 5) + std::string(70000, 'c');
  WriteFile(Path("t"), content);
  EXPECT_EQ(files.ReadText(Path("t")), content);
  const ino_t before = Inode(Path("t"));
  files.TruncateFile(Path("t"), 4);
  EXPECT_EQ(ReadFile(Path("t")), "a\r\n\0"s);
  EXPECT_EQ(Inode(Path("t")), before);
  files.TruncateFile(Path("t"), 0);
  EXPECT_EQ(files.ReadText(Path("t")), "");
  // Never longer, never created.
  EXPECT_THROW(files.TruncateFile(Path("t"), 1), FileError);
  EXPECT_EQ(ReadFile(Path("t")), "");
  EXPECT_THROW(files.TruncateFile(Path("missing"), 0), FileError);
  EXPECT_FALSE(Exists(Path("missing")));
  EXPECT_THROW(files.ReadText(Path("missing")), FileError);
}

// Appends leave an existing file's permissions alone (checking them would
// double an append's cost); MakeOwnerOnly, run when a transaction starts on
// a kept document, narrows them in place.
TEST_F(PosixFileSystemTest, MakeOwnerOnlyNarrowsAKeptFileInPlace) {
  WriteFile(Path("t"), "old");
  fs::permissions(Path("t"), fs::perms::all);
  const ino_t before = Inode(Path("t"));
  files.MakeOwnerOnly(Path("t"));
  EXPECT_EQ(fs::status(Path("t")).permissions(), kOwnerReadWrite);
  files.AppendText(Path("t"), "new");
  EXPECT_EQ(Inode(Path("t")), before);
  EXPECT_EQ(ReadFile(Path("t")), "oldnew");
  EXPECT_EQ(fs::status(Path("t")).permissions(), kOwnerReadWrite);
  EXPECT_THROW(files.MakeOwnerOnly(Path("missing")), FileError);
  EXPECT_FALSE(Exists(Path("missing")));
}

TEST_F(PosixFileSystemTest, AnEmptyAppendCreatesAMissingFileAndKeepsAnOther) {
  files.AppendText(Path("fresh"), "");
  EXPECT_EQ(ReadFile(Path("fresh")), "");
  EXPECT_TRUE(files.FileExists(Path("fresh")));
  WriteFile(Path("old"), "old");
  files.AppendText(Path("old"), "");
  EXPECT_EQ(ReadFile(Path("old")), "old");
}

// Appends keep their descriptor open; whatever happens to the file at the
// path in between, the next append lands in the file that is there.
TEST_F(PosixFileSystemTest, AnAppendGoesToTheFileThatIsAtThePathNow) {
  const std::string path = Path("trans.xml");
  files.AppendText(path, "a");
  fs::remove(path);
  files.AppendText(path, "b");
  EXPECT_EQ(ReadFile(path), "b");

  WriteFile(Path("replacement"), "new ");
  fs::rename(Path("replacement"), path);
  files.AppendText(path, "c");
  EXPECT_EQ(ReadFile(path), "new c");

  files.DeleteFile(path);
  files.AppendText(Path("other"), "x");
  files.AppendText(path, "d");
  files.AppendText(Path("other"), "y");
  EXPECT_EQ(ReadFile(path), "d");
  EXPECT_EQ(ReadFile(Path("other")), "xy");

  // A file cut back or rewritten in place takes appends at its new end.
  files.TruncateFile(path, 0);
  files.AppendText(path, "e");
  files.CreateTextFile(path, "start ");
  files.AppendText(path, "f");
  EXPECT_EQ(ReadFile(path), "start f");

  // A replacement is a new file, owner only, with nothing left beside it.
  fs::permissions(path, fs::perms::all);
  files.ReplaceFile(path, "whole ");
  files.AppendText(path, "g");
  EXPECT_EQ(ReadFile(path), "whole g");
  EXPECT_EQ(fs::status(path).permissions(), kOwnerReadWrite);
  EXPECT_FALSE(fs::exists(path + ".new"));
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

// Appends cut short part way and refused outright: the append reports the
// system's reason and leaves nothing of the text.
TEST_F(PosixFileSystemTest, AnAppendCutShortLeavesTheFileAsItWas) {
  struct Case {
    std::size_t text_size;
    rlim_t limit;
  };
  const std::vector<Case> cases = {{1000, 1500},   {1000, 1000},
                                   {9000, 1500},   {9000, 1000},
                                   {9000, 4096},   {300000, 200000}};
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
// spends its time appending. Seven of eight are a few hundred bytes; every
// eighth is tens to hundreds of kilobytes, so that many kills land inside
// one write.
std::vector<std::string> KillTestElements(int round) {
  std::vector<std::string> elements;
  for (int index = 0; index < 1000; ++index) {
    const std::string url =
        "http://h/r" + std::to_string(round) + "/" + std::to_string(index);
    const std::size_t body_size =
        index % 8 == 7
            ? 20000 + static_cast<std::size_t>(index * 7919 % 300000)
            : static_cast<std::size_t>(index * 389 % 700);
    elements.push_back(BuildNavigationElement(
        {"POST", *SplitUrl(url), "", ""}, "",
        "k=" + std::string(body_size, 'x')));
  }
  return elements;
}

int KillRounds() {
  const char* rounds = std::getenv("SCRIVLET_KILL_ROUNDS");
  return rounds != nullptr ? std::atoi(rounds) : 30;
}

// Kills a writer at a random moment, KillRounds() times (SCRIVLET_KILL_ROUNDS,
// 30 unless set), each time on a fresh document. After each kill the document
// must be its first line, the writer's first elements whole and in order,
// and at most a first part of the next one; the repair of the next
// transaction start then leaves the first line and the whole elements:
// nothing else, nothing written whole lost.
TEST_F(PosixFileSystemTest, AWriterKilledAtAnyMomentIsRepairedToWholeElements) {
  const int rounds = KillRounds();
  ASSERT_GT(rounds, 0);
  const std::string path = Path("trans.xml");
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pause_us(100, 4000);
  int total_elements = 0;
  int kills_mid_element = 0;
  // On a loaded machine the pause may outlast the whole writer; such a
  // round killed nothing but an idle process and is run again.
  int rounds_finished_early = 0;

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
    if (whole == elements.size()) {
      ASSERT_LT(++rounds_finished_early, 10)
          << "the writer finished before the kill, round after round";
      --round;
      continue;
    }
    const std::size_t torn = document.size() - at;
    ASSERT_EQ(document.compare(at, torn, elements[whole], 0, torn), 0)
        << "after " << whole << " whole elements the document goes on with "
        << torn << " bytes that do not begin the next element";
    if (torn > 0) ++kills_mid_element;
    total_elements += static_cast<int>(whole);

    RepairDocument(files, path);
    ASSERT_EQ(ReadFile(path).size(), at);
    ASSERT_EQ(ReadFile(path), document.substr(0, at));
    // No file but the document is ever made.
    ASSERT_EQ(std::distance(fs::directory_iterator(install.WorkingDirectory()),
                            fs::directory_iterator()),
              1);
  }
  RecordProperty("kills", rounds);
  std::cout << "[ figures  ] " << rounds << " kills survived, "
            << total_elements << " whole elements written, "
            << kills_mid_element << " kills inside an element's write (seed "
            << seed << ")\n";
}

// A process killed while it replaces the document again and again (as a
// deletion does) leaves one of the two documents whole, never a mix.
TEST_F(PosixFileSystemTest, AReplacementKilledAtAnyMomentLeavesOneWholeDocument) {
  const std::string path = Path("trans.xml");
  const std::vector<std::string> elements = KillTestElements(0);
  std::string longer = kStartLine;
  for (const std::string& element : elements) longer += element;
  const std::string shorter = kStartLine + elements[0];
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> pause_us(100, 20000);
  for (int round = 0; round < KillRounds(); ++round) {
    files.CreateTextFile(path, shorter);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      PosixFileSystem child_files;
      for (int i = 0;; ++i) child_files.ReplaceFile(path, i % 2 ? shorter : longer);
    }
    ::usleep(static_cast<useconds_t>(pause_us(random)));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string document = ReadFile(path);
    ASSERT_TRUE(document == shorter || document == longer)
        << "round " << round << ": " << document.size() << " bytes";
  }
}

}  // namespace
}  // namespace scrivlet::testing
