// Any URL, post body and extra-headers text through URL splitting and both
// forms of REQUEST element. The element, inside the document's first and
// closing lines, must parse as XML (libxml2) with the documented structure,
// and give back the URI, each body piece and the headers: after undoing the
// four escapes (and, in a body piece, the references for CR and LF), each is
// the input with the writer's one documented change, every byte XML cannot
// carry replaced by U+FFFD. A body piece holds no raw line break, so the
// parser gives it back exactly.

#include <fuzzer/FuzzedDataProvider.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "document/base64.h"
#include "document/document_writer.h"
#include "document/document_reader.h"
#include "fuzz_support.h"
#include "support/reference_document.h"

namespace scrivlet::fuzz {
namespace {

// The URL's parts by another route: the first "://" must follow a scheme
// without ":" or "/", and a non-empty authority must follow it.
std::optional<UrlParts> ReferenceSplit(const std::string& url) {
  const std::size_t separator = url.find("://");
  if (separator == std::string::npos) return std::nullopt;
  UrlParts parts;
  parts.scheme = url.substr(0, separator);
  if (parts.scheme.find_first_of(":/") != std::string::npos) {
    return std::nullopt;
  }
  const std::string rest = url.substr(separator + 3);
  parts.host = rest.substr(0, rest.find('/'));
  if (parts.host.empty()) return std::nullopt;
  parts.uri = rest.substr(parts.host.size());
  parts.base = url.substr(0, separator + 3 + parts.host.size());
  return parts;
}

// Undoes "&amp;", "&lt;", "&gt;" and "&quot;" in one pass, and "&#13;" and
// "&#10;" when `line_breaks`; any other "&" is a fault of the writer.
std::string Unescape(const std::string& text, bool line_breaks = false) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    if (text[at] != '&') {
      out += text[at++];
      continue;
    }
    bool known = false;
    for (const auto& [entity, byte] :
         {std::pair<std::string, char>{"&amp;", '&'},
          {"&lt;", '<'},
          {"&gt;", '>'},
          {"&quot;", '"'},
          {"&#13;", '\r'},
          {"&#10;", '\n'}}) {
      if (!line_breaks && (byte == '\r' || byte == '\n')) continue;
      if (text.compare(at, entity.size(), entity) == 0) {
        out += byte;
        at += entity.size();
        known = true;
        break;
      }
    }
    FUZZ_CHECK(known, "only the four entities");
  }
  return out;
}

// The texts between each `open` and the next `close`, in order.
std::vector<std::string> Between(const std::string& text,
                                 const std::string& open,
                                 const std::string& close) {
  std::vector<std::string> found;
  for (std::size_t at = text.find(open); at != std::string::npos;
       at = text.find(open, at)) {
    at += open.size();
    const std::size_t end = text.find(close, at);
    FUZZ_CHECK(end != std::string::npos, open.c_str());
    found.push_back(text.substr(at, end - at));
    at = end + close.size();
  }
  return found;
}

std::vector<std::string> Unescaped(const std::vector<std::string>& texts,
                                   bool line_breaks = false) {
  std::vector<std::string> out;
  for (const std::string& text : texts) {
    out.push_back(Unescape(text, line_breaks));
  }
  return out;
}

// Body pieces as written: no raw CR or LF, the references undone.
std::vector<std::string> WrittenPieces(const std::string& element) {
  const std::vector<std::string> written =
      Between(element, "<W3C_ENC>", "</W3C_ENC>");
  for (const std::string& piece : written) {
    FUZZ_CHECK(piece.find_first_of("\r\n") == std::string::npos,
               "a body piece on one line");
  }
  return Unescaped(written, /*line_breaks=*/true);
}

std::vector<std::string> Clean(const std::vector<std::string>& texts) {
  std::vector<std::string> out;
  for (const std::string& text : texts) out.push_back(ReplaceBadBytes(text));
  return out;
}

// What an XML parser hands back for text: CR LF and a lone CR become LF.
std::string XmlLineEnds(const std::string& text) {
  std::string out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r') {
      out += '\n';
      if (at + 1 < text.size() && text[at + 1] == '\n') ++at;
    } else {
      out += text[at];
    }
  }
  return out;
}

std::vector<xmlNodePtr> Children(xmlNodePtr node) {
  std::vector<xmlNodePtr> children;
  for (xmlNodePtr child = node->children; child != nullptr;
       child = child->next) {
    if (child->type == XML_ELEMENT_NODE) children.push_back(child);
    FUZZ_CHECK(child->type == XML_ELEMENT_NODE || child->type == XML_TEXT_NODE,
               "elements and text only");
  }
  return children;
}

