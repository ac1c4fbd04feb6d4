#include "platform/webkit_proxy_settings.h"

#include <string>

#include "replay/proxy_address.h"

namespace scrivlet {

bool WebKitProxySettings::Apply(const ProxyLists& lists,
                                const std::string& server,
                                const std::string& port) {
  const std::string uri = "http://" + server + ":" + port;
  if (!IsProxyAddress(uri)) return false;
  // Requests to the proxy's own host and port go direct.
  const char* ignore_hosts[] = {lists.bypass_list.c_str(), nullptr};
  g_autoptr(WebKitNetworkProxySettings) settings =
      webkit_network_proxy_settings_new(nullptr, ignore_hosts);
  webkit_network_proxy_settings_add_proxy_for_scheme(settings, "http",
                                                     uri.c_str());
  webkit_network_proxy_settings_add_proxy_for_scheme(settings, "https",
                                                     uri.c_str());
  webkit_network_session_set_proxy_settings(
      session_, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, settings);
  return true;
}

}  // namespace scrivlet
