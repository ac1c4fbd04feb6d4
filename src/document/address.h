#ifndef SCRIVLET_DOCUMENT_ADDRESS_H_
#define SCRIVLET_DOCUMENT_ADDRESS_H_

#include <optional>
#include <string>

// Addresses as plain text: taken apart for the document's lines, and
// spelled as the browser spells an address it has loaded.

namespace scrivlet {

// A URL taken apart as plain text: scheme is the text before the first ":",
// host the authority exactly as written (port included), base is
// scheme + "://" + host and uri everything after base, undecoded.
struct UrlParts {
  std::string scheme;
  std::string host;
  std::string base;
  std::string uri;
};

// nullopt unless the URL has the shape scheme "://" authority, with a scheme
// free of "/" and a non-empty authority; only then are host and URI defined.
std::optional<UrlParts> SplitUrl(const std::string& url);

// `url` in the form the browser reports an address it has loaded: scheme
// and host in lower case, the scheme's default port dropped (":80" for
// http, ":443" for https), "\" read as "/", an empty path made "/", "." and
// ".." segments removed, characters that the browser escapes in a path
// written as percent-escapes, and every percent-escape's hex digits in upper
// case. The query and fragment are kept as they are but for the escape case.
// A text that is not an absolute http(s) address is returned unchanged.
std::string NormalizeUrl(const std::string& url);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_ADDRESS_H_
