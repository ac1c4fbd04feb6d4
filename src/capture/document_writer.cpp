#include "capture/document_writer.h"

#include <cstddef>

namespace scrivlet {
namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";

constexpr char kAcceptLine[] =
    "<HL>Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/vnd.ms-powerpoint, application/vnd.ms-excel, "
    "application/msword, */*</HL>";
constexpr char kUserAgentLine[] =
    "<HL>User-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; "
    "CNETHomeBuild03171999; DigExt)</HL>";

void ReplaceAll(std::string& text, const std::string& from,
                const std::string& to) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, start)) {
    out.append(text, start, at - start);
    out += to;
    start = at + from.size();
  }
  out.append(text, start, std::string::npos);
  text = std::move(out);
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the XML-acceptable UTF-8 sequence that starts at `at`, or 0 when
// the byte there cannot start one.
std::size_t AcceptableSequenceLength(const std::string& text, std::size_t at) {
  const auto byte = static_cast<unsigned char>(text[at]);
  if (byte < 0x80) {
    const bool allowed_control = byte == '\t' || byte == '\r' || byte == '\n';
    return (byte >= 0x20 || allowed_control) ? 1 : 0;
  }
  std::size_t length = 0;
  char32_t code = 0;
  char32_t minimum = 0;
  if (byte >= 0xC2 && byte <= 0xDF) {
    length = 2, code = byte & 0x1Fu, minimum = 0x80;
  } else if (byte >= 0xE0 && byte <= 0xEF) {
    length = 3, code = byte & 0x0Fu, minimum = 0x800;
  } else if (byte >= 0xF0 && byte <= 0xF4) {
    length = 4, code = byte & 0x07u, minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if (!IsContinuation(next)) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  const bool non_character = code == 0xFFFE || code == 0xFFFF;
  if (code < minimum || code > 0x10FFFF || surrogate || non_character) {
    return 0;
  }
  return length;
}

void AppendLine(std::string& out, const std::string& line) {
  out += line;
  out += kLineEnd;
}

void AppendHeaderLines(std::string& out, const RequestFields& fields,
                       const std::string* extra_headers) {
  AppendLine(out, "<HEADERS>");
  AppendLine(out, "<HL>Host: " + EscapeText(fields.url.host) + "</HL>");
  AppendLine(out, kAcceptLine);
  if (extra_headers != nullptr && !extra_headers->empty()) {
    AppendLine(out, "<HL>" + EscapeText(*extra_headers) + "</HL>");
  }
  if (!fields.authorization.empty()) {
    AppendLine(out, "<HL>Authorization: Basic " +
                        SanitizeXmlBytes(fields.authorization) + "</HL>");
  }
  if (!fields.proxy_authorization.empty()) {
    AppendLine(out, "<HL>Proxy-Authorization: Basic " +
                        SanitizeXmlBytes(fields.proxy_authorization) + "</HL>");
  }
  AppendLine(out, kUserAgentLine);
  AppendLine(out, "<HL>Referer: " + EscapeText(fields.url.base) + "</HL>");
  AppendLine(out, "</HEADERS>");
}

std::string RequestLineStart(const RequestFields& fields) {
  std::string out;
  AppendLine(out, "<REQUEST><REQUEST-LINE NAME='STATIC'>");
  AppendLine(out, "<METHOD>" + EscapeText(fields.method) + "</METHOD><URI>" +
                      EscapeText(fields.url.uri) +
                      "</URI><PROT-VER>HTTP/1.1</PROT-VER>");
  return out;
}

}  // namespace

std::optional<UrlParts> SplitUrl(const std::string& url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string::npos) return std::nullopt;
  if (url.compare(colon, 3, "://") != 0) return std::nullopt;
  UrlParts parts;
  parts.scheme = url.substr(0, colon);
  if (parts.scheme.find('/') != std::string::npos) return std::nullopt;
  const std::size_t host_start = colon + 3;
  const std::size_t host_end = url.find('/', host_start);
  parts.host = url.substr(host_start, host_end == std::string::npos
                                          ? std::string::npos
                                          : host_end - host_start);
  if (parts.host.empty()) return std::nullopt;
  parts.base = parts.scheme + "://" + parts.host;
  parts.uri = url.substr(parts.base.size());
  return parts;
}

std::string SanitizeXmlBytes(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = AcceptableSequenceLength(text, at);
    if (length == 0) {
      out += kReplacementCharacter;
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

std::string EscapeText(const std::string& text) {
  std::string escaped = text;
  ReplaceAll(escaped, "&", "&amp;");
  ReplaceAll(escaped, "<", "&lt;");
  ReplaceAll(escaped, ">", "&gt;");
  ReplaceAll(escaped, "\"", "&quot;");
  return SanitizeXmlBytes(escaped);
}

std::vector<std::string> SplitBody(const std::string& body) {
  std::vector<std::string> pieces;
  if (body.empty()) return pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t amp = body.find('&', start);
    std::string piece = body.substr(
        start, amp == std::string::npos ? std::string::npos : amp - start);
    if (!piece.empty() && piece.back() == '\0') piece.pop_back();
    pieces.push_back(std::move(piece));
    if (amp == std::string::npos) break;
    start = amp + 1;
  }
  return pieces;
}

ContentBlock BuildContentBlock(const std::vector<std::string>& pieces) {
  ContentBlock block;
  block.one_line = "<CONTENT>";
  AppendLine(block.lines, "<CONTENT>");
  for (const std::string& piece : pieces) {
    const std::string element = "<W3C_ENC>" + EscapeText(piece) + "</W3C_ENC>";
    block.one_line += element;
    AppendLine(block.lines, element);
  }
  block.one_line += "</CONTENT>";
  AppendLine(block.lines, "</CONTENT>");
  return block;
}

std::string BuildNavigationElement(const RequestFields& fields,
                                   const std::string& extra_headers,
                                   const std::optional<ContentBlock>& content) {
  std::string out = RequestLineStart(fields);
  AppendLine(out, "</REQUEST-LINE>");
  AppendHeaderLines(out, fields, &extra_headers);
  if (content) out += content->lines;
  AppendLine(out, "</REQUEST>");
  return out;
}

std::string BuildCompletionElement(const RequestFields& fields,
                                   const std::string& request_content) {
  std::string out = RequestLineStart(fields);
  AppendHeaderLines(out, fields, nullptr);
  if (fields.method == "POST") {
    AppendLine(out, SanitizeXmlBytes(request_content));
  }
  AppendLine(out, "</REQUEST-LINE></REQUEST>");
  return out;
}

}  // namespace scrivlet
