#include "replay/replayed_request.h"

#include <strings.h>

#include <algorithm>
#include <string_view>

namespace scrivlet::replay {
namespace {

void AppendFields(std::vector<HeaderField>& fields, std::string_view text) {
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

}  // namespace

ReplayedRequest RequestFor(const DocumentElement& element) {
  ReplayedRequest request;
  request.method = element.method;
  request.url = element.Url();
  for (const std::string& line : element.header_lines) {
    AppendFields(request.headers, line);
  }
  request.body = element.body;
  return request;
}

ReplayScope ScopeOf(const std::vector<DocumentElement>& elements) {
  ReplayScope scope;
  for (const DocumentElement& element : elements) {
    if (std::find(scope.hosts.begin(), scope.hosts.end(), element.host) ==
        scope.hosts.end()) {
      scope.hosts.push_back(element.host);
    }
    ++scope.requests;
    if (element.method == "POST") ++scope.posts;
  }
  return scope;
}

std::optional<std::string> FindHeader(const std::vector<HeaderField>& headers,
                                      const std::string& name) {
  for (const auto& [field, value] : headers) {
    if (strcasecmp(field.c_str(), name.c_str()) == 0) return value;
  }
  return std::nullopt;
}

}  // namespace scrivlet::replay
