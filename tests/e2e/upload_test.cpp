// "Save Transaction" and the upload to the management server: the whole path
// from the first recorded page to the stored upload, and the ways it can
// fail without ending the program.
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <filesystem>
#include <memory>

#include "scrivlet_fixture.h"
#include "stand_in_server.h"
#include "stand_in_server/form_decoding.h"

namespace scrivlet::e2e {
namespace {

constexpr char kUuid[] = "0f8fad5b-d9cb-469f-a165-70867728950e";
constexpr char kName[] = "E2E Checkout";

// The body of the one post in `document`, as an XML parser reads it: the
// texts of its W3C_ENC elements joined with "&". "(not well-formed)" when
// the parser refuses the document.
std::string ParsedPostBody(const std::string& document) {
  std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> xml(
      xmlReadMemory(document.data(), static_cast<int>(document.size()),
                    "trans.xml", nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      &xmlFreeDoc);
  if (!xml) return "(not well-formed)";
  std::string body;
  bool first = true;
  std::vector<xmlNode*> stack{xmlDocGetRootElement(xml.get())};
  while (!stack.empty()) {
    xmlNode* node = stack.back();
    stack.pop_back();
    for (xmlNode* child = node->last; child; child = child->prev) {
      stack.push_back(child);
    }
    if (node->type != XML_ELEMENT_NODE ||
        std::string(reinterpret_cast<const char*>(node->name)) != "W3C_ENC") {
      continue;
    }
    xmlChar* text = xmlNodeGetContent(node);
    body += (first ? "" : "&") + std::string(reinterpret_cast<char*>(text));
    xmlFree(text);
    first = false;
  }
  return body;
}

class UploadTest : public ScrivletTest {
 protected:
  // The saved document of a page whose form posted `post` to `target`.
  std::string SavedPageAndPost(const std::string& page,
                               const std::string& target,
                               const RecordedRequest& post) const {
    return kDocumentStart + ExpectedGet(server_.Url(page)) +
           ExpectedPost(server_.Url(target), post.body,
                        post.Header("Content-Type")) +
           kDocumentEnd;
  }

  void UseManagementServer(const std::string& url) {
    installation_.WriteAgentIni({"dbmgmtsrvurl=" + url});
  }

  // Records /page with the management server on a port where nothing
  // listens, and clicks "Save Transaction".
  void SavePageToUnreachableServer() {
    UseManagementServer("http://127.0.0.1:" + std::to_string(ClosedPort()) +
                        "/");
    StartAndAnswerDialogs();
    NavigateTo("/page");
    WaitForElements(1);
    ClickControl(kSaveTransaction);
  }

  // Clicks "Save Transaction" and expects upload 1 of `management` to be
  // `document` with its first address `start_url`, accepted, and then the
  // program's clean end.
  void SaveAndExpectAccepted(StandInServer& management,
                             const std::string& document,
                             const std::string& start_url) {
    ClickControl(kSaveTransaction);
    const std::string upload = management.Upload(1);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(upload + "/verdict.txt"); }))
        << "nothing was uploaded; trans.xml:\n" << Document();
    EXPECT_EQ(ReadFileBytes(upload + "/verdict.txt"), "accepted\n");
    EXPECT_EQ(ReadFileBytes(upload + "/start-url.txt"), start_url);
    EXPECT_EQ(ReadFileBytes(upload + "/trans.xml"), JoinedLines(document));
    ExpectStoppedMessageAndCleanEnd();
  }

  // Waits for the stopped message, answers it with Return and expects the
  // program to end cleanly without its working files.
  void ExpectStoppedMessageAndCleanEnd() {
    ASSERT_TRUE(AcknowledgeMessage())
        << "no message \"The record session has been stopped\"";
    std::optional<int> status = WaitForProgramExit();
    ASSERT_TRUE(status.has_value()) << "the program did not end";
    EXPECT_EQ(*status, 0);
    EXPECT_FALSE(FileExists(installation_.TransXmlPath()));
    EXPECT_FALSE(FileExists(installation_.TransNamePath()));
  }

  // Answers the message about an upload not done; the transaction is kept.
  void ExpectUploadNotDoneMessage() {
    ASSERT_TRUE(AcknowledgeMessage()) << "no message about the upload";
    EXPECT_TRUE(program_->IsRunning());
    EXPECT_EQ(Document(), kDocumentStart + ExpectedGet(server_.Url("/page")) +
                              kDocumentEnd);
  }
};

