#ifndef SCRIVLET_PLATFORM_FORM_CAPTURE_H_
#define SCRIVLET_PLATFORM_FORM_CAPTURE_H_

#include <webkit/webkit.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/form_body.h"

namespace scrivlet {

// What a page's `formdata` event carried: the entry list as late as the
// event allowed, and where the form submits to.
struct FormSubmission {
  std::uint64_t id = 0;  // the sending frame's count of formdata events
  std::string frame;     // the sending frame's token
  std::string action;    // the resolved action URL (submitter's formaction)
  std::string method;    // "post", "get" or "dialog"
  std::string charset;   // the encoding the form submits in
  std::vector<FormEntry> entries;
  // False while file contents are still being read; the entries then hold
  // the files with empty contents.
  bool complete = true;
  std::int64_t received_us = 0;  // monotonic time of the first message
};

// A sub-frame's document finished loading (its window's load event).
struct FrameLoad {
  std::string frame;    // the frame's token, new for every document
  std::string url;      // the frame's address
  std::string top_url;  // the top document's address, "" when cross-origin
};

// The capture script and its message channel. The script runs at document
// start in every frame, in an isolated script world of its own: page scripts
// can neither see it nor post to its channel, so pages cannot forge a body.
// One instance serves a main view and all pop-ups opened from it, which
// share its user content manager.
class FormCapture {
 public:
  enum class Lookup { kNone, kIncomplete, kComplete };

  FormCapture();
  ~FormCapture();
  FormCapture(const FormCapture&) = delete;
  FormCapture& operator=(const FormCapture&) = delete;

  WebKitUserContentManager* manager() const { return manager_; }
  static const char* WorldName();

  // The newest submission to `url` by POST that was received close enough
  // to `decided_us` (the monotonic time the engine asked about the
  // navigation) to belong to it. kIncomplete when its file contents have not
  // arrived yet (`found` then holds what is known so far).
  Lookup Find(const std::string& url, std::int64_t decided_us,
              FormSubmission& found);
  // Removes the submission with that frame and id and every older one
  // to the same address, so that no body is lent to a later request.
  void Consume(const FormSubmission& submission);

  // Called after a submission message has been stored.
  std::function<void()> on_submission;
  // Called for every sub-frame load the script reports.
  std::function<void(const FrameLoad&)> on_frame_load;

 private:
  static void OnScriptMessage(WebKitUserContentManager* manager,
                              JSCValue* message, gpointer self);
  void HandleMessage(JSCValue* message);
  void DropStale();

  WebKitUserContentManager* manager_;  // owned reference
  std::deque<FormSubmission> submissions_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_FORM_CAPTURE_H_
