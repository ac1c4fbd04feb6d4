// The messages of the web process's part of recording script requests, as
// they go to the program (capture_message.h), and the check that every
// message of the extension arrived.
#include "web_process/script_request_delivery.h"

#include "web_process/capture_message.h"

namespace scrivlet::script_requests {
namespace {

namespace message = capture_message;

// `headers` with each name that the engine sent under another spelling
// (case aside) spelt as it went out.
GVariant* AsSent(GVariant* headers, const std::vector<std::string>& sent) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a(ss)"));
  GVariantIter iter;
  g_variant_iter_init(&iter, headers);
  const char* name = nullptr;
  const char* value = nullptr;
  while (g_variant_iter_next(&iter, "(&s&s)", &name, &value)) {
    for (const std::string& spelt : sent) {
      if (g_ascii_strcasecmp(spelt.c_str(), name) == 0) {
        name = spelt.c_str();
        break;
      }
    }
    g_variant_builder_add(&builder, "(ss)", name, value);
  }
  return g_variant_builder_end(&builder);
}

}  // namespace

// The program answers every message it takes; anything else is a message
// that did not arrive. A send is cancelled when its view went away first (a
// pop-up closed, the program ended): nobody is left to record it.
void WarnIfUndelivered(GObject* page, GAsyncResult* result, gpointer) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(WebKitUserMessage) reply =
      webkit_web_page_send_message_to_view_finish(WEBKIT_WEB_PAGE(page), result,
                                                  &error);
  if (!reply && !g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    g_warning("message to the program not delivered: %s", error->message);
  }
}

std::vector<std::string> SentHeaderNames(WebKitURIRequest* request) {
  std::vector<std::string> names;
  SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request);
  if (!headers) return names;
  soup_message_headers_foreach(
      headers,
      [](const char* name, const char*, gpointer out) {
        static_cast<std::vector<std::string>*>(out)->emplace_back(name);
      },
      &names);
  return names;
}

void Deliver(WebKitWebPage* page, const Delivery& request) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&builder, "{sv}", message::kKind,
                        g_variant_new_string(request.kind.c_str()));
  g_variant_builder_add(&builder, "{sv}", message::kMethod,
                        g_variant_new_string(request.method.c_str()));
  g_variant_builder_add(&builder, "{sv}", message::kUrl,
                        g_variant_new_string(request.url.c_str()));
  g_variant_builder_add(&builder, "{sv}", message::kHeaders,
                        AsSent(request.headers, request.sent_names));
  if (!request.from.empty()) {
    g_variant_builder_add(&builder, "{sv}", message::kFrom,
                          g_variant_new_string(request.from.c_str()));
  }
  if (request.body) {
    g_variant_builder_add(
        &builder, "{sv}", message::kBody,
        g_variant_new_from_bytes(G_VARIANT_TYPE_BYTESTRING, request.body,
                                 TRUE));
  }
  webkit_web_page_send_message_to_view(
      page,
      webkit_user_message_new(message::kScriptRequestMessage,
                              g_variant_builder_end(&builder)),
      nullptr, &WarnIfUndelivered, nullptr);
}

void Tell(WebKitWebPage* page, const char* name, const std::string& url) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&builder, "{sv}", message::kUrl,
                        g_variant_new_string(url.c_str()));
  webkit_web_page_send_message_to_view(
      page, webkit_user_message_new(name, g_variant_builder_end(&builder)),
      nullptr, &WarnIfUndelivered, nullptr);
}

}  // namespace scrivlet::script_requests
