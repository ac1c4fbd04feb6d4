#ifndef SCRIVLET_DOCUMENT_KEPT_DOCUMENT_H_
#define SCRIVLET_DOCUMENT_KEPT_DOCUMENT_H_

// Reading back the REQUEST elements of a document this program wrote: a
// transaction that goes on with a document kept from an earlier run learns
// from it its first address and what each element records.
//
// An element is read by the lines the writer gives it (document_writer.h):
// its second line holds the method between "<METHOD>" and "</METHOD>" and
// the escaped URI between "<URI>" and "</URI>"; the line just before
// "</HEADERS>" is the Referer line, which holds the base (scheme "://"
// authority), escaped; the navigation form has a "</REQUEST-LINE>" line of
// its own and its body as one W3C_ENC line per piece, the completion form
// ends with "</REQUEST-LINE></REQUEST>" and holds the one-line content
// block of a post on the line before that. The writer escapes "<" in
// everything it records, so no recorded text can look like these marks.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace scrivlet {

// One element as the document holds it.
struct KeptElement {
  bool completion = false;  // the completion form
  std::string method;       // "" when the element holds no method
  // The address the element records: base and URI with the writer's
  // escapes undone. "" when the element names no address.
  std::string url;
  // Bytes of the body the element records: a navigation's body pieces
  // joined by "&", escapes undone; a completion's content line as written.
  std::size_t body_size = 0;
  // The element's text, line ends included.
  std::string text;
};

// The end of the whole element that starts at `at` of `content` (a line
// that begins with "<REQUEST>" up to the first line that ends with
// "</REQUEST>"), or npos when no whole element starts there.
std::size_t WholeElementEnd(std::string_view content, std::size_t at);

// The whole elements that follow the first line of `content`, in order, up
// to the first text that is not one. Nothing when `content` does not begin
// with the first line.
std::vector<KeptElement> ReadDocumentElements(std::string_view content);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_KEPT_DOCUMENT_H_
