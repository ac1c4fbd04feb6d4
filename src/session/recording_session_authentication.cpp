#include "session/recording_session.h"

#include <optional>
#include <string>

#include "document/base64.h"
#include "session/authentication.h"

namespace scrivlet {
namespace {

// The typed pair, when it is the one the recording carries: both parts
// given and `recorded` (realmAuth or proxyAuth) their Base64 form. A dialog
// cancelled after an earlier OK empties the pair but leaves the recorded
// value; a transaction start clears the recorded value but keeps the pair.
// Either way the browser would send other credentials than those recorded.
std::optional<Credentials> CredentialsInForce(const std::string& user_name,
                                              const std::string& password,
                                              const std::string& recorded) {
  if (user_name.empty() || password.empty() || recorded.empty()) {
    return std::nullopt;
  }
  if (EncodeBase64(user_name + ":" + password) != recorded) {
    return std::nullopt;
  }
  return Credentials{user_name, password};
}

}  // namespace

// Each challenge is answered once: when the answer is refused the browser
// raises it again as a retry, which goes to the browser's own prompt, so a
// wrong password can never make the two ask each other in a loop.
std::optional<Credentials> RecordingSession::WebBrowser1_Authenticate(
    const AuthenticationChallenge& challenge) {
  if (ended_ || !challenge.basic || challenge.retry) return std::nullopt;
  if (challenge.for_proxy) {
    return CredentialsInForce(state_.proxyusername, state_.proxypassword,
                              state_.proxyAuth);
  }
  std::optional<Credentials> typed = CredentialsInForce(
      state_.username, state_.password, state_.realmAuth);
  if (typed) {
    state_.credentialsAskedBy.insert(challenge.host + ":" +
                                     std::to_string(challenge.port));
  }
  return typed;
}

}  // namespace scrivlet
