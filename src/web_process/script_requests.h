#ifndef SCRIVLET_WEB_PROCESS_SCRIPT_REQUESTS_H_
#define SCRIVLET_WEB_PROCESS_SCRIPT_REQUESTS_H_

#include <webkit/webkit-web-process-extension.h>

namespace scrivlet::script_requests {

// Starts the web process's part of recording script requests: whether they
// are recorded comes with `user_data` (a boolean, may be null) and later
// with the program's kRecordScriptsMessage.
void Initialize(WebKitWebProcessExtension* extension, GVariant* user_data);

// The page's own world of `frame` has been cleared for a new document:
// while script requests are recorded, the wrappers go in before the
// page's scripts run.
void DocumentStarted(WebKitWebPage* page, WebKitFrame* frame);

}  // namespace scrivlet::script_requests

#endif  // SCRIVLET_WEB_PROCESS_SCRIPT_REQUESTS_H_
