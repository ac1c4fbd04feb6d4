#include "platform/tls_certificate_problem.h"

#include <utility>

namespace scrivlet {

std::optional<CertificateProblem> CertificateProblemOf(
    const char* failing_uri, GTlsCertificate* certificate,
    GTlsCertificateFlags errors) {
  if (!failing_uri) return std::nullopt;
  CertificateProblem problem;
  problem.url = failing_uri;
  g_autoptr(GUri) parsed = g_uri_parse(failing_uri, G_URI_FLAGS_NONE, nullptr);
  if (!parsed) return std::nullopt;
  if (const char* host = g_uri_get_host(parsed)) problem.host = host;
  if (problem.host.empty()) return std::nullopt;
  const std::pair<GTlsCertificateFlags, CertificateFault> kFaults[] = {
      {G_TLS_CERTIFICATE_UNKNOWN_CA, CertificateFault::kUnknownAuthority},
      {G_TLS_CERTIFICATE_BAD_IDENTITY, CertificateFault::kWrongHost},
      {G_TLS_CERTIFICATE_NOT_ACTIVATED, CertificateFault::kNotYetValid},
      {G_TLS_CERTIFICATE_EXPIRED, CertificateFault::kExpired},
      {G_TLS_CERTIFICATE_REVOKED, CertificateFault::kRevoked},
      {G_TLS_CERTIFICATE_INSECURE, CertificateFault::kInsecure},
      {G_TLS_CERTIFICATE_GENERIC_ERROR, CertificateFault::kUnchecked}};
  for (const auto& [flag, fault] : kFaults) {
    if (errors & flag) problem.faults.push_back(fault);
  }
  g_autofree char* pem = nullptr;
  g_object_get(certificate, "certificate-pem", &pem, nullptr);
  if (pem) problem.certificate_pem = pem;
  return problem;
}

// The engine's own exception takes the certificate itself, so another
// certificate for the same host is asked about again.
void AcceptCertificateAndReload(WebKitWebView* view,
                                GTlsCertificate* certificate,
                                const CertificateProblem& problem) {
  webkit_network_session_allow_tls_certificate_for_host(
      webkit_web_view_get_network_session(view), certificate,
      problem.host.c_str());
  webkit_web_view_load_uri(view, problem.url.c_str());
}

}  // namespace scrivlet
