// The working directory on a tiny tmpfs: an element that fits in the space
// left is written, one that does not is reported once and leaves no part of
// it behind, the program keeps running, and the recording goes on once there
// is space again. A working directory that
// cannot be written or no longer exists at start gives "Error :" with the
// reason and changes nothing. These tests mount file systems and need root,
// as CI has; without root they fail and say so.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "hardening_support.h"
#include "support/tmpfs.h"

namespace scrivlet::e2e::hardening {
namespace {

constexpr char kIntro[] =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Scrivlet"
    "</title></head><body><h1>Recording</h1></body></html>\n";

// Every file under `root` with its bytes, directories as "<dir>".
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(root)) {
    const std::string path = entry.path().string();
    if (entry.is_directory()) {
      files[path] = "<dir>";
    } else {
      files[path] = ReadFileBytes(path).value_or("<unreadable>");
    }
  }
  return files;
}

class DiskTest : public HardeningTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(geteuid(), 0u)
        << "this test mounts a tmpfs as the working directory and needs "
           "root (CI runs it as root); run it as root";
    site_.AddPage("/d/page", BeaconPage("Page", "<p>page</p>"));
  }

  // Mounts a tmpfs on the working directory and puts the installation's
  // files back into it.
  void MountWorkDir(const std::string& size) {
    mount_ = std::make_unique<testing::TmpfsMount>(installation_.WorkDir(),
                                                   size);
    ASSERT_TRUE(mount_->mounted())
        << "cannot mount a tmpfs on " << installation_.WorkDir() << ": "
        << mount_->error();
    WriteFileBytes(installation_.IntroPath(), kIntro);
    installation_.WriteTransName("Disk", "d15c");
  }

  void TearDown() override {
    HardeningTest::TearDown();
    mount_.reset();
  }

  WindowTexts texts_;
  std::unique_ptr<testing::TmpfsMount> mount_;
};

TEST_F(DiskTest, FullDiskIsReportedOnceLeavesWholeElementsAndRecordsAgain) {
  MountWorkDir("64k");
  Environment environment;
  texts_.AddTo(environment);
  StartRecording(environment);

  // The recorded elements are sized so that the page holding the document's
  // end has room for the next element and 100 bytes more: on the full disk
  // that element is still written whole, and the one after it fits only in
  // part, which the program must take back. The long address is reached by
  // script (typing it would take minutes).
  const std::string start = kDocumentStart;
  const std::string fits = ExpectedGet(site_.Url("/d/page?n=1"));
  const size_t room = fits.size() + 100;
  size_t pad = 0;
  std::string jump;
  std::string padded;
  for (int round = 0; round < 3; ++round) {
    jump = "/d/jump?pad=" + std::to_string(pad);
    const size_t bare = start.size() + ExpectedGet(site_.Url(jump)).size() +
                        ExpectedGet(site_.Url("/d/page?pad=")).size();
    pad = (4096 - room - bare % 4096 + 4096) % 4096;
  }
  jump = "/d/jump?pad=" + std::to_string(pad);
  padded = "/d/page?pad=" + std::string(pad, 'p');
  site_.AddPage("/d/jump",
                BeaconPage("Jump", "<p>jump</p>",
                           "addEventListener('load',function(){"
                           "location.href='" + padded + "';});"));
  Visit(jump);
  ASSERT_TRUE(site_.WaitForBeacon(padded, 1));
  WaitForElements(2);
  const std::string padded_document = Document();
  ASSERT_EQ(padded_document, start + ExpectedGet(site_.Url(jump)) +
                                 ExpectedGet(site_.Url(padded)));
  ASSERT_EQ(padded_document.size() % 4096, 4096 - room);

  testing::FillUp(installation_.WorkDir() + "/filler");
  // Fits in the room left: written whole, nothing reported.
  Visit("/d/page?n=1");
  WaitForElements(3);
  const std::string before = Document();
  EXPECT_EQ(before, padded_document + fits);
  EXPECT_TRUE(MessageWindows().empty());

  // Does not fit: reported, and the document stays as it was.
  TypeAddress(site_.Url("/d/page?n=2"));
  const WindowId message = WaitForMessage();
  ASSERT_NE(message, 0u) << "no message about the full disk";
  EXPECT_EQ(MessageWindows().size(), 1u);
  EXPECT_TRUE(texts_.WaitFor("Could not write trans.xml"))
      << "the message does not name trans.xml; texts shown:\n"
      << texts_.All();
  EXPECT_EQ(Document(), before) << "the failed capture left something behind";
  EXPECT_TRUE(program_->IsRunning());
  Display().Activate(message);
  Display().Key("Return");
  ASSERT_TRUE(WaitForWindowGone(message, "^Nerovant Scrivlet$"));
  ASSERT_TRUE(site_.WaitForBeacon("/d/page?n=2", 1));

  // Still full: the failure is not reported again. The page loading at all
  // shows that no message held its navigation back.
  Visit("/d/page?n=3");
  EXPECT_TRUE(MessageWindows().empty());
  EXPECT_EQ(Document(), before);
  EXPECT_TRUE(program_->IsRunning());

  std::filesystem::remove(installation_.WorkDir() + "/filler");
  Visit("/d/page?n=4");
  WaitForElements(4);
  EXPECT_EQ(Document(), before + ExpectedGet(site_.Url("/d/page?n=4")));
  EXPECT_TRUE(MessageWindows().empty());
}

