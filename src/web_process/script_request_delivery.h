#ifndef SCRIVLET_WEB_PROCESS_SCRIPT_REQUEST_DELIVERY_H_
#define SCRIVLET_WEB_PROCESS_SCRIPT_REQUEST_DELIVERY_H_

#include <webkit/webkit-web-process-extension.h>

#include <string>
#include <vector>

namespace scrivlet::script_requests {

// A script request the engine sent, as it goes to the program.
struct Delivery {
  std::string kind;
  std::string method;
  std::string url;
  GVariant* headers = nullptr;  // a(ss), not owned
  GBytes* body = nullptr;       // not owned; null for none
  std::string from;             // a redirect's next hop: the address redirected
  // The names of the headers the engine sent, spelt as they go out.
  std::vector<std::string> sent_names;
};

// The completion of every message the extension sends to the program:
// warns of one that did not arrive.
void WarnIfUndelivered(GObject* page, GAsyncResult* result, gpointer);

// The names of the header lines of `request`, as the engine will send them:
// the script's Headers object gives them in lower case.
std::vector<std::string> SentHeaderNames(WebKitURIRequest* request);

// Sends `request` to the program as kScriptRequestMessage through `page`.
// The body goes in the message as the bytes already copied out of the
// script: the GVariant refers to them, and so do the messages made of it.
void Deliver(WebKitWebPage* page, const Delivery& request);

// Sends the program a message of `name` whose one parameter is kUrl.
void Tell(WebKitWebPage* page, const char* name, const std::string& url);

}  // namespace scrivlet::script_requests

#endif  // SCRIVLET_WEB_PROCESS_SCRIPT_REQUEST_DELIVERY_H_
