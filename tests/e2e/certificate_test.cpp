// A site whose certificate the system does not trust (self-signed, made at
// test time): the program asks, naming the host and the reason; Continue
// loads the page with the certificate accepted for that host, Cancel leaves
// it unloaded; the navigation is recorded once either way.
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "hardening_support.h"

namespace scrivlet::e2e {
namespace {

using hardening::WindowTexts;

Reply NotFound(const RecordedRequest&) {
  return Reply{404, BeaconPage("Not found", "<p>not found</p>"), ""};
}

class CertificateTest : public hardening::HardeningTest {
 protected:
  CertificateTest()
      : identity_(MakeSelfSignedIdentity(certificate_dir_.path())),
        secure_(NotFound, Caching::kNoStore, identity_) {
    secure_.AddPage("/secure", BeaconPage("Secure", "<p>secure</p>"));
  }

  void SetUp() override {
    Environment extra;
    texts_.AddTo(extra);
    StartRecording(extra);
  }

  // Types the address of the secure site's `path` and waits for the
  // program's question about its certificate.
  WindowId AskAbout(const std::string& path) {
    TypeAddress(secure_.Url(path));
    const WindowId question = WaitForMessage();
    if (question == 0) throw std::runtime_error("no question was asked");
    return question;
  }

  void Answer(WindowId question, const std::vector<std::string>& keys) {
    Display().Activate(question);
    for (const std::string& key : keys) Display().Key(key);
    if (!WaitForWindowGone(question, "^Nerovant Scrivlet$")) {
      throw std::runtime_error("the question did not close");
    }
  }

  TempDir certificate_dir_{"scrivlet-certificate-"};
  TlsIdentity identity_;
  RecordingServer secure_;
  WindowTexts texts_;
};

TEST_F(CertificateTest, ContinueLoadsThePageAndRecordsOneGet) {
  const WindowId question = AskAbout("/secure");
  EXPECT_TRUE(texts_.WaitFor(
      "The certificate of 127.0.0.1 is not trusted: it is not signed by an "
      "authority this system trusts"));
  EXPECT_TRUE(texts_.Contains("\nContinue to 127.0.0.1\n"));
  EXPECT_TRUE(texts_.Contains("\nCancel\n"));
  std::filesystem::create_directories(E2E_ARTIFACT_DIR);
  Display().Activate(question);
  std::this_thread::sleep_for(1s);  // repainted after the raise
  Display().Screenshot(question, std::string(E2E_ARTIFACT_DIR) +
                                     "/certificate_question.png");

  // Cancel has the focus; the button before it continues.
  Answer(question, {"shift+Tab", "Return"});
  ASSERT_TRUE(secure_.WaitForBeacon("/secure", 1));
  EXPECT_EQ(secure_.RequestsTo("/secure").size(), 1u);

  // Accepted for the host for the rest of the session: no second question.
  TypeAddress(secure_.Url("/secure?again"));
  ASSERT_TRUE(secure_.WaitForBeacon("/secure?again", 1));
  EXPECT_TRUE(MessageWindows().empty());

  ExpectDocumentThenSentinel(ExpectedGet(secure_.Url("/secure")) +
                             ExpectedGet(secure_.Url("/secure?again")));
}

TEST_F(CertificateTest, CancelRecordsTheAttemptedGetAndLoadsNothing) {
  const WindowId question = AskAbout("/secure");

  Answer(question, {"Escape"});

  ExpectDocumentThenSentinel(ExpectedGet(secure_.Url("/secure")));
  // The connection never got past the certificate.
  EXPECT_TRUE(secure_.Requests().empty());
}

}  // namespace
}  // namespace scrivlet::e2e
