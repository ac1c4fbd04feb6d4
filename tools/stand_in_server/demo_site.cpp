#include "stand_in_server/demo_site.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <set>

#include "stand_in_server/form_decoding.h"
#include "stand_in_server/html.h"

namespace scrivlet::stand_in {
namespace {

constexpr char kHtml[] = "text/html; charset=utf-8";
constexpr char kBackLink[] = "<p><a id=\"back\" href=\"/demo/\">Back to the demo index</a></p>\n";

constexpr char kIndexBody[] = R"html(<h1>Scrivlet demo shop</h1>
<p>A small web application to record. Every page you open here becomes part
of the transaction.</p>
<ul>
<li><a id="login" href="/demo/login.html">Log in</a> (a form that answers with a redirect)</li>
<li><a id="frames" href="/demo/frames.html">A page with frames</a></li>
<li><a id="upload" href="/demo/upload.html">Upload a file</a> (a multipart form)</li>
<li><a id="popups" href="/demo/popups.html">Pop-up windows</a></li>
<li><a id="order" href="/demo/order.html">Order the catalogue</a> (a form protected by a single-use token)</li>
<li><a id="app" href="/demo/app.html">A single-page application</a> (requests made by its scripts: tick "Record requests made by page scripts" in F9 first)</li>
</ul>
<form id="search-form" method="get" action="/demo/search">
<label>Search the catalogue <input type="text" id="q" name="q"></label>
<input type="submit" id="search" value="Search">
</form>
)html";

constexpr char kLoginBody[] = R"html(<h1>Log in</h1>
<form id="login-form" method="post" action="/demo/login">
<label>User name <input type="text" id="user" name="user"></label>
<label>Password <input type="password" id="password" name="password"></label>
<input type="submit" id="submit" value="Log in">
</form>
)html";

constexpr char kFramesPage[] = R"html(<!DOCTYPE html PUBLIC "-//W3C//DTD HTML 4.01 Frameset//EN">
<html lang="en">
<head><meta charset="utf-8"><title>A page with frames</title></head>
<frameset cols="30%,70%">
<frame name="menu" src="/demo/frame-menu.html">
<frame name="content" src="/demo/frame-content.html?page=1">
</frameset>
</html>
)html";

constexpr char kFrameMenuBody[] = R"html(<h2>Menu</h2>
<ul>
<li><a id="page1" href="/demo/frame-content.html?page=1" target="content">Page 1</a></li>
<li><a id="page2" href="/demo/frame-content.html?page=2" target="content">Page 2</a></li>
<li><a id="top" href="/demo/" target="_top">Back to the demo index</a></li>
</ul>
)html";

constexpr char kUploadBody[] = R"html(<h1>Upload a file</h1>
<form id="upload-form" method="post" action="/demo/upload" enctype="multipart/form-data">
<label>Title <input type="text" id="title" name="title"></label>
<label>Comment <textarea id="comment" name="comment" rows="3" cols="40"></textarea></label>
<label>File <input type="file" id="file" name="file"></label>
<input type="submit" id="submit" value="Upload">
</form>
)html";

constexpr char kPopupsBody[] = R"html(<h1>Pop-up windows</h1>
<p><a id="popup-link" href="/demo/popup.html?via=link" target="_blank">Open the pop-up with a link</a></p>
<p><button id="popup-button" type="button"
 onclick="window.open('/demo/popup.html?via=button', 'scrivletDemoPopup', 'width=480,height=360')">Open the pop-up with a script</button></p>
)html";

constexpr char kPopupBody[] = R"html(<h1>Pop-up</h1>
<form id="popup-form" method="post" action="/demo/popup-answer">
<label>Your answer <input type="text" id="answer" name="answer"></label>
<input type="submit" id="submit" value="Send">
</form>
<p><button id="close" type="button" onclick="window.close()">Close this window</button></p>
)html";

// The order form's tokens: each order form gets a fresh one, and a token
// is good for one order only.
class TokenBook {
 public:
  std::string Issue() {
    std::uniform_int_distribution<unsigned> byte(0, 255);
    std::lock_guard<std::mutex> lock(mutex_);
    std::string token;
    for (int i = 0; i < 16; ++i) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", byte(random_));
      token += hex;
    }
    issued_.insert(token);
    return token;
  }

  // True, once, for a token that was issued.
  bool Redeem(const std::string& token) {
    std::lock_guard<std::mutex> lock(mutex_);
    return issued_.erase(token) == 1;
  }

 private:
  std::mutex mutex_;
  std::mt19937 random_{std::random_device{}()};
  std::set<std::string> issued_;
};

