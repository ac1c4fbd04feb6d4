#include "document/utf8.h"

#include <cstddef>
#include <string_view>
#include <utility>

namespace scrivlet {
namespace {

// The length of the valid UTF-8 sequence at `at` other than a NUL byte; 0
// when there is none.
std::size_t ValidSequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead == 0) return 0;
  if (lead < 0x80) return 1;
  return MultiByteSequenceAt(text, at).length;
}

}  // namespace

Utf8Sequence MultiByteSequenceAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  const unsigned char lead = byte(at);
  Utf8Sequence sequence;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    sequence = {2, static_cast<char32_t>(lead & 0x1F)};
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    sequence = {3, static_cast<char32_t>(lead & 0x0F)};
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    sequence = {4, static_cast<char32_t>(lead & 0x07)};
    minimum = 0x10000;
  } else {
    return {};
  }
  if (text.size() - at < sequence.length) return {};
  for (std::size_t i = 1; i < sequence.length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return {};
    sequence.code = (sequence.code << 6) | (byte(at + i) & 0x3F);
  }
  const bool surrogate = sequence.code >= 0xD800 && sequence.code <= 0xDFFF;
  if (sequence.code < minimum || surrogate || sequence.code > 0x10FFFF) {
    return {};
  }
  return sequence;
}

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
