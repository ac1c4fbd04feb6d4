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

// True when every byte is printable ASCII, TAB, CR or LF: such text is
// already what SanitizeXmlBytes would make of it.
bool IsPlainXmlText(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) return false;
    if (byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n') {
      return false;
    }
  }
  return true;
}

// What AppendSanitized does to the text besides replacing bad bytes.
enum class Escaping {
  kNone,
  kMarkup,                 // the four characters become entities
  kMarkupAndLineBreaks,    // and CR and LF become character references
};

// The entity for one of the four escaped characters, for CR and LF with
// kMarkupAndLineBreaks, or nullptr.
const char* EntityFor(char c, Escaping escaping) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\r':
      return escaping == Escaping::kMarkupAndLineBreaks ? "&#13;" : nullptr;
    case '\n':
      return escaping == Escaping::kMarkupAndLineBreaks ? "&#10;" : nullptr;
    default: return nullptr;
  }
}

// Appends SanitizeXmlBytes(text) to `out`, escaped as `escaping` says. One
// pass gives the same bytes as escaping first and sanitising after: the
// entities are plain ASCII, and a byte that starts an acceptable sequence of
// more than one byte is never one of the escaped characters.
void AppendSanitized(std::string& out, const std::string& text,
                     Escaping escaping) {
  out.reserve(out.size() + text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = AcceptableSequenceLength(text, at);
    if (length == 0) {
      out += kReplacementCharacter;
      ++at;
      continue;
    }
    const char* entity = escaping != Escaping::kNone && length == 1
                             ? EntityFor(text[at], escaping)
                             : nullptr;
    if (entity != nullptr) {
      out += entity;
    } else {
      out.append(text, at, length);
    }
    at += length;
  }
}

// Appends EscapeText(text) to `out` without a temporary string.
void AppendEscaped(std::string& out, const std::string& text) {
  if (text.find_first_of("&<>\"") == std::string::npos &&
      IsPlainXmlText(text)) {
    out += text;
    return;
  }
  AppendSanitized(out, text, Escaping::kMarkup);
}

// A body piece: escaped, and without raw line breaks. The record page gets
// the document as its lines joined with nothing between them, and an XML
// parser turns CR LF into LF; a character reference survives both, so the
// piece comes back byte for byte.
void AppendEscapedPiece(std::string& out, const std::string& piece) {
  if (piece.find_first_of("&<>\"\r\n") == std::string::npos &&
      IsPlainXmlText(piece)) {
    out += piece;
    return;
  }
  AppendSanitized(out, piece, Escaping::kMarkupAndLineBreaks);
}

void AppendSanitizedBytes(std::string& out, const std::string& text) {
  if (IsPlainXmlText(text)) {
    out += text;
    return;
  }
  AppendSanitized(out, text, Escaping::kNone);
}

void AppendLine(std::string& out, const std::string& line) {
  out += line;
  out += kLineEnd;
}

// Appends `open`, the escaped `text`, `close` and the line end.
void AppendEscapedLine(std::string& out, const char* open,
                       const std::string& text, const char* close) {
  out += open;
  AppendEscaped(out, text);
  out += close;
  out += kLineEnd;
}

void AppendHeaderLines(std::string& out, const RequestFields& fields,
                       const std::string* extra_headers) {
  AppendLine(out, "<HEADERS>");
  AppendEscapedLine(out, "<HL>Host: ", fields.url.host, "</HL>");
  AppendLine(out, kAcceptLine);
  if (extra_headers != nullptr && !extra_headers->empty()) {
    AppendEscapedLine(out, "<HL>", *extra_headers, "</HL>");
  }
  if (!fields.authorization.empty()) {
    out += "<HL>Authorization: Basic ";
    AppendSanitizedBytes(out, fields.authorization);
    AppendLine(out, "</HL>");
  }
  if (!fields.proxy_authorization.empty()) {
    out += "<HL>Proxy-Authorization: Basic ";
    AppendSanitizedBytes(out, fields.proxy_authorization);
    AppendLine(out, "</HL>");
  }
  AppendLine(out, kUserAgentLine);
  AppendEscapedLine(out, "<HL>Referer: ", fields.url.base, "</HL>");
  AppendLine(out, "</HEADERS>");
}

// The fixed lines of a REQUEST element take about 400 bytes; one reserve
// covers them and the variable texts of a usual element.
std::size_t ElementSizeHint(const RequestFields& fields, std::size_t extra) {
  return 512 + 2 * (fields.url.host.size() + fields.url.base.size()) +
         fields.url.uri.size() + fields.method.size() +
         fields.authorization.size() + fields.proxy_authorization.size() +
         extra;
}

void AppendRequestLineStart(std::string& out, const RequestFields& fields) {
  AppendLine(out, "<REQUEST><REQUEST-LINE NAME='STATIC'>");
  out += "<METHOD>";
  AppendEscaped(out, fields.method);
  out += "</METHOD><URI>";
  AppendEscaped(out, fields.url.uri);
  AppendLine(out, "</URI><PROT-VER>HTTP/1.1</PROT-VER>");
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
  if (IsPlainXmlText(text)) return text;
  std::string out;
  AppendSanitized(out, text, Escaping::kNone);
  return out;
}

std::string EscapeText(const std::string& text) {
  if (text.find_first_of("&<>\"") == std::string::npos) {
    return SanitizeXmlBytes(text);
  }
  std::string out;
  AppendSanitized(out, text, Escaping::kMarkup);
  return out;
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
  constexpr char kOpen[] = "<W3C_ENC>";
  constexpr char kClose[] = "</W3C_ENC>";
  std::size_t size_hint = 32;
  for (const std::string& piece : pieces) size_hint += piece.size() + 24;
  ContentBlock block;
  block.one_line.reserve(size_hint);
  block.lines.reserve(size_hint + 2 * pieces.size());
  block.one_line = "<CONTENT>";
  AppendLine(block.lines, "<CONTENT>");
  for (const std::string& piece : pieces) {
    // The element is built once in `lines` and copied from there.
    const std::size_t start = block.lines.size();
    block.lines += kOpen;
    AppendEscapedPiece(block.lines, piece);
    block.lines += kClose;
    block.one_line.append(block.lines, start, std::string::npos);
    block.lines += kLineEnd;
  }
  block.one_line += "</CONTENT>";
  AppendLine(block.lines, "</CONTENT>");
  return block;
}

std::string BuildNavigationElement(const RequestFields& fields,
                                   const std::string& extra_headers,
                                   const std::optional<ContentBlock>& content) {
  std::string out;
  out.reserve(ElementSizeHint(
      fields, extra_headers.size() + (content ? content->lines.size() : 0)));
  AppendRequestLineStart(out, fields);
  AppendLine(out, "</REQUEST-LINE>");
  AppendHeaderLines(out, fields, &extra_headers);
  if (content) out += content->lines;
  AppendLine(out, "</REQUEST>");
  return out;
}

std::string BuildCompletionElement(const RequestFields& fields,
                                   const std::string& request_content) {
  const bool post = fields.method == "POST";
  std::string out;
  out.reserve(ElementSizeHint(fields, post ? request_content.size() : 0));
  AppendRequestLineStart(out, fields);
  AppendHeaderLines(out, fields, nullptr);
  if (post) {
    AppendSanitizedBytes(out, request_content);
    out += kLineEnd;
  }
  AppendLine(out, "</REQUEST-LINE></REQUEST>");
  return out;
}

}  // namespace scrivlet
