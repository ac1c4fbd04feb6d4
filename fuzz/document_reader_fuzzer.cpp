// The document reader on any bytes, not only the writer's output: it never
// crashes and reads in one pass, and its uses agree. The elements read are
// in order, each starting with "<REQUEST>"; the whole document reads
// exactly when the prefix read found no problem, and then the same
// elements; the text up to the last element reads as those elements alone
// (what a kept document and its repair rely on); each element's own text
// reads back as that element (what the request list's form shows); a
// message quotes the bytes printable; unescaping never grows a text and
// undoes the writer's escaping.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "document/document_reader.h"
#include "document/document_repair.h"
#include "document/printable_text.h"
#include "document/xml_escaping.h"
#include "fuzz_support.h"

namespace scrivlet::fuzz {
namespace {

auto Fields(const DocumentElement& element) {
  return std::tie(element.kind, element.method, element.uri, element.scheme,
                  element.host, element.header_lines, element.body);
}

// No byte that could act on a terminal, and valid UTF-8 throughout.
bool IsPrintable(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20 || byte == 0x7F) return false;
    const std::size_t length = WellFormedLength(std::string(text.substr(at, 4)), 0);
    if (length == 0) return false;
    if (byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
      return false;
    }
    at += length;
  }
  return true;
}

void CheckReader(const std::string& text) {
  const DocumentPrefix prefix = ReadDocumentPrefix(text);
  const std::vector<DocumentElement>& elements = prefix.document.elements;
  std::size_t previous_end = prefix.head_end.value_or(0);
  FUZZ_CHECK(previous_end <= text.size(), "the head lies in the text");
  for (const DocumentElement& element : elements) {
    FUZZ_CHECK(element.begin >= previous_end && element.begin < element.end &&
                   element.end <= text.size(),
               "elements in order, within the text");
    FUZZ_CHECK(text.compare(element.begin, 9, "<REQUEST>") == 0,
               "an element starts with its tag");
    FUZZ_CHECK(element.first_line <= element.last_line, "line numbers");
    previous_end = element.end;
  }
  if (prefix.problem) {
    FUZZ_CHECK(IsPrintable(prefix.problem->what()), "a printable message");
  }

  bool whole = true;
  try {
    const TransactionDocument document = ReadTransactionDocument(text);
    FUZZ_CHECK(document.elements.size() == elements.size(), "same elements");
    FUZZ_CHECK(document.closed == prefix.document.closed, "same closing");
  } catch (const DocumentReadError& error) {
    whole = false;
    FUZZ_CHECK(std::string(error.what()) == prefix.problem->what(),
               "the same problem");
  }
  FUZZ_CHECK(whole == !prefix.problem, "whole exactly without a problem");

  if (!elements.empty()) {
    const DocumentPrefix cut =
        ReadDocumentPrefix(std::string_view(text).substr(0, elements.back().end));
    FUZZ_CHECK(!cut.problem, "the text up to the last element reads whole");
    FUZZ_CHECK(cut.document.elements.size() == elements.size(),
               "the text up to the last element holds its elements");
    for (std::size_t i = 0; i < elements.size(); ++i) {
      FUZZ_CHECK(Fields(cut.document.elements[i]) == Fields(elements[i]),
                 "the same elements");
      const TransactionDocument alone = ReadTransactionDocument(
          std::string_view(text).substr(elements[i].begin,
                                        elements[i].end - elements[i].begin));
      FUZZ_CHECK(alone.elements.size() == 1 &&
                     Fields(alone.elements[0]) == Fields(elements[i]),
                 "an element's own text reads back as the element");
    }
  }

  const DocumentRepair repair = PlanDocumentRepair(text);
  FUZZ_CHECK(repair.keep <= text.size(), "the repair keeps a prefix");
}

void CheckUnescaping(const std::string& text) {
  FUZZ_CHECK(UnescapeText(text).size() <= text.size(),
             "unescaping never grows a text");
  if (IsCleanText(text)) {
    FUZZ_CHECK(UnescapeText(EscapeText(text)) == text,
               "unescaping undoes the writer's escaping");
  }
  FUZZ_CHECK(IsPrintable(PrintableText(text)), "quoted bytes are printable");
}

}  // namespace
}  // namespace scrivlet::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  scrivlet::fuzz::CheckReader(text);
  scrivlet::fuzz::CheckUnescaping(text);
  return 0;
}
