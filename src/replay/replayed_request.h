#ifndef SCRIVLET_REPLAY_REPLAYED_REQUEST_H_
#define SCRIVLET_REPLAY_REPLAYED_REQUEST_H_

// What a recorded element puts on the wire when it is replayed.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "document/document_reader.h"

namespace scrivlet::replay {

using HeaderField = std::pair<std::string, std::string>;  // name, value

struct ReplayedRequest {
  std::string method;
  // SCHEME://HOST followed by the URI, the scheme as the Referer line
  // names it.
  std::string url;
  // The recorded header lines in document order, each split at its first
  // ":" with the blanks after it dropped. An extra-headers line that holds
  // several header lines (separated by CR LF) gives one field for each;
  // a text without a ":" is not a header and is left out.
  std::vector<HeaderField> headers;
  std::optional<std::string> body;
};

ReplayedRequest RequestFor(const DocumentElement& element);

// What a replay of `elements` will send, for the question asked before it:
// the hosts (with their ports) in the order they first appear, the number
// of requests and how many of them are POSTs.
struct ReplayScope {
  std::vector<std::string> hosts;
  std::size_t requests = 0;
  std::size_t posts = 0;
};
ReplayScope ScopeOf(const std::vector<DocumentElement>& elements);

// The value of the first header named `name` (compared without regard to
// case); nullopt when there is none.
std::optional<std::string> FindHeader(const std::vector<HeaderField>& headers,
                                      const std::string& name);

}  // namespace scrivlet::replay

#endif  // SCRIVLET_REPLAY_REPLAYED_REQUEST_H_