TEST_F(DiskTest, ReadOnlyWorkingDirectoryAtStartGivesErrorAndTouchesNothing) {
  MountWorkDir("64k");
  ASSERT_TRUE(mount_->RemountReadOnly()) << mount_->error();
  const auto before = Snapshot(installation_.root());
  Environment environment;
  texts_.AddTo(environment);
  StartProgramWith(environment);
  const WindowId message = WaitForMessage();
  ASSERT_NE(message, 0u) << "no error message";
  EXPECT_TRUE(texts_.WaitFor("Error :"))
      << "no \"Error :\" message; texts shown:\n" << texts_.All();
  EXPECT_TRUE(texts_.Contains("Read-only file system"))
      << "the message does not give the reason; texts shown:\n"
      << texts_.All();
  Display().Activate(message);
  Display().Key("Return");
  const std::optional<int> status = WaitForProgramExit();
  ASSERT_TRUE(status.has_value()) << "the program did not end";
  EXPECT_LT(*status, 128) << "the program died of a signal";
  // The program's home and log are the test's, not the installation's.
  const auto installation_only = [&](std::map<std::string, std::string> files) {
    std::erase_if(files, [&](const auto& item) {
      return item.first.rfind(installation_.HomeDir(), 0) == 0 ||
             item.first == installation_.root() + "/scrivlet.log";
    });
    return files;
  };
  const auto after = installation_only(Snapshot(installation_.root()));
  const auto expected = installation_only(before);
  EXPECT_EQ(after, expected);
}

TEST_F(DiskTest, MissingWorkingDirectoryAtStartGivesErrorAndTouchesNothing) {
  // The program starts in a directory that is removed just before it runs,
  // so its working directory no longer exists.
  const std::string gone = installation_.root() + "/agent/gone";
  std::filesystem::create_directories(gone);
  const auto before = Snapshot(installation_.root() + "/agent");
  Environment environment = ProgramEnvironment(installation_);
  texts_.AddTo(environment);
  program_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"/bin/sh", "-c",
                               "rmdir \"$PWD\" && exec \"$0\"",
                               ScrivletBinary()},
      environment, gone, installation_.root() + "/scrivlet.log");
  const WindowId message = WaitForMessage();
  ASSERT_NE(message, 0u) << "no error message; the program "
                         << (program_->IsRunning() ? "runs" : "ended");
  EXPECT_TRUE(texts_.WaitFor("Error :"))
      << "no \"Error :\" message; texts shown:\n" << texts_.All();
  Display().Activate(message);
  Display().Key("Return");
  const std::optional<int> status = WaitForProgramExit();
  ASSERT_TRUE(status.has_value()) << "the program did not end";
  EXPECT_LT(*status, 128) << "the program died of a signal";
  auto expected = before;
  expected.erase(gone);
  EXPECT_EQ(Snapshot(installation_.root() + "/agent"), expected);
}

}  // namespace
}  // namespace scrivlet::e2e::hardening
