#include "session/capture_rules.h"

#include <utility>

namespace scrivlet {
namespace {

constexpr auto kNotFound = std::string::npos;

// Whether the credential lines go with `url`. This is a case-sensitive test
// for the text "https" anywhere in the address, not a test of its scheme:
// an https address passes, and so does a plain http address that carries
// "https" elsewhere ("http://host/login?next=https://..."). When agent.ini
// allows credentials on plain http (`nonSslAuth`) the text is "http", which
// every address that SkipsNavigation lets through starts with.
bool PassesSchemeTest(const SessionState& state, const std::string& url) {
  return url.find(state.nonSslAuth ? "http" : "https") != kNotFound;
}

}  // namespace

bool SkipsNavigation(const SessionState& state, const std::string& url) {
  return url.find(state.servletPath) != kNotFound ||
         url.find("WYT/record.html") != kNotFound || state.didRefresh ||
         url == state.pendingUrl || url == "http:///" ||
         !url.starts_with("http") ||
         url.find("qzo.html?RTT=") != kNotFound;
}

bool SkipsScriptRequest(const SessionState& state, const std::string& url) {
  return url.find(state.servletPath) != kNotFound ||
         url.find("WYT/record.html") != kNotFound || state.didRefresh ||
         url == "http:///" || !url.starts_with("http") ||
         url.find("qzo.html?RTT=") != kNotFound;
}

RequestFields DecideRequestFields(SessionState& state, UrlParts url,
                                  const std::string& original_url) {
  RequestFields fields;
  fields.url = std::move(url);
  for (const std::string& entry : state.noProxyList) {
    if (!entry.empty() && original_url.find(entry) != kNotFound) {
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
