#ifndef SCRIVLET_DOCUMENT_PRINTABLE_TEXT_H_
#define SCRIVLET_DOCUMENT_PRINTABLE_TEXT_H_

#include <string>
#include <string_view>

namespace scrivlet {

// `bytes` as a message may quote them, on a terminal or in a window: each
// byte of a control character (C0, DEL, and the C1 controls U+0080 to
// U+009F) and each byte that is not part of valid UTF-8 becomes "\xHH", and
// a backslash becomes "\\". Every other byte stays. A file's bytes quoted
// so cannot act on the terminal that shows the message (an escape sequence
// in a document would retitle it or worse), and the quote reads back
// unambiguously.
std::string PrintableText(std::string_view bytes);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_PRINTABLE_TEXT_H_
