#ifndef SCRIVLET_DOCUMENT_DOCUMENT_REPAIR_H_
#define SCRIVLET_DOCUMENT_DOCUMENT_REPAIR_H_

// The repair of trans.xml before a transaction goes on with it. Every
// element reaches the file with one append, but a process killed during
// that write leaves the first part of the element at the file's end, a
// power loss can leave NUL bytes where the last writes had not reached the
// disk, and a process killed after "Save Transaction" leaves the closing
// line. The document the next elements are appended to must be the first
// line and whole REQUEST elements, so such a torn tail is cut first.
//
// Reading the document is the document reader's (document_reader.h), as
// for every other use of it: the elements it reads before the first text
// that is not part of a document. An element is whole once the line of its
// "</REQUEST>" has ended (CR LF, or LF in a document that went through an
// editor). The writer escapes "<" in everything it records, so no recorded
// text can look like an element's end.
//
// What is kept, so that the repair never loses a whole element:
//  * A document that begins with its root's start tag (after the XML
//    declaration) keeps its head and the whole elements after it. Whatever
//    follows them is a torn tail and is cut, provided it holds no line
//    ending in "</REQUEST>": a tail that does is not something a killed
//    writer leaves, and the document is then left alone. Nothing kept is
//    rewritten: its line ends stay as they are.
//  * A file that holds only a first part of the first line (a start killed
//    while creating the document), perhaps followed by NUL bytes, is cut
//    to that part and completed to the first line.
//  * Any other file (not a document of this program) is left alone.

#include <cstddef>
#include <string>

namespace scrivlet {

// What to do to a document's content: keep its first `keep` bytes, then
// append `append`. keep == content size and append "" mean it is whole.
struct DocumentRepair {
  std::size_t keep = 0;
  std::string append;
  bool operator==(const DocumentRepair&) const = default;
};

// The repair of a document whose content is `content`. Pure logic; the
// transaction start carries it out on the file (session/document_file.h).
DocumentRepair PlanDocumentRepair(const std::string& content);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_DOCUMENT_REPAIR_H_
