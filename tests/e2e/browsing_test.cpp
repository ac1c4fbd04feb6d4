// Recording while browsing in the main window: the address box, links, form
// posts of every encoding, frames, a redirect after a post, and the
// navigation buttons.
#include <algorithm>
#include <chrono>
#include <thread>

#include "scrivlet_fixture.h"
#include "stand_in_server.h"

namespace scrivlet::e2e {
namespace {

class BrowsingTest : public ScrivletTest {
 protected:
  void SetUp() override { StartAndAnswerDialogs(); }

  // "METHOD target" of every page request the server received.
  std::vector<std::string> ServerLog() const {
    std::vector<std::string> log;
    for (const auto& request : server_.PageRequests()) {
      log.push_back(request.method + " " + request.target);
    }
    return log;
  }

  // The one POST the server received for `path`; fails the test when there
  // is not exactly one.
  RecordedRequest OnlyPostTo(const std::string& path) const {
    std::vector<RecordedRequest> posts;
    for (const auto& request : server_.Requests()) {
      if (request.method == "POST" && request.path == path) {
        posts.push_back(request);
      }
    }
    EXPECT_EQ(posts.size(), 1u) << "POST requests to " << path;
    return posts.empty() ? RecordedRequest{} : posts.front();
  }
};

TEST_F(BrowsingTest, AddressBoxWithReturnRecordsAGet) {
  NavigateTo("/page");
  WaitForElements(1);

  EXPECT_EQ(Document(),
            std::string(kDocumentStart) + ExpectedGet(server_.Url("/page")));
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")));
}

TEST_F(BrowsingTest, LocationButtonNavigatesToTheTypedAddress) {
  ClickControl(kText1);
  Display().Key("ctrl+a");
  Display().Type(server_.Url("/page2"));
  ClickControl(kLocation);
  WaitForPage("/page2");

  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page2")));
}

// Typed without a scheme, the address loads as http and is recorded so.
TEST_F(BrowsingTest, AnAddressTypedWithoutASchemeLoadsAsHttp) {
  TypeAddress(server_.Authority() + "/page");
  WaitForPage("/page");
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")));
}

// Return in the address box sends the keyboard to the page: the typing goes
// into the autofocused field, and Return there submits its form.
TEST_F(BrowsingTest, TypingAfterReturnInTheAddressBoxGoesToThePage) {
  NavigateTo("/autofocus");
  Display().Type("typed-in-page");
  Display().Key("Return");
  WaitForPage("/autofocus-target");

  RecordedRequest post = OnlyPostTo("/autofocus-target");
  EXPECT_EQ(post.body, "user=typed-in-page&go=Log+in");
  ExpectDocumentThenSentinel(
      ExpectedGet(server_.Url("/autofocus")) +
      ExpectedPost(server_.Url("/autofocus-target"), post.body,
                   post.Header("Content-Type")));
}

// A page that completes while an address is being typed leaves the typed
// text alone.
TEST_F(BrowsingTest, APageCompletingWhileTypingKeepsTheTypedAddress) {
  TypeAddress(server_.Url("/slow"));
  ASSERT_TRUE(server_.WaitForRequest("/slow", 1));
  ClickControl(kText1);
  Display().Key("ctrl+a");
  const std::string address = server_.Url("/page");
  Display().Type(address.substr(0, 10));
  WaitForPage("/slow");
  // The beacon comes from the page's load event; the completion follows.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  Display().Type(address.substr(10));
  Display().Key("Return");
  WaitForPage("/page");
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/slow")) +
                             ExpectedGet(address));
}

// An address typed while a page still loads (its picture comes after 3 s)
// is recorded once: the old page's end, which comes after the new address
// was asked for, is no redirect to it.
TEST_F(BrowsingTest, AnAddressTypedWhileAPageStillLoadsIsRecordedOnce) {
  server_.AddPage("/picture", BeaconPage("Picture", "<img src=\"/slow\">"));
  TypeAddress(server_.Url("/picture"));
  ASSERT_TRUE(server_.WaitForRequest("/slow", 1));
  TypeAddress(server_.Url("/page"));
  WaitForPage("/page");
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/picture")) +
                             ExpectedGet(server_.Url("/page")));
}

