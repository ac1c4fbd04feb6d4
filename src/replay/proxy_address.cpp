#include "replay/proxy_address.h"

#include <glib.h>

namespace scrivlet {

bool IsProxyAddress(const std::string& address) {
  g_autoptr(GUri) uri = g_uri_parse(address.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (uri == nullptr) return false;
  const char* host = g_uri_get_host(uri);
  const int port = g_uri_get_port(uri);
  const char* path = g_uri_get_path(uri);
  return g_strcmp0(g_uri_get_scheme(uri), "http") == 0 && host != nullptr &&
         *host != '\0' && port > 0 && port <= 65535 &&
         (*path == '\0' || g_strcmp0(path, "/") == 0) &&
         g_uri_get_query(uri) == nullptr && g_uri_get_fragment(uri) == nullptr &&
         g_uri_get_userinfo(uri) == nullptr;
}

}  // namespace scrivlet
