#include "replay/replayed_request.h"

#include <libsoup/soup.h>

#include <algorithm>
#include <string_view>

#include "document/printable_text.h"

namespace scrivlet::replay {
namespace {

constexpr int kHighestPort = 65535;

bool IsTokenCharacter(char c) {
  return g_ascii_isalnum(c) ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsTokenCharacter);
}

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7f;
}

// A host name as an address carries it: letters, digits, "-", ".", "_" and
// "~"; nothing that could end the authority ("@", "/", "?", "#", ":").
bool IsHostName(std::string_view host) {
  return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
    return g_ascii_isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
  });
}

bool IsIpv6Address(std::string_view host) {
  return host.find(':') != std::string_view::npos &&
         std::all_of(host.begin(), host.end(), [](char c) {
           return g_ascii_isxdigit(c) || c == ':' || c == '.';
         });
}

// Splits the Host line's value into the request's host and port; the
// problem when it names no server.
std::string SplitAuthority(std::string_view authority, ReplayedRequest& request) {
  const std::string problem =
      "the Host line " + Quoted(std::string(authority)) + " names no server";
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return problem;
    request.host = std::string(authority.substr(1, close - 1));
    if (!IsIpv6Address(request.host)) return problem;
    const std::string_view rest = authority.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') return problem;
    if (!rest.empty()) port = rest.substr(1);
    if (!rest.empty() && port.empty()) return problem;
  } else {
    const std::size_t colon = authority.rfind(':');
    request.host = std::string(authority.substr(0, colon));
    if (!IsHostName(request.host)) return problem;
    if (colon != std::string_view::npos) {
      port = authority.substr(colon + 1);
      if (port.empty()) return problem;
    }
  }
  if (!port.empty()) {
    if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return g_ascii_isdigit(c); })) {
      return problem;
    }
    request.port = std::stoi(std::string(port));
    if (request.port < 1 || request.port > kHighestPort) return problem;
  }
  return "";
}

// The first reason why `element` cannot be sent, "" when it can; fills in
// the request's address parts on the way.
std::string Check(const DocumentElement& element, ReplayedRequest& request) {
  if (element.scheme != "http" && element.scheme != "https") {
    return "the scheme " + Quoted(element.scheme) + " is neither http nor https";
  }
  request.scheme = element.scheme;
  if (std::string problem = SplitAuthority(element.host, request);
      !problem.empty()) {
    return problem;
  }
  if (!IsToken(element.method)) {
    return "the method " + Quoted(element.method) + " is not an HTTP method";
  }
  // Anything but a path after the host would change the address's
  // authority ("@host/", ":port/") or make it no address.
  const std::string_view uri = element.uri;
  if (uri.empty() || uri.front() != '/' ||
      std::any_of(uri.begin(), uri.end(),
                  [](char c) { return IsControl(c) || c == ' '; })) {
    return "the URI " + Quoted(element.uri) +
           " is not a path beginning with \"/\" without blanks";
  }
  const std::string_view sent = uri.substr(0, uri.find('#'));
  const std::size_t question = sent.find('?');
  request.path = std::string(sent.substr(0, question));
  if (question != std::string_view::npos) {
    request.query = std::string(sent.substr(question + 1));
  }
  for (const auto& [name, value] : request.headers) {
    if (!IsToken(name) ||
        std::any_of(value.begin(), value.end(),
                    [](char c) { return IsControl(c) && c != '\t'; })) {
      return "the header line " + Quoted(name + ": " + value) +
             " is not an HTTP header";
    }
  }
  return "";
}

}  // namespace

ReplayedRequest RequestFor(const DocumentElement& element) {
  ReplayedRequest request;
  request.method = element.method;
  request.headers = HeaderFields(element.header_lines);
  request.body = element.body;
  request.problem = Check(element, request);
  if (!request.problem.empty()) {
    request.url = element.Url();
    return request;
  }
  g_autoptr(GUri) uri = NewRequestUri(request);
  g_autofree char* text = g_uri_to_string(uri);
  request.url = text;
  return request;
}

GUri* NewRequestUri(const ReplayedRequest& request) {
  return g_uri_build(static_cast<GUriFlags>(SOUP_HTTP_URI_FLAGS),
                     request.scheme.c_str(), nullptr, request.host.c_str(),
                     request.port, request.path.c_str(),
                     request.query ? request.query->c_str() : nullptr, nullptr);
}

std::string Authority(const ReplayedRequest& request) {
  const bool ipv6 = request.host.find(':') != std::string::npos;
  std::string authority = ipv6 ? "[" + request.host + "]" : request.host;
  if (request.port != -1) authority += ":" + std::to_string(request.port);
  return authority;
}

ReplayScope ScopeOf(const std::vector<DocumentElement>& elements) {
  ReplayScope scope;
  const auto add = [](std::vector<std::string>& hosts, const std::string& host) {
    if (std::find(hosts.begin(), hosts.end(), host) == hosts.end()) {
      hosts.push_back(host);
    }
  };
  for (const DocumentElement& element : elements) {
    add(scope.hosts, element.host);
    ++scope.requests;
    if (element.method == "POST") ++scope.posts;
    if (FindHeader(HeaderFields(element.header_lines), "Authorization")) {
      add(scope.credential_hosts, element.host);
    }
  }
  return scope;
}

std::string Quoted(const std::string& text) {
  return "\"" + PrintableText(text) + "\"";
}

}  // namespace scrivlet::replay
