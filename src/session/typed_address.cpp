#include "session/typed_address.h"

#include <string_view>

namespace scrivlet {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\f\v";
constexpr std::string_view kSchemesWithoutAuthority[] = {
    "about:", "data:", "file:", "javascript:", "mailto:"};

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::string AddressToLoad(const std::string& typed) {
  const std::size_t first = typed.find_first_not_of(kBlanks);
  if (first == std::string::npos) return typed;
  const std::size_t last = typed.find_last_not_of(kBlanks);
  const std::string_view text =
      std::string_view(typed).substr(first, last - first + 1);
  if (text.find("://") != std::string_view::npos) return typed;
  for (std::string_view scheme : kSchemesWithoutAuthority) {
    if (StartsWithIgnoringCase(text, scheme)) return typed;
  }
  return "http://" + std::string(text);
}

}  // namespace scrivlet
