#ifndef SCRIVLET_DOCUMENT_ADDRESS_H_
#define SCRIVLET_DOCUMENT_ADDRESS_H_

#include <optional>
#include <string>

// Addresses as plain text, taken apart for the document's lines.

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

// The address a request goes out with and is answered at: without the
// fragment, which is never sent, and without the user and password that
// the engine keeps in the address of a request opened with them
// (XMLHttpRequest.open), which go out as a header if at all.
std::string AddressAsSent(const std::string& url);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_ADDRESS_H_
