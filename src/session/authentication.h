#ifndef SCRIVLET_SESSION_AUTHENTICATION_H_
#define SCRIVLET_SESSION_AUTHENTICATION_H_

#include <string>

namespace scrivlet {

// A web server's (401) or a proxy's (407) demand for credentials, as the
// browser reports it while a page loads.
struct AuthenticationChallenge {
  // The proxy asks (Proxy-Authenticate), not the web server.
  bool for_proxy = false;
  // The challenge is for the Basic scheme, the only one the recorded
  // credential lines stand for.
  bool basic = false;
  // The credentials given for this challenge before were refused.
  bool retry = false;
  std::string host;
  unsigned port = 0;
  std::string realm;
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_AUTHENTICATION_H_
