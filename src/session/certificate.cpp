#include "session/certificate.h"

#include <string>

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

}  // namespace scrivlet
