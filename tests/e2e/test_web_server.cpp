#include "test_web_server.h"

#include <cctype>
#include <stdexcept>

namespace scrivlet::e2e {
namespace {

// Every page: no margin, big boxes at fixed places, and a beacon after the
// load event so that a test knows the page is there before it clicks on it.
std::string Page(const std::string& title, const std::string& body,
                 const std::string& script = "") {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
         "</title><style>"
         "body{margin:0;font:16px sans-serif}"
         ".box{position:absolute;left:20px;width:400px;height:80px;"
         "display:block;box-sizing:border-box;margin:0;padding:8px;border:0;"
         "background:#cde;color:#000;font:20px sans-serif;cursor:pointer}"
         "#b1{top:20px}#b2{top:140px}#b3{top:260px}"
         ".fields{position:absolute;left:20px;top:380px}"
         "</style><script>addEventListener('pageshow',function(){"
         "setTimeout(function(){fetch('/beacon?page='+encodeURIComponent("
         "location.pathname+location.search));},0);});</script>"
         "</head><body>" +
         body + (script.empty() ? "" : "<script>" + script + "</script>") +
         "</body></html>";
}

std::string PostForm(const std::string& action, const std::string& fields,
                     const std::string& submit_caption,
                     const std::string& enctype = "") {
  return "<form method=\"post\" action=\"" + action + "\"" +
         (enctype.empty() ? "" : " enctype=\"" + enctype + "\"") +
         "><div class=\"fields\">" + fields +
         "</div><button class=\"box\" id=\"b1\" type=\"submit\" name=\"go\" "
         "value=\"" +
         submit_caption + "\">" + submit_caption + "</button></form>";
}

const char kFormFields[] =
    "<input type=\"text\" name=\"user\" value=\"ann lee\">"
    "<input type=\"text\" name=\"note\" value=\"a&amp;b=c+d/100%\">"
    "<input type=\"hidden\" name=\"token\" value=\"x y\">"
    "<input type=\"checkbox\" name=\"remember\" checked>"
    "<input type=\"checkbox\" name=\"spam\">"
    "<select name=\"color\"><option>red</option>"
    "<option selected>green</option></select>"
    "<textarea name=\"msg\">line1\nline2</textarea>";

std::string HtmlFor(const std::string& path, const std::string& target,
                    RecordPage record_page, int* status,
                    std::string* location) {
  *status = 200;
  if (path == "/page") {
    return Page("Page",
                "<a class=\"box\" id=\"b1\" href=\"/link?a=1&amp;b=2\">link</a>"
                "<a class=\"box\" id=\"b2\" href=\"/page2\">page 2</a>");
  }
  if (path == "/page2" || path == "/link") {
    return Page("Link", "<a class=\"box\" id=\"b1\" href=\"/page\">back to "
                        "page</a><p style=\"margin-top:120px\">" +
                            target + "</p>");
  }
  if (path == "/form") {
    return Page("Form", PostForm("/form-target", kFormFields, "Send"));
  }
  if (path == "/form-listener") {
    return Page("Form with listener", PostForm("/form-target", kFormFields,
                                               "Send"),
                "document.forms[0].addEventListener('formdata',function(e){"
                "e.formData.append('added','by listener');});");
  }
  if (path == "/multipart") {
    return Page(
        "Multipart",
        PostForm("/multipart-target",
                 "<input type=\"text\" name=\"title\" "
                 "value=\"caf&#233; &amp; cr&#232;me &quot;q&quot;\">"
                 "<input type=\"file\" id=\"file\" name=\"attachment\">"
                 "<input type=\"checkbox\" name=\"agree\" value=\"yes\" checked>"
                 "<input type=\"radio\" name=\"size\" value=\"small\">"
                 "<input type=\"radio\" name=\"size\" value=\"large\" checked>"
                 "<select name=\"color\"><option>red</option>"
                 "<option selected>blue</option></select>"
                 "<textarea name=\"msg\">one&amp;two\nthree</textarea>",
                 "Upload", "multipart/form-data"),
        "var dt=new DataTransfer();"
        "dt.items.add(new File(['alpha&beta\\r\\ngamma'],'notes.txt',"
        "{type:'text/plain'}));"
        "document.getElementById('file').files=dt.files;");
  }
  if (path == "/text-plain") {
    return Page("Text plain",
                PostForm("/text-plain-target",
                         "<input type=\"text\" name=\"a\" value=\"1 2\">"
                         "<input type=\"text\" name=\"b\" value=\"x&amp;y\">",
                         "Send", "text/plain"));
  }
  if (path == "/script-submit") {
    return Page("Script submit",
                "<form method=\"post\" action=\"/script-target\">"
                "<div class=\"fields\">"
                "<input type=\"text\" name=\"q\" value=\"from script\">"
                "<input type=\"text\" name=\"n\" value=\"1&amp;2\"></div></form>"
                "<div class=\"box\" id=\"b1\" "
                "onclick=\"document.forms[0].submit()\">submit by script</div>");
  }
  if (path == "/formdata-only") {
    return Page("FormData only",
                "<form method=\"post\" action=\"/never\"><div class=\"fields\">"
                "<input type=\"text\" name=\"secret\" value=\"do-not-record\">"
                "</div></form>"
                "<div class=\"box\" id=\"b1\" onclick=\"new FormData("
                "document.forms[0]);location.href='/after-formdata';\">"
                "FormData then go</div>");
  }
  if (path == "/after-formdata") {
    return Page("After FormData",
                PostForm("/after-formdata-target",
                         "<input type=\"text\" name=\"real\" value=\"recorded\">",
                         "Send"));
  }
  if (path == "/size") {
    // Reports the page's viewport, at first and after every resize, as a
    // beacon page "size-WIDTHxHEIGHT".
    return Page("Size", "<p>size</p>",
                "function report(){fetch('/beacon?page='+encodeURIComponent("
                "'size-'+innerWidth+'x'+innerHeight));}"
                "addEventListener('pageshow',report);"
                "addEventListener('resize',report);");
  }
  if (path == "/frames") {
    return Page("Frames",
                "<iframe src=\"/frame-a\" style=\"position:absolute;left:20px;"
                "top:20px;width:300px;height:120px\"></iframe>"
                "<iframe src=\"/frame-b\" style=\"position:absolute;left:20px;"
                "top:160px;width:300px;height:120px\"></iframe>");
  }
  if (path == "/frame-a" || path == "/frame-b") {
    return Page("Frame", "<p>" + path + "</p>");
  }
  if (path == "/special") {
    // Text that survives only if nothing on the way escapes, re-encodes or
    // breaks lines: quotes, backslashes, a script end tag, non-ASCII letters,
    // a snowman and U+2028 (LINE SEPARATOR).
    return Page("Special",
                PostForm("/special-target",
                         "<input type=\"text\" name=\"text\" value=\""
                         "He said &quot;hi&quot; and 'bye' \\ C:\\dir\\ "
                         "&lt;/script&gt;&lt;b&gt; caf&#233; &#9731; "
                         "&#8232; end\">",
                         "Send", "multipart/form-data"));
  }
  if (path == "/redirect-form") {
    return Page("Login",
                PostForm("/redirect-after-post",
                         "<input type=\"text\" name=\"login\" value=\"ann\">"
                         "<input type=\"password\" name=\"pw\" value=\"p&w\">",
                         "Log in"));
  }
  if (path == "/redirect-after-post") {
    *status = 302;
    *location = "/landing";
    return Page("Moved", "<a href=\"/landing\">moved</a>");
  }
  if (path == "/popup-link") {
    return Page("Popup link",
                "<a class=\"box\" id=\"b1\" href=\"/popup-page?by=link\" "
                "target=\"_blank\">open pop-up</a>");
  }
  if (path == "/popup-script") {
    return Page("Popup script",
                "<div class=\"box\" id=\"b1\" "
                "onclick=\"window.open('/popup-page?by=script')\">"
                "open pop-up by script</div>");
  }
  if (path == "/popup-page") {
    return Page("Popup page",
                PostForm("/popup-form-target",
                         "<input type=\"text\" name=\"from\" value=\"popup\">"
                         "<input type=\"text\" name=\"where\" value=\"" +
                             target + "\">",
                         "Send"));
  }
  if (path == kRecordPagePath) {
    switch (record_page) {
      case RecordPage::kFourElementForm:
        return Page(
            "Record",
            std::string("<form method=\"post\" accept-charset=\"utf-8\" "
                        "action=\"") +
                kServletPath +
                "\"><input name=\"uuid\"><input name=\"name\">"
                "<input name=\"start\"><textarea name=\"doc\"></textarea>"
                "</form>",
            "var f=document.forms[0];var t=setInterval(function(){"
            "if(f.elements[3].value!==''){clearInterval(t);f.submit();}},50);");
      case RecordPage::kNoForm:
        return Page("Record", "<p>no form here</p>");
      case RecordPage::kThreeElementForm:
        return Page("Record",
                    "<form method=\"post\" action=\"/never\">"
                    "<input name=\"uuid\"><input name=\"name\">"
                    "<input name=\"start\"></form>");
    }
  }
  if (path == kServletPath) {
    return Page("Stored", "<p>stored</p>");
  }
  if (path == "/sentinel" || path == "/landing" || path.ends_with("-target")) {
    return Page("Done", "<p>" + path + "</p>");
  }
  *status = 404;
  return Page("Not found", "<p>not found</p>");
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() &&
               HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 +
                               HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// httplib parses a multipart body itself whenever the request's Content-Type
// says multipart/form-data, even for a handler that asks for the raw bytes,
// and the raw reader then fails. The tests need the bytes exactly as sent, so
// before routing the Content-Type is parked under another name (which makes
// the request look like any other body) and put back when it is recorded.
constexpr char kParkedContentType[] = "X-E2E-Parked-Content-Type";

httplib::Server::HandlerResponse ParkMultipartContentType(
    const httplib::Request& const_request, httplib::Response&) {
  // The request object itself is not const; routing hands it out as const.
  auto& request = const_cast<httplib::Request&>(const_request);
  auto it = request.headers.find("Content-Type");
  if (it != request.headers.end() &&
      it->second.rfind("multipart/form-data", 0) == 0) {
    request.headers.emplace(kParkedContentType, it->second);
    it->second = "application/octet-stream";
  }
  return httplib::Server::HandlerResponse::Unhandled;
}

void RestoreContentType(httplib::Headers& headers) {
  auto parked = headers.find(kParkedContentType);
  if (parked == headers.end()) return;
  std::string original = parked->second;
  headers.erase(parked);
  headers.erase("Content-Type");
  headers.emplace("Content-Type", original);
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
  auto it = headers.find(name);
  return it == headers.end() ? "" : it->second;
}

TestWebServer::TestWebServer() {
  server_.set_pre_routing_handler(ParkMultipartContentType);
  // The browser keeps several connections open at once; a pool smaller
  // than that would leave requests waiting for an idle connection to time
  // out.
  server_.new_task_queue = [] { return new httplib::ThreadPool(32); };
  server_.Get(".*", [this](const httplib::Request& request,
                           httplib::Response& response) {
    Handle(request, response, "");
  });
  server_.Post(".*", [this](const httplib::Request& request,
                            httplib::Response& response,
                            const httplib::ContentReader& reader) {
    // The raw reader keeps a multipart body as bytes instead of parsing it.
    std::string body;
    reader([&body](const char* data, size_t length) {
      body.append(data, length);
      return true;
    });
    Handle(request, response, body);
  });
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("the test web server cannot bind");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // The socket listens from bind_to_any_port on, so connections made before
  // the accept loop runs wait in its backlog.
}

TestWebServer::~TestWebServer() {
  server_.stop();
  if (thread_.joinable()) thread_.join();
}

std::string TestWebServer::Authority() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::string TestWebServer::Url(const std::string& path_and_query) const {
  return "http://" + Authority() + path_and_query;
}

void TestWebServer::SetRecordPage(RecordPage kind) {
  std::lock_guard lock(mutex_);
  record_page_ = kind;
}

void TestWebServer::Handle(const httplib::Request& request,
                           httplib::Response& response,
                           const std::string& body) {
  RecordedRequest recorded;
  recorded.method = request.method;
  recorded.target = request.target;
  recorded.path = request.target.substr(0, request.target.find('?'));
  recorded.headers = request.headers;
  RestoreContentType(recorded.headers);
  recorded.body = body;
  RecordPage record_page;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(recorded);
    record_page = record_page_;
  }
  if (recorded.path == "/beacon") {
    response.status = 204;
    return;
  }
  int status = 200;
  std::string location;
  std::string html =
      HtmlFor(recorded.path, recorded.target, record_page, &status, &location);
  response.status = status;
  if (!location.empty()) response.set_header("Location", location);
  response.set_content(html, "text/html; charset=utf-8");
}

std::vector<RecordedRequest> TestWebServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<RecordedRequest> TestWebServer::PageRequests() const {
  std::vector<RecordedRequest> pages;
  for (auto& request : Requests()) {
    if (request.path != "/beacon" && request.path != "/favicon.ico") {
      pages.push_back(request);
    }
  }
  return pages;
}

int TestWebServer::BeaconCount(const std::string& page) const {
  int count = 0;
  for (auto& request : Requests()) {
    if (request.path != "/beacon") continue;
    auto query = request.target.find("?page=");
    if (query == std::string::npos) continue;
    if (PercentDecode(request.target.substr(query + 6)) == page) ++count;
  }
  return count;
}

bool TestWebServer::WaitFor(
    const std::function<bool(const std::vector<RecordedRequest>&)>& predicate,
    std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (predicate(Requests())) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
}

bool TestWebServer::WaitForBeacon(const std::string& page, int count,
                                  std::chrono::milliseconds timeout) const {
  return WaitFor([&](const std::vector<RecordedRequest>&) {
    return BeaconCount(page) >= count;
  }, timeout);
}

std::vector<std::string> SplitAtAmpersands(const std::string& body) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    size_t amp = body.find('&', start);
    if (amp == std::string::npos) {
      pieces.push_back(body.substr(start));
      return pieces;
    }
    pieces.push_back(body.substr(start, amp - start));
    start = amp + 1;
  }
}

std::vector<std::pair<std::string, std::string>> DecodeUrlEncoded(
    const std::string& body) {
  std::vector<std::pair<std::string, std::string>> pairs;
  if (body.empty()) return pairs;
  for (const auto& piece : SplitAtAmpersands(body)) {
    auto equals = piece.find('=');
    if (equals == std::string::npos) {
      pairs.emplace_back(PercentDecode(piece), "");
    } else {
      pairs.emplace_back(PercentDecode(piece.substr(0, equals)),
                         PercentDecode(piece.substr(equals + 1)));
    }
  }
  return pairs;
}

}  // namespace scrivlet::e2e
