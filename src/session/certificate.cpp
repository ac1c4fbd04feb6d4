#include "session/certificate.h"

#include <string>

#include "session/recording_session.h"

namespace scrivlet {
namespace {

const char* Reason(CertificateFault fault) {
  switch (fault) {
    case CertificateFault::kUnknownAuthority:
      return "it is not signed by an authority this system trusts (it is "
             "self-signed or comes from an internal authority)";
    case CertificateFault::kWrongHost:
      return "it was issued for another host name";
    case CertificateFault::kNotYetValid:
      return "it is not valid yet";
    case CertificateFault::kExpired:
      return "it has expired";
    case CertificateFault::kRevoked:
      return "it has been revoked";
    case CertificateFault::kInsecure:
      return "it uses an algorithm too weak to rely on";
    case CertificateFault::kUnchecked:
      break;
  }
  return "it could not be checked";
}

}  // namespace

std::string CertificateQuestion(const CertificateProblem& problem) {
  std::string reasons;
  for (CertificateFault fault : problem.faults) {
    reasons += (reasons.empty() ? "" : "; ") + std::string(Reason(fault));
  }
  if (reasons.empty()) reasons = Reason(CertificateFault::kUnchecked);
  return "The certificate of " + problem.host + " is not trusted: " +
         reasons + ". \"Continue to " + problem.host +
         "\" accepts this certificate for " + problem.host +
         " until Scrivlet closes and loads the page again. \"Cancel\" leaves "
         "the page unloaded.";
}

bool RecordingSession::WebBrowser1_CertificateError(
    const CertificateProblem& problem) {
  if (ended_) return false;
  if (!view_.AskToContinue(CertificateQuestion(problem),
                           "Continue to " + problem.host)) {
    return false;
  }
  state_.certificateReloadUrl = problem.url;
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
