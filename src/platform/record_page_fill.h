#ifndef SCRIVLET_PLATFORM_RECORD_PAGE_FILL_H_
#define SCRIVLET_PLATFORM_RECORD_PAGE_FILL_H_

#include <webkit/webkit.h>

#include <array>
#include <functional>
#include <string>

namespace scrivlet {

// The script world in which the program fills the record page, apart from
// the capture script's world.
inline constexpr char kRecordPageWorld[] = "scrivlet-record-page";

// Sets, by position, the first four elements of the first form of the page
// that `view` shows, from a script in kRecordPageWorld. The values go to the
// page as data, never as script text; text that is not valid UTF-8 is
// repaired as ValidUtf8 does. `filled` is called later on the
// user-interface thread with whether the form was there and filled, unless
// `cancellable` was cancelled first.
void FillFirstFormOf(WebKitWebView* view, std::array<std::string, 4> values,
                     GCancellable* cancellable,
                     std::function<void(bool filled)> filled);

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_RECORD_PAGE_FILL_H_
