#ifndef SCRIVLET_TOOLS_STAND_IN_SERVER_DEMO_SITE_H_
#define SCRIVLET_TOOLS_STAND_IN_SERVER_DEMO_SITE_H_

#include <functional>
#include <string>

#include <httplib.h>

namespace scrivlet::stand_in {

// Registers a route. The server wraps every handler this way so that each
// request is logged before its answer is sent.
using RouteAdder = std::function<void(const std::string& method,
                                      const std::string& pattern,
                                      httplib::Server::Handler handler)>;

// A small web application to record, under /demo/ (and its index at /):
//   /demo/                  index with links and a GET search form (q)
//   /demo/search?q=...      the search answer
//   /demo/login.html        login form, POST urlencoded (user, password)
//   /demo/login             answers 302 to /demo/welcome.html?user=NAME
//   /demo/welcome.html      the page the login redirects to
//   /demo/frames.html       a frameset: frame-menu.html and frame-content.html
//   /demo/upload.html       multipart form (file, title, comment) to /demo/upload
//   /demo/popups.html       a target=_blank link and a window.open button,
//                           both opening /demo/popup.html
//   /demo/popup.html        a form, POST urlencoded (answer) to /demo/popup-answer
//   /demo/order.html        a form, POST urlencoded (token, copies) to
//                           /demo/order, with a fresh single-use token in a
//                           hidden field
//   /demo/order             answers 302 to /demo/ordered.html?copies=N for a
//                           token issued and not used yet, 403 otherwise
// Element ids are stable, for tests that drive these pages.
void AddDemoSite(const RouteAdder& add);

}  // namespace scrivlet::stand_in

#endif  // SCRIVLET_TOOLS_STAND_IN_SERVER_DEMO_SITE_H_
