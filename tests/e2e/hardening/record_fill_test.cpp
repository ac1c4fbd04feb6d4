// The record page fill carries a 10 MB document whose text holds quotes,
// backslashes, "</script>", U+2028 and other non-ASCII text, and the
// stand-in management server stores exactly the joined lines. The document
// is written into trans.xml by the test while the program runs: the program
// keeps no copy of its own and reads the whole file when the record page
// completes, so this exercises exactly the fill.
#include <fstream>

#include "hardening_support.h"

namespace scrivlet::e2e::hardening {
namespace {

constexpr size_t kDocumentBytes = 10 * 1024 * 1024;

// One line of hostile text (CR LF ended), numbered so that a lost or
// repeated line shows.
std::string HostileLine(size_t number) {
  return "<REQUEST><W3C_ENC>n=" + std::to_string(number) +
         " He said \"hi\" and 'bye' \\ C:\\dir\\ \\\" \\u2028 </script>"
         "<script>alert(1)</script> caf\xc3\xa9 \xe2\x98\x83 \xe4\xb8\xad"
         "\xe6\x96\x87 \xf0\x9f\x98\x80 [\xe2\x80\xa8] [\xe2\x80\xa9] "
         "${x} `tick` %41 &amp; +plus+</W3C_ENC></REQUEST>\r\n";
}

class RecordFillTest : public HardeningTest {};

TEST_F(RecordFillTest, TenMegabyteDocumentArrivesByteForByte) {
  StandInServer management;
  installation_.WriteAgentIni({"dbmgmtsrvurl=" + management.url()});
  site_.AddPage("/f/page", BeaconPage("Page", "<p>page</p>"));
  StartRecording();
  Visit("/f/page");
  WaitForElements(1);

  std::string document = Document();
  for (size_t line = 0; document.size() < kDocumentBytes; ++line) {
    document += HostileLine(line);
  }
  WriteFileBytes(installation_.TransXmlPath(), document);
  ClickControl(kSaveTransaction);

  const std::string stored = management.Upload(1) + "/trans.xml";
  ASSERT_TRUE(WaitUntil([&] { return FileExists(stored); },
                        std::chrono::seconds(120)))
      << "nothing was uploaded";
  const std::string expected =
      JoinedLines(document + kDocumentEnd);
  // The store writes the file once it has the whole upload; wait until it
  // is complete before comparing.
  WaitUntil([&] {
    return ReadFileBytes(stored).value_or("").size() >= expected.size();
  });
  const std::string received = ReadFileBytes(stored).value_or("");
  std::cout << "document " << document.size() << " bytes, joined "
            << expected.size() << " bytes, stored " << received.size()
            << " bytes\n";
  ASSERT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected) << "the stored document differs";
  if (received != expected) {
    size_t at = 0;
    while (at < received.size() && received[at] == expected[at]) ++at;
    ADD_FAILURE() << "first difference at byte " << at << ": stored \""
                  << received.substr(at, 80) << "\" expected \""
                  << expected.substr(at, 80) << "\"";
  }
  EXPECT_EQ(ReadFileBytes(management.Upload(1) + "/start-url.txt"),
            site_.Url("/f/page"));

  // The server refuses the hostile lines (no well-formed XML) with 400:
  // the message says so and the transaction is kept.
  ASSERT_TRUE(AcknowledgeMessage()) << "no message about the refused upload";
  EXPECT_TRUE(program_->IsRunning());
  EXPECT_TRUE(FileExists(installation_.TransXmlPath()));
}

}  // namespace
}  // namespace scrivlet::e2e::hardening
