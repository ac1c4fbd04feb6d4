#ifndef SCRIVLET_REPLAY_REPLAYED_REQUEST_H_
#define SCRIVLET_REPLAY_REPLAYED_REQUEST_H_

// What a recorded element puts on the wire when it is replayed, and whether
// it can be put there at all.

#include <glib.h>

#include <optional>
#include <string>
#include <vector>

#include "document/document_reader.h"
#include "document/header_fields.h"

namespace scrivlet::replay {

using scrivlet::HeaderField;

struct ReplayedRequest {
  std::string method;
  // The address the request goes to, built from the parts below; for an
  // element that cannot be replayed, the recorded SCHEME://HOST and URI as
  // they stand, only to name it.
  std::string url;
  // The parts as recorded: the scheme of the Referer line, the host (an
  // IPv6 address without its brackets) and port (-1: the scheme's) of the
  // Host line, and the URI's path and query ("" for none); a fragment is
  // never sent.
  std::string scheme;
  std::string host;
  int port = -1;
  std::string path;
  std::optional<std::string> query;
  // The recorded header lines in document order as fields (HeaderFields).
  std::vector<HeaderField> headers;
  std::optional<std::string> body;
  // Why the element cannot be replayed ("" when it can): a scheme other
  // than http and https, a Host line whose host is empty or malformed, a
  // URI that is no path (it could name another host), a method or a header
  // that is not HTTP. Nothing of such an element is sent.
  std::string problem;
};

ReplayedRequest RequestFor(const DocumentElement& element);

// The address of a request without problem, built from its parts (never
// from joined strings), as libsoup takes it.
GUri* NewRequestUri(const ReplayedRequest& request);

// "host" or "host:port" as the request's Host line names its server; "[…]"
// around an IPv6 address.
std::string Authority(const ReplayedRequest& request);

// What a replay of `elements` will send, for the question asked before it:
// the hosts (with their ports) in the order they first appear, the number
// of requests and how many of them are POSTs, and the hosts to which a
// recorded Authorization line goes.
struct ReplayScope {
  std::vector<std::string> hosts;
  std::size_t requests = 0;
  std::size_t posts = 0;
  std::vector<std::string> credential_hosts;
};
ReplayScope ScopeOf(const std::vector<DocumentElement>& elements);

// `text` in double quotes as a message quotes it (PrintableText), so that
// a message cannot carry a terminal's escape sequences.
std::string Quoted(const std::string& text);

}  // namespace scrivlet::replay

#endif  // SCRIVLET_REPLAY_REPLAYED_REQUEST_H_
