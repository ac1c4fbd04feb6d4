#include "document/address.h"

#include <array>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace scrivlet {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return text;
}

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)); }

// Upper-cases the hex digits of every "%XX"; a "%" without two hex digits
// after it stays as it is, as in the browser.
std::string UpperEscapes(std::string text) {
  for (std::size_t i = 0; i + 2 < text.size(); ++i) {
    if (text[i] == '%' && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
      text[i + 1] = static_cast<char>(
          std::toupper(static_cast<unsigned char>(text[i + 1])));
      text[i + 2] = static_cast<char>(
          std::toupper(static_cast<unsigned char>(text[i + 2])));
    }
  }
  return text;
}

// Bytes that a path may not hold unescaped: controls, space, the quote and
// angle brackets, "`", the braces and everything outside ASCII.
std::string EscapePathBytes(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>' ||
        c == '`' || c == '{' || c == '}') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

bool IsDotSegment(const std::string& segment) {
  const std::string lower = Lower(segment);
  return lower == "." || lower == "%2e";
}

bool IsDoubleDotSegment(const std::string& segment) {
  const std::string lower = Lower(segment);
  return lower == ".." || lower == ".%2e" || lower == "%2e." ||
         lower == "%2e%2e";
}

// Resolves "." and ".." the way a browser parses a path: a trailing one
// leaves the path ending in "/", and ".." never climbs above the root.
std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> kept;
  std::size_t start = 1;  // the path starts with "/"
  while (true) {
    const std::size_t slash = path.find('/', start);
    const bool last = slash == std::string::npos;
    const std::string segment =
        path.substr(start, last ? std::string::npos : slash - start);
    if (IsDoubleDotSegment(segment)) {
      if (!kept.empty()) kept.pop_back();
      if (last) kept.emplace_back();
    } else if (IsDotSegment(segment)) {
      if (last) kept.emplace_back();
    } else {
      kept.push_back(segment);
    }
    if (last) break;
    start = slash + 1;
  }
  std::string out;
  for (const std::string& segment : kept) out += "/" + segment;
  return out.empty() ? "/" : out;
}

std::string NormalizeAuthority(const std::string& authority,
                               const std::string& scheme) {
  const std::size_t at = authority.rfind('@');
  const std::string userinfo =
      at == std::string::npos ? "" : authority.substr(0, at + 1);
  const std::string host_port =
      at == std::string::npos ? authority : authority.substr(at + 1);
  // The port follows the last ":" that is not inside an IPv6 literal.
  const std::size_t bracket = host_port.rfind(']');
  std::size_t colon = host_port.rfind(':');
  if (bracket != std::string::npos && colon != std::string::npos &&
      colon < bracket) {
    colon = std::string::npos;
  }
  std::string host = Lower(host_port.substr(0, colon));
  if (colon == std::string::npos) return userinfo + host;
  const std::string port_text = host_port.substr(colon + 1);
  if (port_text.empty()) return userinfo + host;
  for (const char c : port_text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) {
      return userinfo + host + ":" + port_text;
    }
  }
  // Leading zeros go; a port the browser would refuse is kept as written.
  const std::size_t first = port_text.find_first_not_of('0');
  const std::string port =
      first == std::string::npos ? "0" : port_text.substr(first);
  if ((scheme == "http" && port == "80") ||
      (scheme == "https" && port == "443")) {
    return userinfo + host;
  }
  return userinfo + host + ":" + port;
}

bool IsLowerHex(char c) { return c >= 'a' && c <= 'f'; }

// The path bytes that the normalisation changes: those it escapes, and "\\".
constexpr std::array<bool, 256> MakePathBytesNeedingParse() {
  std::array<bool, 256> needs{};
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    needs[static_cast<std::size_t>(byte)] =
        byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>' ||
        c == '`' || c == '{' || c == '}' || c == '\\';
  }
  return needs;
}
constexpr std::array<bool, 256> kPathByteNeedsParse =
    MakePathBytesNeedingParse();

// True when `url` is already in the browser's spelling, so that the
// normalisation below would give it back unchanged: the browser reports
// every loaded address so, and this is checked on each completed page. Any
// doubt answers false and takes the full way.
bool IsInBrowserSpelling(std::string_view url) {
  std::size_t authority_start = 0;
  bool https = false;
  if (url.starts_with("http://")) {
    authority_start = 7;
  } else if (url.starts_with("https://")) {
    authority_start = 8;
    https = true;
  } else {
    return false;
  }
  const std::size_t path_start = url.find('/', authority_start);
  if (path_start == std::string_view::npos) return false;
  const std::string_view authority =
      url.substr(authority_start, path_start - authority_start);
  for (const char c : authority) {
    // Upper case goes; "@", "[", "\\", "?" and "#" need the full parse.
    if ((c >= 'A' && c <= 'Z') || c == '@' || c == '[' || c == '\\' ||
        c == '?' || c == '#') {
      return false;
    }
  }
  const std::size_t colon = authority.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view port = authority.substr(colon + 1);
    if (port.empty() || port.front() == '0') return false;
    for (const char c : port) {
      if (c < '0' || c > '9') return false;
    }
    if (port == (https ? "443" : "80")) return false;
  }
  // The path, up to the query or fragment.
  char previous = 0;
  for (std::size_t at = path_start; at < url.size(); ++at) {
    const char c = url[at];
    if (c == '?' || c == '#') break;
    if (kPathByteNeedsParse[static_cast<unsigned char>(c)]) return false;
    // A segment that starts with "." or "%" may be a dot segment.
    if (previous == '/' && (c == '.' || c == '%')) return false;
    previous = c;
  }
  for (std::size_t percent = url.find('%', path_start);
       percent != std::string_view::npos;
       percent = url.find('%', percent + 1)) {
    if (percent + 2 < url.size() && IsHex(url[percent + 1]) &&
        IsHex(url[percent + 2]) &&
        (IsLowerHex(url[percent + 1]) || IsLowerHex(url[percent + 2]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

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

std::string NormalizeUrl(const std::string& url) {
  if (IsInBrowserSpelling(url)) return url;
  const std::size_t colon = url.find(':');
  if (colon == std::string::npos) return url;
  const std::string scheme = Lower(url.substr(0, colon));
  if (scheme != "http" && scheme != "https") return url;
  std::string rest = url.substr(colon + 1);
  // The browser reads "\" as "/" in the address of a web page, up to the
  // query.
  for (char& c : rest) {
    if (c == '?' || c == '#') break;
    if (c == '\\') c = '/';
  }
  if (!rest.starts_with("//")) return url;
  const std::size_t authority_end = rest.find_first_of("/?#", 2);
  const std::string authority = rest.substr(
      2, authority_end == std::string::npos ? std::string::npos
                                            : authority_end - 2);
  const std::string after =
      authority_end == std::string::npos ? "" : rest.substr(authority_end);
  const std::size_t path_end = after.find_first_of("?#");
  std::string path = after.substr(0, path_end);
  const std::string tail =
      path_end == std::string::npos ? "" : after.substr(path_end);
  if (path.empty()) path = "/";
  return scheme + "://" + NormalizeAuthority(authority, scheme) +
         UpperEscapes(RemoveDotSegments(EscapePathBytes(path))) +
         UpperEscapes(tail);
}

}  // namespace scrivlet