TEST_F(UploadTest, WholePathToTheStandInServer) {
  StandInServer management;
  UseManagementServer(management.url());
  StartAndAnswerDialogs();

  std::string elements;
  NavigateTo("/page");
  ClickInPage(kBox1);
  WaitForPage("/link?a=1&b=2");
  elements += ExpectedGet(server_.Url("/page")) +
              ExpectedGet(server_.Url("/link?a=1&b=2"));

  NavigateTo("/form");
  ClickInPage(kBox1);
  WaitForPage("/form-target");
  RecordedRequest form_post = server_.LastPost();
  elements += ExpectedGet(server_.Url("/form")) +
              ExpectedPost(server_.Url("/form-target"), form_post.body,
                           form_post.Header("Content-Type"));

  NavigateTo("/redirect-form");
  ClickInPage(kBox1);
  WaitForPage("/landing");
  RecordedRequest login_post = server_.LastPost();
  elements += ExpectedGet(server_.Url("/redirect-form")) +
              ExpectedPost(server_.Url("/redirect-after-post"), login_post.body,
                           login_post.Header("Content-Type")) +
              ExpectedCompletion(server_.Url("/landing"));

  NavigateTo("/frames");
  WaitForPage("/frame-a");
  WaitForPage("/frame-b");
  elements += ExpectedGet(server_.Url("/frames")) +
              ExpectedGet(server_.Url("/frame-a")) +
              ExpectedGet(server_.Url("/frame-b"));

  NavigateTo("/popup-link");
  ClickInPage(kBox1);
  WindowId popup = WaitForWindow("^Popup$");
  ASSERT_NE(popup, 0u) << "no pop-up";
  WaitForPage("/popup-page?by=link");
  ClickInPopup(popup, kBox1);
  WaitForPage("/popup-form-target");
  RecordedRequest popup_post = server_.LastPost();
  elements += ExpectedGet(server_.Url("/popup-link")) +
              ExpectedGet(server_.Url("/popup-page?by=link")) +
              ExpectedPost(server_.Url("/popup-form-target"), popup_post.body,
                           popup_post.Header("Content-Type"));
  WaitForElements(CountElements(elements));

  ClickControl(kSaveTransaction);
  const std::string document = kDocumentStart + elements + kDocumentEnd;
  ASSERT_TRUE(WaitUntil([&] {
    return FileExists(management.Upload(1) + "/verdict.txt");
  })) << "nothing was uploaded; trans.xml:\n"
      << Document();
  // The document on disk is closed and nothing after the save is recorded.
  EXPECT_EQ(Document(), document);

  const std::string upload = management.Upload(1);
  EXPECT_EQ(ReadFileBytes(upload + "/verdict.txt"), "accepted\n");
  EXPECT_EQ(ReadFileBytes(upload + "/uuid.txt"), kUuid);
  EXPECT_EQ(ReadFileBytes(upload + "/name.txt"), kName);
  EXPECT_EQ(ReadFileBytes(upload + "/start-url.txt"), server_.Url("/page"));
  EXPECT_EQ(ReadFileBytes(upload + "/trans.xml"), JoinedLines(document));
  EXPECT_FALSE(FileExists(management.Upload(2)));

  ExpectStoppedMessageAndCleanEnd();
}

// A request deleted in "Recorded Requests" (Delete, then "Delete Request" in
// the question) leaves trans.xml at once; the upload lacks it, names the
// next one as the first address, and the server accepts it.
TEST_F(UploadTest, ADeletedRequestIsNeitherRecordedNorUploaded) {
  StandInServer management;
  UseManagementServer(management.url());
  StartAndAnswerDialogs();
  NavigateTo("/page");
  NavigateTo("/page2");
  WaitForElements(2);

  Display().Activate(OpenRecordedRequests());
  Display().Key("Home");
  Display().Key("Delete");
  ASSERT_TRUE(ConfirmQuestion()) << "no confirmation was asked";
  const std::string document =
      kDocumentStart + ExpectedGet(server_.Url("/page2"));
  EXPECT_TRUE(WaitUntil([&] { return Document() == document; }))
      << Document();

  Display().Activate(MainWindow());
  SaveAndExpectAccepted(management, document + kDocumentEnd,
                        server_.Url("/page2"));
}

// The browser spells the record page's address its own way: "127.1" loads
// "127.0.0.1".
class RecordPageSpellingTest : public UploadTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(RecordPageSpellingTest, RecordPageIsFilledWhenAgentIniSpellsItsAddressDifferently) {
  StandInServer management;
  const std::string port = management.url().substr(
      management.url().rfind(':') + 1);
  std::string url = GetParam();
  UseManagementServer(url.replace(url.find("PORT"), 4, port));
  StartAndAnswerDialogs();
  NavigateTo("/page");
  WaitForElements(1);
  SaveAndExpectAccepted(
      management, kDocumentStart + ExpectedGet(server_.Url("/page")) + kDocumentEnd,
      server_.Url("/page"));
}

INSTANTIATE_TEST_SUITE_P(Spellings, RecordPageSpellingTest,
                         ::testing::Values("HTTP://LocalHost:PORT./", " http://127.0.0.1:PORT",
                                           "http://127.1:PORT", "http://0x7f.0.0.1:PORT",
                                           "http://127.000.000.001:PORT",
                                           "http://127.0.0.1:PORTa^b/"));

