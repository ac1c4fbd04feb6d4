#include "platform/webkit_proxy_settings.h"

#include <string>

namespace scrivlet {
namespace {

// A proxy address the network layer can use: an http URI with a host and a
// port in range, and nothing else.
bool IsValidProxyUri(const std::string& uri) {
  GUri* parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (!parsed) return false;
  const char* host = g_uri_get_host(parsed);
  const int port = g_uri_get_port(parsed);
  const char* path = g_uri_get_path(parsed);
  const bool valid = host && *host && port > 0 && port <= 65535 &&
                     (!path || !*path) && !g_uri_get_query(parsed) &&
                     !g_uri_get_fragment(parsed) && !g_uri_get_userinfo(parsed);
  g_uri_unref(parsed);
  return valid;
}

}  // namespace

bool WebKitProxySettings::Apply(const ProxyLists& lists,
                                const std::string& server,
                                const std::string& port) {
  const std::string uri = "http://" + server + ":" + port;
  if (!IsValidProxyUri(uri)) return false;
  // Requests to the proxy's own host and port go direct.
  const char* ignore_hosts[] = {lists.bypass_list.c_str(), nullptr};
  WebKitNetworkProxySettings* settings =
      webkit_network_proxy_settings_new(nullptr, ignore_hosts);
  webkit_network_proxy_settings_add_proxy_for_scheme(settings, "http",
                                                     uri.c_str());
  webkit_network_proxy_settings_add_proxy_for_scheme(settings, "https",
                                                     uri.c_str());
  webkit_network_session_set_proxy_settings(
      session_, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, settings);
  webkit_network_proxy_settings_free(settings);
  return true;
}

}  // namespace scrivlet
