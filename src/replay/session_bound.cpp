#include "replay/session_bound.h"

#include <libsoup/soup.h>
#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <set>

namespace scrivlet::replay {
namespace {

// Inputs whose value is what the person typed or chose, not what the
// server handed out.
// An input without a type is a text input.
constexpr std::array<std::string_view, 16> kTypedInputs = {
    "text", "password", "email", "search", "url", "tel", "number", "range",
    "date", "datetime-local", "month", "week", "time", "color", "file", ""};

// An element's attributes as the HTML parser hands them over: name, value,
// name, value, ..., then nullptr; a value is nullptr for an attribute
// written without one.
class Attributes {
 public:
  explicit Attributes(const xmlChar** list) : list_(list) {}

  const char* Find(const char* name) const {
    for (const xmlChar** at = list_; at != nullptr && *at != nullptr; at += 2) {
      if (std::strcmp(reinterpret_cast<const char*>(at[0]), name) == 0) {
        return at[1] != nullptr ? reinterpret_cast<const char*>(at[1]) : "";
      }
    }
    return nullptr;
  }
  std::string operator[](const char* name) const {
    const char* value = Find(name);
    return value != nullptr ? value : "";
  }

 private:
  const xmlChar** list_;
};

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

// The values one element of an answer hands out. The parser gives element
// and attribute names in lower case.
void AppendOffers(std::vector<NamedValue>& out, std::string_view element,
                  const Attributes& attributes) {
  if (element == "input") {
    const std::string name = attributes["name"];
    const std::string value = attributes["value"];
    const std::string type = Lowercase(attributes["type"]);
    const bool typed = std::find(kTypedInputs.begin(), kTypedInputs.end(),
                                 type) != kTypedInputs.end();
    if (!name.empty() && !value.empty() && !typed) {
      out.push_back({name, value});
    }
  } else if (element == "meta") {
    const std::string name = attributes["name"];
    if (!name.empty() && attributes.Find("content") != nullptr) {
      out.push_back({name, attributes["content"]});
    }
  } else if (element == "a" || element == "area") {
    AppendQuery(out, attributes["href"]);
  } else if (element == "frame" || element == "iframe") {
    AppendQuery(out, attributes["src"]);
  } else if (element == "form") {
    AppendQuery(out, attributes["action"]);
  }
}

// What the parser reports while it reads an answer: only the start of each
// element matters, and no document tree is built.
struct OfferReader {
  std::vector<NamedValue> values;
  bool failed = false;
};

void OnStartElement(void* data, const xmlChar* name,
                    const xmlChar** attributes) {
  auto& reader = *static_cast<OfferReader*>(data);
  // No exception may unwind through the parser.
  try {
    AppendOffers(reader.values, reinterpret_cast<const char*>(name),
                 Attributes(attributes));
  } catch (...) {
    reader.failed = true;
  }
}

void AppendMultipartFields(std::vector<FormField>& out,
                           const std::string& content_type,
                           const std::string& body) {
  // A recorded line with a stray CR in it is no header the reader takes.
  if (std::any_of(content_type.begin(), content_type.end(), [](char c) {
        return c == '\r' || c == '\n' || c == '\0';
      })) {
    return;
  }
  g_autoptr(SoupMessageHeaders) headers =
      soup_message_headers_new(SOUP_MESSAGE_HEADERS_REQUEST);
  soup_message_headers_replace(headers, "Content-Type", content_type.c_str());
  // The HTTP library's multipart reader looks for its boundaries with
  // strstr(), past the body's end unless a NUL follows it: the string's own
  // buffer, which has one, is lent to it rather than copied without it.
  g_autoptr(GBytes) bytes = g_bytes_new_static(body.data(), body.size());
  g_autoptr(SoupMultipart) multipart =
      soup_multipart_new_from_message(headers, bytes);
  if (multipart == nullptr) return;
  for (int part = 0; part < soup_multipart_get_length(multipart); ++part) {
    SoupMessageHeaders* part_headers = nullptr;
    GBytes* part_body = nullptr;
    g_autofree char* disposition = nullptr;
    g_autoptr(GHashTable) parameters = nullptr;
    if (!soup_multipart_get_part(multipart, part, &part_headers, &part_body) ||
        !soup_message_headers_get_content_disposition(
            part_headers, &disposition, &parameters)) {
      continue;
    }
    const auto* name =
        static_cast<const char*>(g_hash_table_lookup(parameters, "name"));
    if (name == nullptr) continue;
    gsize size = 0;
    const auto* data =
        static_cast<const char*>(g_bytes_get_data(part_body, &size));
    // A part whose end the reader misplaced before its start has a size
    // that runs out of the body: it is no field.
    if (data != nullptr &&
        (data < body.data() || size > body.size() ||
         data + size > body.data() + body.size())) {
      continue;
    }
    FormField field{name, std::string(data != nullptr ? data : "", size),
                    std::nullopt, ""};
    if (const auto* file_name = static_cast<const char*>(
            g_hash_table_lookup(parameters, "filename"))) {
      field.file_name = file_name;
    }
    if (const char* type =
            soup_message_headers_get_one(part_headers, "Content-Type")) {
      field.content_type = type;
    }
    out.push_back(std::move(field));
  }
}

// libxml2 writes what it cannot decode in an answer to standard error; the
// bytes a server sends are no concern of the user's terminal. Silences the
// thread's libxml2 error output while it lives.
class QuietXmlErrors {
 public:
  QuietXmlErrors()
      : generic_(xmlGenericError), generic_context_(xmlGenericErrorContext),
        structured_(xmlStructuredError),
        structured_context_(xmlStructuredErrorContext) {
    xmlSetGenericErrorFunc(nullptr, &Ignore);
    xmlSetStructuredErrorFunc(nullptr, &IgnoreStructured);
  }
  ~QuietXmlErrors() {
    xmlSetGenericErrorFunc(generic_context_, generic_);
    xmlSetStructuredErrorFunc(structured_context_, structured_);
  }
  QuietXmlErrors(const QuietXmlErrors&) = delete;
  QuietXmlErrors& operator=(const QuietXmlErrors&) = delete;

