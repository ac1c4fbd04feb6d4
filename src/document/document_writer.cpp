#include "document/document_writer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace scrivlet {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

constexpr std::string_view kAcceptLine =
    "<HL>Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/vnd.ms-powerpoint, application/vnd.ms-excel, "
    "application/msword, */*</HL>";
constexpr std::string_view kUserAgentLine =
    "<HL>User-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; "
    "CNETHomeBuild03171999; DigExt)</HL>";

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the XML-acceptable UTF-8 sequence that starts at `at`, or 0 when
// the byte there cannot start one.
std::size_t AcceptableSequenceLength(std::string_view text, std::size_t at) {
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

// What AppendSanitized does to the text besides replacing bad bytes.
enum class Escaping {
  kNone,
  kMarkup,               // the four characters become entities
  kMarkupAndLineBreaks,  // and CR and LF become character references
  // A whole post body as its W3C_ENC pieces: kMarkupAndLineBreaks, but an
  // "&" ends one piece and starts the next, and a NUL byte that ends a
  // piece is left out.
  kBodyPieces,
};

constexpr std::string_view kPieceSeparator = "</W3C_ENC>\r\n<W3C_ENC>";

// The entity for one of the four escaped characters, for CR and LF where
// line breaks are escaped, the piece separator for "&" in a body; empty for
// every other byte.
constexpr std::string_view EntityFor(char c, Escaping escaping) {
  if (escaping == Escaping::kNone) return {};
  const bool pieces = escaping == Escaping::kBodyPieces;
  const bool line_breaks =
      pieces || escaping == Escaping::kMarkupAndLineBreaks;
  switch (c) {
    case '&': return pieces ? kPieceSeparator : "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\r': return line_breaks ? "&#13;" : "";
    case '\n': return line_breaks ? "&#10;" : "";
    default: return {};
  }
}

// What a byte needs on its way into the document: nothing (almost every
// byte of a recorded text), its entity, or the check of the sequence it
// starts (bytes from 0x80 on, and C0 controls, which become U+FFFD).
enum class ByteClass : unsigned char { kKept, kEntity, kChecked };

constexpr std::array<ByteClass, 256> MakeByteClasses(Escaping escaping) {
  std::array<ByteClass, 256> classes{};
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const bool allowed_control = c == '\t' || c == '\r' || c == '\n';
    ByteClass kind = ByteClass::kKept;
    if (byte >= 0x80 || (byte < 0x20 && !allowed_control)) {
      kind = ByteClass::kChecked;
    }
    if (!EntityFor(c, escaping).empty()) kind = ByteClass::kEntity;
    classes[static_cast<std::size_t>(byte)] = kind;
  }
  return classes;
}
constexpr std::array<ByteClass, 256> kSanitizedClasses =
    MakeByteClasses(Escaping::kNone);
constexpr std::array<ByteClass, 256> kEscapedClasses =
    MakeByteClasses(Escaping::kMarkup);
constexpr std::array<ByteClass, 256> kPieceClasses =
    MakeByteClasses(Escaping::kMarkupAndLineBreaks);
constexpr std::array<ByteClass, 256> kBodyClasses =
    MakeByteClasses(Escaping::kBodyPieces);

constexpr const std::array<ByteClass, 256>& ByteClassesFor(Escaping escaping) {
  switch (escaping) {
    case Escaping::kNone: return kSanitizedClasses;
    case Escaping::kMarkup: return kEscapedClasses;
    case Escaping::kMarkupAndLineBreaks: return kPieceClasses;
    case Escaping::kBodyPieces: return kBodyClasses;
  }
  return kSanitizedClasses;
}

