#include "document/document_repair.h"

#include <string_view>

#include "document/document_reader.h"
#include "document/document_writer.h"

namespace scrivlet {
namespace {

// Whether `tail` holds the end of an element as a line ends it: a killed
// writer leaves none, it leaves at most a part of one element.
bool HoldsElementEnd(std::string_view tail) {
  for (std::size_t at = tail.find("</REQUEST>"); at != std::string_view::npos;
       at = tail.find("</REQUEST>", at + 1)) {
    const std::string_view after = tail.substr(at + 10, 2);
    if (after.starts_with("\n") || after == "\r\n") return true;
  }
  return false;
}

// Keeps the first `keep` bytes of `text`, completed to the first line when
// they are only a first part of it (a cut may leave the first line without
// its line end).
DocumentRepair Keep(std::string_view text, std::size_t keep) {
  const std::string first_line = std::string(kDocumentStartLine) + kLineEnd;
  if (keep < first_line.size() &&
      first_line.compare(0, keep, text, 0, keep) == 0) {
    return {keep, first_line.substr(keep)};
  }
  return {keep, ""};
}

}  // namespace

DocumentRepair PlanDocumentRepair(const std::string& content) {
  const std::string_view text = content;
  const std::size_t written = text.find_last_not_of('\0') + 1;
  if (const DocumentRepair start = Keep(text, written); !start.append.empty()) {
    return start;
  }
  const DocumentPrefix read = ReadDocumentPrefix(text);
  if (!read.head_end) return {content.size(), ""};
  // An element is whole once its line has ended: one that ends without its
  // line end is where the writer was killed. (Elements joined on one line,
  // which the writer never makes, are whole with the line's end.)
  std::size_t whole = *read.head_end;
  for (const DocumentElement& element : read.document.elements) {
    if (text[element.end - 1] == '\n') whole = element.end;
  }
  if (HoldsElementEnd(text.substr(whole))) return {content.size(), ""};
  return Keep(text, whole);
}

}  // namespace scrivlet
