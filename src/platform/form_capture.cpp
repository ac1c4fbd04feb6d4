#include "platform/form_capture.h"

#include <cstdint>
#include <string>
#include <utility>

#include "platform/callback_guard.h"
#include "web_process/capture_message.h"

namespace scrivlet {
namespace {

namespace message = capture_message;

constexpr char kExtensionFile[] = "libscrivlet-capture.so";

std::string StringOf(GVariant* message, const char* name) {
  const char* text = nullptr;
  if (!g_variant_lookup(message, name, "&s", &text) || text == nullptr) {
    return "";
  }
  return text;
}

bool BoolOf(GVariant* message, const char* name) {
  gboolean value = FALSE;
  return g_variant_lookup(message, name, "b", &value) && value;
}

double NumberOf(GVariant* message, const char* name) {
  double value = 0.0;
  return g_variant_lookup(message, name, "d", &value) ? value : 0.0;
}

std::string Base64Decode(const std::string& text) {
  if (text.empty()) return "";
  gsize length = 0;
  g_autofree guchar* bytes = g_base64_decode(text.c_str(), &length);
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

// web-extensions/ beside the program when it runs from its build tree,
// otherwise the directory the package installs the extension in; a module
// missing there is reported.
std::string WebExtensionsDirectory() {
  g_autofree gchar* program = g_file_read_link("/proc/self/exe", nullptr);
  if (program != nullptr) {
    g_autofree gchar* directory = g_path_get_dirname(program);
    g_autofree gchar* beside =
        g_build_filename(directory, "web-extensions", nullptr);
    g_autofree gchar* module =
        g_build_filename(beside, kExtensionFile, nullptr);
    if (g_file_test(module, G_FILE_TEST_IS_REGULAR)) return beside;
  }
  g_autofree gchar* module =
      g_build_filename(SCRIVLET_WEB_EXTENSIONS_DIR, kExtensionFile, nullptr);
  if (!g_file_test(module, G_FILE_TEST_IS_REGULAR)) {
    g_warning("the form capture module %s is missing: posted forms are "
              "recorded without their bodies",
              module);
  }
  return SCRIVLET_WEB_EXTENSIONS_DIR;
}

}  // namespace

// The capture script is web_process/form_capture.js; the program's web process
// extension (capture_extension.cpp) runs it at the start of every document of
// every frame, in an isolated world, and sends its messages here as GLib data
// through the view they come from. The script reports the entry list of each
// `formdata` event (also fired by form.submit(), which skips the submit event),
// read by a listener that is appended to the window's bubbling listeners during
// the event's capture phase, so that it runs after the page's own listeners and
// sees their changes. File contents can only be read asynchronously, so the
// script reads each file when it is chosen (the input and change events of a
// file input, trusted or not: the bytes are the File's own and are used only
// for that same File object in a trusted formdata event); a submission whose
// files are all read already goes in one message. Files not read yet (chosen
// without an event, still being read, or replaced by a page listener) are read
// then and follow in a second message, for which the navigation's decision
// waits.
FormCapture::FormCapture() {
  // The engine loads the extensions when it starts its first web process;
  // the directory is set before the first view is made.
  static const bool extensions_set = [] {
    const std::string directory = WebExtensionsDirectory();
    webkit_web_context_set_web_process_extensions_directory(
        webkit_web_context_get_default(), directory.c_str());
    return true;
  }();
  (void)extensions_set;
}

// Every message taken is answered, so that its sender knows it arrived.
bool FormCapture::HandleUserMessage(WebKitUserMessage* user_message) {
  const char* name = webkit_user_message_get_name(user_message);
  const bool form = g_strcmp0(name, message::kFormMessage) == 0;
  const bool script = g_strcmp0(name, message::kScriptRequestMessage) == 0;
  const bool seen = g_strcmp0(name, message::kScriptSeenMessage) == 0;
  const bool unannounced =
      g_strcmp0(name, message::kScriptUnannouncedMessage) == 0;
  if (!form && !script && !seen && !unannounced &&
      g_strcmp0(name, message::kFrameLoadMessage) != 0) {
    return false;
  }
  GuardCallback("form capture", [&] {
    GVariant* parameters = webkit_user_message_get_parameters(user_message);
    if (parameters == nullptr ||
        !g_variant_is_of_type(parameters, G_VARIANT_TYPE_VARDICT)) {
      return;
    }
    if (form) {
      HandleSubmission(parameters);
    } else if (script) {
      HandleScriptRequest(parameters);
    } else if (seen || unannounced) {
      const auto& told =
          seen ? on_script_request_seen : on_script_request_unannounced;
      if (told) told(StringOf(parameters, message::kUrl));
    } else {
      HandleFrameLoad(parameters);
    }
  });
  webkit_user_message_send_reply(user_message,
                                 webkit_user_message_new(name, nullptr));
  return true;
}

void FormCapture::SetRecordScriptRequests(bool on) {
  WebKitWebContext* context = webkit_web_context_get_default();
  webkit_web_context_set_web_process_extensions_initialization_user_data(
      context, g_variant_new_boolean(on));
  webkit_web_context_send_message_to_all_extensions(
      context, webkit_user_message_new(message::kRecordScriptsMessage,
                                       g_variant_new_boolean(on)));
}

void FormCapture::HandleScriptRequest(GVariant* parameters) {
  if (!on_script_request) return;
  ScriptRequest request;
  request.kind = StringOf(parameters, message::kKind);
  request.method = StringOf(parameters, message::kMethod);
  request.url = StringOf(parameters, message::kUrl);
  request.redirected_from = StringOf(parameters, message::kFrom);
  g_autoptr(GVariant) headers = g_variant_lookup_value(
      parameters, message::kHeaders, G_VARIANT_TYPE("a(ss)"));
  if (headers != nullptr) {
    GVariantIter iter;
    g_variant_iter_init(&iter, headers);
    const char* name = nullptr;
    const char* value = nullptr;
    while (g_variant_iter_next(&iter, "(&s&s)", &name, &value)) {
      request.headers.emplace_back(name, value);
    }
  }
  g_autoptr(GVariant) body = g_variant_lookup_value(
      parameters, message::kBody, G_VARIANT_TYPE_BYTESTRING);
  if (body != nullptr) {
    gsize size = 0;
    const auto* bytes =
        static_cast<const char*>(g_variant_get_fixed_array(body, &size, 1));
    request.body.emplace(bytes ? bytes : "", bytes ? size : 0);
  }
  on_script_request(std::move(request));
}

void FormCapture::HandleFrameLoad(GVariant* load) {
  if (!on_frame_load) return;
  on_frame_load(FrameLoad{StringOf(load, message::kFrame),
                          StringOf(load, message::kUrl),
                          StringOf(load, message::kTop)});
}

void FormCapture::HandleSubmission(GVariant* form) {
  FormSubmission submission;
  submission.id = static_cast<std::uint64_t>(NumberOf(form, message::kId));
  submission.frame = StringOf(form, message::kFrame);
  submission.action = StringOf(form, message::kAction);
  submission.method = StringOf(form, message::kMethod);
  submission.charset = StringOf(form, message::kCharset);
  submission.complete = BoolOf(form, message::kComplete);
  g_autoptr(GVariant) entries = g_variant_lookup_value(
      form, message::kEntries, G_VARIANT_TYPE("av"));
  if (entries != nullptr) {
    GVariantIter iter;
    g_variant_iter_init(&iter, entries);
    for (;;) {
      g_autoptr(GVariant) boxed = nullptr;
      if (!g_variant_iter_next(&iter, "v", &boxed)) break;
      if (!g_variant_is_of_type(boxed, G_VARIANT_TYPE_VARDICT)) continue;
      FormEntry entry;
      entry.name = StringOf(boxed, message::kName);
      entry.is_file = BoolOf(boxed, message::kFile);
      if (entry.is_file) {
        entry.filename = StringOf(boxed, message::kFilename);
        entry.content_type = StringOf(boxed, message::kType);
        entry.value = Base64Decode(StringOf(boxed, message::kData));
      } else {
        entry.value = StringOf(boxed, message::kValue);
      }
      submission.entries.push_back(std::move(entry));
    }
  }
  if (on_submission) on_submission(std::move(submission));
}

}  // namespace scrivlet