std::string OrderBody(const std::string& token) {
  return "<h1>Order the catalogue</h1>\n"
         "<form id=\"order-form\" method=\"post\" action=\"/demo/order\">\n"
         "<input type=\"hidden\" id=\"token\" name=\"token\" value=\"" +
         token +
         "\">\n"
         "<label>Copies <input type=\"text\" id=\"copies\" name=\"copies\"></label>\n"
         "<input type=\"submit\" id=\"submit\" value=\"Order\">\n"
         "</form>\n";
}

constexpr char kExpiredBody[] = R"html(<h1>This form has expired</h1>
<p id="expired">The order was not placed: the form's token was used already or
never issued. Open the order form again.</p>
)html";

// Everything after the first page load happens by script: a sign-in that
// posts JSON by fetch and gets a token, a list loaded by XMLHttpRequest, a
// setting saved by PUT, a file sent as FormData, a beacon on leaving.
constexpr char kAppBody[] = R"html(<h1>Single-page application</h1>
<p><label>User <input id="user" value="ann"></label>
<button id="sign-in" onclick="signIn()">Sign in</button> <span id="token"></span></p>
<p><button id="load" onclick="loadItems()">Load the list</button></p><ul id="items"></ul>
<p><label><input type="checkbox" id="compact" onchange="saveSetting()"> Compact view</label></p>
<p><input type="file" id="file"> <button id="send" onclick="sendFile()">Send the file</button>
<span id="sent"></span></p>
<script>
var token = '';
function signIn() {
  fetch('/demo/api/sign-in', {method: 'POST', headers: {'Content-Type': 'application/json'},
        body: JSON.stringify({user: document.getElementById('user').value})})
    .then(function (r) { return r.json(); })
    .then(function (answer) { token = answer.token; document.getElementById('token').textContent = token; });
}
function loadItems() {
  var x = new XMLHttpRequest();
  x.open('GET', '/demo/api/items');
  x.setRequestHeader('X-Requested-With', 'XMLHttpRequest');
  x.onload = function () {
    var list = document.getElementById('items');
    list.textContent = '';
    JSON.parse(x.responseText).forEach(function (item) {
      var li = document.createElement('li'); li.textContent = item; list.appendChild(li);
    });
  };
  x.send();
}
function saveSetting() {
  fetch('/demo/api/settings', {method: 'PUT', headers: {'Content-Type': 'application/json',
        'X-CSRF-Token': token}, body: JSON.stringify({compact: document.getElementById('compact').checked})});
}
function sendFile() {
  var form = new FormData();
  form.append('note', 'from the demo');
  var file = document.getElementById('file').files[0];
  if (file) form.append('file', file);
  fetch('/demo/api/files', {method: 'POST', body: form})
    .then(function (r) { return r.text(); })
    .then(function (text) { document.getElementById('sent').textContent = text; });
}
addEventListener('pagehide', function () { navigator.sendBeacon('/demo/api/leave', 'left=' + Date.now()); });
</script>
)html";

std::string Param(const httplib::Request& request, const char* name) {
  return request.has_param(name) ? request.get_param_value(name) : "";
}

void Serve(httplib::Response& response, const std::string& page) {
  response.set_content(page, kHtml);
}

}  // namespace

