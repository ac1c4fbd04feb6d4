#ifndef SCRIVLET_PLATFORM_TLS_CERTIFICATE_PROBLEM_H_
#define SCRIVLET_PLATFORM_TLS_CERTIFICATE_PROBLEM_H_

#include <webkit/webkit.h>

#include <optional>

#include "session/certificate.h"

namespace scrivlet {

// The session's question about `certificate`, which `failing_uri` was
// refused for, with every fault that `errors` names and the certificate
// itself (PEM), so that an acceptance holds for this certificate only;
// nullopt for an address without a host, which no certificate can be
// accepted for.
std::optional<CertificateProblem> CertificateProblemOf(
    const char* failing_uri, GTlsCertificate* certificate,
    GTlsCertificateFlags errors);

// Accepts `certificate` for the problem's host in `view`'s network session
// for the rest of the process, and loads the problem's address again.
void AcceptCertificateAndReload(WebKitWebView* view,
                                GTlsCertificate* certificate,
                                const CertificateProblem& problem);

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_TLS_CERTIFICATE_PROBLEM_H_
