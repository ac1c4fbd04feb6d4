#include "platform/form_capture.h"

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "platform/capture_message.h"

namespace scrivlet {
namespace {

constexpr char kWorldName[] = "scrivlet-capture";
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
  guchar* bytes = g_base64_decode(text.c_str(), &length);
  std::string result(reinterpret_cast<const char*>(bytes), length);
  g_free(bytes);
  return result;
}

// web-extensions/ beside the program when it runs from its build tree,
// otherwise the directory the package installs the extension in; a module
// missing there is reported.
std::string WebExtensionsDirectory() {
  gchar* program = g_file_read_link("/proc/self/exe", nullptr);
  if (program != nullptr) {
    gchar* directory = g_path_get_dirname(program);
    gchar* beside =
        g_build_filename(directory, "web-extensions", nullptr);
    gchar* module = g_build_filename(beside, kExtensionFile, nullptr);
    const bool built_here = g_file_test(module, G_FILE_TEST_IS_REGULAR);
    std::string found = built_here ? beside : "";
    g_free(module);
    g_free(beside);
    g_free(directory);
    g_free(program);
    if (built_here) return found;
  }
  gchar* module =
      g_build_filename(SCRIVLET_WEB_EXTENSIONS_DIR, kExtensionFile, nullptr);
  if (!g_file_test(module, G_FILE_TEST_IS_REGULAR)) {
    g_warning("the form capture module %s is missing: posted forms are "
              "recorded without their bodies",
              module);
  }
  g_free(module);
  return SCRIVLET_WEB_EXTENSIONS_DIR;
}

}  // namespace

const char* FormCapture::WorldName() { return kWorldName; }

// The capture script is form_capture.js; the program's web process
// extension (capture_extension.cpp) runs it at the start of every document
// of every frame, in an isolated world, and sends its messages here as GLib
// data through the view they come from. The script reports the entry list
// of each `formdata` event (also fired by form.submit(), which skips the
// submit event), read by a listener that is appended to the window's
// bubbling listeners during the event's capture phase, so that it runs
// after the page's own listeners and sees their changes. File contents can
// only be read asynchronously, so the script reads each file when it is
// chosen (the input and change events of a file input, trusted or not: the
// bytes are the File's own and are used only for that same File object in
// a trusted formdata event); a submission whose files are all read already
// goes in one message. Files not read yet (chosen without an event, still
// being read, or replaced by a page listener) are read then and follow in a
// second message, for which the navigation's decision waits.
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

bool FormCapture::HandleUserMessage(WebKitUserMessage* message) {
  if (g_strcmp0(webkit_user_message_get_name(message), kCaptureMessageName) !=
      0) {
    return false;
  }
  try {
    GVariant* parameters = webkit_user_message_get_parameters(message);
    if (parameters != nullptr &&
        g_variant_is_of_type(parameters, G_VARIANT_TYPE_VARDICT)) {
      HandleMessage(parameters);
    }
  } catch (const std::exception& error) {
    g_warning("form capture: %s", error.what());
  } catch (...) {
  }
  return true;
}

void FormCapture::HandleMessage(GVariant* message) {
  const std::string kind = StringOf(message, "kind");
  if (kind == "frameload") {
    FrameLoad load{StringOf(message, "frame"), StringOf(message, "url"),
                   StringOf(message, "top")};
    if (on_frame_load) on_frame_load(load);
    return;
  }
  if (kind != "form") return;
  FormSubmission submission;
  submission.id = static_cast<std::uint64_t>(NumberOf(message, "id"));
  submission.frame = StringOf(message, "frame");
  submission.action = StringOf(message, "action");
  submission.method = StringOf(message, "method");
  submission.charset = StringOf(message, "charset");
  submission.complete = BoolOf(message, "complete");
  GVariant* entries = g_variant_lookup_value(message, "entries",
                                             G_VARIANT_TYPE("av"));
  if (entries != nullptr) {
    GVariantIter iter;
    g_variant_iter_init(&iter, entries);
    GVariant* boxed = nullptr;
    while (g_variant_iter_next(&iter, "v", &boxed)) {
      if (g_variant_is_of_type(boxed, G_VARIANT_TYPE_VARDICT)) {
        FormEntry entry;
        entry.name = StringOf(boxed, "name");
        entry.is_file = BoolOf(boxed, "file");
        if (entry.is_file) {
          entry.filename = StringOf(boxed, "filename");
          entry.content_type = StringOf(boxed, "type");
          entry.value = Base64Decode(StringOf(boxed, "data"));
        } else {
          entry.value = StringOf(boxed, "value");
        }
        submission.entries.push_back(std::move(entry));
      }
      g_variant_unref(boxed);
    }
    g_variant_unref(entries);
  }
  if (on_submission) on_submission(std::move(submission));
}

}  // namespace scrivlet
