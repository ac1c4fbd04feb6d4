// The repair of a trans.xml left by a process that ended without warning:
// the plan on document contents, and the transaction start carrying it out
// on real files before the first new element.
#include "document/document_repair.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "document/document_writer.h"
#include "test_support.h"

namespace scrivlet::testing {
namespace {

namespace fs = std::filesystem;

std::string Get(const std::string& url) {
  return BuildNavigationElement({"GET", *SplitUrl(url), "", ""}, "",
                                std::nullopt);
}

std::string Post(const std::string& url, const std::string& body) {
  return BuildNavigationElement({"POST", *SplitUrl(url), "", ""},
                                "Content-Type: text/plain\r\n",
                                body);
}

std::string Redirect(const std::string& url) {
  return BuildCompletionElement({"GET", *SplitUrl(url), "", ""});
}

// Two whole elements of each form, as the writer makes them.
const std::string kWhole = kStartLine + Get("http://h/a?x=1&y=<2>") +
                           Post("http://h/form", "a=</REQUEST>&b=2") +
                           Redirect("http://h/landing");
const std::string kNext = Get("http://h/next");

TEST(DocumentRepairPlanTest, KeepsTheFirstLineAndWholeElementsOnly) {
  struct Case {
    std::string name;
    std::string content;
    DocumentRepair expected;
  };
  const std::string half = kNext.substr(0, kNext.size() / 2);
  const std::string closing = "</HTTP-TRANSACTION>\r\n";
  const std::string first = kStartLine.substr(0, kStartLine.size() - 2);
  const std::vector<Case> cases = {
      {"whole", kWhole, {kWhole.size(), ""}},
      {"first line only", kStartLine, {kStartLine.size(), ""}},
      {"half an element", kWhole + half, {kWhole.size(), ""}},
      {"element without its last LF", kWhole + kNext.substr(0, kNext.size() - 1),
       {kWhole.size(), ""}},
      {"half an element after the first line", kStartLine + half,
       {kStartLine.size(), ""}},
      {"NUL tail", kWhole + std::string(4096, '\0'), {kWhole.size(), ""}},
      {"half an element, then NUL bytes", kWhole + half + std::string(700, '\0'),
       {kWhole.size(), ""}},
      {"closing line", kWhole + closing, {kWhole.size(), ""}},
      {"half a closing line", kWhole + closing.substr(0, 7),
       {kWhole.size(), ""}},
      {"empty", "", {0, kStartLine}},
      {"part of the first line", kStartLine.substr(0, 10),
       {10, kStartLine.substr(10)}},
      {"first line without its line end", first, {first.size(), "\r\n"}},
      {"NUL bytes only", std::string(41, '\0'), {0, kStartLine}},
      {"part of the first line, then NUL bytes",
       kStartLine.substr(0, 5) + std::string(36, '\0'),
       {5, kStartLine.substr(5)}},
      // Not a tail a killed writer leaves: an element end follows.
      {"torn element before a whole one", kWhole + half + kNext,
       {kWhole.size() + half.size() + kNext.size(), ""}},
      {"closing line before an element", kWhole + closing + kNext,
       {kWhole.size() + closing.size() + kNext.size(), ""}},
      // Not a document of this program.
      {"other file", "hello\r\n", {7, ""}},
      {"first line in other case",
       "<?XML version='1.0'?><HTTP-TRANSACTION>\r\n<REQUEST>",
       {50, ""}},
      {"LF-only first line", "<?xml version='1.0'?><HTTP-TRANSACTION>\n",
       {40, ""}},
      // A document that went through an editor is read as any other.
      {"LF line ends, half an element", WithLf(kWhole) + half,
       {WithLf(kWhole).size(), ""}},
      {"LF line ends, torn before a whole element", WithLf(kWhole + half + kNext),
       {WithLf(kWhole + half + kNext).size(), ""}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlanDocumentRepair(c.content), c.expected) << c.name;
  }
}

// The transaction start on a trans.xml left behind: repaired before the
// first new element, which follows the last whole element directly.
class DocumentRepairStartTest : public SessionTest {
 protected:
  // Writes `content` as trans.xml (readable by all), starts a session on
  // it, records one navigation and expects the document to be `repaired`
  // + that element, owner-only.
  void ExpectRepairedTo(const std::string& content,
                        const std::string& repaired) {
    WriteFile(install.TransXml(), content);
    fs::permissions(install.TransXml(), fs::perms::all);
    Start();
    EXPECT_EQ(ReadFile(install.TransXml()), repaired);
    EXPECT_EQ(fs::status(install.TransXml()).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.end_status, std::nullopt);
    Navigate("http://h/next");
    EXPECT_EQ(ReadFile(install.TransXml()), repaired + kNext);
    EXPECT_EQ(fs::status(install.TransXml()).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
  }
};

TEST_F(DocumentRepairStartTest, HalfAnElementIsCut) {
  ExpectRepairedTo(kWhole + kNext.substr(0, 300), kWhole);
}

TEST_F(DocumentRepairStartTest, ANulTailIsCut) {
  ExpectRepairedTo(kWhole + std::string(8192, '\0'), kWhole);
}

TEST_F(DocumentRepairStartTest, AClosingLineIsCutAndWrittenOnceByTheNextSave) {
  ExpectRepairedTo(kWhole + "</HTTP-TRANSACTION>\r\n", kWhole);
  session.EndRecord_Click();
  session.EndRecord_Click();
  EXPECT_EQ(ReadFile(install.TransXml()),
            kWhole + kNext + "</HTTP-TRANSACTION>\r\n");
}

TEST_F(DocumentRepairStartTest, AWholeDocumentIsNeitherChangedNorRewritten) {
  WriteFile(install.TransXml(), kWhole);
  fs::permissions(install.TransXml(),
                  fs::perms::owner_read | fs::perms::owner_write);
  const auto long_ago = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::last_write_time(install.TransXml(), long_ago);
  struct stat before {};
  ASSERT_EQ(::stat(install.TransXml().c_str(), &before), 0);
  Start();
  struct stat after {};
  ASSERT_EQ(::stat(install.TransXml().c_str(), &after), 0);
  EXPECT_EQ(ReadFile(install.TransXml()), kWhole);
  EXPECT_EQ(fs::last_write_time(install.TransXml()), long_ago);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
  EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
}

TEST_F(DocumentRepairStartTest, AnEmptyFileGetsTheFirstLine) {
  ExpectRepairedTo("", kStartLine);
}

TEST_F(DocumentRepairStartTest, AFileOfTheFirstLineOnlyIsKept) {
  ExpectRepairedTo(kStartLine, kStartLine);
}

TEST_F(DocumentRepairStartTest, AFileNotBeginningWithTheFirstLineIsKept) {
  ExpectRepairedTo("not a transaction\r\n<REQUEST>", "not a transaction\r\n<REQUEST>");
}

TEST_F(DocumentRepairStartTest, ALinkedDocumentIsRepairedInPlace) {
  const std::string target = install.WorkingDirectory() + "/kept.xml";
  WriteFile(target, kWhole + "<REQUEST><REQ");
  fs::create_symlink(target, install.TransXml());
  Start();
  Navigate("http://h/next");
  EXPECT_TRUE(fs::is_symlink(install.TransXml()));
  EXPECT_EQ(ReadFile(target), kWhole + kNext);
}

}  // namespace
}  // namespace scrivlet::testing
