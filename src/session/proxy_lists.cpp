#include "session/proxy_settings.h"

namespace scrivlet {

ProxyLists ComposeProxyLists(const std::string& server,
                             const std::string& port) {
  const std::string host_and_port = server + ":" + port;
  return ProxyLists{"http=" + host_and_port + " https=" + host_and_port,
                    host_and_port};
}

}  // namespace scrivlet
