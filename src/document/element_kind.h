#ifndef SCRIVLET_DOCUMENT_ELEMENT_KIND_H_
#define SCRIVLET_DOCUMENT_ELEMENT_KIND_H_

namespace scrivlet {

// Which of the two forms a REQUEST element has.
enum class ElementKind {
  kNavigation,  // a navigation the browser was about to make
  kCompletion,  // the address a page ended at after a server redirect
};

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_ELEMENT_KIND_H_
