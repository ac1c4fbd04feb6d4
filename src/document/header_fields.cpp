#include "document/header_fields.h"

#include <algorithm>

namespace scrivlet {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) {
             return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
           };
           return lower(x) == lower(y);
         });
}

}  // namespace

std::vector<HeaderField> HeaderFields(const std::vector<std::string>& lines) {
  std::vector<HeaderField> fields;
  for (std::string_view text : lines) {
    while (!text.empty()) {
      const std::size_t line_feed = text.find('\n');
      std::string_view line = text.substr(0, line_feed);
      text = line_feed == std::string_view::npos ? std::string_view()
                                                 : text.substr(line_feed + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      const std::size_t colon = line.find(':');
      if (colon == std::string_view::npos || colon == 0) continue;
      std::string_view value = line.substr(colon + 1);
      value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
      fields.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }
  }
  return fields;
}

std::optional<std::string> FindHeader(const std::vector<HeaderField>& fields,
                                      std::string_view name, Occurrence which) {
  const auto named = [name](const HeaderField& field) {
    return SameName(field.first, name);
  };
  if (which == Occurrence::kLast) {
    const auto found = std::find_if(fields.rbegin(), fields.rend(), named);
    if (found != fields.rend()) return found->second;
  } else {
    const auto found = std::find_if(fields.begin(), fields.end(), named);
    if (found != fields.end()) return found->second;
  }
  return std::nullopt;
}

}  // namespace scrivlet