// The same while the page draws, when the typed address is redirected: its
// end is the redirect's, recorded once.
TEST_F(BrowsingTest, AnAddressTypedWhileAPageDrawsKeepsItsRedirect) {
  server_.AddPage("/picture", BeaconPage("Picture", "<img src=\"/slow\">"));
  server_.Add("/r/x", [](auto&) { return Reply{302, "", "/x-target"}; });
  TypeAddress(server_.Url("/picture"));
  ASSERT_TRUE(server_.WaitForRequest("/slow", 1));
  TypeAddress(server_.Url("/r/x"));
  WaitForPage("/x-target");
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/picture")) +
                             ExpectedGet(server_.Url("/r/x")) +
                             ExpectedCompletion(server_.Url("/x-target")));
}

// A page's script that rewrites its address names no request: the page
// completes where its answer came from.
TEST_F(BrowsingTest, APageThatRewritesItsAddressCompletesAtItsAnswer) {
  server_.Add("/r/in", [](auto&) { return Reply{302, "", "/in-target"}; });
  server_.AddPage("/in-target",
                  BeaconPage("In", "", "history.replaceState(null,'','/?i=1');"));
  TypeAddress(server_.Url("/r/in"));
  WaitForPage("/?i=1");
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/r/in")) +
                             ExpectedCompletion(server_.Url("/in-target")));
}

// A link to a part of the shown page sends nothing, so nothing is recorded
// for it.
TEST_F(BrowsingTest, ALinkToAPartOfThePageRecordsNothing) {
  server_.AddPage(
      "/parts",
      BeaconPage("Parts",
                 "<a href=\"#end\" style=\"position:absolute;left:20px;"
                 "top:20px;width:400px;height:80px;display:block\">end</a>"
                 "<p id=\"end\" style=\"margin-top:2000px\">end</p>",
                 "addEventListener('hashchange',function(){"
                 "fetch('/beacon?page=/parts-end');});"));
  NavigateTo("/parts");
  ClickInPage(kBox1);
  WaitForPage("/parts-end");
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/parts")));
}

TEST_F(BrowsingTest, LinkClickIsRecordedWithItsEscapedQuery) {
  NavigateTo("/page");
  ClickInPage(kBox1);
  WaitForPage("/link?a=1&b=2");

  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")) +
                             ExpectedGet(server_.Url("/link?a=1&b=2")));
  EXPECT_EQ(ServerLog(),
            (std::vector<std::string>{"GET /page", "GET /link?a=1&b=2",
                                      "GET /sentinel?n=1"}));
}

// A form submitted in the page: the recorded element must carry exactly the
// body the server received, split at "&", and its Content-Type.
struct FormCase {
  const char* name;
  const char* page;
  const char* target;
  const char* content_type_start;
  std::vector<std::string> body_must_contain;
};

class FormPostTest : public BrowsingTest,
                     public ::testing::WithParamInterface<FormCase> {};

TEST_P(FormPostTest, RecordsTheBodyTheServerReceived) {
  const FormCase& form = GetParam();
  NavigateTo(form.page);
  ClickInPage(kBox1);
  WaitForPage(form.target);

  RecordedRequest post = OnlyPostTo(form.target);
  const std::string content_type = post.Header("Content-Type");
  ASSERT_EQ(content_type.rfind(form.content_type_start, 0), 0u)
      << content_type;
  for (const auto& part : form.body_must_contain) {
    EXPECT_NE(post.body.find(part), std::string::npos)
        << "the page did not send " << part << " in:\n"
        << post.body;
  }
  ExpectDocumentThenSentinel(
      ExpectedGet(server_.Url(form.page)) +
      ExpectedPost(server_.Url(form.target), post.body, content_type));
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, FormPostTest,
    ::testing::Values(
        FormCase{"UrlEncoded", "/form", "/form-target",
                 "application/x-www-form-urlencoded",
                 {"user=ann+lee", "note=a%26b%3Dc%2Bd%2F100%25", "token=x+y",
                  "remember=on", "color=green", "msg=line1%0D%0Aline2",
                  "go=Send"}},
        FormCase{"PageListenerAddsToTheEntryList", "/form-listener",
                 "/form-target", "application/x-www-form-urlencoded",
                 {"user=ann+lee", "added=by+listener"}},
        FormCase{"Multipart", "/multipart", "/multipart-target",
                 "multipart/form-data; boundary=",
                 {"name=\"title\"\r\n\r\ncaf\xC3\xA9 & cr\xC3\xA8me \"q\"\r\n",
                  "filename=\"notes.txt\"", "alpha&beta\r\ngamma",
                  "name=\"agree\"\r\n\r\nyes\r\n",
                  "name=\"size\"\r\n\r\nlarge\r\n",
                  "name=\"msg\"\r\n\r\none&two\r\nthree\r\n",
                  "name=\"go\"\r\n\r\nUpload\r\n"}},
        // The file's bytes come well after the 500 ms that a body without
        // any news is waited for.
        FormCase{"LargeFileReadLate", "/multipart-slow", "/multipart-slow-target",
                 "multipart/form-data; boundary=",
                 {"filename=\"big.txt\"", "line 149999 of the big file\r\n",
                  "name=\"go\"\r\n\r\nUpload\r\n"}},
        FormCase{"TextPlain", "/text-plain", "/text-plain-target", "text/plain",
                 {"a=1 2\r\n", "b=x&y\r\n"}},
        FormCase{"SubmitCalledByScript", "/script-submit", "/script-target",
                 "application/x-www-form-urlencoded",
                 {"q=from+script", "n=1%262"}}),
    [](const ::testing::TestParamInfo<FormCase>& param_info) {
      return std::string(param_info.param.name);
    });