// The file's CR LF and bare LF, and the CR LF between the parts, survive
// the joining of the lines for the upload and an XML parser's reading.
TEST_F(UploadTest, MultipartLineBreaksReachTheServerByteForByte) {
  StandInServer management;
  UseManagementServer(management.url());
  StartAndAnswerDialogs();
  NavigateTo("/multipart");
  ClickInPage(kBox1);
  WaitForPage("/multipart-target");
  const RecordedRequest post = server_.LastPost();
  ASSERT_NE(post.body.find("gamma\ndelta"), std::string::npos) << post.body;
  const std::string document =
      SavedPageAndPost("/multipart", "/multipart-target", post);
  WaitForElements(2);

  ClickControl(kSaveTransaction);
  ASSERT_TRUE(WaitUntil([&] {
    return FileExists(management.Upload(1) + "/verdict.txt");
  })) << "nothing was uploaded; trans.xml:\n"
      << Document();
  EXPECT_EQ(Document(), document);
  EXPECT_EQ(ParsedPostBody(Document()), post.body);
  const std::optional<std::string> uploaded =
      ReadFileBytes(management.Upload(1) + "/trans.xml");
  ASSERT_TRUE(uploaded.has_value());
  EXPECT_EQ(*uploaded, JoinedLines(document));
  EXPECT_EQ(ParsedPostBody(*uploaded), post.body);
  ExpectStoppedMessageAndCleanEnd();
}

TEST_F(UploadTest, DocumentTextReachesTheServletUnchanged) {
  // The test web server plays the management server here, so that the
  // servlet receives a document that is not well-formed XML too.
  StartAndAnswerDialogs();
  NavigateTo("/special");
  ClickInPage(kBox1);
  WaitForPage("/special-target");
  RecordedRequest post = server_.LastPost();
  ASSERT_NE(post.body.find("\xE2\x80\xA8"), std::string::npos)
      << "the page did not send U+2028";
  const std::string document =
      SavedPageAndPost("/special", "/special-target", post);
  WaitForElements(2);

  ClickControl(kSaveTransaction);
  ASSERT_TRUE(server_.WaitFor(
      [](const std::vector<RecordedRequest>& requests) {
        for (const auto& request : requests) {
          if (request.path == kServletPath) return true;
        }
        return false;
      },
      kWaitTimeout))
      << "the record page did not submit";
  EXPECT_EQ(Document(), document);

  RecordedRequest upload;
  for (const auto& request : server_.Requests()) {
    if (request.path == kServletPath) upload = request;
  }
  EXPECT_EQ(upload.method, "POST");
  const stand_in::FormFields fields = stand_in::DecodeUrlEncodedForm(upload.body);
  ASSERT_EQ(fields.size(), 4u) << upload.body;
  EXPECT_EQ(fields[0], (std::pair<std::string, std::string>{"uuid", kUuid}));
  EXPECT_EQ(fields[1], (std::pair<std::string, std::string>{"name", kName}));
  EXPECT_EQ(fields[2], (std::pair<std::string, std::string>{
                           "start", server_.Url("/special")}));
  EXPECT_EQ(fields[3].first, "doc");
  // Carried unchanged: exactly the lines on disk, joined.
  EXPECT_EQ(fields[3].second, JoinedLines(Document()));
  // And those lines are the document as recorded.
  EXPECT_EQ(fields[3].second, JoinedLines(document));

  ExpectStoppedMessageAndCleanEnd();
}

class UnusableRecordPageTest
    : public UploadTest,
      public ::testing::WithParamInterface<RecordPage> {};

// Told, the transaction kept; "Save Transaction" tries again, and once the
// server works the upload ends the session.
TEST_P(UnusableRecordPageTest, TellsTheUserAndSaveTriesAgain) {
  server_.SetRecordPage(GetParam());
  StartAndAnswerDialogs();
  NavigateTo("/page");
  WaitForElements(1);

  ClickControl(kSaveTransaction);
  ExpectUploadNotDoneMessage();
  server_.SetRecordPage(RecordPage::kFourElementForm);
  ClickControl(kSaveTransaction);
  ExpectStoppedMessageAndCleanEnd();
}

INSTANTIATE_TEST_SUITE_P(Pages, UnusableRecordPageTest,
                         ::testing::Values(RecordPage::kNoForm,
                                           RecordPage::kThreeElementForm,
                                           RecordPage::kNotFound,
                                           RecordPage::kRefusingServlet));

// Each "Save Transaction" tries again; the document keeps one closing line.
TEST_F(UploadTest, UnreachableServerIsToldAndSaveTriesAgain) {
  SavePageToUnreachableServer();
  ExpectUploadNotDoneMessage();
  ClickControl(kSaveTransaction);
  ExpectUploadNotDoneMessage();
}

}  // namespace
}  // namespace scrivlet::e2e
