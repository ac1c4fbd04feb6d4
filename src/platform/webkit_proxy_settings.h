#ifndef SCRIVLET_PLATFORM_WEBKIT_PROXY_SETTINGS_H_
#define SCRIVLET_PLATFORM_WEBKIT_PROXY_SETTINGS_H_

#include <webkit/webkit.h>

#include <string>

#include "session/proxy_settings.h"

namespace scrivlet {

// Sends the http and https traffic of a network session through the
// configured proxy; the bypass list becomes the session's ignore-hosts.
// The session must outlive this object.
class WebKitProxySettings : public ProxySettings {
 public:
  explicit WebKitProxySettings(WebKitNetworkSession* session)
      : session_(session) {}

  // "http://" + server + ":" + port for both schemes. A text that is no
  // valid proxy address is not applied.
  bool Apply(const ProxyLists& lists, const std::string& server,
             const std::string& port) override;

 private:
  WebKitNetworkSession* session_;
};

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_WEBKIT_PROXY_SETTINGS_H_