// A file chosen the way a file chooser does it (with input and change
// events) is read before the submission, so the body goes in the first
// message; the Multipart case above, whose file comes without events, takes
// the later read after the formdata event.
TEST_F(BrowsingTest, FileChosenBeforeTheSubmitIsRecordedWithItsBytes) {
  NavigateTo("/multipart-chosen");
  ClickInPage(kBox1);
  WaitForPage("/multipart-chosen-target");

  RecordedRequest post = OnlyPostTo("/multipart-chosen-target");
  const std::string content_type = post.Header("Content-Type");
  const std::string multipart = "multipart/form-data; boundary=";
  ASSERT_EQ(content_type.rfind(multipart, 0), 0u) << content_type;
  const std::string boundary = content_type.substr(multipart.size());
  const std::string file_bytes(kChosenFileBytes);
  const std::string part = "\r\n--" + boundary + "\r\n";
  ASSERT_EQ(
      post.body,
      "--" + boundary +
          "\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nx&y z" +
          part +
          "Content-Disposition: form-data; name=\"data\"; "
          "filename=\"chosen.bin\"\r\nContent-Type: application/octet-stream"
          "\r\n\r\n" +
          file_bytes + part +
          "Content-Disposition: form-data; name=\"note\"\r\n\r\nafter" +
          part +
          "Content-Disposition: form-data; name=\"go\"\r\n\r\nUpload\r\n--" +
          boundary + "--\r\n");

  // The document keeps every byte XML can carry and writes U+FFFD for each
  // one it cannot.
  const std::string fffd = "\xEF\xBF\xBD";
  std::string written = post.body;
  written.replace(written.find(file_bytes), file_bytes.size(),
                  fffd + fffd + fffd + fffd +
                      "\x7F\t\r\n\xC3\xA9\xE2\x98\x83" + fffd +
                      "(&<\xF0\x9F\x98\x80\xC2\x85" + fffd);
  ExpectDocumentThenSentinel(
      ExpectedGet(server_.Url("/multipart-chosen")) +
      ExpectedPost(server_.Url("/multipart-chosen-target"), written,
                   content_type));
}

TEST_F(BrowsingTest, FormDataWithoutSubmissionLendsNoBodyToLaterRequests) {
  NavigateTo("/formdata-only");
  ClickInPage(kBox1);  // new FormData(form), then a plain navigation
  WaitForPage("/after-formdata");
  ClickInPage(kBox1);  // a real post of another form
  WaitForPage("/after-formdata-target");

  RecordedRequest post = OnlyPostTo("/after-formdata-target");
  EXPECT_EQ(post.body, "real=recorded&go=Send");
  ExpectDocumentThenSentinel(
      ExpectedGet(server_.Url("/formdata-only")) +
      ExpectedGet(server_.Url("/after-formdata")) +
      ExpectedPost(server_.Url("/after-formdata-target"), post.body,
                   post.Header("Content-Type")));
  EXPECT_EQ(Document().find("do-not-record"), std::string::npos);
  for (const auto& request : server_.Requests()) {
    EXPECT_EQ(request.body.find("do-not-record"), std::string::npos);
  }
}

