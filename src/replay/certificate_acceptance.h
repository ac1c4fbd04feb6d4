#ifndef SCRIVLET_REPLAY_CERTIFICATE_ACCEPTANCE_H_
#define SCRIVLET_REPLAY_CERTIFICATE_ACCEPTANCE_H_

// Which server certificates the replay accepts that the system does not
// trust: those the person accepted while recording, compared as
// certificates.

#include <gio/gio.h>

#include <functional>
#include <string>
#include <vector>

#include "session/certificate.h"

namespace scrivlet::replay {

// A ReplayOptions::accept_certificate that passes exactly the certificates
// of `accepted` (compared as certificates), each for its host only, or for
// any host where its host is "". Any other certificate the system does not
// trust is refused, and the refusal says why.
std::function<std::string(const std::string&, GTlsCertificate*,
                          GTlsCertificateFlags)>
AcceptOnly(std::vector<AcceptedCertificate> accepted);

}  // namespace scrivlet::replay

#endif  // SCRIVLET_REPLAY_CERTIFICATE_ACCEPTANCE_H_
