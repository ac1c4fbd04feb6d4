#ifndef SCRIVLET_WEB_PROCESS_SCRIPT_REQUESTS_H_
#define SCRIVLET_WEB_PROCESS_SCRIPT_REQUESTS_H_

#include <webkit/webkit-web-process-extension.h>

#include <string>

namespace scrivlet::script_requests {

// Starts the web process's part of recording script requests: whether they
// are recorded comes with `user_data` (a boolean, may be null) and later
// with the program's kRecordScriptsMessage.
void Initialize(WebKitWebProcessExtension* extension, GVariant* user_data);

// The page's own world of `frame` has been cleared for a new document:
// while script requests are recorded, the wrappers go in before the
// page's scripts run.
void DocumentStarted(WebKitWebPage* page, WebKitFrame* frame);

// The resource timing of `page` (seen from the program's own world) tells
// that a script request to `url` ended. true: the message goes on to the
// program as it is, to be counted (script requests are not recorded).
// Otherwise this part answers it: a request sent without an announcement
// of its body is told to the program as kScriptUnannouncedMessage.
bool ResourceSeen(WebKitWebPage* page, const std::string& url);

}  // namespace scrivlet::script_requests

#endif  // SCRIVLET_WEB_PROCESS_SCRIPT_REQUESTS_H_
