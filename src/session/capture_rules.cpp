#include "session/capture_rules.h"

#include <string_view>
#include <utility>

namespace scrivlet {
namespace {

// string_view: the literals tested on every navigation are not copied.
bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
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

RequestFields DecideRequestFields(SessionState& state, UrlParts url,
                                  const std::string& original_url) {
  RequestFields fields;
  fields.url = std::move(url);
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
