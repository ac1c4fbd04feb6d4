#ifndef SCRIVLET_TESTS_E2E_TEST_WEB_SERVER_H_
#define SCRIVLET_TESTS_E2E_TEST_WEB_SERVER_H_

#include <httplib.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace scrivlet::e2e {

// One request as the server received it.
struct RecordedRequest {
  std::string method;
  std::string target;  // the request target exactly as sent (path and query)
  std::string path;    // the target without its query
  httplib::Headers headers;
  std::string body;    // the body bytes exactly as sent

  std::string Header(const std::string& name) const;
};

// Where the big clickable boxes of the test pages lie, in page pixels (the
// page's own coordinates; the pages have no margin). Each box is a link, a
// button or a script target, depending on the page.
struct PagePoint {
  int x;
  int y;
};
inline constexpr PagePoint kBox1{220, 60};
inline constexpr PagePoint kBox2{220, 180};
inline constexpr PagePoint kBox3{220, 300};

// What the management server's record page looks like, for the tests that
// point the program's management server at this server.
enum class RecordPage {
  kFourElementForm,   // a first form with four elements that submits itself
  kNoForm,            // a page without any form
  kThreeElementForm,  // a first form with only three elements
};

// The path prefix under which this server plays the management server.
inline constexpr char kManagementPrefix[] = "/mgmt/";
inline constexpr char kRecordPagePath[] =
    "/mgmt/com.brenik.morix.core.util.FileTransfer/WYT/record.html";
inline constexpr char kServletPath[] =
    "/mgmt/servlet/com.brenik.morix.core.util.ApplyTransDocServlet";

// A web application on 127.0.0.1 with a free port, served by one handler
// that switches on the path, recording every request it receives. Pages
// report that they have loaded by fetching /beacon?page=<path and query>
// after their load event; a beacon is not a navigation.
//
// Paths: /page, /page2, /link, /sentinel, /form (URL-encoded post),
// /form-listener (a page listener adds to the entry list), /multipart (file,
// text, check box, radio, select, text area), /text-plain, /script-submit
// (form.submit() from script), /formdata-only (new FormData(form), then a
// plain navigation to /after-formdata, whose own form posts), /frames (two
// frames), /redirect-form (a post answered with 302 to /landing),
// /popup-link (a link with target=_blank), /popup-script (window.open),
// /popup-page (a page with a form, meant to be shown in a pop-up), and the
// management server's record page and upload servlet under /mgmt/.
class TestWebServer {
 public:
  TestWebServer();
  ~TestWebServer();
  TestWebServer(const TestWebServer&) = delete;
  TestWebServer& operator=(const TestWebServer&) = delete;

  int port() const { return port_; }
  // "127.0.0.1:PORT"
  std::string Authority() const;
  // "http://127.0.0.1:PORT" + path_and_query
  std::string Url(const std::string& path_and_query) const;

  void SetRecordPage(RecordPage kind);

  // Every request received so far, in order of arrival.
  std::vector<RecordedRequest> Requests() const;
  // The requests that are not beacons or favicon look-ups.
  std::vector<RecordedRequest> PageRequests() const;
  // How many beacons the page with this path and query has sent.
  int BeaconCount(const std::string& page) const;
  // Waits until `predicate` holds for the requests received; false when it
  // does not within `timeout`.
  bool WaitFor(const std::function<bool(const std::vector<RecordedRequest>&)>&
                   predicate,
               std::chrono::milliseconds timeout) const;
  bool WaitForBeacon(const std::string& page, int count,
                     std::chrono::milliseconds timeout) const;

 private:
  void Handle(const httplib::Request& request, httplib::Response& response,
              const std::string& body);

  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
  RecordPage record_page_ = RecordPage::kFourElementForm;
};

// The pieces of a request body split at every "&", as the transaction
// document lists them.
std::vector<std::string> SplitAtAmpersands(const std::string& body);

// Decodes one application/x-www-form-urlencoded body into its pairs.
std::vector<std::pair<std::string, std::string>> DecodeUrlEncoded(
    const std::string& body);

}  // namespace scrivlet::e2e

#endif  // SCRIVLET_TESTS_E2E_TEST_WEB_SERVER_H_
