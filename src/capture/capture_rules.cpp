#include "capture/capture_rules.h"

namespace scrivlet {
namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Credential lines go to https addresses only, or to every http(s) address
// when agent.ini allows credentials on plain http.
bool PassesSchemeTest(const SessionState& state, const std::string& url) {
  return Contains(url, state.nonSslAuth ? "http" : "https");
}

}  // namespace

bool SkipsNavigation(const SessionState& state, const std::string& url) {
  return Contains(url, state.servletPath) || Contains(url, "WYT/record.html") ||
         state.didRefresh || url == state.pendingUrl || url == "http:///" ||
         StartsWith(url, "res") || !StartsWith(url, "http") ||
         Contains(url, "qzo.html?RTT=");
}

RequestFields DecideRequestFields(SessionState& state, const UrlParts& url,
                                  const std::string& original_url) {
  RequestFields fields;
  fields.url = url;
  for (const std::string& entry : state.noProxyList) {
    if (!entry.empty() && Contains(original_url, entry)) {
      state.noProxyMatch = true;
    }
  }
  const bool scheme_ok = PassesSchemeTest(state, original_url);
  if (scheme_ok && !state.realmAuth.empty()) {
    fields.authorization = state.realmAuth;
  }
  if (state.noProxyMatch) {
    state.noProxyMatch = false;
  } else if (scheme_ok && !state.proxyAuth.empty()) {
    fields.proxy_authorization = state.proxyAuth;
  }
  return fields;
}

}  // namespace scrivlet
