// The program's web process extension, loaded by the engine into every web
// process. It runs the capture script (form_capture.js) at the start of
// every document of every frame, in an isolated script world of its own,
// and gives that world one function, scrivletPost(kind, message), which
// sends the message to the program as GLib data (a WebKitUserMessage named
// `kind`, one of capture_message.h, whose parameters are the message as
// a{sv}). Page scripts can neither see the world nor call the function, so
// a page cannot forge a body; and the program's own process never has to
// run a JavaScript engine to read the messages. The requests page scripts
// make are followed apart, in the page's own world (script_requests.h).
#include <webkit/webkit-web-process-extension.h>

#include <cstdint>

#include "web_process/capture_message.h"
#include "web_process/form_capture_script.h"
#include "web_process/script_request_delivery.h"
#include "web_process/script_requests.h"

namespace {

namespace message = scrivlet::capture_message;

// The world the capture script runs in; the program fills the record page
// in a world of another name.
constexpr char kCaptureWorldName[] = "scrivlet-capture";

WebKitWebProcessExtension* the_extension = nullptr;
WebKitScriptWorld* capture_world = nullptr;

GVariant* ToVariant(JSCValue* value);

// An object's enumerable properties as a{sv}; null and undefined properties
// are left out.
GVariant* ObjectToVariant(JSCValue* object) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
  g_auto(GStrv) names = jsc_value_object_enumerate_properties(object);
  for (gchar** name = names; name && *name; ++name) {
    g_autoptr(JSCValue) property = jsc_value_object_get_property(object, *name);
    if (!jsc_value_is_null(property) && !jsc_value_is_undefined(property)) {
      g_variant_builder_add(&builder, "{sv}", *name, ToVariant(property));
    }
  }
  return g_variant_builder_end(&builder);
}

GVariant* ArrayToVariant(JSCValue* array) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("av"));
  g_autoptr(JSCValue) length_value =
      jsc_value_object_get_property(array, "length");
  const auto length = static_cast<guint>(jsc_value_to_int32(length_value));
  for (guint i = 0; i < length; ++i) {
    g_autoptr(JSCValue) item = jsc_value_object_get_property_at_index(array, i);
    g_variant_builder_add(&builder, "v", ToVariant(item));
  }
  return g_variant_builder_end(&builder);
}

// Strings, booleans, numbers (as doubles), arrays (av) and objects (a{sv});
// anything else becomes "".
GVariant* ToVariant(JSCValue* value) {
  if (jsc_value_is_string(value)) {
    g_autofree gchar* text = jsc_value_to_string(value);
    if (!g_utf8_validate(text, -1, nullptr)) {
      return g_variant_new_take_string(g_utf8_make_valid(text, -1));
    }
    return g_variant_new_take_string(g_steal_pointer(&text));
  }
  if (jsc_value_is_boolean(value)) {
    return g_variant_new_boolean(jsc_value_to_boolean(value));
  }
  if (jsc_value_is_number(value)) {
    return g_variant_new_double(jsc_value_to_double(value));
  }
  if (jsc_value_is_array(value)) return ArrayToVariant(value);
  if (jsc_value_is_object(value)) return ObjectToVariant(value);
  return g_variant_new_string("");
}

void Post(JSCValue* kind, JSCValue* body, gpointer page_id) {
  if (!jsc_value_is_string(kind) || !jsc_value_is_object(body)) return;
  g_autofree gchar* name = jsc_value_to_string(kind);
  if (g_strcmp0(name, message::kFormMessage) != 0 &&
      g_strcmp0(name, message::kFrameLoadMessage) != 0 &&
      g_strcmp0(name, message::kScriptSeenMessage) != 0) {
    return;
  }
  WebKitWebPage* page = webkit_web_process_extension_get_page(
      the_extension, GPOINTER_TO_SIZE(page_id));
  if (!page) return;
  if (g_strcmp0(name, message::kScriptSeenMessage) == 0) {
    g_autoptr(JSCValue) url = jsc_value_object_get_property(body, message::kUrl);
    g_autofree gchar* text =
        jsc_value_is_string(url) ? jsc_value_to_string(url) : nullptr;
    if (!text || !scrivlet::script_requests::ResourceSeen(page, text)) return;
  }
  webkit_web_page_send_message_to_view(
      page, webkit_user_message_new(name, ObjectToVariant(body)), nullptr,
      &scrivlet::script_requests::WarnIfUndelivered, nullptr);
}

void Evaluate(JSCContext* context, const char* script, const char* uri) {
  g_autoptr(JSCValue) result =
      jsc_context_evaluate_with_source_uri(context, script, -1, uri, 1);
  if (JSCException* exception = jsc_context_get_exception(context)) {
    g_warning("capture script: %s", jsc_exception_get_message(exception));
    jsc_context_clear_exception(context);
  }
}

// The page's own world is cleared for every new document of every frame,
// before any of the page's scripts run; the capture world is made in that
// frame then, and the script run in it.
void OnWindowObjectCleared(WebKitScriptWorld*, WebKitWebPage* page,
                           WebKitFrame* frame, gpointer) {
  scrivlet::script_requests::DocumentStarted(page, frame);
  g_autoptr(JSCContext) context =
      webkit_frame_get_js_context_for_script_world(frame, capture_world);
  if (!context) return;
  g_autoptr(JSCValue) post = jsc_value_new_function(
      context, "scrivletPost", G_CALLBACK(&Post),
      GSIZE_TO_POINTER(webkit_web_page_get_id(page)), nullptr, G_TYPE_NONE, 2,
      JSC_TYPE_VALUE, JSC_TYPE_VALUE);
  jsc_context_set_value(context, "scrivletPost", post);
  Evaluate(context, message::kMessageSchemaScript, "scrivlet-message.js");
  Evaluate(context, scrivlet::kCaptureScript, "scrivlet-capture.js");
}

}  // namespace

extern "C" G_MODULE_EXPORT void
webkit_web_process_extension_initialize_with_user_data(
    WebKitWebProcessExtension* extension, GVariant* user_data) {
  the_extension = extension;
  scrivlet::script_requests::Initialize(extension, user_data);
  capture_world = webkit_script_world_new_with_name(kCaptureWorldName);
  g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                   G_CALLBACK(&OnWindowObjectCleared), nullptr);
}
