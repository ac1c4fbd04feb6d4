#include "replay/certificate_acceptance.h"

#include <utility>

namespace scrivlet::replay {

std::function<std::string(const std::string&, GTlsCertificate*,
                          GTlsCertificateFlags)>
AcceptOnly(std::vector<AcceptedCertificate> accepted) {
  return [accepted = std::move(accepted)](
             const std::string& host, GTlsCertificate* certificate,
             GTlsCertificateFlags) -> std::string {
    bool host_accepted = false;
    for (const AcceptedCertificate& entry : accepted) {
      if (!entry.host.empty() && entry.host != host) continue;
      host_accepted = true;
      g_autoptr(GTlsCertificate) kept =
          g_tls_certificate_new_from_pem(entry.pem.c_str(), -1, nullptr);
      if (kept != nullptr && certificate != nullptr &&
          g_tls_certificate_is_same(kept, certificate)) {
        return "";
      }
    }
    return host_accepted
               ? "the system does not trust it, and it is not the one "
                 "accepted for " + host
               : "the system does not trust it, and none was accepted for " +
                     host;
  };
}

}  // namespace scrivlet::replay
