#ifndef SCRIVLET_REPLAY_PROXY_ADDRESS_H_
#define SCRIVLET_REPLAY_PROXY_ADDRESS_H_

#include <string>

namespace scrivlet {

// Whether `address` is a proxy address the browser and the replay can
// use: "http://HOST:PORT" with a host, a port from 1 to 65535, and nothing
// else but an optional "/" after it (no credentials, query or fragment).
bool IsProxyAddress(const std::string& address);

}  // namespace scrivlet

#endif  // SCRIVLET_REPLAY_PROXY_ADDRESS_H_
