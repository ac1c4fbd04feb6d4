#include "document/printable_text.h"

#include <cstddef>

namespace scrivlet {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence of two to four bytes at `at`
// (shortest form, no surrogate, at most U+10FFFF), or 0.
std::size_t MultiByteLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  char32_t code = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1Fu, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0Fu, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07u, minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if (!IsContinuation(next)) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (code < minimum || code > 0x10FFFF || surrogate) return 0;
  return length;
}

void AppendEscaped(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

}  // namespace

std::string PrintableText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[at]);
    if (byte == '\\') {
      out += "\\\\";
      ++at;
    } else if (byte < 0x80) {
      if (byte < 0x20 || byte == 0x7F) {
        AppendEscaped(out, byte);
      } else {
        out += static_cast<char>(byte);
      }
      ++at;
    } else if (const std::size_t length = MultiByteLength(bytes, at);
               length != 0 &&
               !(byte == 0xC2 &&
                 static_cast<unsigned char>(bytes[at + 1]) < 0xA0)) {
      out.append(bytes, at, length);
      at += length;
    } else if (length != 0) {
      // A C1 control: both of its bytes.
      AppendEscaped(out, byte);
      AppendEscaped(out, static_cast<unsigned char>(bytes[at + 1]));
      at += 2;
    } else {
      AppendEscaped(out, byte);
      ++at;
    }
  }
  return out;
}

}  // namespace scrivlet
