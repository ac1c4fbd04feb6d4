#include "platform/record_page_fill.h"

#include <memory>
#include <utility>

#include "document/utf8.h"
#include "platform/callback_guard.h"

namespace scrivlet {
namespace {

// Sets the first four elements of the first form by position. The values
// arrive as arguments, never as script text.
constexpr char kFillFirstFormScript[] = R"JS(
const form = document.forms[0];
if (!form || form.elements.length < 4) return false;
form.elements[0].value = uuid;
form.elements[1].value = transactionName;
form.elements[2].value = startUrl;
form.elements[3].value = '';
form.elements[3].value = transactionDocument;
return true;
)JS";

// A GVariant string of `text`. The variant holds the repaired text itself,
// taken over without a copy or a second check, for a document of megabytes.
GVariant* StringVariant(std::string text) {
  // The serialised form of a GVariant string is its bytes and a NUL.
  auto* owned = new std::string(ValidUtf8(std::move(text)));
  return g_variant_new_from_data(
      G_VARIANT_TYPE_STRING, owned->c_str(), owned->size() + 1, TRUE,
      [](gpointer data) { delete static_cast<std::string*>(data); }, owned);
}

// Tells the caller whether the script found and filled the form. A fill
// cancelled with its adapter tells nobody. A script that failed (the page
// went away meanwhile) filled nothing.
void OnFillFinished(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<std::function<void(bool)>> filled(
      static_cast<std::function<void(bool)>*>(data));
  g_autoptr(GError) error = nullptr;
  g_autoptr(JSCValue) value =
      webkit_web_view_call_async_javascript_function_finish(
          WEBKIT_WEB_VIEW(source), result, &error);
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) return;
  const bool found = value && jsc_value_is_boolean(value) &&
                     jsc_value_to_boolean(value);
  GuardCallback("form fill", [&] { (*filled)(found); });
}

}  // namespace

void FillFirstFormOf(WebKitWebView* view, std::array<std::string, 4> values,
                     GCancellable* cancellable,
                     std::function<void(bool filled)> filled) {
  GVariantBuilder arguments;
  g_variant_builder_init(&arguments, G_VARIANT_TYPE_VARDICT);
  const char* names[] = {"uuid", "transactionName", "startUrl",
                         "transactionDocument"};
  for (std::size_t i = 0; i < values.size(); ++i) {
    g_variant_builder_add(&arguments, "{sv}", names[i],
                          StringVariant(std::move(values[i])));
  }
  webkit_web_view_call_async_javascript_function(
      view, kFillFirstFormScript, -1, g_variant_builder_end(&arguments),
      kRecordPageWorld, nullptr, cancellable, &OnFillFinished,
      new std::function<void(bool)>(std::move(filled)));
}

}  // namespace scrivlet
