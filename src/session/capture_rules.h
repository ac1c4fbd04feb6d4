#ifndef SCRIVLET_SESSION_CAPTURE_RULES_H_
#define SCRIVLET_SESSION_CAPTURE_RULES_H_

#include <string>

#include "document/document_writer.h"
#include "session/session_state.h"

namespace scrivlet {

// The skip test that both capture handlers apply before writing: addresses of
// the upload servlet and the record page, a refresh in progress, the pending
// address again, the browser's own pages ("res:", "about:" and the like fail
// the test for "http" at the start) and every scheme but http(s), and
// the "qzo.html?RTT=" probe. All tests are case-sensitive plain text tests.
// Page completion adds its own condition that `pendingUrl` is not "".
bool SkipsNavigation(const SessionState& state, const std::string& url);

// The skip test of a script request: the address tests of SkipsNavigation
// and the refresh in progress, but not the pending address, which names a
// navigation.
bool SkipsScriptRequest(const SessionState& state, const std::string& url);

// Fills method-independent request fields for `url`: the URL's parts and the
// two credential texts that apply to it. Scans `noProxyList` into
// `noProxyMatch` and consumes it again in the proxy decision, so the flag is
// clear afterwards.
RequestFields DecideRequestFields(SessionState& state, UrlParts url,
                                  const std::string& original_url);

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_CAPTURE_RULES_H_
