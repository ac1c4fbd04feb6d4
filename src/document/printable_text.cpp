#include "document/printable_text.h"

#include <cstddef>

#include "document/utf8.h"

namespace scrivlet {
namespace {

// Length of the well-formed UTF-8 sequence of two to four bytes at `at`,
// or 0.
std::size_t MultiByteLength(std::string_view text, std::size_t at) {
  return MultiByteSequenceAt(text, at).length;
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
