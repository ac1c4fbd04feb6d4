#ifndef SCRIVLET_DOCUMENT_DOCUMENT_READER_H_
#define SCRIVLET_DOCUMENT_DOCUMENT_READER_H_

// Reads a transaction document back into its REQUEST elements: the inverse
// of the document writer. A pure function over the document's text; it
// touches no file.
//
// What it accepts: the document as the writer makes it, with or without
// its closing line, and also with its lines joined (as the record page
// receives it). The first line may be missing (a document whose file was
// created by the first capture). Line breaks and blanks between tags are
// ignored; the texts of METHOD, URI, HL and W3C_ENC are taken between their
// tags and the writer's escapes are undone ("&amp;", "&lt;", "&gt;",
// "&quot;", "&apos;" and numeric references such as "&#13;"). An "&" that
// starts none of these is kept as it stands, so a text that was written
// without escaping reads back as written, as long as it does not hold its
// own closing tag.

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "document/element_kind.h"

namespace scrivlet {

// One REQUEST element read back.
struct DocumentElement {
  ElementKind kind = ElementKind::kNavigation;
  std::string method;
  // The URI element's text, unescaped: path, query and fragment.
  std::string uri;
  // The scheme as the Referer line names it ("Referer: SCHEME://HOST"),
  // and the host and port of the Host line.
  std::string scheme;
  std::string host;
  // Every HL text in document order, unescaped and otherwise exactly as
  // written. The extra-headers line of a navigation may hold several
  // header lines separated by CR LF.
  std::vector<std::string> header_lines;
  // The W3C_ENC pieces joined with "&"; nullopt when the element has no
  // CONTENT (a request without post data).
  std::optional<std::string> body;
  // Where the element stands in the document: the byte range from its
  // "<REQUEST>" to the end of the line that holds its "</REQUEST>" (line
  // end included), and the numbers (from 1) of that first and last line.
  std::size_t begin = 0;
  std::size_t end = 0;
  int first_line = 0;
  int last_line = 0;

  // SCHEME://HOST followed by the URI.
  std::string Url() const { return scheme + "://" + host + uri; }
};

struct TransactionDocument {
  std::vector<DocumentElement> elements;
  // True when the document ends with its closing line.
  bool closed = false;
};

// A document that cannot be read. `line` is the number (from 1) of the line
// where reading stopped; what() starts with "line N: ".
class DocumentReadError : public std::runtime_error {
 public:
  DocumentReadError(int line, const std::string& problem);
  int line() const { return line_; }

 private:
  int line_;
};

// Throws DocumentReadError for anything that is not a transaction document:
// an empty text, a tag out of place, an element cut off at the end (a torn
// tail), a REQUEST without a Host or a Referer line, or text after the
// closing line.
TransactionDocument ReadTransactionDocument(std::string_view text);

// Undoes the entity and character references named above.
std::string UnescapeText(std::string_view text);


// --- The whole elements of a document this program is writing ---
//
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
  // Its byte range in the content it was read from.
  std::size_t begin = 0;
  std::size_t end = 0;
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

#endif  // SCRIVLET_DOCUMENT_DOCUMENT_READER_H_