// The end of the run of bytes from `at` on that are only copied. With SSE2
// (every x86-64 processor) sixteen bytes are tested at once for the bytes
// that may need more: controls and bytes from 0x80 on (signed, both are
// below 0x20), and unless `escaping` is kNone the four escaped characters.
// A flagged byte that its class keeps (TAB, CR, LF where they stay) does not
// end the run. A recorded text is mostly such runs.
std::size_t KeptRunEnd(std::string_view text, std::size_t at,
                       Escaping escaping,
                       const std::array<ByteClass, 256>& classes) {
  const auto kept = [&](std::size_t i) {
    return classes[static_cast<unsigned char>(text[i])] == ByteClass::kKept;
  };
#if defined(__SSE2__)
  const bool markup = escaping != Escaping::kNone;
  const __m128i below_space = _mm_set1_epi8(0x20);
  const __m128i ampersand = _mm_set1_epi8('&');
  const __m128i less = _mm_set1_epi8('<');
  const __m128i greater = _mm_set1_epi8('>');
  const __m128i quote = _mm_set1_epi8('"');
  while (text.size() - at >= 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
    __m128i flagged = _mm_cmplt_epi8(block, below_space);
    if (markup) {
      flagged = _mm_or_si128(
          flagged, _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, ampersand),
                                             _mm_cmpeq_epi8(block, less)),
                                _mm_or_si128(_mm_cmpeq_epi8(block, greater),
                                             _mm_cmpeq_epi8(block, quote))));
    }
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(flagged));
    while (mask != 0) {
      const std::size_t candidate =
          at + static_cast<std::size_t>(__builtin_ctz(mask));
      if (!kept(candidate)) return candidate;
      mask &= mask - 1;
    }
    at += 16;
  }
#else
  (void)escaping;
#endif
  while (at < text.size() && kept(at)) ++at;
  return at;
}

// Appends SanitizeXmlBytes(text) to `out`, escaped as `escaping` says. One
// pass gives the same bytes as escaping first and sanitising after: the
// entities are plain ASCII, and a byte that starts an acceptable sequence of
// more than one byte is never one of the escaped characters. Runs of kept
// bytes are copied whole.
void AppendSanitized(std::string& out, std::string_view text,
                     Escaping escaping) {
  const std::array<ByteClass, 256>& classes = ByteClassesFor(escaping);
  const auto class_at = [&](std::size_t at) {
    return classes[static_cast<unsigned char>(text[at])];
  };
  out.reserve(out.size() + text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t run_end = KeptRunEnd(text, at, escaping, classes);
    out.append(text.data() + at, run_end - at);
    at = run_end;
    if (at == text.size()) break;
    if (class_at(at) == ByteClass::kEntity) {
      out += EntityFor(text[at], escaping);
      ++at;
      continue;
    }
    if (escaping == Escaping::kBodyPieces && text[at] == '\0' &&
        (at + 1 == text.size() || text[at + 1] == '&')) {
      ++at;
      continue;
    }
    const std::size_t length = AcceptableSequenceLength(text, at);
    if (length == 0) {
      out += kReplacementCharacter;
      ++at;
    } else {
      out.append(text.data() + at, length);
      at += length;
    }
  }
}

void AppendEscaped(std::string& out, std::string_view text) {
  AppendSanitized(out, text, Escaping::kMarkup);
}

// A body piece: escaped, and without raw line breaks. The record page gets
// the document as its lines joined with nothing between them, and an XML
// parser turns CR LF into LF; a character reference survives both, so the
// piece comes back byte for byte.
void AppendEscapedPiece(std::string& out, std::string_view piece) {
  AppendSanitized(out, piece, Escaping::kMarkupAndLineBreaks);
}

void AppendSanitizedBytes(std::string& out, std::string_view text) {
  AppendSanitized(out, text, Escaping::kNone);
}

// string_view: the fixed lines are appended without a temporary string.
void AppendLine(std::string& out, std::string_view line) {
  out += line;
  out += kLineEnd;
}