void AddDemoSite(const RouteAdder& add) {
  const auto index = [](const httplib::Request&, httplib::Response& response) {
    Serve(response, HtmlPage("Scrivlet demo shop", kIndexBody));
  };
  add("GET", "/", index);
  add("GET", "/demo/?", index);
  add("GET", "/demo/index\\.html", index);

  add("GET", "/demo/search", [](const httplib::Request& request,
                                httplib::Response& response) {
    Serve(response,
          HtmlPage("Search", "<h1>Search</h1>\n<p id=\"result\">Nothing found for &quot;" +
                                 EscapeHtml(Param(request, "q")) + "&quot;.</p>\n" +
                                 kBackLink));
  });

  add("GET", "/demo/login\\.html",
      [](const httplib::Request&, httplib::Response& response) {
        Serve(response, HtmlPage("Log in", kLoginBody));
      });
  add("POST", "/demo/login",
      [](const httplib::Request& request, httplib::Response& response) {
        const FormFields fields = DecodeUrlEncodedForm(request.body);
        const std::string user = FindField(fields, "user").value_or("");
        response.set_redirect("/demo/welcome.html?user=" + PercentEncode(user),
                              302);
      });
  add("GET", "/demo/welcome\\.html",
      [](const httplib::Request& request, httplib::Response& response) {
        Serve(response,
              HtmlPage("Welcome", "<h1>Welcome</h1>\n<p id=\"greeting\">Welcome, " +
                                      EscapeHtml(Param(request, "user")) +
                                      ".</p>\n" + kBackLink));
      });

  add("GET", "/demo/frames\\.html",
      [](const httplib::Request&, httplib::Response& response) {
        Serve(response, kFramesPage);
      });
  add("GET", "/demo/frame-menu\\.html",
      [](const httplib::Request&, httplib::Response& response) {
        Serve(response, HtmlPage("Menu", kFrameMenuBody));
      });
  add("GET", "/demo/frame-content\\.html",
      [](const httplib::Request& request, httplib::Response& response) {
        const std::string page = Param(request, "page");
        Serve(response, HtmlPage("Content", "<h2>Content page " +
                                                EscapeHtml(page) + "</h2>\n"));
      });

  add("GET", "/demo/upload\\.html",
      [](const httplib::Request&, httplib::Response& response) {
        Serve(response, HtmlPage("Upload a file", kUploadBody));
      });
  add("POST", "/demo/upload",
      [](const httplib::Request& request, httplib::Response& response) {
        std::string rows;
        for (const auto& [name, part] : request.files) {
          rows += "<tr><td>" + EscapeHtml(name) + "</td><td>" +
                  EscapeHtml(part.filename) + "</td><td>" +
                  std::to_string(part.content.size()) + "</td></tr>\n";
        }
        Serve(response,
              HtmlPage("Upload received",
                       "<h1>Upload received</h1>\n<table id=\"parts\">\n"
                       "<tr><th>Field</th><th>File name</th><th>Size</th></tr>\n" +
                           rows + "</table>\n" + kBackLink));
      });

  add("GET", "/demo/popups\\.html",
      [](const httplib::Request&, httplib::Response& response) {
        Serve(response, HtmlPage("Pop-up windows", std::string(kPopupsBody) + kBackLink));
      });
  add("GET", "/demo/popup\\.html",
      [](const httplib::Request&, httplib::Response& response) {
        Serve(response, HtmlPage("Pop-up", kPopupBody));
      });
  const auto tokens = std::make_shared<TokenBook>();
  add("GET", "/demo/order\\.html",
      [tokens](const httplib::Request&, httplib::Response& response) {
        Serve(response, HtmlPage("Order the catalogue",
                                 OrderBody(tokens->Issue()) + kBackLink));
      });
  add("POST", "/demo/order",
      [tokens](const httplib::Request& request, httplib::Response& response) {
        const FormFields fields = DecodeUrlEncodedForm(request.body);
        if (!tokens->Redeem(FindField(fields, "token").value_or(""))) {
          response.status = 403;
          Serve(response, HtmlPage("Expired", std::string(kExpiredBody) + kBackLink));
          return;
        }
        response.set_redirect(
            "/demo/ordered.html?copies=" +
                PercentEncode(FindField(fields, "copies").value_or("")),
            302);
      });
  add("GET", "/demo/app\\.html",
      [](const httplib::Request&, httplib::Response& response) {
        Serve(response, HtmlPage("Single-page application",
                                 std::string(kAppBody) + kBackLink));
      });
  add("POST", "/demo/api/sign-in",
      [](const httplib::Request&, httplib::Response& response) {
        std::random_device random;
        char token[17];
        std::snprintf(token, sizeof token, "%08x%08x", random(), random());
        response.set_content(std::string("{\"token\":\"") + token + "\"}",
                             "application/json");
      });
  add("GET", "/demo/api/items",
      [](const httplib::Request&, httplib::Response& response) {
        response.set_content("[\"Atlas\",\"Binder\",\"Compass\"]",
                             "application/json");
      });
  add("PUT", "/demo/api/settings",
      [](const httplib::Request&, httplib::Response& response) {
        response.status = 204;
      });
  add("POST", "/demo/api/files",
      [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(std::to_string(request.files.size()) +
                                 " parts received",
                             "text/plain");
      });
  add("POST", "/demo/api/leave",
      [](const httplib::Request&, httplib::Response& response) {
        response.status = 204;
      });
  add("GET", "/demo/ordered\\.html",
      [](const httplib::Request& request, httplib::Response& response) {
        Serve(response,
              HtmlPage("Order placed", "<h1>Order placed</h1>\n<p id=\"copies\">Copies: " +
                                           EscapeHtml(Param(request, "copies")) +
                                           "</p>\n" + kBackLink));
      });

  add("POST", "/demo/popup-answer",
      [](const httplib::Request& request, httplib::Response& response) {
        const FormFields fields = DecodeUrlEncodedForm(request.body);
        Serve(response,
              HtmlPage("Answer received",
                       "<h1>Answer received</h1>\n<p id=\"answer\">" +
                           EscapeHtml(FindField(fields, "answer").value_or("")) +
                           "</p>\n"));
      });
}

}  // namespace scrivlet::stand_in
