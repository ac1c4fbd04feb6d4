#include "replay/session_bound.h"

#include <libsoup/soup.h>
#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <set>

namespace scrivlet::replay {
namespace {

// Inputs whose value is what the person typed or chose, not what the
// server handed out.
// An input without a type is a text input.
constexpr std::array<std::string_view, 16> kTypedInputs = {
    "text", "password", "email", "search", "url", "tel", "number", "range",
    "date", "datetime-local", "month", "week", "time", "color", "file", ""};

std::string Attribute(xmlNodePtr node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  if (value == nullptr) return "";
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

bool HasAttribute(xmlNodePtr node, const char* name) {
  return xmlHasProp(node, reinterpret_cast<const xmlChar*>(name)) != nullptr;
}

std::string Lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(g_ascii_tolower(static_cast<gchar>(c)));
  });
  return text;
}

std::string DecodeComponent(std::string text) {
  std::replace(text.begin(), text.end(), '+', ' ');
  g_autofree char* decoded = g_uri_unescape_string(text.c_str(), nullptr);
  // An escape that is not one ("%zz") leaves the text as it stands.
  return decoded != nullptr ? std::string(decoded) : text;
}

// The query parameters of an address as a page writes it (relative or
// not); none without a "?".
void AppendQuery(std::vector<NamedValue>& out, std::string_view address) {
  address = address.substr(0, address.find('#'));
  const std::size_t question = address.find('?');
  if (question == std::string_view::npos) return;
  const std::vector<NamedValue> parameters =
      DecodeUrlEncoded(address.substr(question + 1));
  out.insert(out.end(), parameters.begin(), parameters.end());
}

// The values one element of an answer hands out.
void AppendOffers(std::vector<NamedValue>& out, xmlNodePtr node) {
  const std::string element = reinterpret_cast<const char*>(node->name);
  if (element == "input") {
    const std::string name = Attribute(node, "name");
    const std::string value = Attribute(node, "value");
    const std::string type = Lowercase(Attribute(node, "type"));
    const bool typed = std::find(kTypedInputs.begin(), kTypedInputs.end(),
                                 type) != kTypedInputs.end();
    if (!name.empty() && !value.empty() && !typed) {
      out.push_back({name, value});
    }
  } else if (element == "meta") {
    const std::string name = Attribute(node, "name");
    if (!name.empty() && HasAttribute(node, "content")) {
      out.push_back({name, Attribute(node, "content")});
    }
  } else if (element == "a" || element == "area") {
    AppendQuery(out, Attribute(node, "href"));
  } else if (element == "frame" || element == "iframe") {
    AppendQuery(out, Attribute(node, "src"));
  } else if (element == "form") {
    AppendQuery(out, Attribute(node, "action"));
  }
}

void AppendMultipartFields(std::vector<NamedValue>& out,
                           const std::string& content_type,
                           const std::string& body) {
  SoupMessageHeaders* headers =
      soup_message_headers_new(SOUP_MESSAGE_HEADERS_REQUEST);
  soup_message_headers_replace(headers, "Content-Type", content_type.c_str());
  g_autoptr(GBytes) bytes = g_bytes_new(body.data(), body.size());
  SoupMultipart* multipart = soup_multipart_new_from_message(headers, bytes);
  soup_message_headers_unref(headers);
  if (multipart == nullptr) return;
  for (int part = 0; part < soup_multipart_get_length(multipart); ++part) {
    SoupMessageHeaders* part_headers = nullptr;
    GBytes* part_body = nullptr;
    char* disposition = nullptr;
    GHashTable* parameters = nullptr;
    if (!soup_multipart_get_part(multipart, part, &part_headers, &part_body) ||
        !soup_message_headers_get_content_disposition(
            part_headers, &disposition, &parameters)) {
      continue;
    }
    const auto* name =
        static_cast<const char*>(g_hash_table_lookup(parameters, "name"));
    if (name != nullptr && !g_hash_table_contains(parameters, "filename")) {
      gsize size = 0;
      const auto* data =
          static_cast<const char*>(g_bytes_get_data(part_body, &size));
      out.push_back({name, std::string(data != nullptr ? data : "", size)});
    }
    g_free(disposition);
    g_hash_table_destroy(parameters);
  }
  soup_multipart_free(multipart);
}

}  // namespace

