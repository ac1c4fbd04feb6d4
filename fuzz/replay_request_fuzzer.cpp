// Building the replay's requests from any element a document could hold:
// no crash, no GLib warning or critical (fatal here); an element either has
// a problem and is not sent, or its address names exactly its Host line's
// host and port and the HTTP library takes the request as it stands.
//
// Input: the method, the scheme, the Host line's value and the URI on the
// first four lines, then header lines up to an empty line, then the body.

#include <glib.h>
#include <libsoup/soup.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "glib_fatal.h"
#include "replay/replayed_request.h"
#include "replay/request_rows.h"
#include "replay/session_bound.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scrivlet::fuzz::MakeGLibWarningsFatal();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace scrivlet;
  using namespace scrivlet::replay;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::istringstream lines(input);
  DocumentElement element;
  std::getline(lines, element.method);
  std::getline(lines, element.scheme);
  std::getline(lines, element.host);
  std::getline(lines, element.uri);
  for (std::string line; std::getline(lines, line) && !line.empty();) {
    element.header_lines.push_back(line);
  }
  std::string body((std::istreambuf_iterator<char>(lines)),
                   std::istreambuf_iterator<char>());
  if (!body.empty()) element.body = body;

  const ReplayedRequest request = RequestFor(element);
  ScopeOf({element});
  HostsNeverAsked({element}, {});
  FormText(element);
  SentFields(request);
  if (!request.problem.empty()) return 0;

  g_autoptr(GUri) uri = NewRequestUri(request);
  FUZZ_CHECK(uri != nullptr, request.url.c_str());
  // Relaxed: a recorded "%" that starts no escape is sent as it stands.
  g_autoptr(GUri) parsed = g_uri_parse(
      request.url.c_str(),
      static_cast<GUriFlags>(SOUP_HTTP_URI_FLAGS | G_URI_FLAGS_PARSE_RELAXED),
      nullptr);
  FUZZ_CHECK(parsed != nullptr, request.url.c_str());
  FUZZ_CHECK(g_strcmp0(g_uri_get_host(parsed), request.host.c_str()) == 0,
             "the address names the Host line's host");
  // The HTTP library's parse gives the scheme's port where none is named.
  const int port = request.port != -1 ? request.port
                   : request.scheme == "https" ? 443
                                               : 80;
  FUZZ_CHECK(g_uri_get_port(parsed) == port,
             "the address names the Host line's port");
  FUZZ_CHECK(g_uri_get_userinfo(parsed) == nullptr, "no user in the address");
  g_autoptr(SoupMessage) message =
      soup_message_new_from_uri(request.method.c_str(), uri);
  FUZZ_CHECK(message != nullptr, "the HTTP library takes the request");
  SoupMessageHeaders* headers = soup_message_get_request_headers(message);
  for (const auto& [name, value] : request.headers) {
    soup_message_headers_append(headers, name.c_str(), value.c_str());
  }
  return 0;
}
