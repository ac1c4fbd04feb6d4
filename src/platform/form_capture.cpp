#include "platform/form_capture.h"

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "platform/form_capture_script.h"

namespace scrivlet {
namespace {

constexpr char kWorldName[] = "scrivlet-capture";
constexpr char kChannel[] = "scrivletCapture";

using JsValue = GObjectPtr<JSCValue>;

// The engine hands over a reference of its own with each property.
JsValue Property(JSCValue* object, const char* name) {
  return JsValue::Adopt(jsc_value_object_get_property(object, name));
}

std::string StringOf(JSCValue* value) {
  if (!value || !jsc_value_is_string(value)) return "";
  char* text = jsc_value_to_string(value);
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

std::string StringProperty(JSCValue* object, const char* name) {
  const JsValue value = Property(object, name);
  return StringOf(value.get());
}

bool BoolProperty(JSCValue* object, const char* name) {
  const JsValue value = Property(object, name);
  return value.get() && jsc_value_to_boolean(value.get());
}

double NumberProperty(JSCValue* object, const char* name) {
  const JsValue value = Property(object, name);
  return value.get() && jsc_value_is_number(value.get())
             ? jsc_value_to_double(value.get())
             : 0.0;
}

std::string Base64Decode(const std::string& text) {
  if (text.empty()) return "";
  gsize length = 0;
  guchar* bytes = g_base64_decode(text.c_str(), &length);
  std::string result(reinterpret_cast<const char*>(bytes), length);
  g_free(bytes);
  return result;
}

}  // namespace

const char* FormCapture::WorldName() { return kWorldName; }

// The capture script is form_capture.js, compiled in byte for byte as
// kCaptureScript (src/embed_text.cmake). It runs in every frame, in the
// isolated world. It reports the entry list of each `formdata` event (also
// fired by form.submit(), which skips the submit event), read by a listener
// that is appended to the window's bubbling listeners during the event's
// capture phase, so that it runs after the page's own listeners and sees
// their changes. File contents can only be read asynchronously, so the
// script reads each file when it is chosen (the input and change events of
// a file input, trusted or not: the bytes are the File's own and are used
// only for that same File object in a trusted formdata event); a submission
// whose files are all read already goes in one message. Files not read yet
// (chosen without an event, still being read, or replaced by a page
// listener) are read then and follow in a second message, for which the
// navigation's decision waits.
FormCapture::FormCapture()
    : manager_(GObjectPtr<WebKitUserContentManager>::Adopt(
          webkit_user_content_manager_new())) {
  g_signal_connect(manager_.get(), "script-message-received::scrivletCapture",
                   G_CALLBACK(&FormCapture::OnScriptMessage), this);
  webkit_user_content_manager_register_script_message_handler(
      manager_.get(), kChannel, kWorldName);
  WebKitUserScript* script = webkit_user_script_new_for_world(
      kCaptureScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kWorldName, nullptr,
      nullptr);
  webkit_user_content_manager_add_script(manager_.get(), script);
  webkit_user_script_unref(script);
}

// A view may still hold the manager after this object is gone; its
// messages must then reach no one.
FormCapture::~FormCapture() {
  g_signal_handlers_disconnect_by_data(manager_.get(), this);
}

void FormCapture::OnScriptMessage(WebKitUserContentManager*, JSCValue* message,
                                  gpointer self) {
  try {
    static_cast<FormCapture*>(self)->HandleMessage(message);
  } catch (const std::exception& error) {
    g_warning("form capture: %s", error.what());
  } catch (...) {
  }
}

void FormCapture::HandleMessage(JSCValue* message) {
  if (!jsc_value_is_object(message)) return;
  const std::string kind = StringProperty(message, "kind");
  if (kind == "frameload") {
    FrameLoad load{StringProperty(message, "frame"),
                   StringProperty(message, "url"),
                   StringProperty(message, "top")};
    if (on_frame_load) on_frame_load(load);
    return;
  }
  if (kind != "form") return;
  FormSubmission submission;
  submission.id = static_cast<std::uint64_t>(NumberProperty(message, "id"));
  submission.frame = StringProperty(message, "frame");
  submission.action = StringProperty(message, "action");
  submission.method = StringProperty(message, "method");
  submission.charset = StringProperty(message, "charset");
  submission.complete = BoolProperty(message, "complete");
  const JsValue entries = Property(message, "entries");
  if (entries.get() && jsc_value_is_array(entries.get())) {
    const int count = static_cast<int>(NumberProperty(entries.get(), "length"));
    for (int i = 0; i < count; ++i) {
      const JsValue item =
          JsValue::Adopt(jsc_value_object_get_property_at_index(
              entries.get(), static_cast<guint>(i)));
      if (!item.get() || !jsc_value_is_object(item.get())) continue;
      FormEntry entry;
      entry.name = StringProperty(item.get(), "name");
      entry.is_file = BoolProperty(item.get(), "file");
      if (entry.is_file) {
        entry.filename = StringProperty(item.get(), "filename");
        entry.content_type = StringProperty(item.get(), "type");
        entry.value = Base64Decode(StringProperty(item.get(), "data"));
      } else {
        entry.value = StringProperty(item.get(), "value");
      }
      submission.entries.push_back(std::move(entry));
    }
  }
  if (on_submission) on_submission(std::move(submission));
}

}  // namespace scrivlet
