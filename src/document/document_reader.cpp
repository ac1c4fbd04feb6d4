#include "document/document_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "document/document_writer.h"
#include "document/header_fields.h"
#include "document/utf8.h"

namespace scrivlet {
namespace {

constexpr std::string_view kElementStart = "<REQUEST>";
constexpr std::string_view kBlanks = " \t\r\n";

// The code point of a numeric reference's digits ("13", "x0D"); nullopt
// when they are not one.
std::optional<std::uint32_t> ReferencedCode(std::string_view digits) {
  int base = 10;
  if (!digits.empty() && (digits[0] == 'x' || digits[0] == 'X')) {
    base = 16;
    digits.remove_prefix(1);
  }
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  const std::string text(digits);
  char* end = nullptr;
  const unsigned long code = std::strtoul(text.c_str(), &end, base);
  if (end != text.c_str() + text.size() || code > 0x10FFFF) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(code);
}

// Reads the document from the front. Every Read* call either consumes what
// it names or throws.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  TransactionDocument Read() {
    TransactionDocument document;
    SkipBlanks();
    if (AtEnd()) Fail(0, "the document is empty");
    if (Rest().substr(0, 5) == "<?xml") {
      const std::size_t close = text_.find("?>", at_);
      if (close == std::string_view::npos) {
        Fail(at_, "the XML declaration is not closed");
      }
      at_ = close + 2;
    }
    Next("<HTTP-TRANSACTION>");
    while (true) {
      SkipBlanks();
      if (AtEnd()) break;
      if (Next("</HTTP-TRANSACTION>")) {
        document.closed = true;
        SkipBlanks();
        if (!AtEnd()) Fail(at_, "text after the closing line");
        break;
      }
      if (!LookingAt(kElementStart)) {
        Fail(at_, "expected \"<REQUEST>\" or \"</HTTP-TRANSACTION>\", found " +
                      Found());
      }
      document.elements.push_back(ReadElement());
    }
    return document;
  }

 private:
  DocumentElement ReadElement() {
    DocumentElement element;
    element.begin = at_;
    element.first_line = LineAt(at_);
    Expect(kElementStart);
    next_element_ = text_.find(kElementStart, at_);
    Expect("<REQUEST-LINE");
    const std::size_t tag_end = text_.find('>', at_);
    if (tag_end == std::string_view::npos) {
      Fail(at_, "the REQUEST-LINE tag is not closed");
    }
    at_ = tag_end + 1;
    Expect("<METHOD>");
    element.method = ReadText("</METHOD>");
    Expect("<URI>");
    element.uri = ReadText("</URI>");
    if (Next("<PROT-VER>")) ReadText("</PROT-VER>");
    // The navigation form closes REQUEST-LINE before its headers, the
    // completion form after them.
    const bool navigation = Next("</REQUEST-LINE>");
    element.kind =
        navigation ? ElementKind::kNavigation : ElementKind::kCompletion;
    ReadHeaders(element);
    if (Next("<CONTENT>")) ReadContent(element);
    if (!navigation) Expect("</REQUEST-LINE>");
    Expect("</REQUEST>");
    if (LookingAt("\r\n")) {
      at_ += 2;
    } else if (LookingAt("\n")) {
      at_ += 1;
    }
    element.end = at_;
    element.last_line = LineAt(at_ - 1);

    // The writer puts its Host line first and its Referer line last; an
    // extra-headers line in between may name either again.
    const std::optional<std::string> host =
        FindHeader(HeaderFields(element.header_lines), "Host");
    if (!host) Fail(element.begin, "the REQUEST element has no Host line");
    element.host = *host;
    const std::optional<std::string> referer =
        FindHeader(HeaderFields(element.header_lines), "Referer",
                   Occurrence::kLast);
    const std::size_t separator =
        referer ? referer->find("://") : std::string::npos;
    if (separator == std::string::npos) {
      Fail(element.begin,
           "the REQUEST element has no Referer line naming its scheme");
    }
    element.scheme = referer->substr(0, separator);
    return element;
  }

  void ReadHeaders(DocumentElement& element) {
    Expect("<HEADERS>");
    while (Next("<HL>")) element.header_lines.push_back(ReadText("</HL>"));
    Expect("</HEADERS>");
  }

