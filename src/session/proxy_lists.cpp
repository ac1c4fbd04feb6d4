#include "session/proxy_settings.h"

namespace scrivlet {

ProxyLists ComposeProxyLists(const std::string& server,
                             const std::string& port) {
  return ProxyLists{server + ":" + port};
}

}  // namespace scrivlet
