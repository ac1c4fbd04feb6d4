#ifndef SCRIVLET_SESSION_CERTIFICATE_H_
#define SCRIVLET_SESSION_CERTIFICATE_H_

#include <string>
#include <vector>

namespace scrivlet {

// Why the system does not trust a site's certificate.
enum class CertificateFault {
  kUnknownAuthority,  // self-signed, or signed by an internal authority
  kWrongHost,         // issued for another host name
  kNotYetValid,
  kExpired,
  kRevoked,
  kInsecure,          // an algorithm too weak to rely on
  kUnchecked,         // the check itself failed
};

// A page that did not load because its certificate is not trusted.
struct CertificateProblem {
  std::string url;   // the address that was asked for
  std::string host;  // its host name, without the port
  std::vector<CertificateFault> faults;
  // The certificate itself, PEM-encoded ("" when unknown).
  std::string certificate_pem = "";
};

// A certificate the user accepted in the browser for a host: the browser
// trusts exactly that certificate for that host until the program ends.
struct AcceptedCertificate {
  std::string host;  // without the port
  std::string pem;
  bool operator==(const AcceptedCertificate&) const = default;
};

// The question put to the user: what is wrong with the certificate of
// `problem.host`, and what each answer does.
std::string CertificateQuestion(const CertificateProblem& problem);

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_CERTIFICATE_H_