  void ReadContent(DocumentElement& element) {
    std::string body;
    bool first = true;
    while (Next("<W3C_ENC>")) {
      if (!first) body += '&';
      body += ReadText("</W3C_ENC>");
      first = false;
    }
    Expect("</CONTENT>");
    element.body = std::move(body);
  }

  // The unescaped text up to `close`, which is consumed. A text that runs
  // into the next element, or to the end, was cut off.
  std::string ReadText(std::string_view close) {
    const std::size_t start = at_;
    const std::size_t end = text_.find(close, start);
    if (end == std::string_view::npos || next_element_ < end) {
      Fail(start, "the element is cut off before \"" + std::string(close) +
                      "\"");
    }
    at_ = end + close.size();
    return UnescapeText(text_.substr(start, end - start));
  }

  void SkipBlanks() {
    const std::size_t next = text_.find_first_not_of(kBlanks, at_);
    at_ = next == std::string_view::npos ? text_.size() : next;
  }

  bool AtEnd() const { return at_ >= text_.size(); }
  std::string_view Rest() const { return text_.substr(at_); }
  bool LookingAt(std::string_view tag) const {
    return Rest().substr(0, tag.size()) == tag;
  }

  // Consumes `tag` after any blanks when it is there.
  bool Next(std::string_view tag) {
    SkipBlanks();
    if (!LookingAt(tag)) return false;
    at_ += tag.size();
    return true;
  }

  void Expect(std::string_view tag) {
    if (!Next(tag)) {
      Fail(at_, "expected \"" + std::string(tag) + "\", found " + Found());
    }
  }

  // What stands at the reading position, for a message.
  std::string Found() const {
    if (AtEnd()) return "the end of the document";
    constexpr std::size_t kShown = 24;
    const std::string_view line = Rest().substr(0, Rest().find_first_of("\r\n"));
    return "\"" + std::string(line.substr(0, kShown)) +
           (line.size() > kShown ? "…" : "") + "\"";
  }

