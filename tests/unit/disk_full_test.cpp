// A real full disk (support/tmpfs.h). Mounting needs root (as in CI);
// elsewhere these tests are reported as skipped. The file size limit tests
// in posix_file_system_test.cpp cover short writes without root. The file
// layer's tests show that an append is whole or absent byte for byte; the
// session's, that the failure is told once and capture resumes; the
// end-to-end disk test, that the real program does the same on screen.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "document/document_writer.h"
#include "platform/posix_file_system.h"
#include "support/tmpfs.h"
#include "test_support.h"

namespace scrivlet::testing {
namespace {

namespace fs = std::filesystem;

#define SKIP_UNLESS_MOUNTED(tmpfs)                                     \
  if (!(tmpfs).mounted()) {                                            \
    GTEST_SKIP()                                                       \
        << "cannot mount a tmpfs (needs root with CAP_SYS_ADMIN; uid " \
        << ::getuid() << "): " << (tmpfs).error();                     \
  }

std::string GetElement(const std::string& url) {
  return BuildNavigationElement({"GET", *SplitUrl(url), "", ""}, "",
                                std::nullopt);
}

// How many of `elements` the text holds from `at` on, whole and in order.
std::size_t WholePrefix(const std::string& text, std::size_t& at,
                        const std::vector<std::string>& elements) {
  std::size_t count = 0;
  while (count < elements.size() &&
         text.compare(at, elements[count].size(), elements[count]) == 0) {
    at += elements[count].size();
    ++count;
  }
  return count;
}

// The file layer on a working directory that is a tmpfs of `pages` pages.
class DiskFullTest : public ::testing::Test {
 protected:
  void Mount(std::size_t pages) {
    tmpfs = std::make_unique<TmpfsMount>(install.WorkingDirectory(),
                                         std::to_string(pages * 4096));
  }

  Installation install;
  std::unique_ptr<TmpfsMount> tmpfs;
  PosixFileSystem files;
  const std::string document = install.WorkingDirectory() + "/trans.xml";
  const std::string filler = install.WorkingDirectory() + "/filler";
};

TEST_F(DiskFullTest, TheFileLayerRefusesWholeAppendsAndRecovers) {
  Mount(4);
  SKIP_UNLESS_MOUNTED(*tmpfs);
  files.CreateTextFile(document, kStartLine);
  ASSERT_GT(FillUp(filler), 0u);

  // Small elements and elements of two pages.
  std::vector<std::string> elements;
  std::vector<std::string> reasons;
  for (int index = 0; index < 40; ++index) {
    const std::string url = "http://h/page/" + std::to_string(index);
    elements.push_back(
        index % 5 == 4
            ? BuildNavigationElement(
                  {"POST", *SplitUrl(url), "", ""}, "",
                  std::string(6000, 'b'))
            : GetElement(url));
  }
  std::size_t appended = 0;
  for (const std::string& element : elements) {
    try {
      files.AppendText(document, element);
      ++appended;
    } catch (const FileError& error) {
      reasons.push_back(error.what());
    }
  }
  ASSERT_FALSE(reasons.empty()) << "the disk never filled up";
  EXPECT_EQ(reasons, std::vector<std::string>(reasons.size(),
                                              "No space left on device"));
  const std::string full = ReadFile(document);
  std::size_t at = kStartLine.size();
  ASSERT_EQ(full.compare(0, at, kStartLine), 0);
  // The appends that succeeded are whole and in order; nothing else is there.
  std::size_t found = 0;
  for (const std::string& element : elements) {
    if (full.compare(at, element.size(), element) == 0) {
      at += element.size();
      ++found;
    }
  }
  EXPECT_EQ(at, full.size());
  EXPECT_EQ(found, appended);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(install.WorkingDirectory()),
                          fs::directory_iterator()),
            2);

  fs::remove(filler);
  const std::string after = elements.back();
  files.AppendText(document, after);
  files.AppendText(document, elements.front());
  EXPECT_EQ(ReadFile(document), full + after + elements.front());
}

// The free space decides, not the document's size: on a disk with three
// pages left, an element of two and a half pages is written whole after a
// document of five pages, and the next one, of three pages, is refused and
// leaves the document as it was.
TEST_F(DiskFullTest, AnElementThatFitsIsWrittenOneThatDoesNotLeavesTheFile) {
  Mount(16);
  SKIP_UNLESS_MOUNTED(*tmpfs);
  const auto post = [](const std::string& url, std::size_t body_size) {
    return BuildNavigationElement(
        {"POST", *SplitUrl(url), "", ""}, "",
        "f=" + std::string(body_size, 'b'));
  };
  const std::string start = kStartLine + post("http://h/big", 5 * 4096 - 700);
  files.CreateTextFile(document, start);
  const std::size_t filled = FillUp(filler);
  ASSERT_GT(filled, 3u * 4096);
  fs::resize_file(filler, filled - 3 * 4096);

  const std::string fits = post("http://h/fits", 10000);
  files.AppendText(document, fits);
  EXPECT_EQ(ReadFile(document), start + fits);

  std::string reason = "(no error)";
  try {
    files.AppendText(document, post("http://h/too-big", 3 * 4096));
  } catch (const FileError& error) {
    reason = error.what();
  }
  EXPECT_EQ(reason, "No space left on device");
  EXPECT_EQ(ReadFile(document), start + fits);
}

class DiskFullSessionTest : public SessionTest {};

// The session goes on through a full disk: the failure is reported once,
// no element is half-written, and capture resumes once space is free.
TEST_F(DiskFullSessionTest, ACaptureOnAFullDiskIsReportedOnceAndResumes) {
  TmpfsMount tmpfs(install.WorkingDirectory(), std::to_string(4 * 4096));
  SKIP_UNLESS_MOUNTED(tmpfs);
  Start();
  ASSERT_EQ(view.messages, std::vector<Message>{});
  const std::string filler = install.WorkingDirectory() + "/filler";
  ASSERT_GT(FillUp(filler), 0u);

  std::vector<std::string> elements;
  for (int index = 0; index < 30; ++index) {
    const std::string url = "http://site/page/" + std::to_string(index);
    elements.push_back(GetElement(url));
    Navigate(url);
  }
  const std::string during = Recorded();
  std::size_t at = 0;
  const std::size_t kept = WholePrefix(during, at, elements);
  EXPECT_EQ(at, during.size());
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, elements.size()) << "the disk never filled up";
  EXPECT_EQ(view.messages,
            (std::vector<Message>{
                {"Could not write trans.xml: No space left on device. The "
                 "requests recorded so far are kept.",
                 MessageIcon::kWarning}}));
  EXPECT_FALSE(view.end_status.has_value());

  fs::remove(filler);
  Navigate("http://site/after?q=1", "a=1&b=2");
  const std::string posted = BuildNavigationElement(
      {"POST", *SplitUrl("http://site/after?q=1"), "", ""}, "",
      "a=1&b=2");
  EXPECT_EQ(Recorded(), during + posted);
  EXPECT_EQ(view.messages.size(), 1u);
  EXPECT_FALSE(view.end_status.has_value());
}

}  // namespace
}  // namespace scrivlet::testing
