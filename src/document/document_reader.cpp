#include "document/document_reader.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "document/printable_text.h"
#include "document/utf8.h"

namespace scrivlet {
namespace {

constexpr std::string_view kElementStart = "<REQUEST>";
constexpr std::string_view kBlanks = " \t\r\n";

// The longest numeric reference ReferencedCode takes: "&#x", eight hex
// digits and ";".
constexpr std::size_t kLongestReference = 12;

// The value of the first (or, with `last`, the last) of the HL `lines`
// that is "NAME: VALUE" as the writer writes its own Host and Referer
// lines: the whole rest of the line, blanks and line breaks included, so
// that the address reads back exactly as it was written. (Header lines a
// page set are read as HTTP fields, with FindHeader.)
std::optional<std::string> WrittenLineValue(
    const std::vector<std::string>& lines, std::string_view name,
    bool last = false) {
  std::optional<std::string> found;
  for (const std::string& line : lines) {
    if (line.size() > name.size() + 1 &&
        line.compare(0, name.size(), name) == 0 &&
        line.compare(name.size(), 2, ": ") == 0) {
      found = line.substr(name.size() + 2);
      if (!last) break;
    }
  }
  return found;
}

// The code point of a numeric reference's digits ("13", "x0D"); nullopt
// when they are not one: decimal or hex digits only, at most eight.
std::optional<std::uint32_t> ReferencedCode(std::string_view digits) {
  int base = 10;
  if (!digits.empty() && (digits[0] == 'x' || digits[0] == 'X')) {
    base = 16;
    digits.remove_prefix(1);
  }
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint32_t code = 0;
  for (const char c : digits) {
    int value = -1;
    if (c >= '0' && c <= '9') {
      value = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      value = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      value = c - 'A' + 10;
    }
    if (value < 0) return std::nullopt;
    code = code * static_cast<std::uint32_t>(base) +
           static_cast<std::uint32_t>(value);
  }
  if (code > 0x10FFFF) return std::nullopt;
  return code;
}

// Reads the document from the front. Every Read* call either consumes what
// it names or throws.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  // Each element is read whole or not at all: a problem inside one ends
  // the reading before it.
  DocumentPrefix Read() {
    DocumentPrefix prefix;
    try {
      ReadHead(prefix);
      while (true) {
        SkipBlanks();
        if (AtEnd()) break;
        if (Next("</HTTP-TRANSACTION>")) {
          prefix.document.closed = true;
          SkipBlanks();
          if (!AtEnd()) Fail(at_, "text after the closing line");
          break;
        }
        if (!LookingAt(kElementStart)) {
          Fail(at_,
               "expected \"<REQUEST>\" or \"</HTTP-TRANSACTION>\", found " +
                   Found());
        }
        prefix.document.elements.push_back(ReadElement());
      }
    } catch (const DocumentReadError& problem) {
      prefix.problem = problem;
    }
    return prefix;
  }

 private:
  void ReadHead(DocumentPrefix& prefix) {
    SkipBlanks();
    if (AtEnd()) Fail(0, "the document is empty");
    if (LookingAt("<?xml")) {
      const std::size_t close = text_.find("?>", at_);
      if (close == std::string_view::npos) {
        Fail(at_, "the XML declaration is not closed");
      }
      at_ = close + 2;
    }
    if (!Next("<HTTP-TRANSACTION>")) return;
    SkipLineEnd();
    prefix.head_end = at_;
  }

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
    SkipLineEnd();
    element.end = at_;
    element.last_line = LineAt(at_ - 1);

    // The writer puts its Host line first and its Referer line last; an
    // extra-headers line in between may name either again.
    const std::optional<std::string> host =
        WrittenLineValue(element.header_lines, "Host");
    if (!host) Fail(element.begin, "the REQUEST element has no Host line");
    element.host = *host;
    const std::optional<std::string> referer =
        WrittenLineValue(element.header_lines, "Referer", /*last=*/true);
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

  void SkipLineEnd() {
    if (LookingAt("\r\n")) {
      at_ += 2;
    } else if (LookingAt("\n")) {
      at_ += 1;
    }
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

  // What stands at the reading position, for a message: the start of the
  // line, printable whatever its bytes.
  std::string Found() const {
    if (AtEnd()) return "the end of the document";
    constexpr std::size_t kShown = 24;
    const std::string_view start = Rest().substr(0, kShown + 1);
    const std::string_view line = start.substr(0, start.find_first_of("\r\n"));
    return "\"" + PrintableText(line.substr(0, kShown)) +
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


}  // namespace

DocumentReadError::DocumentReadError(int line, const std::string& problem)
    : std::runtime_error("line " + std::to_string(line) + ": " + problem),
      line_(line) {}

DocumentPrefix ReadDocumentPrefix(std::string_view text) {
  return Reader(text).Read();
}

TransactionDocument ReadTransactionDocument(std::string_view text) {
  DocumentPrefix prefix = ReadDocumentPrefix(text);
  if (prefix.problem) throw *prefix.problem;
  return std::move(prefix.document);
}

// Linear in the text's length: after an "&" only the few bytes that a
// reference can span are looked at, so a text full of "&" without ";" costs
// no more than any other.
std::string UnescapeText(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'},
      {"&apos;", '\''}};
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t amp = text.find('&', at);
    if (amp == std::string_view::npos) {
      out.append(text.substr(at));
      break;
    }
    out.append(text.substr(at, amp - at));
    const std::string_view rest = text.substr(amp);
    std::size_t used = 0;
    for (const auto& [entity, character] : kEntities) {
      if (rest.starts_with(entity)) {
        out += character;
        used = entity.size();
        break;
      }
    }
    if (used == 0 && rest.starts_with("&#")) {
      const std::size_t semicolon =
          rest.substr(0, kLongestReference).find(';');
      if (semicolon != std::string_view::npos) {
        if (const auto code = ReferencedCode(rest.substr(2, semicolon - 2))) {
          AppendUtf8(out, *code);
          used = semicolon + 1;
        }
      }
    }
    if (used == 0) {
      out += '&';
      used = 1;
    }
    at = amp + used;
  }
  return out;
}

}  // namespace scrivlet
