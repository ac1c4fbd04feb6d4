#include "session/proxy_settings.h"
#include "session/recording_session.h"

namespace scrivlet {

ProxyLists ComposeProxyLists(const std::string& server,
                             const std::string& port) {
  const std::string host_and_port = server + ":" + port;
  return ProxyLists{"http=" + host_and_port + " https=" + host_and_port,
                    host_and_port};
}

void RecordingSession::ApplyProxySettings() {
  proxy_.Apply(ComposeProxyLists(state_.ProxyServer, state_.ProxyPort),
               state_.ProxyServer, state_.ProxyPort);
}

}  // namespace scrivlet
