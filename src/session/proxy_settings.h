#ifndef SCRIVLET_SESSION_PROXY_SETTINGS_H_
#define SCRIVLET_SESSION_PROXY_SETTINGS_H_

#include <string>

namespace scrivlet {

// What is composed from the configured proxy host and port. Both http and
// https go through the proxy (ProxySettings::Apply gives both schemes the
// address it builds from the server and port), whatever agent.ini's
// ProxyProto says.
struct ProxyLists {
  // "HOST:PORT": requests to the proxy's own address go direct.
  std::string bypass_list;
};

ProxyLists ComposeProxyLists(const std::string& server, const std::string& port);

// Hands the proxy to the browser engine for the whole process. Called once,
// before the first page is requested.
class ProxySettings {
 public:
  virtual ~ProxySettings() = default;
  // False, with nothing changed, when `server` and `port` make no proxy
  // address the engine can use (no port, a port outside 1 to 65535, a host
  // written with a scheme or a path): pages then load without a proxy.
  virtual bool Apply(const ProxyLists& lists, const std::string& server,
                     const std::string& port) = 0;
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_PROXY_SETTINGS_H_
