#include "document/base64.h"

#include <cstddef>

namespace scrivlet {
namespace {

constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::string EncodeBase64(const std::string& text) {
  std::string out;
  out.reserve((text.size() + 2) / 3 * 4);
  const std::size_t whole = text.size() - text.size() % 3;
  auto byte = [&text](std::size_t i) {
    return static_cast<unsigned>(static_cast<unsigned char>(text[i]));
  };
  for (std::size_t i = 0; i < whole; i += 3) {
    const unsigned x = byte(i), y = byte(i + 1), z = byte(i + 2);
    out += kAlphabet[x >> 2];
    out += kAlphabet[((x & 3u) << 4) | (y >> 4)];
    out += kAlphabet[((y & 15u) << 2) | (z >> 6)];
    out += kAlphabet[z & 63u];
  }
  if (text.size() % 3 == 2) {
    const unsigned x = byte(whole), y = byte(whole + 1);
    out += kAlphabet[x >> 2];
    out += kAlphabet[((x & 3u) << 4) | (y >> 4)];
    out += kAlphabet[(y & 15u) << 2];
    out += '=';
  } else if (text.size() % 3 == 1) {
    const unsigned x = byte(whole);
    out += kAlphabet[x >> 2];
    out += kAlphabet[(x & 3u) << 4];
    out += "==";
  }
  return out;
}

}  // namespace scrivlet
