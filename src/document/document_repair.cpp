#include "document/document_repair.h"

#include <string_view>

#include "document/document_reader.h"
#include "document/document_writer.h"

namespace scrivlet {
namespace {

constexpr std::string_view kElementEndLine = "</REQUEST>\r\n";

}  // namespace

DocumentRepair PlanDocumentRepair(const std::string& content) {
  const std::string first_line = std::string(kDocumentStartLine) + kLineEnd;
  const std::string_view text = content;
  if (text.starts_with(first_line)) {
    std::size_t whole = first_line.size();
    for (std::size_t end = WholeElementEnd(text, whole);
         end != std::string_view::npos; end = WholeElementEnd(text, whole)) {
      whole = end;
    }
    const bool torn_tail =
        text.find(kElementEndLine, whole) == std::string_view::npos;
    return {torn_tail ? whole : content.size(), ""};
  }
  const std::size_t written = text.find_last_not_of('\0') + 1;
  if (first_line.compare(0, written, text, 0, written) == 0) {
    return {written, first_line.substr(written)};
  }
  return {content.size(), ""};
}

}  // namespace scrivlet
