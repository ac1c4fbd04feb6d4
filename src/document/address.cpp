#include "document/address.h"

#include <string>

namespace scrivlet {

std::optional<UrlParts> SplitUrl(const std::string& url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string::npos) return std::nullopt;
  if (url.compare(colon, 3, "://") != 0) return std::nullopt;
  UrlParts parts;
  parts.scheme = url.substr(0, colon);
  if (parts.scheme.find('/') != std::string::npos) return std::nullopt;
  const std::size_t host_start = colon + 3;
  const std::size_t host_end = url.find('/', host_start);
  parts.host = url.substr(host_start, host_end == std::string::npos
                                          ? std::string::npos
                                          : host_end - host_start);
  if (parts.host.empty()) return std::nullopt;
  parts.base = parts.scheme + "://" + parts.host;
  parts.uri = url.substr(parts.base.size());
  return parts;
}

std::string AddressAsSent(const std::string& url) {
  std::string sent = url.substr(0, url.find('#'));
  const std::size_t scheme_end = sent.find("://");
  if (scheme_end == std::string::npos) return sent;
  const std::size_t authority = scheme_end + 3;
  const std::size_t at = sent.rfind('@', sent.find_first_of("/?", authority));
  if (at != std::string::npos && at >= authority) {
    sent.erase(authority, at + 1 - authority);
  }
  return sent;
}

}  // namespace scrivlet
