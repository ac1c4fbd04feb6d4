#ifndef SCRIVLET_PLATFORM_FORM_CAPTURE_H_
#define SCRIVLET_PLATFORM_FORM_CAPTURE_H_

#include <webkit/webkit.h>

#include <functional>
#include <string>

#include "platform/submission_matcher.h"
#include "session/browser_events.h"

namespace scrivlet {

// A sub-frame's document finished loading (its window's load event).
struct FrameLoad {
  std::string frame;    // the frame's token, new for every document
  std::string url;      // the frame's address
  std::string top_url;  // the top document's address, "" when cross-origin
};

// The capture script's messages. The script runs at document start in
// every frame, in an isolated script world of the program's web process
// extension: page scripts can neither see it nor reach its channel, so pages
// cannot forge a body. Its messages arrive as GLib data through the view
// they come from. One instance serves a main view and all pop-ups opened
// from it. It only translates the messages into plain values;
// SubmissionMatcher keeps and matches the submissions.
class FormCapture {
 public:
  FormCapture();
  FormCapture(const FormCapture&) = delete;
  FormCapture& operator=(const FormCapture&) = delete;

  // A view's user message: false unless it is the capture script's.
  bool HandleUserMessage(WebKitUserMessage* message);

  // Called for every message of a form submission (a form with files not
  // read yet sends two, with the same frame and id); `received_us` is not
  // set.
  std::function<void(FormSubmission)> on_submission;
  // Called for every sub-frame load the script reports.
  std::function<void(const FrameLoad&)> on_frame_load;
  // Called for every script request the extension saw go out with what
  // its script announced.
  std::function<void(ScriptRequest)> on_script_request;
  // Called for every script request that ended while they are not
  // recorded.
  std::function<void(const std::string& url)> on_script_request_seen;
  // Called for every script request sent, while they are recorded, without
  // its body being seen.
  std::function<void(const std::string& url)> on_script_request_unannounced;

  // Whether every web process, those running and those started later,
  // has its pages' script requests announced.
  static void SetRecordScriptRequests(bool on);

 private:
  void HandleSubmission(GVariant* form);
  void HandleFrameLoad(GVariant* load);
  void HandleScriptRequest(GVariant* request);
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_FORM_CAPTURE_H_