  // Line numbers are asked for in increasing order while reading, so the
  // count goes on from the last answer.
  int LineAt(std::size_t offset) {
    if (offset < counted_to_) {
      counted_to_ = 0;
      counted_line_ = 1;
    }
    offset = std::min(offset, text_.size());
    counted_line_ += static_cast<int>(std::count(
        text_.begin() + static_cast<std::ptrdiff_t>(counted_to_),
        text_.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
    counted_to_ = offset;
    return counted_line_;
  }

  [[noreturn]] void Fail(std::size_t offset, const std::string& problem) {
    throw DocumentReadError(LineAt(offset), problem);
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t counted_to_ = 0;
  int counted_line_ = 1;
  // Where the element after the one being read starts (npos: none): a text
  // that runs into it was cut off. Found once per element.
  std::size_t next_element_ = std::string_view::npos;
};


constexpr std::string_view kElementEndLine = "</REQUEST>\r\n";
constexpr std::string_view kCompletionEndLine =
    "</REQUEST-LINE></REQUEST>\r\n";
constexpr std::string_view kHeadersEndLine = "\r\n</HEADERS>\r\n";
constexpr std::string_view kRefererStart = "<HL>Referer: ";
constexpr std::string_view kHeaderEnd = "</HL>";
constexpr std::string_view kPieceStart = "<W3C_ENC>";
constexpr std::string_view kPieceEnd = "</W3C_ENC>";

// The text between `open` and the next `close` from `from` on; npos-safe:
// "" when either is missing.
std::string_view Between(std::string_view text, std::string_view open,
                         std::string_view close, std::size_t from = 0) {
  const std::size_t start = text.find(open, from);
  if (start == std::string_view::npos) return {};
  const std::size_t end = text.find(close, start + open.size());
  if (end == std::string_view::npos) return {};
  return text.substr(start + open.size(), end - start - open.size());
}

// The escaped base on the Referer line, the last header line. Only the
// writer's own lines hold "<HL>", so the last "<HL>Referer: " before the
// headers' end is that line's, even when an extra-headers line before it
// begins with "Referer: " or the authority holds a line break.
std::string_view RecordedBase(std::string_view element) {
  const std::size_t headers_end = element.find(kHeadersEndLine);
  if (headers_end == std::string_view::npos) return {};
  const std::size_t start = element.rfind(kRefererStart, headers_end);
  if (start == std::string_view::npos) return {};
  std::string_view value = element.substr(
      start + kRefererStart.size(), headers_end - start - kRefererStart.size());
  if (!value.ends_with(kHeaderEnd)) return {};
  value.remove_suffix(kHeaderEnd.size());
  return value;
}

// A navigation's body as its pieces joined by "&".
std::size_t NavigationBodySize(std::string_view element) {
  std::size_t size = 0;
  std::size_t pieces = 0;
  for (std::size_t at = element.find(kPieceStart);
       at != std::string_view::npos; at = element.find(kPieceStart, at)) {
    at += kPieceStart.size();
    const std::size_t end = element.find(kPieceEnd, at);
    if (end == std::string_view::npos) break;
    size += UnescapeText(element.substr(at, end - at)).size();
    ++pieces;
    at = end + kPieceEnd.size();
  }
  return pieces == 0 ? 0 : size + pieces - 1;
}

// A completion's content line: what follows the headers up to the last line.
std::size_t CompletionBodySize(std::string_view element) {
  const std::size_t headers_end = element.find(kHeadersEndLine);
  if (headers_end == std::string_view::npos) return 0;
  const std::size_t content = headers_end + kHeadersEndLine.size();
  const std::size_t last_line = element.size() - kCompletionEndLine.size();
  return last_line > content + 2 ? last_line - content - 2 : 0;
}

KeptElement ReadKeptElement(std::string_view text) {
  KeptElement element;
  element.completion = text.ends_with(kCompletionEndLine);
  element.method = UnescapeText(Between(text, "<METHOD>", "</METHOD>"));
  const std::string_view base = RecordedBase(text);
  if (!base.empty()) {
    element.url = UnescapeText(base) +
                  UnescapeText(Between(text, "<URI>", "</URI>"));
  }
  element.body_size = element.completion ? CompletionBodySize(text)
                                         : NavigationBodySize(text);
  element.text = text;
  return element;
}

}  // namespace

DocumentReadError::DocumentReadError(int line, const std::string& problem)
    : std::runtime_error("line " + std::to_string(line) + ": " + problem),
      line_(line) {}

TransactionDocument ReadTransactionDocument(std::string_view text) {
  return Reader(text).Read();
}

std::string UnescapeText(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'},
      {"&apos;", '\''}};
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t amp = text.find('&', at);
    out.append(text.substr(at, amp - at));
    if (amp == std::string_view::npos) break;
    at = amp;
    const std::string_view rest = text.substr(at);
    bool replaced = false;
    for (const auto& [entity, character] : kEntities) {
      if (rest.substr(0, entity.size()) == entity) {
        out += character;
        at += entity.size();
        replaced = true;
        break;
      }
    }
    const std::size_t semicolon = rest.find(';');
    if (!replaced && rest.substr(0, 2) == "&#" &&
        semicolon != std::string_view::npos) {
      if (const auto code = ReferencedCode(rest.substr(2, semicolon - 2))) {
        AppendUtf8(out, *code);
        at += semicolon + 1;
        replaced = true;
      }
    }
    if (!replaced) {
      out += '&';
      ++at;
    }
  }
  return out;
}

std::size_t WholeElementEnd(std::string_view content, std::size_t at) {
  if (content.substr(at, kElementStart.size()) != kElementStart) {
    return std::string_view::npos;
  }
  const std::size_t end = content.find(kElementEndLine, at);
  return end == std::string_view::npos ? end : end + kElementEndLine.size();
}

std::vector<KeptElement> ReadDocumentElements(std::string_view content) {
  const std::string first_line = std::string(kDocumentStartLine) + kLineEnd;
  std::vector<KeptElement> elements;
  if (!content.starts_with(first_line)) return elements;
  std::size_t at = first_line.size();
  for (std::size_t end = WholeElementEnd(content, at);
       end != std::string_view::npos; end = WholeElementEnd(content, at)) {
    elements.push_back(ReadKeptElement(content.substr(at, end - at)));
    elements.back().begin = at;
    elements.back().end = end;
    at = end;
  }
  return elements;
}

}  // namespace scrivlet
