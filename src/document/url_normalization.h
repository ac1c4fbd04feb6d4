#ifndef SCRIVLET_DOCUMENT_URL_NORMALIZATION_H_
#define SCRIVLET_DOCUMENT_URL_NORMALIZATION_H_

#include <string>

namespace scrivlet {

// `url` in the form the browser reports an address it has loaded: scheme
// and host in lower case, the scheme's default port dropped (":80" for
// http, ":443" for https), "\" read as "/", an empty path made "/", "." and
// ".." segments removed, characters that the browser escapes in a path
// written as percent-escapes, and every percent-escape's hex digits in upper
// case. The query and fragment are kept as they are but for the escape case.
// A text that is not an absolute http(s) address is returned unchanged.
std::string NormalizeUrl(const std::string& url);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_URL_NORMALIZATION_H_
