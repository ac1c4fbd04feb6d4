// Script requests in the web process: the wrappers of fetch, XMLHttpRequest
// and sendBeacon (script_wrappers.js) announce each request as it is made
// and its bytes once known; the page's send-request signal says which
// requests really went out. An announcement goes on to the program only
// with its sent request (see ScriptRequestMatcher), since the page's own
// world is the page's: it may call the announcing wrappers for a request
// it never makes.
#include "web_process/script_requests.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include "session/script_request_matcher.h"
#include "web_process/capture_message.h"
#include "web_process/script_request_delivery.h"
#include "web_process/script_wrappers_script.h"

namespace scrivlet::script_requests {
namespace {

namespace message = capture_message;

// How often announcements that wait are looked at for their time.
constexpr guint kExpiryIntervalMs = 500;

// A matched request whose body is still read is waited for this long.
constexpr std::int64_t kBodyWaitUs = 60'000'000;

WebKitWebProcessExtension* the_extension = nullptr;
bool recording = false;
ScriptRequestMatcher matcher;
// A request a script made, from its begin to its delivery.
struct Waiting {
  std::uint64_t page = 0;
  std::string kind;
  std::string method;
  std::string url;
  std::int64_t begun_us = 0;
  bool sent = false;      // the engine sent it
  bool complete = false;  // its headers and body are known
  bool dropped = false;   // it is not to be recorded
  GVariant* headers = nullptr;  // a(ss), held once complete
  GBytes* body = nullptr;       // held once complete, when it has one
  std::string from;  // for a redirect's next hop, the address redirected
  std::vector<std::string> sent_names;  // of the headers the engine sent
};
std::map<std::uint64_t, Waiting> waiting;  // by ticket
// The tickets of the sent requests, in the order they were sent: each is
// delivered once it and those before it are complete, so that the program
// gets them in that order whatever order their bodies were read in.
std::deque<std::uint64_t> sent_order;
std::uint64_t last_ticket = 0;
// The script requests sent lately and the hops of their redirects, newest
// last: a redirect from one of them is one more hop to record, and the
// resource timing of one of them is no request sent unannounced.
struct Hop {
  std::uint64_t page = 0;
  std::string url;
};
std::deque<Hop> recent_hops;
constexpr std::size_t kRecentHops = 256;
// Each page's main documents: counted as they start, and the one that got
// the wrappers last.
struct PageDocuments {
  std::uint64_t document = 0;
  std::uint64_t wrapped = 0;
};
std::map<std::uint64_t, PageDocuments> pages;
guint expiry_source = 0;

std::string TextOf(JSCValue* value) {
  if (!value || !jsc_value_is_string(value)) return "";
  g_autofree gchar* text = jsc_value_to_string(value);
  if (!g_utf8_validate(text, -1, nullptr)) {
    g_autofree gchar* valid = g_utf8_make_valid(text, -1);
    return valid;
  }
  return text;
}

void Forget(std::map<std::uint64_t, Waiting>::iterator found) {
  if (found->second.headers) g_variant_unref(found->second.headers);
  if (found->second.body) g_bytes_unref(found->second.body);
  waiting.erase(found);
}

void Deliver(const Waiting& request) {
  WebKitWebPage* page =
      webkit_web_process_extension_get_page(the_extension, request.page);
  if (!page) return;
  if (request.dropped) {
    // Sent, but its body was not seen: the program lists it, unrecorded.
    Tell(page, message::kScriptUnannouncedMessage, request.url);
    return;
  }
  script_requests::Deliver(
      page, Delivery{request.kind, request.method, request.url,
                     request.headers, request.body, request.from,
                     request.sent_names});
}

void Flush() {
  while (!sent_order.empty()) {
    const auto found = waiting.find(sent_order.front());
    if (found != waiting.end()) {
      if (!found->second.complete && !found->second.dropped) return;
      Deliver(found->second);
      Forget(found);
    }
    sent_order.pop_front();
  }
}

void Expire() {
  const std::int64_t now = g_get_monotonic_time();
  const ScriptRequestMatcher::Expired gone = matcher.Expire(now);
  for (const std::uint64_t ticket : gone.never_sent) {
    const auto found = waiting.find(ticket);
    if (found != waiting.end()) Forget(found);
  }
  for (auto& [ticket, request] : waiting) {
    if (request.sent && !request.complete &&
        now - request.begun_us > kBodyWaitUs) {
      request.dropped = true;
    }
  }
  Flush();
}

gboolean OnExpiryTimer(gpointer) {
  Expire();
  if (!waiting.empty() || !matcher.empty()) return G_SOURCE_CONTINUE;
  expiry_source = 0;
  return G_SOURCE_REMOVE;
}

void ArmExpiry() {
  if (expiry_source == 0 && (!waiting.empty() || !matcher.empty())) {
    expiry_source = g_timeout_add(kExpiryIntervalMs, &OnExpiryTimer, nullptr);
  }
}

void NoteHop(std::uint64_t page, std::string url) {
  recent_hops.push_back(Hop{page, std::move(url)});
  if (recent_hops.size() > kRecentHops) recent_hops.pop_front();
}

void Matched(std::uint64_t ticket, std::vector<std::string> sent_names = {}) {
  const auto found = waiting.find(ticket);
  if (found == waiting.end()) return;
  found->second.sent = true;
  found->second.sent_names = std::move(sent_names);
  NoteHop(found->second.page, found->second.url.substr(
                                  0, found->second.url.find('#')));
  sent_order.push_back(ticket);
  Flush();
}

GVariant* HeadersOf(JSCValue* headers) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a(ss)"));
  g_autoptr(JSCValue) length_value =
      jsc_value_object_get_property(headers, "length");
  const auto length = static_cast<guint>(jsc_value_to_int32(length_value));
  for (guint i = 0; i < length; ++i) {
    g_autoptr(JSCValue) pair = jsc_value_object_get_property_at_index(headers, i);
    if (!jsc_value_is_array(pair)) continue;
    g_autoptr(JSCValue) name = jsc_value_object_get_property_at_index(pair, 0);
    g_autoptr(JSCValue) value = jsc_value_object_get_property_at_index(pair, 1);
    g_variant_builder_add(&builder, "(ss)", TextOf(name).c_str(),
                          TextOf(value).c_str());
  }
  return g_variant_ref_sink(g_variant_builder_end(&builder));
}

// begin(kind, method, url) of the wrappers: a ticket, 0 for none. `page_id`
// names the page whose world they run in.
guint Begin(JSCValue* kind, JSCValue* method, JSCValue* url, gpointer page_id) {
  if (!recording) return 0;
  Waiting request;
  request.page = static_cast<std::uint64_t>(GPOINTER_TO_SIZE(page_id));
  request.kind = TextOf(kind);
  request.method = TextOf(method);
  request.url = TextOf(url);
  if (request.url.empty() || request.method.empty()) return 0;
  const std::int64_t now = g_get_monotonic_time();
  request.begun_us = now;
  const auto ticket = static_cast<guint>(++last_ticket);
  Expire();
  const std::string verb = request.method;
  const std::string address = request.url;
  const std::uint64_t page = request.page;
  waiting.emplace(ticket, std::move(request));
  if (const auto matched =
          matcher.Announced(ticket, page, verb, address, now)) {
    Matched(*matched);
  }
  ArmExpiry();
  return ticket;
}

// complete(ticket, headers, body): headers null drops the request.
void Complete(JSCValue* ticket_value, JSCValue* headers, JSCValue* body,
              gpointer) {
  if (!jsc_value_is_number(ticket_value)) return;
  const auto ticket =
      static_cast<std::uint64_t>(jsc_value_to_double(ticket_value));
  const auto found = waiting.find(ticket);
  if (found == waiting.end() || found->second.complete) return;
  Waiting& request = found->second;
  if (!headers || !jsc_value_is_array(headers)) {
    request.dropped = true;
  } else {
    request.headers = HeadersOf(headers);
    if (body && jsc_value_is_typed_array(body)) {
      gsize length = 0;
      const gpointer data = jsc_value_typed_array_get_data(body, &length);
      // The one copy: out of the script's memory, which it may reuse.
      request.body = g_bytes_new(data, length);
    }
    request.complete = true;
  }
  // One dropped before it went out waits for the engine's word as well:
  // sent, it is listed as sent without its body; never sent, it expires.
  Flush();
}

// Every request of the page and its frames passes here before it goes out;
// a redirect's next hop too, which is no new script request.
// A redirect of a script request sent lately goes in the order of the
// requests sent, after the request it follows.
void Redirected(std::uint64_t page, const char* from, const char* to) {
  if (!from || !to) return;
  const auto hop = std::find_if(
      recent_hops.rbegin(), recent_hops.rend(),
      [&](const Hop& h) { return h.page == page && h.url == from; });
  if (hop == recent_hops.rend()) return;
  Waiting next;
  next.page = page;
  next.kind = "redirect";
  next.method = "GET";
  next.url = to;
  next.from = from;
  next.begun_us = g_get_monotonic_time();
  next.sent = true;
  next.complete = true;
  next.headers = g_variant_ref_sink(g_variant_new_array(
      G_VARIANT_TYPE("(ss)"), nullptr, 0));
  const std::uint64_t ticket = ++last_ticket;
  waiting.emplace(ticket, std::move(next));
  NoteHop(page, to);
  sent_order.push_back(ticket);
  Flush();
}

gboolean OnSendRequest(WebKitWebPage* page, WebKitURIRequest* request,
                       WebKitURIResponse* redirected_response, gpointer) {
  if (!recording) return FALSE;
  const char* uri = webkit_uri_request_get_uri(request);
  if (!uri) return FALSE;
  if (redirected_response) {
    Redirected(webkit_web_page_get_id(page),
               webkit_uri_response_get_uri(redirected_response), uri);
    return FALSE;
  }
  const char* method = webkit_uri_request_get_http_method(request);
  Expire();
  if (const auto matched =
          matcher.Sent(webkit_web_page_get_id(page), method ? method : "GET",
                       uri, g_get_monotonic_time())) {
    Matched(*matched, SentHeaderNames(request));
  }
  ArmExpiry();
  return FALSE;
}

// seen(url) of the wrappers while script requests are not recorded: a
// beacon went out, to be counted (the engine gives beacons no resource
// timing, by which the other script requests are counted).
void SeenBeacon(JSCValue* url, gpointer page_id) {
  if (recording) return;
  WebKitWebPage* page = webkit_web_process_extension_get_page(
      the_extension, GPOINTER_TO_SIZE(page_id));
  const std::string target = TextOf(url);
  if (page && !target.empty()) Tell(page, message::kScriptSeenMessage, target);
}

// Puts the wrappers into the page's own world of `frame`: all of them while
// script requests are recorded, else only the one that counts beacons.
void Install(WebKitWebPage* page, WebKitFrame* frame) {
  g_autoptr(JSCContext) context = webkit_frame_get_js_context(frame);
  if (!context) return;
  g_autoptr(JSCValue) install = jsc_context_evaluate(
      context, kScriptWrappersScript, -1);
  g_autoptr(JSCValue) begin = jsc_value_new_function(
      context, nullptr, G_CALLBACK(&Begin),
      GSIZE_TO_POINTER(webkit_web_page_get_id(page)), nullptr, G_TYPE_UINT, 3,
      JSC_TYPE_VALUE, JSC_TYPE_VALUE, JSC_TYPE_VALUE);
  g_autoptr(JSCValue) complete = jsc_value_new_function(
      context, nullptr, G_CALLBACK(&Complete), nullptr, nullptr, G_TYPE_NONE,
      3, JSC_TYPE_VALUE, JSC_TYPE_VALUE, JSC_TYPE_VALUE);
  g_autoptr(JSCValue) seen =
      recording ? jsc_value_new_null(context)
                : jsc_value_new_function(
                      context, nullptr, G_CALLBACK(&SeenBeacon),
                      GSIZE_TO_POINTER(webkit_web_page_get_id(page)), nullptr,
                      G_TYPE_NONE, 1, JSC_TYPE_VALUE);
  if (install && jsc_value_is_function(install)) {
    g_autoptr(JSCValue) done = jsc_value_function_call(
        install, JSC_TYPE_VALUE, begin, JSC_TYPE_VALUE, complete,
        JSC_TYPE_VALUE, seen, G_TYPE_NONE);
  }
  if (JSCException* exception = jsc_context_get_exception(context)) {
    g_warning("script request wrappers: %s",
              jsc_exception_get_message(exception));
    jsc_context_clear_exception(context);
  }
}

// Ticked while pages are shown: the main documents that have no wrappers
// yet get them now, so that their requests from now on are recorded (a
// script that kept the engine's function before is not seen). Frames get
// them with their next document.
void WrapShownPages() {
  for (auto& [id, documents] : pages) {
    if (documents.wrapped == documents.document) continue;
    WebKitWebPage* page = webkit_web_process_extension_get_page(the_extension, id);
    if (!page) continue;
    Install(page, webkit_web_page_get_main_frame(page));
    documents.wrapped = documents.document;
  }
}

void OnPageCreated(WebKitWebProcessExtension*, WebKitWebPage* page, gpointer) {
  g_signal_connect(page, "send-request", G_CALLBACK(&OnSendRequest), nullptr);
  const std::uint64_t id = webkit_web_page_get_id(page);
  pages[id] = PageDocuments{};
  g_object_weak_ref(
      G_OBJECT(page),
      [](gpointer page_id, GObject*) {
        pages.erase(static_cast<std::uint64_t>(GPOINTER_TO_SIZE(page_id)));
      },
      GSIZE_TO_POINTER(id));
}

void OnProgramMessage(WebKitWebProcessExtension*, WebKitUserMessage* received,
                      gpointer) {
  if (g_strcmp0(webkit_user_message_get_name(received),
                message::kRecordScriptsMessage) != 0) {
    return;
  }
  GVariant* on = webkit_user_message_get_parameters(received);
  if (on && g_variant_is_of_type(on, G_VARIANT_TYPE_BOOLEAN)) {
    recording = g_variant_get_boolean(on);
    if (recording) WrapShownPages();
  }
}

}  // namespace

