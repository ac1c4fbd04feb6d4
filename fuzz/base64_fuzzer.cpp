// EncodeBase64 over any bytes: 4 * ceil(n / 3) characters of the standard
// alphabet with "=" padding only at the end, decoding back to the input.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "document/base64.h"
#include "fuzz_support.h"

namespace {

int Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict decoding: groups of four, "=" only as the last one or two
// characters, zero bits in the padding's place. nullopt when malformed.
std::optional<std::string> Decode(const std::string& text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  for (std::size_t at = 0; at < text.size(); at += 4) {
    const bool last = at + 4 == text.size();
    const int padding =
        last ? (text[at + 3] == '=') + (text[at + 2] == '=') : 0;
    if (padding == 1 && text[at + 2] == '=') return std::nullopt;
    unsigned bits = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text[at + static_cast<std::size_t>(i)];
      const int value = i >= 4 - padding ? 0 : Sextet(c);
      if (value < 0) return std::nullopt;
      bits = (bits << 6) | static_cast<unsigned>(value);
    }
    const char bytes[3] = {static_cast<char>(bits >> 16),
                           static_cast<char>((bits >> 8) & 0xFF),
                           static_cast<char>(bits & 0xFF)};
    if (padding == 2 && (bits & 0xFFFF) != 0) return std::nullopt;
    if (padding == 1 && (bits & 0xFF) != 0) return std::nullopt;
    out.append(bytes, static_cast<std::size_t>(3 - padding));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string encoded = scrivlet::EncodeBase64(input);
  FUZZ_CHECK(encoded.size() == 4 * ((size + 2) / 3), "length 4*ceil(n/3)");
  const std::optional<std::string> decoded = Decode(encoded);
  FUZZ_CHECK(decoded.has_value(), encoded.c_str());
  FUZZ_CHECK(*decoded == input, "decodes back to the input");
  return 0;
}