TEST_F(BrowsingTest, FramesAreRecordedLikePages) {
  NavigateTo("/frames");
  WaitForPage("/frame-a");
  WaitForPage("/frame-b");

  // The top-level page completes at its own address: no completion element.
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/frames")) +
                             ExpectedGet(server_.Url("/frame-a")) +
                             ExpectedGet(server_.Url("/frame-b")));
}

TEST_F(BrowsingTest, RedirectAfterPostAddsACompletionElement) {
  NavigateTo("/redirect-form");
  ClickInPage(kBox1);
  WaitForPage("/landing");

  RecordedRequest post = OnlyPostTo("/redirect-after-post");
  EXPECT_EQ(post.body, "login=ann&pw=p%26w&go=Log+in");
  ExpectDocumentThenSentinel(
      ExpectedGet(server_.Url("/redirect-form")) +
      ExpectedPost(server_.Url("/redirect-after-post"), post.body,
                   post.Header("Content-Type")) +
      ExpectedCompletion(server_.Url("/landing")));
  EXPECT_EQ(ServerLog(),
            (std::vector<std::string>{"GET /redirect-form",
                                      "POST /redirect-after-post",
                                      "GET /landing", "GET /sentinel?n=1"}));
}

// A download and a 204 answer leave the page standing; a refused connection
// shows the engine's error page at its own address. None of them completes
// at another address, so each is recorded once and nothing else.
TEST_F(BrowsingTest, LoadsWithoutANewPageRecordOnlyTheirRequests) {
  NavigateTo("/no-page");
  ClickInPage(kBox1);
  ASSERT_TRUE(server_.WaitForRequest("/download", 1));
  WaitForElements(2);
  ClickInPage(kBox2);
  ASSERT_TRUE(server_.WaitForRequest("/no-content", 1));
  WaitForElements(3);
  const std::string refused =
      "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/refused";
  TypeAddress(refused);
  WaitForElements(4);

  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/no-page")) +
                             ExpectedGet(server_.Url("/download")) +
                             ExpectedGet(server_.Url("/no-content?q=1")) +
                             ExpectedGet(refused));
  EXPECT_TRUE(Display().FindVisibleWindows("^Network Login$").empty());
}

// Seen from the intro page, the download ends with the intro page still
// shown; that is no new visit of it, so no credentials are asked for.
TEST_F(BrowsingTest, ADownloadFromTheIntroPageAsksForNothing) {
  TypeAddress(server_.Url("/download"));
  ASSERT_TRUE(server_.WaitForRequest("/download", 1));
  WaitForElements(1);

  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/download")));
  EXPECT_TRUE(Display().FindVisibleWindows("^Network Login$").empty());
  EXPECT_TRUE(MessageWindows().empty());
}

TEST_F(BrowsingTest, BackAndForwardAreRecordedAsNavigations) {
  ExpectBackAndForwardRecorded([this] { ClickControl(kBack); },
                               [this] { ClickControl(kForward); });
}

TEST_F(BrowsingTest, BackAndForwardBeforeAnyPageDoNothing) {
  ClickControl(kBack);
  ClickControl(kForward);

  ExpectDocumentThenSentinel("");
  EXPECT_EQ(ServerLog(), (std::vector<std::string>{"GET /sentinel?n=1"}));
}

TEST_F(BrowsingTest, RefreshReloadsThePageAndRecordsNothing) {
  NavigateTo("/page");
  ClickControl(kRefresh);
  WaitForPage("/page", 2);

  EXPECT_EQ(ServerLog(),
            (std::vector<std::string>{"GET /page", "GET /page"}));
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")));
}

// Refresh while a typed page waits for its answer reloads the page shown;
// the typed page's end is not the reload's.
TEST_F(BrowsingTest, RefreshWhileATypedPageWaitsRecordsNothingMore) {
  NavigateTo("/page");
  TypeAddress(server_.Url("/slow"));
  ASSERT_TRUE(server_.WaitForRequest("/slow", 1));
  ClickControl(kRefresh);
  WaitForPage("/page", 2);
  ExpectDocumentThenSentinel(ExpectedGet(server_.Url("/page")) +
                             ExpectedGet(server_.Url("/slow")));
}

}  // namespace
}  // namespace scrivlet::e2e
