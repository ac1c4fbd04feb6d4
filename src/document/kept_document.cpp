#include "document/kept_document.h"

#include <utility>

#include "document/document_reader.h"
#include "document/document_writer.h"

namespace scrivlet {
namespace {

constexpr std::string_view kElementStart = "<REQUEST>";
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

KeptElement ReadElement(std::string_view text) {
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
    elements.push_back(ReadElement(content.substr(at, end - at)));
    at = end;
  }
  return elements;
}


}  // namespace scrivlet
