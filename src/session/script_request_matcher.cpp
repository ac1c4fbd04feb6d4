#include "session/script_request_matcher.h"

#include <algorithm>
#include <utility>

namespace scrivlet {
namespace {

// The address as both sides name the same request: the engine sends no
// fragment, which a script may name, and puts the user and password that
// XMLHttpRequest.open was given into its address, where the script's
// announcement has none.
std::string SameRequestAddress(const std::string& url) {
  std::string plain = url.substr(0, url.find('#'));
  const std::size_t scheme_end = plain.find("://");
  if (scheme_end == std::string::npos) return plain;
  const std::size_t authority = scheme_end + 3;
  const std::size_t authority_end = plain.find_first_of("/?", authority);
  const std::size_t at = plain.rfind('@', authority_end);
  if (at != std::string::npos && at >= authority) {
    plain.erase(authority, at + 1 - authority);
  }
  return plain;
}

template <typename Entries>
auto FindSame(Entries& entries, std::uint64_t page, const std::string& method,
              const std::string& url) {
  return std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
    return entry.page == page && entry.method == method && entry.url == url;
  });
}

}  // namespace

std::optional<std::uint64_t> ScriptRequestMatcher::Announced(
    std::uint64_t id, std::uint64_t page, const std::string& method,
    const std::string& url, std::int64_t now_us) {
  std::string plain = SameRequestAddress(url);
  const auto sent = FindSame(sent_, page, method, plain);
  if (sent != sent_.end() && now_us - sent->at_us <= kWindowUs) {
    sent_.erase(sent);
    return id;
  }
  announced_.push_back(Entry{id, page, method, std::move(plain), now_us});
  return std::nullopt;
}

std::optional<std::uint64_t> ScriptRequestMatcher::Sent(
    std::uint64_t page, const std::string& method, const std::string& url,
    std::int64_t now_us) {
  std::string plain = SameRequestAddress(url);
  const auto announced = FindSame(announced_, page, method, plain);
  if (announced != announced_.end() &&
      now_us - announced->at_us <= kWindowUs) {
    const std::uint64_t id = announced->id;
    announced_.erase(announced);
    return id;
  }
  sent_.push_back(Entry{0, page, method, std::move(plain), now_us});
  return std::nullopt;
}

ScriptRequestMatcher::Expired ScriptRequestMatcher::Expire(
    std::int64_t now_us) {
  Expired expired;
  while (!announced_.empty() &&
         now_us - announced_.front().at_us > kWindowUs) {
    expired.never_sent.push_back(announced_.front().id);
    announced_.pop_front();
  }
  while (!sent_.empty() && now_us - sent_.front().at_us > kWindowUs) {
    Entry& entry = sent_.front();
    expired.unannounced.push_back(
        Unannounced{entry.page, std::move(entry.method), std::move(entry.url)});
    sent_.pop_front();
  }
  return expired;
}

}  // namespace scrivlet