std::vector<NamedValue> DecodeUrlEncoded(std::string_view text) {
  std::vector<NamedValue> fields;
  while (!text.empty()) {
    const std::size_t amp = text.find('&');
    const std::string_view piece = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view()
                                         : text.substr(amp + 1);
    if (piece.empty()) continue;
    const std::size_t equals = piece.find('=');
    fields.push_back(
        {DecodeComponent(std::string(piece.substr(0, equals))),
         equals == std::string_view::npos
             ? std::string()
             : DecodeComponent(std::string(piece.substr(equals + 1)))});
  }
  return fields;
}

std::vector<NamedValue> HandedOutValues(std::string_view html,
                                        const std::string& charset) {
  std::vector<NamedValue> values;
  htmlDocPtr document = htmlReadMemory(
      html.data(), static_cast<int>(std::min<std::size_t>(html.size(), INT32_MAX)),
      nullptr, charset.empty() ? nullptr : charset.c_str(),
      HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
          HTML_PARSE_NONET);
  if (document == nullptr) return values;
  // Depth first, in document order, without recursion: a hostile page may
  // nest deeper than the stack allows.
  xmlNodePtr node = xmlDocGetRootElement(document);
  while (node != nullptr) {
    if (node->type == XML_ELEMENT_NODE) AppendOffers(values, node);
    if (node->children != nullptr && node->type == XML_ELEMENT_NODE) {
      node = node->children;
      continue;
    }
    while (node != nullptr && node->next == nullptr) {
      node = node->parent;
      if (node != nullptr && node->type == XML_HTML_DOCUMENT_NODE) {
        node = nullptr;
      }
    }
    if (node != nullptr) node = node->next;
  }
  xmlFreeDoc(document);
  return values;
}

std::vector<NamedValue> SentFields(const ReplayedRequest& request) {
  std::vector<NamedValue> fields;
  AppendQuery(fields, request.url);
  if (!request.body) return fields;
  const std::string content_type =
      FindHeader(request.headers, "Content-Type").value_or("");
  const std::string media_type =
      Lowercase(content_type.substr(0, content_type.find(';')));
  if (content_type.empty() ||
      media_type == "application/x-www-form-urlencoded") {
    const std::vector<NamedValue> body = DecodeUrlEncoded(*request.body);
    fields.insert(fields.end(), body.begin(), body.end());
  } else if (media_type == "multipart/form-data") {
    AppendMultipartFields(fields, content_type, *request.body);
  }
  return fields;
}

void HandedOutLedger::AddAnswer(const std::vector<NamedValue>& values) {
  std::map<std::string, std::vector<std::string>> answer;
  for (const NamedValue& value : values) {
    answer[value.name].push_back(value.value);
  }
  for (auto& [name, handed_out] : answer) values_[name] = std::move(handed_out);
}

std::vector<SessionBoundValue> HandedOutLedger::SessionBound(
    const std::vector<NamedValue>& sent) const {
  std::vector<SessionBoundValue> found;
  std::set<std::string> named;
  for (const NamedValue& field : sent) {
    const auto handed_out = values_.find(field.name);
    if (handed_out == values_.end() || named.count(field.name) != 0) continue;
    const std::vector<std::string>& values = handed_out->second;
    if (std::find(values.begin(), values.end(), field.value) != values.end()) {
      continue;
    }
    named.insert(field.name);
    found.push_back({field.name, field.value, values.front()});
  }
  return found;
}

}  // namespace scrivlet::replay