 private:
  static void Ignore(void*, const char*, ...) {}
  static void IgnoreStructured(void*, xmlErrorPtr) {}

  xmlGenericErrorFunc generic_;
  void* generic_context_;
  xmlStructuredErrorFunc structured_;
  void* structured_context_;
};

struct ParserFree {
  void operator()(htmlParserCtxtPtr parser) const { htmlFreeParserCtxt(parser); }
};

// The ways a page may write a value in an address: as it stands, and
// URL-encoded with "%20" or "+" for a blank.
std::vector<std::string> WrittenForms(const std::string& value) {
  g_autofree char* escaped = g_uri_escape_string(value.c_str(), nullptr, FALSE);
  std::string plus = escaped;
  for (std::size_t at = plus.find("%20"); at != std::string::npos;
       at = plus.find("%20", at + 1)) {
    plus.replace(at, 3, "+");
  }
  return {value, escaped, plus};
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

bool MayHandOut(std::string_view html, const std::string& name) {
  const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
    return g_ascii_isalnum(c) || c == '-' || c == '_' || c == '.';
  });
  if (!plain || name.empty()) return true;
  // What stands around a name in an attribute (name="x", name=x>) and in
  // an address's query (?x=1, &amp;x=1, &x&y).
  constexpr std::string_view kBeforeName = "\"'=?&;";
  constexpr std::string_view kAfterName = "\"'=&#> \t\r\n";
  for (std::size_t at = html.find(name); at != std::string_view::npos;
       at = html.find(name, at + 1)) {
    const std::size_t after = at + name.size();
    if (at > 0 && kBeforeName.find(html[at - 1]) != std::string_view::npos &&
        after < html.size() && kAfterName.find(html[after]) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

std::vector<NamedValue> HandedOutValues(std::string_view html,
                                        const std::string& charset) {
  OfferReader reader;
  const QuietXmlErrors quiet;
  const std::unique_ptr<htmlParserCtxt, ParserFree> owned_parser(
      htmlCreateMemoryParserCtxt(
          html.data(),
          static_cast<int>(std::min<std::size_t>(html.size(), INT32_MAX))));
  htmlParserCtxtPtr parser = owned_parser.get();
  if (parser == nullptr) return {};
  htmlSAXHandler handler{};
  handler.startElement = &OnStartElement;
  *parser->sax = handler;
  parser->userData = &reader;
  htmlCtxtUseOptions(parser, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR |
                                 HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
  if (!charset.empty()) {
    if (xmlCharEncodingHandlerPtr encoding =
            xmlFindCharEncodingHandler(charset.c_str())) {
      xmlSwitchToEncoding(parser, encoding);
    }
  }
  htmlParseDocument(parser);
  if (reader.failed) throw std::bad_alloc();
  return std::move(reader.values);
}

std::vector<FormField> BodyFields(const ReplayedRequest& request) {
  std::vector<FormField> fields;
  if (!request.body) return fields;
  const std::string content_type =
      FindHeader(request.headers, "Content-Type").value_or("");
  const std::string media_type =
      Lowercase(content_type.substr(0, content_type.find(';')));
  if (content_type.empty() ||
      media_type == "application/x-www-form-urlencoded") {
    for (NamedValue& pair : DecodeUrlEncoded(*request.body)) {
      fields.push_back({std::move(pair.name), std::move(pair.value),
                        std::nullopt, ""});
    }
  } else if (media_type == "multipart/form-data") {
    AppendMultipartFields(fields, content_type, *request.body);
  }
  return fields;
}

std::vector<NamedValue> SentFields(const ReplayedRequest& request) {
  std::vector<NamedValue> fields;
  AppendQuery(fields, request.url);
  for (FormField& field : BodyFields(request)) {
    // File contents are the person's, never handed out by a page.
    if (!field.file_name) {
      fields.push_back({std::move(field.name), std::move(field.value)});
    }
  }
  return fields;
}

bool HoldsPair(std::string_view text, const NamedValue& field) {
  constexpr std::string_view kNameCharacters =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.%[]";
  constexpr std::string_view kAfterValue = "&#;\"'<> \t\r\n)\\";
  for (const std::string& value : WrittenForms(field.value)) {
    const std::string pair = field.name + "=" + value;
    for (std::size_t at = text.find(pair); at != std::string_view::npos;
         at = text.find(pair, at + 1)) {
      const std::size_t after = at + pair.size();
      if ((at == 0 || kNameCharacters.find(text[at - 1]) == std::string_view::npos) &&
          (after == text.size() || kAfterValue.find(text[after]) != std::string_view::npos)) {
        return true;
      }
    }
  }
  return false;
}

void HandedOutLedger::AddAnswer(const std::vector<NamedValue>& values,
                                std::string_view text,
                                const std::vector<NamedValue>& wanted) {
  std::map<std::string, std::vector<std::string>> answer;
  for (const NamedValue& value : values) {
    answer[value.name].push_back(value.value);
  }
  for (const NamedValue& field : wanted) {
    const auto named = answer.find(field.name);
    if ((named != answer.end() &&
         std::find(named->second.begin(), named->second.end(), field.value) !=
             named->second.end()) ||
        HoldsPair(text, field)) {
      still_handed_out_.insert({field.name, field.value});
    }
  }
  for (auto& [name, handed_out] : answer) values_[name] = std::move(handed_out);
}

std::vector<SessionBoundValue> HandedOutLedger::SessionBound(
    const std::vector<NamedValue>& sent) const {
  std::vector<SessionBoundValue> found;
  std::set<std::string> named;
  for (const NamedValue& field : sent) {
    const auto handed_out = values_.find(field.name);
    if (handed_out == values_.end() || named.count(field.name) != 0 ||
        still_handed_out_.count({field.name, field.value}) != 0) {
      continue;
    }
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
