#include <libsoup/soup.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "replay/replay_engine_run.h"

namespace scrivlet::replay {
namespace {

constexpr char kProxyAuthorization[] = "Proxy-Authorization";
constexpr char kAuthorization[] = "Authorization";

// The user name and password of a "Basic …" credential line; nullopt for
// another scheme or a text that is no such pair.
std::optional<std::pair<std::string, std::string>> BasicCredentials(
    const std::string& line) {
  constexpr std::string_view kBasic = "Basic ";
  if (line.size() <= kBasic.size() ||
      g_ascii_strncasecmp(line.c_str(), kBasic.data(), kBasic.size()) != 0) {
    return std::nullopt;
  }
  gsize size = 0;
  g_autofree guchar* decoded =
      g_base64_decode(line.c_str() + kBasic.size(), &size);
  const std::string pair(reinterpret_cast<const char*>(decoded), size);
  const std::size_t colon = pair.find(':');
  if (colon == std::string::npos) return std::nullopt;
  return std::make_pair(pair.substr(0, colon), pair.substr(colon + 1));
}

}  // namespace

// The recorded lines, but for the credentials that do not belong on this
// request. A plain request through the proxy carries the proxy's line to
// the proxy; inside an https tunnel it would reach the server, so there
// the proxy gets it as the answer to its challenge for the tunnel.
void ReplayEngine::Run::AddHeaders(const ReplayedRequest& request,
                                   bool through_proxy) {
  SoupMessageHeaders* headers = soup_message_get_request_headers(message_.get());
  proxy_credentials_.reset();
  for (const auto& [name, value] : request.headers) {
    const bool proxy_line = g_ascii_strcasecmp(name.c_str(), kProxyAuthorization) == 0;
    const bool site_line = g_ascii_strcasecmp(name.c_str(), kAuthorization) == 0;
    if ((proxy_line || site_line) && !options_.send_credentials) continue;
    if (site_line &&
        options_.authorization_left_out.count(Authority(request)) != 0) {
      current_.notes.push_back(
          "Authorization not sent: this host never asked for it");
      continue;
    }
    if (proxy_line) {
      if (!through_proxy) {
        current_.notes.push_back(
            "Proxy-Authorization not sent: this request does not go "
            "through a proxy");
        continue;
      }
      proxy_credentials_ = BasicCredentials(value);
      if (request.scheme == "https") continue;
    }
    soup_message_headers_append(headers, name.c_str(), value.c_str());
  }
}

gboolean ReplayEngine::Run::OnAuthenticate(SoupMessage*, SoupAuth* auth,
                                           gboolean retrying, gpointer data) {
  Run& run = *static_cast<Run*>(data);
  if (!soup_auth_is_for_proxy(auth) || retrying || !run.proxy_credentials_) {
    return FALSE;
  }
  soup_auth_authenticate(auth, run.proxy_credentials_->first.c_str(),
                         run.proxy_credentials_->second.c_str());
  return TRUE;
}

void ReplayEngine::Run::OnStarting(SoupMessage* message, gpointer) {
  soup_message_headers_remove(soup_message_get_request_headers(message),
                              kProxyAuthorization);
}

}  // namespace scrivlet::replay
