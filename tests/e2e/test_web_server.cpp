#include "test_web_server.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace scrivlet::e2e {
namespace {

// Every page: no margin, big boxes at fixed places, and a beacon after the
// load event so that a test knows the page is there before it clicks on it.
std::string Page(const std::string& title, const std::string& body,
                 const std::string& script = "") {
  return BeaconPage(
      title, body, script,
      ".box{position:absolute;left:20px;width:400px;height:80px;"
      "display:block;box-sizing:border-box;margin:0;padding:8px;border:0;"
      "background:#cde;color:#000;font:20px sans-serif;cursor:pointer}"
      "#b1{top:20px}#b2{top:140px}#b3{top:260px}"
      ".fields{position:absolute;left:20px;top:380px}");
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

const char kCloseBox2[] =
    "<div class=\"box\" id=\"b2\" onclick=\"window.close()\">Close</div>";

// The page at `path`; nullopt for a path that has none.
std::optional<std::string> HtmlFor(const std::string& path,
                                   const std::string& target) {
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
        "dt.items.add(new File(['alpha&beta\\r\\ngamma\\ndelta'],'notes.txt',"
        "{type:'text/plain'}));"
        "document.getElementById('file').files=dt.files;");
  }
  if (path == "/multipart-slow") {
    // A file of 4 MB set without events, so that it is read only after the
    // formdata event. The page then keeps its thread busy for 1.5 s, which
    // holds the read's result back: from a task queued behind the one that
    // starts the navigation, so that the navigation is asked for first.
    return Page(
        "Multipart, file read late",
        PostForm("/multipart-slow-target",
                 "<input type=\"file\" id=\"file\" name=\"big\">",
                 "Upload", "multipart/form-data"),
        "var lines=[];for(var i=0;i<150000;i++){"
        "lines.push('line '+i+' of the big file\\r\\n');}"
        "var dt=new DataTransfer();"
        "dt.items.add(new File(lines,'big.txt',{type:'text/plain'}));"
        "document.getElementById('file').files=dt.files;"
        "document.forms[0].addEventListener('formdata',function(){"
        "setTimeout(function(){setTimeout(function(){"
        "var end=Date.now()+1500;while(Date.now()<end){}},0);},0);});");
  }
  if (path == "/multipart-chosen") {
    // Chooses the file as a file chooser does: the files, then input and
    // change, well before the user clicks the submit button.
    std::string bytes;
    for (unsigned char byte : kChosenFileBytes) {
      bytes += (bytes.empty() ? "" : ",") + std::to_string(byte);
    }
    return Page(
        "Multipart, file chosen",
        PostForm("/multipart-chosen-target",
                 "<input type=\"text\" name=\"title\" value=\"x&amp;y z\">"
                 "<input type=\"file\" id=\"file\" name=\"data\">"
                 "<input type=\"text\" name=\"note\" value=\"after\">",
                 "Upload", "multipart/form-data"),
        "var dt=new DataTransfer();"
        "dt.items.add(new File([new Uint8Array([" + bytes + "])],'chosen.bin',"
        "{type:'application/octet-stream'}));"
        "var input=document.getElementById('file');input.files=dt.files;"
        "input.dispatchEvent(new Event('input',{bubbles:true,composed:true}));"
        "input.dispatchEvent(new Event('change',{bubbles:true}));");
  }
  if (path == "/text-plain") {
    return Page("Text plain",
                PostForm("/text-plain-target",
                         "<input type=\"text\" name=\"a\" value=\"1 2\">"
                         "<input type=\"text\" name=\"b\" value=\"x&amp;y\">",
                         "Send", "text/plain"));
  }
  if (path == "/autofocus") {
    return Page("Login, field focused",
                PostForm("/autofocus-target",
                         "<input type=\"text\" name=\"user\" autofocus>",
                         "Log in"));
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
  if (path == "/no-page") {
    return Page("No page",
                "<a class=\"box\" id=\"b1\" href=\"/download\">download</a>"
                "<form method=\"get\" action=\"/no-content\">"
                "<input type=\"hidden\" name=\"q\" value=\"1\">"
                "<button class=\"box\" id=\"b2\" type=\"submit\">"
                "no content</button></form>");
  }
  if (path == "/scripts") {
    // In turn: a fetch that is aborted before it goes out, a document sent
    // by XMLHttpRequest (a body the program cannot read), a JSON sign-in
    // by fetch, a FormData with a file by XMLHttpRequest, a fetch that is
    // redirected, a text by XMLHttpRequest, URL-encoded, Blob and
    // ArrayBuffer bodies by fetch, a typed array by XMLHttpRequest that the
    // page changes at once, a beacon.
    return Page("Scripts", "<div class=\"box\" id=\"b1\" onclick=\"go()\">go</div>",
                "function xhr(m,u,h,b,after){return new Promise(function(r){"
                "var x=new XMLHttpRequest();x.open(m,u);if(h)x.setRequestHeader("
                "h[0],h[1]);x.onloadend=r;x.send(b);if(after)after();});}"
                "function more(){var u=new TextEncoder().encode('typed 1');"
                "return xhr('PUT','/api/note',['content-type','text/plain;"
                "charset=UTF-8'],'line 1\\r\\nline 2 \u00e9').then(function(){"
                "return fetch('/api/settings',{method:'PUT',body:new "
                "URLSearchParams({theme:'dark & light',n:'1'})});}).then("
                "function(){return fetch('/api/blob',{method:'POST',body:new "
                "Blob(['b1\\r\\n','b2'],{type:'application/octet-stream'})});"
                "}).then(function(){return fetch('/api/buffer',{method:'POST',"
                "body:new TextEncoder().encode('ab\\r\\ncd').buffer});}).then("
                "function(){return xhr('POST','/api/typed',null,u,function(){"
                "u[6]=50;});});}"
                "function go(){"
                "fetch('/api/never',{method:'POST',body:'never',"
                "signal:AbortSignal.abort()}).catch(function(){});"
                "xhr('POST','/api/doc',null,document);"
                "fetch('/api/sign-in',{method:'POST',headers:{'Content-Type':"
                "'application/json'},body:JSON.stringify({user:'ann',"
                "pass:'a&b \"c\" \u00e9'})}).then(function(){"
                "var x=new XMLHttpRequest();x.open('POST','/api/upload');"
                "x.setRequestHeader('X-CSRF-Token','t0k');var f=new FormData();"
                "f.append('name','ann lee');f.append('file',new Blob(['l1\\nl2'],"
                "{type:'text/plain'}),'notes.txt');x.onload=function(){"
                "fetch('/redirect-after-post',{method:'POST',body:'r=1'}).then("
                "more).then(function(){navigator.sendBeacon('/api/leave',"
                "'bye&now');});};"
                "x.send(f);});}");
  }
  if (path == "/scripts-other") {
    // The frame's functions are the engine's when the box is ticked after
    // it loaded: its request goes out unannounced.
    return Page("Other host", "<div class=\"box\" id=\"b1\" onclick=\""
                "fetch('http://localhost:'+location.port+'/api/other',"
                "{mode:'no-cors'});frames[0].fetch('/api/unseen',{method:"
                "'POST',body:'u'})\">go</div><iframe srcdoc=\"f\" "
                "style=\"position:absolute;top:300px\"></iframe>");
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
                         "Send") +
                    kCloseBox2);
  }
  if (path == "/close-self") return Page("Close", kCloseBox2);
  if (path == "/sentinel" || path == "/landing" || path.ends_with("-target")) {
    return Page("Done", "<p>" + path + "</p>");
  }
  return std::nullopt;
}

