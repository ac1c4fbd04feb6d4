#include "document/utf8.h"

#include <cstddef>
#include <string_view>
#include <utility>

namespace scrivlet {
namespace {

// The length of the valid UTF-8 sequence at `at` other than a NUL byte (no
// overlong form, no surrogate, nothing above U+10FFFF); 0 when there is none.
std::size_t ValidSequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  const unsigned char lead = byte(at);
  if (lead == 0) return 0;
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  char32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) ||
                        (length == 4 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (overlong || surrogate || code > 0x10FFFF) return 0;
  return length;
}

}  // namespace

std::string ValidUtf8(std::string text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = ValidSequenceLength(text, at);
    if (length == 0) break;
    at += length;
  }
  if (at == text.size()) return text;
  std::string out(text, 0, at);
  out.reserve(text.size() + 16);
  while (at < text.size()) {
    const std::size_t length = ValidSequenceLength(text, at);
    if (length > 0) {
      out.append(text, at, length);
      at += length;
      continue;
    }
    const auto byte = static_cast<unsigned char>(text[at]);
    AppendUtf8(out, byte == 0 ? U'\uFFFD' : static_cast<char32_t>(byte));
    ++at;
  }
  return out;
}

}  // namespace scrivlet
