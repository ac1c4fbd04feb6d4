#include "session/recording_session.h"

#include <string>

#include "session/certificate.h"

namespace scrivlet {

bool RecordingSession::WebBrowser1_CertificateError(
    const CertificateProblem& problem) {
  if (ended_) return false;
  if (!view_.AskToContinue(CertificateQuestion(problem),
                           "Continue to " + problem.host)) {
    return false;
  }
  state_.certificateReloadUrl = problem.url;
  state_.acceptedCertificates.push_back({problem.host, problem.certificate_pem});
  return true;
}

// The reload is the navigation the user asked for in the first place, which
// was recorded (or skipped) before the certificate stopped it; it carries on
// as that navigation, so a redirect it ends in is still recorded. Any other
// navigation ends the wait for it.
bool RecordingSession::ContinuesAcceptedCertificate(const std::string& URL) {
  if (state_.certificateReloadUrl.empty()) return false;
  const bool reload = URL == state_.certificateReloadUrl;
  state_.certificateReloadUrl.clear();
  if (reload && state_.pendingUrl.empty()) state_.pendingUrl = URL;
  return reload;
}

}  // namespace scrivlet
