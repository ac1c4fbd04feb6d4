#ifndef SCRIVLET_PLATFORM_FRAME_IDS_H_
#define SCRIVLET_PLATFORM_FRAME_IDS_H_

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "session/browser.h"

namespace scrivlet {

// The identities of sub-frames. The capture script names each frame's
// document by a random token; the windows know it by a BrowserId. A view's
// identity is the address of its engine object, which is even, so frames
// get odd numbers and never collide with a view.
class FrameIds {
 public:
  // The same token always gets the same identity.
  BrowserId IdOf(const std::string& token);

 private:
  std::map<std::string, BrowserId> ids_;
  BrowserId next_ = 1;
};

// The script does not know its view. A sub-frame's load goes to the view
// that shows the frame's top document (`top_url`, "" when the script could
// not read it), else to the first (main) view. `view_urls` are the views'
// addresses in the order the views were made, "" for a view without one.
// Returns an index into `view_urls`, which must not be empty.
std::size_t ViewShowingFrame(const std::vector<std::string>& view_urls,
                             const std::string& top_url);

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_FRAME_IDS_H_