std::string Name(xmlNodePtr node) {
  return reinterpret_cast<const char*>(node->name);
}

std::string Text(xmlNodePtr node) {
  xmlChar* content = xmlNodeGetContent(node);
  std::string text = content ? reinterpret_cast<const char*>(content) : "";
  xmlFree(content);
  return text;
}

std::vector<std::string> Names(const std::vector<xmlNodePtr>& nodes) {
  std::vector<std::string> names;
  for (xmlNodePtr node : nodes) names.push_back(Name(node));
  return names;
}

std::vector<std::string> Texts(const std::vector<xmlNodePtr>& nodes) {
  std::vector<std::string> texts;
  for (xmlNodePtr node : nodes) texts.push_back(Text(node));
  return texts;
}

std::vector<std::string> ParsedLineEnds(const std::vector<std::string>& in) {
  std::vector<std::string> out;
  for (const std::string& text : in) out.push_back(XmlLineEnds(text));
  return out;
}

void IgnoreXmlError(void*, const char*, ...) {}

}  // namespace
}  // namespace scrivlet::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  xmlInitParser();
  xmlSetGenericErrorFunc(nullptr, scrivlet::fuzz::IgnoreXmlError);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace scrivlet;
  using namespace scrivlet::fuzz;
  FuzzedDataProvider provider(data, size);
  // The first byte chooses GET or POST; then each text ends at a backslash
  // and the byte after it (a doubled backslash stands for one), the body
  // takes the rest.
  const std::string mode = provider.ConsumeBytesAsString(1);
  const bool post = !mode.empty() && (mode[0] & 1) != 0;
  const std::string authorization =
      EncodeBase64(provider.ConsumeRandomLengthString(48));
  const std::string proxy_authorization =
      EncodeBase64(provider.ConsumeRandomLengthString(48));
  const std::string url = provider.ConsumeRandomLengthString();
  const std::string headers = provider.ConsumeRandomLengthString();
  const std::string body = provider.ConsumeRemainingBytesAsString();

  const std::optional<UrlParts> parts = SplitUrl(url);
  const std::optional<UrlParts> expected_parts = ReferenceSplit(url);
  FUZZ_CHECK(parts.has_value() == expected_parts.has_value(), url.c_str());
  if (!parts) return 0;
  FUZZ_CHECK(parts->scheme == expected_parts->scheme, "scheme");
  FUZZ_CHECK(parts->host == expected_parts->host, "host");
  FUZZ_CHECK(parts->base == expected_parts->base, "base");
  FUZZ_CHECK(parts->uri == expected_parts->uri, "uri");
  FUZZ_CHECK(parts->base + parts->uri == url, "base and URI make the URL");

  const std::string method = post ? "POST" : "GET";
  const RequestFields fields{method, *parts, authorization,
                             proxy_authorization};
  const std::string navigation = BuildNavigationElement(
      fields, headers, post ? std::optional<std::string>(body) : std::nullopt);
  if (post) {
    FUZZ_CHECK(navigation == scrivlet::testing::BuildReferencePostElement(
                                 fields, headers,
                                 scrivlet::testing::SplitBody(body)),
               "posted element");
  }
  const std::string completion = BuildCompletionElement(fields);
  const std::string document = std::string(kDocumentStartLine) + kLineEnd +
                               navigation + completion + kDocumentEndLine +
                               kLineEnd;

  // The expected texts, as the input with the bad bytes replaced.
  const std::vector<std::string> pieces =
      post ? Clean(scrivlet::testing::SplitBody(body)) : std::vector<std::string>{};
  std::vector<std::string> header_lines = {
      "Host: " + ReplaceBadBytes(parts->host),
      "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
      "application/vnd.ms-powerpoint, application/vnd.ms-excel, "
      "application/msword, */*"};
  std::vector<std::string> completion_header_lines = header_lines;
  if (!headers.empty()) header_lines.push_back(ReplaceBadBytes(headers));
  for (auto* lines : {&header_lines, &completion_header_lines}) {
    if (!authorization.empty()) {
      lines->push_back("Authorization: Basic " + authorization);
    }
    if (!proxy_authorization.empty()) {
      lines->push_back("Proxy-Authorization: Basic " + proxy_authorization);
    }
    lines->push_back(
        "User-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; "
        "CNETHomeBuild03171999; DigExt)");
    lines->push_back("Referer: " + ReplaceBadBytes(parts->base));
  }
  const std::string uri = ReplaceBadBytes(parts->uri);

  // The raw text gives the pieces back exactly.
  FUZZ_CHECK(IsCleanText(document), "only characters XML can carry");
  for (const std::string* element : {&navigation, &completion}) {
    FUZZ_CHECK(Unescaped(Between(*element, "<URI>", "</URI>")) ==
                   std::vector<std::string>{uri},
               "URI round trip");
    FUZZ_CHECK(WrittenPieces(*element) ==
                   (element == &navigation ? pieces : std::vector<std::string>{}),
               "body pieces round trip");
    FUZZ_CHECK(
        Unescaped(Between(*element, "<HL>", "</HL>")) ==
            (element == &navigation ? header_lines : completion_header_lines),
        "header lines round trip");
  }

  // The document reader gives back every element as it was recorded.
  std::string joined_pieces;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    joined_pieces += (i == 0 ? "" : "&") + pieces[i];
  }
  const std::vector<DocumentElement> read =
      ReadTransactionDocument(document).elements;
  FUZZ_CHECK(read.size() == 2, "the reader finds both elements");
  for (const DocumentElement& element : read) {
    const bool navigation_form = &element == &read[0];
    FUZZ_CHECK(element.method == method, "read method");
    FUZZ_CHECK(element.uri == uri, "read URI");
    FUZZ_CHECK(element.Url() == ReplaceBadBytes(url), "read URL");
    FUZZ_CHECK(element.header_lines == (navigation_form
                                            ? header_lines
                                            : completion_header_lines),
               "read header lines");
    FUZZ_CHECK(element.body == (post && navigation_form
                                    ? std::optional<std::string>(joined_pieces)
                                    : std::nullopt),
               "read body");
  }

  // And an XML parser reads the same structure and texts.
  xmlDocPtr xml = xmlReadMemory(
      document.data(), static_cast<int>(document.size()), "trans.xml", nullptr,
      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (xml == nullptr) {
    std::fprintf(stderr, "not well-formed:\n%s\n", document.c_str());
  }
  FUZZ_CHECK(xml != nullptr, "well-formed");
  xmlNodePtr root = xmlDocGetRootElement(xml);
  FUZZ_CHECK(Name(root) == "HTTP-TRANSACTION", "root");
  const std::vector<xmlNodePtr> requests = Children(root);
  FUZZ_CHECK(
      Names(requests) == (std::vector<std::string>{"REQUEST", "REQUEST"}),
      "two requests");

  for (std::size_t index = 0; index < 2; ++index) {
    const bool navigation_form = index == 0;
    const std::vector<xmlNodePtr> request = Children(requests[index]);
    std::vector<std::string> expected_names = {"REQUEST-LINE"};
    if (navigation_form) {
      expected_names.push_back("HEADERS");
      if (post) expected_names.push_back("CONTENT");
    }
    FUZZ_CHECK(Names(request) == expected_names, "REQUEST children");
    xmlChar* name_attribute = xmlGetProp(request[0], BAD_CAST "NAME");
    FUZZ_CHECK(name_attribute != nullptr && std::string(reinterpret_cast<char*>(
                                                name_attribute)) == "STATIC",
               "NAME='STATIC'");
    xmlFree(name_attribute);
    const std::vector<xmlNodePtr> line = Children(request[0]);
    std::vector<std::string> line_names = {"METHOD", "URI", "PROT-VER"};
    if (!navigation_form) line_names.push_back("HEADERS");
    FUZZ_CHECK(Names(line) == line_names, "REQUEST-LINE children");
    FUZZ_CHECK(Text(line[0]) == method, "METHOD");
    FUZZ_CHECK(Text(line[1]) == XmlLineEnds(uri), "URI");
    FUZZ_CHECK(Text(line[2]) == "HTTP/1.1", "PROT-VER");
    const std::vector<xmlNodePtr>& holder = navigation_form ? request : line;
    const std::size_t headers_at = navigation_form ? 1 : 3;
    const std::vector<xmlNodePtr> hls = Children(holder[headers_at]);
    FUZZ_CHECK(
        Texts(hls) == ParsedLineEnds(navigation_form ? header_lines
                                                     : completion_header_lines),
        "HL texts");
    if (post && navigation_form) {
      const std::vector<xmlNodePtr> encs = Children(holder[headers_at + 1]);
      FUZZ_CHECK(Texts(encs) == pieces, "W3C_ENC texts");
      for (xmlNodePtr enc : encs) FUZZ_CHECK(Name(enc) == "W3C_ENC", "W3C_ENC");
    }
  }
  xmlFreeDoc(xml);
  return 0;
}