// The pages of the table above, 404 for any other path.
Reply Answer(const RecordedRequest& request) {
  if (request.path == "/redirect-after-post") {
    return Reply{302, Page("Moved", "<a href=\"/landing\">moved</a>"),
                 "/landing"};
  }
  if (request.path == "/download") {
    return Reply{200, "<p>saved, not shown</p>", "",
                 "attachment; filename=\"report.html\""};
  }
  if (request.path == "/no-content") return Reply{204, "", ""};
  if (request.path == "/slow") {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    return Reply{200, Page("Slow", "<p>slow</p>"), ""};
  }
  std::optional<std::string> html = HtmlFor(request.path, request.target);
  if (!html) return Reply{404, Page("Not found", "<p>not found</p>"), ""};
  return Reply{200, *html, ""};
}

std::string RecordPageHtml(RecordPage kind) {
  switch (kind) {
    case RecordPage::kFourElementForm:
    case RecordPage::kRefusingServlet:
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
    case RecordPage::kNotFound:
      break;
  }
  return "";
}

}  // namespace

TestWebServer::TestWebServer() : RecordingServer(Answer, Caching::kAllowed) {
  SetRecordPage(RecordPage::kFourElementForm);
}

void TestWebServer::SetRecordPage(RecordPage kind) {
  const int page = kind == RecordPage::kNotFound ? 404 : 200;
  const int servlet = kind == RecordPage::kRefusingServlet ? 500 : 200;
  Add(kRecordPagePath, [page, html = RecordPageHtml(kind)](auto&) {
    return Reply{page, html, ""};
  });
  Add(kServletPath, [servlet](auto&) {
    return Reply{servlet, Page("Stored", "<p>stored</p>"), ""};
  });
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

}  // namespace scrivlet::e2e
