#ifndef SCRIVLET_DOCUMENT_DOCUMENT_READER_H_
#define SCRIVLET_DOCUMENT_DOCUMENT_READER_H_

// Reads a transaction document back into its REQUEST elements: the inverse
// of the document writer. Pure functions over the document's text; they
// touch no file. One reader serves every use of a document: the replay
// check, the kept document at a transaction's start (its list of requests
// and its repair) and the deletion of a request, so they all see the same
// elements.
//
// What it accepts: the document as the writer makes it, with or without
// its closing line, with CR LF or LF line ends (a document that went
// through an editor), and also with its lines joined (as the record page
// receives it). The first line may be missing (a document whose file was
// created by the first capture). Line breaks and blanks between tags are
// ignored; the texts of METHOD, URI, HL and W3C_ENC are taken between their
// tags and the writer's escapes are undone ("&amp;", "&lt;", "&gt;",
// "&quot;", "&apos;" and numeric references such as "&#13;"). An "&" that
// starts none of these is kept as it stands, so a text that was written
// without escaping reads back as written, as long as it does not hold its
// own closing tag. Reading takes time in proportion to the text's length.

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
  // end, CR LF or LF, included when there is one), and the numbers (from 1)
  // of that first and last line.
  std::size_t begin = 0;
  std::size_t end = 0;
  int first_line = 0;
  int last_line = 0;

  // SCHEME://HOST followed by the URI.
  std::string Url() const { return scheme + "://" + host + uri; }
  // The size of the body; 0 without one.
  std::size_t BodySize() const { return body ? body->size() : 0; }
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

// What a reading from the front found: the elements up to the first text
// that is not part of a document, and why it stopped there.
struct DocumentPrefix {
  // The whole elements read, in order, and whether the closing line
  // followed them.
  TransactionDocument document;
  // The end of the document's head (the XML declaration when present, the
  // root's start tag and the line end after it); nullopt when the text
  // does not begin with the root's start tag.
  std::optional<std::size_t> head_end;
  // Why reading stopped before the end of the text (see
  // ReadTransactionDocument); nullopt when it read all of it.
  std::optional<DocumentReadError> problem;
};

// Never throws: whatever the bytes, the elements before the first problem.
DocumentPrefix ReadDocumentPrefix(std::string_view text);

// The whole document. Throws DocumentReadError for anything that is not a
// transaction document: an empty text, a tag out of place, an element cut
// off at the end (a torn tail), a REQUEST without a Host or a Referer line,
// or text after the closing line. Quoted bytes of the text in the message
// are made printable (document/printable_text.h).
TransactionDocument ReadTransactionDocument(std::string_view text);

// Undoes the entity and character references named above.
std::string UnescapeText(std::string_view text);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_DOCUMENT_READER_H_
