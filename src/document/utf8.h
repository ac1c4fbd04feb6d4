#ifndef SCRIVLET_DOCUMENT_UTF8_H_
#define SCRIVLET_DOCUMENT_UTF8_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace scrivlet {

// Appends the UTF-8 bytes of `code`, which the caller has checked to be a
// code point (at most U+10FFFF).
inline void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// `text` as valid UTF-8 that ends at its end, for the places that need it
// (the toolkit's labels, JSON, the record page's form): bytes that are not
// part of a valid UTF-8 sequence are taken as Latin-1 characters, so nothing
// is dropped (a transaction name from a Latin-1 file keeps its letters); a
// NUL byte becomes U+FFFD, so nothing after it is cut. Valid text, the usual
// case, is returned as it is, without a copy.
std::string ValidUtf8(std::string text);

// A well-formed UTF-8 sequence of two to four bytes: shortest form, no
// surrogate, at most U+10FFFF.
struct Utf8Sequence {
  std::size_t length = 0;  // 0: no such sequence starts there
  char32_t code = 0;
};
// The sequence that starts at `at` of `text` (which must be inside it);
// length 0 for an ASCII byte or anything that is not such a sequence.
Utf8Sequence MultiByteSequenceAt(std::string_view text, std::size_t at);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_UTF8_H_
