#ifndef SCRIVLET_TESTS_E2E_TEST_WEB_SERVER_H_
#define SCRIVLET_TESTS_E2E_TEST_WEB_SERVER_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "recording_server.h"

namespace scrivlet::e2e {

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

// The file that /multipart-chosen chooses: bytes that XML cannot carry
// (NUL, a C0 control, stray and truncated UTF-8), kept text (TAB, CR, LF,
// DEL, a C1 control, UTF-8 of two to four bytes) and the "&" and "<" that
// the document splits at and escapes.
inline constexpr std::string_view kChosenFileBytes{
    "\x00\x01\xFF\x80\x7F\t\r\n\xC3\xA9\xE2\x98\x83\xC3(&<"
    "\xF0\x9F\x98\x80\xC2\x85\x00",
    24};

// What the management server's record page looks like, for the tests that
// point the program's management server at this server.
enum class RecordPage {
  kFourElementForm,   // a first form with four elements that submits itself
  kNoForm,            // a page without any form
  kThreeElementForm,  // a first form with only three elements
  kNotFound,          // the record page answered 404
  kRefusingServlet,   // the four-element form, whose servlet answers 500
};

// The path prefix under which this server plays the management server.
inline constexpr char kManagementPrefix[] = "/mgmt/";
inline constexpr char kRecordPagePath[] =
    "/mgmt/com.brenik.morix.core.util.FileTransfer/WYT/record.html";
inline constexpr char kServletPath[] =
    "/mgmt/servlet/com.brenik.morix.core.util.ApplyTransDocServlet";

// The pages of the end-to-end tests on a RecordingServer, which records
// every request. Pages report that they have loaded by fetching
// /beacon?page=<path and query> after their load event.
//
// Paths: /page, /page2, /link, /sentinel, /form (URL-encoded post),
// /autofocus (a form whose text field takes the focus on load),
// /form-listener (a page listener adds to the entry list), /multipart (file,
// text, check box, radio, select, text area; the file set without events),
// /multipart-chosen (two texts and a file of kChosenFileBytes, chosen with
// the input and change events of a file chooser), /text-plain, /script-submit
// (form.submit() from script), /multipart-slow (a 4 MB file whose read is
// held back 1.5 s by a busy page), /formdata-only (new FormData(form), then a
// plain navigation to /after-formdata, whose own form posts), /frames (two
// frames), /redirect-form (a post answered with 302 to /landing),
// /popup-link (a link with target=_blank), /popup-script (window.open),
// /no-page (a link to /download, an attachment, and a GET form answered by
// /no-content with 204: neither replaces the page),
// /popup-page (a form for a pop-up, and a box b2 that calls window.close(),
// as /close-self's), /slow (answered after 3 s), and the
// management server's record page and upload servlet under /mgmt/.
class TestWebServer : public RecordingServer {
 public:
  TestWebServer();

  void SetRecordPage(RecordPage kind);

  // The requests that are not beacons or favicon look-ups.
  std::vector<RecordedRequest> PageRequests() const;
};

}  // namespace scrivlet::e2e

#endif  // SCRIVLET_TESTS_E2E_TEST_WEB_SERVER_H_