// Appends `open`, the escaped `text`, `close` and the line end.
void AppendEscapedLine(std::string& out, const char* open,
                       std::string_view text, const char* close) {
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

constexpr std::string_view kContentOpen = "<CONTENT>";
constexpr std::string_view kContentClose = "</CONTENT>";

// Appends one W3C_ENC element to both forms of the block.
void AppendPiece(ContentBlock& block, std::string_view piece) {
  // The element is built once in `lines` and copied from there.
  const std::size_t start = block.lines.size();
  block.lines += "<W3C_ENC>";
  AppendEscapedPiece(block.lines, piece);
  block.lines += "</W3C_ENC>";
  block.one_line.append(block.lines, start, std::string::npos);
  block.lines += kLineEnd;
}

// `line_ends`: room for the line ends of `lines` beyond `size_hint`.
ContentBlock OpenContentBlock(std::size_t size_hint, std::size_t line_ends) {
  ContentBlock block;
  block.one_line.reserve(size_hint);
  block.lines.reserve(size_hint + 2 * line_ends);
  block.one_line = kContentOpen;
  AppendLine(block.lines, kContentOpen);
  return block;
}

void CloseContentBlock(ContentBlock& block) {
  block.one_line += kContentClose;
  AppendLine(block.lines, kContentClose);
}

// The content block of `body` in its lines form, in one pass over the body:
// the same bytes as a W3C_ENC line per SplitBody piece.
void AppendBodyContentLines(std::string& out, std::string_view body) {
  AppendLine(out, kContentOpen);
  if (!body.empty()) {
    out += "<W3C_ENC>";
    AppendSanitized(out, body, Escaping::kBodyPieces);
    out += "</W3C_ENC>";
    out += kLineEnd;
  }
  AppendLine(out, kContentClose);
}

// Calls `line(start, end)` for each line of `text`: each ends at LF, a CR
// just before the LF dropped, and the last may end without one.
template <typename Line>
void ForEachLine(std::string_view text, Line line) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t line_feed = text.find('\n', start);
    std::size_t end =
        line_feed == std::string_view::npos ? text.size() : line_feed;
    if (line_feed != std::string_view::npos && end > start &&
        text[end - 1] == '\r') {
      --end;
    }
    line(start, end);
    if (line_feed == std::string_view::npos) break;
    start = line_feed + 1;
  }
}

// Appends `text`'s lines joined with nothing between them.
void AppendJoinedLines(std::string& out, std::string_view text) {
  ForEachLine(text, [&](std::size_t start, std::size_t end) {
    out.append(text.data() + start, end - start);
  });
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
  AppendSanitized(out, text, Escaping::kNone);
  return out;
}

std::string EscapeText(const std::string& text) {
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
  std::size_t size_hint = 32;
  for (const std::string& piece : pieces) size_hint += piece.size() + 24;
  ContentBlock block = OpenContentBlock(size_hint, pieces.size());
  for (const std::string& piece : pieces) AppendPiece(block, piece);
  CloseContentBlock(block);
  return block;
}

ContentBlock BuildBodyContentBlock(const std::string& body) {
  ContentBlock block;
  block.lines.reserve(body.size() + body.size() / 2 + 64);
  AppendBodyContentLines(block.lines, body);
  block.one_line.reserve(block.lines.size());
  AppendJoinedLines(block.one_line, block.lines);
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

std::string BuildPostedNavigationElement(const RequestFields& fields,
                                        const std::string& extra_headers,
                                        const std::string& body,
                                        std::string& request_content) {
  std::string out;
  out.reserve(ElementSizeHint(
      fields, extra_headers.size() + body.size() + body.size() / 2 + 64));
  AppendRequestLineStart(out, fields);
  AppendLine(out, "</REQUEST-LINE>");
  AppendHeaderLines(out, fields, &extra_headers);
  const std::size_t content_start = out.size();
  AppendBodyContentLines(out, body);
  request_content.clear();
  request_content.reserve(out.size() - content_start);
  AppendJoinedLines(request_content,
                    std::string_view(out).substr(content_start));
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

std::string JoinDocumentLines(std::string content) {
  // Each line moves down to the end of the ones before it, below the part
  // still to be read.
  std::size_t kept = 0;
  ForEachLine(content, [&](std::size_t start, std::size_t end) {
    std::copy(content.begin() + static_cast<std::ptrdiff_t>(start),
              content.begin() + static_cast<std::ptrdiff_t>(end),
              content.begin() + static_cast<std::ptrdiff_t>(kept));
    kept += end - start;
  });
  content.resize(kept);
  return content;
}

}  // namespace scrivlet
