#ifndef SCRIVLET_SESSION_SCRIPT_REQUEST_MATCHER_H_
#define SCRIVLET_SESSION_SCRIPT_REQUEST_MATCHER_H_

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace scrivlet {

// Where a page's announcement of a script request (from the program's
// wrappers of fetch, XMLHttpRequest and sendBeacon, which run in the page's
// own world and so may be called, replaced or fooled by the page) meets the
// engine's word that a request went out. An announcement counts only when
// the engine sent a request of the same page, method and address (its
// fragment aside) within kWindowUs of it, in either order; each sent
// request vouches for one announcement, the oldest first. Toolkit-free:
// times are monotonic microseconds the caller passes in.
class ScriptRequestMatcher {
 public:
  static constexpr std::int64_t kWindowUs = 3'000'000;

  // A request the engine sent that no announcement claimed in time.
  struct Unannounced {
    std::uint64_t page = 0;
    std::string method;
    std::string url;
    bool operator==(const Unannounced&) const = default;
  };
  // What went out of the window at a call of Expire.
  struct Expired {
    std::vector<std::uint64_t> never_sent;  // announcement ids
    std::vector<Unannounced> unannounced;
  };

  // Announcement `id` of `page`: the id of the announcement it completes
  // (its own) when a matching request was sent already, else nullopt and
  // it waits for one.
  std::optional<std::uint64_t> Announced(std::uint64_t id, std::uint64_t page,
                                         const std::string& method,
                                         const std::string& url,
                                         std::int64_t now_us);
  // The engine sent a request: the id of the announcement it vouches for,
  // or nullopt (it waits for a late announcement).
  std::optional<std::uint64_t> Sent(std::uint64_t page,
                                    const std::string& method,
                                    const std::string& url,
                                    std::int64_t now_us);
  // Drops what waited longer than kWindowUs before `now_us`.
  Expired Expire(std::int64_t now_us);
  bool empty() const { return announced_.empty() && sent_.empty(); }

 private:
  struct Entry {
    std::uint64_t id = 0;
    std::uint64_t page = 0;
    std::string method;
    std::string url;  // without its fragment
    std::int64_t at_us = 0;
  };
  std::deque<Entry> announced_;  // oldest first
  std::deque<Entry> sent_;       // oldest first
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_SCRIPT_REQUEST_MATCHER_H_
