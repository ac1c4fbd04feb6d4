#include "platform/frame_ids.h"

namespace scrivlet {

BrowserId FrameIds::IdOf(const std::string& token) {
  auto [it, inserted] = ids_.try_emplace(token, 0);
  if (inserted) it->second = (next_++ << 1) | 1;
  return it->second;
}

std::size_t ViewShowingFrame(const std::vector<std::string>& view_urls,
                             const std::string& top_url) {
  if (top_url.empty()) return 0;
  for (std::size_t i = 0; i < view_urls.size(); ++i) {
    if (view_urls[i] == top_url) return i;
  }
  return 0;
}

}  // namespace scrivlet
