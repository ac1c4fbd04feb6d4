#include "capture/document_writer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace scrivlet {
namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";

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
};

// The entity for one of the four escaped characters, for CR and LF with
// kMarkupAndLineBreaks, or nullptr.
constexpr const char* EntityFor(char c, Escaping escaping) {
  if (escaping == Escaping::kNone) return nullptr;
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
    if (EntityFor(c, escaping) != nullptr) kind = ByteClass::kEntity;
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

// True when none of the eight bytes of `word` needs more than copying: no
// byte from 0x80 on, no control character (TAB, CR and LF are sent to the
// byte-wise check too, which keeps or escapes them), and unless `escaping`
// is kNone none of the four escaped characters. Exact tests of "some byte is below n / equals b" on
// all eight bytes at once; a recorded text is mostly such words.
bool WordIsKept(std::uint64_t word, Escaping escaping) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHighs = 0x8080808080808080u;
  const auto has_below = [&](std::uint64_t n) {
    return (word - kOnes * n) & ~word & kHighs;
  };
  const auto has = [&](char c) {
    const std::uint64_t x = word ^ (kOnes * static_cast<unsigned char>(c));
    return (x - kOnes) & ~x & kHighs;
  };
  std::uint64_t flags = (word & kHighs) | has_below(0x20);
  if (escaping != Escaping::kNone) flags |= has('&') | has('<') | has('>') | has('"');
  return flags == 0;
}

// Appends SanitizeXmlBytes(text) to `out`, escaped as `escaping` says. One
// pass gives the same bytes as escaping first and sanitising after: the
// entities are plain ASCII, and a byte that starts an acceptable sequence of
// more than one byte is never one of the escaped characters. Runs of kept
// bytes are copied whole.
void AppendSanitized(std::string& out, std::string_view text,
                     Escaping escaping) {
  const std::array<ByteClass, 256>& classes =
      escaping == Escaping::kNone     ? kSanitizedClasses
      : escaping == Escaping::kMarkup ? kEscapedClasses
                                      : kPieceClasses;
  const auto class_at = [&](std::size_t at) {
    return classes[static_cast<unsigned char>(text[at])];
  };
  out.reserve(out.size() + text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t run_end = at;
    while (true) {
      std::uint64_t word = 0;
      while (run_end + sizeof word <= text.size() &&
             (std::memcpy(&word, text.data() + run_end, sizeof word),
              WordIsKept(word, escaping))) {
        run_end += sizeof word;
      }
      // Byte by byte through the word that stopped the fast scan only.
      const std::size_t word_end = std::min(run_end + sizeof word, text.size());
      while (run_end < word_end && class_at(run_end) == ByteClass::kKept) {
        ++run_end;
      }
      if (run_end < word_end || run_end == text.size()) break;
    }
    out.append(text, at, run_end - at);
    at = run_end;
    if (at == text.size()) break;
    if (class_at(at) == ByteClass::kEntity) {
      out += EntityFor(text[at], escaping);
      ++at;
      continue;
    }
    const std::size_t length = AcceptableSequenceLength(text, at);
    if (length == 0) {
      out += kReplacementCharacter;
      ++at;
    } else {
      out.append(text, at, length);
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
  // Room for the body and the tags of short pieces; counting the pieces
  // first would cost a pass over the body.
  const std::size_t size_hint = body.size() + body.size() / 2 + 64;
  ContentBlock block = OpenContentBlock(size_hint, size_hint / 16);
  if (!body.empty()) {
    const std::string_view rest = body;
    std::size_t start = 0;
    while (true) {
      const std::size_t amp = rest.find('&', start);
      std::string_view piece = rest.substr(
          start, amp == std::string_view::npos ? std::string_view::npos
                                               : amp - start);
      if (!piece.empty() && piece.back() == '\0') piece.remove_suffix(1);
      AppendPiece(block, piece);
      if (amp == std::string_view::npos) break;
      start = amp + 1;
    }
  }
  CloseContentBlock(block);
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

std::string JoinDocumentLines(const std::string& content) {
  std::string joined;
  joined.reserve(content.size());
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t line_feed = content.find('\n', start);
    std::size_t end =
        line_feed == std::string::npos ? content.size() : line_feed;
    if (line_feed != std::string::npos && end > start &&
        content[end - 1] == '\r') {
      --end;
    }
    joined.append(content, start, end - start);
    if (line_feed == std::string::npos) break;
    start = line_feed + 1;
  }
  return joined;
}

}  // namespace scrivlet