void Initialize(WebKitWebProcessExtension* extension, GVariant* user_data) {
  the_extension = extension;
  if (user_data && g_variant_is_of_type(user_data, G_VARIANT_TYPE_BOOLEAN)) {
    recording = g_variant_get_boolean(user_data);
  }
  g_signal_connect(extension, "page-created", G_CALLBACK(&OnPageCreated),
                   nullptr);
  g_signal_connect(extension, "user-message-received",
                   G_CALLBACK(&OnProgramMessage), nullptr);
}

void DocumentStarted(WebKitWebPage* page, WebKitFrame* frame) {
  const bool main_frame = webkit_frame_is_main_frame(frame);
  PageDocuments* documents = nullptr;
  if (main_frame) {
    const auto found = pages.find(webkit_web_page_get_id(page));
    if (found != pages.end()) {
      documents = &found->second;
      ++documents->document;
    }
  }
  Install(page, frame);
  if (documents && recording) documents->wrapped = documents->document;
}

bool ResourceSeen(WebKitWebPage* page, const std::string& url) {
  if (!recording) return true;
  const std::uint64_t id = webkit_web_page_get_id(page);
  const std::string plain = url.substr(0, url.find('#'));
  const auto hop = std::find_if(
      recent_hops.begin(), recent_hops.end(),
      [&](const Hop& h) { return h.page == id && h.url == plain; });
  if (hop != recent_hops.end()) {
    recent_hops.erase(hop);
  } else {
    Tell(page, message::kScriptUnannouncedMessage, plain);
  }
  return false;
}

}  // namespace scrivlet::script_requests
