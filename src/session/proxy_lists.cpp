#include "session/proxy_settings.h"
#include "session/recording_session.h"

namespace scrivlet {

ProxyLists ComposeProxyLists(const std::string& server,
                             const std::string& port) {
  const std::string host_and_port = server + ":" + port;
  return ProxyLists{"http=" + host_and_port + " https=" + host_and_port,
                    host_and_port};
}

// Where only the proxy leads out, every page would fail without a hint; the
// user is told once, at start, and the session goes on without a proxy.
void RecordingSession::ApplyProxySettings() {
  if (proxy_.Apply(ComposeProxyLists(state_.ProxyServer, state_.ProxyPort),
                   state_.ProxyServer, state_.ProxyPort)) {
    return;
  }
  view_.ShowMessage(
      "The proxy in " + state_.agentIniPath +
          " cannot be used: ProxyHost=" + state_.ProxyServer +
          ", ProxyPort=" + state_.ProxyPort +
          ". A proxy needs a host name without a scheme or path and a port "
          "from 1 to 65535. Pages will be loaded without a proxy.",
      MessageIcon::kWarning);
}

}  // namespace scrivlet
