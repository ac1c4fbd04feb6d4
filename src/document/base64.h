#ifndef SCRIVLET_DOCUMENT_BASE64_H_
#define SCRIVLET_DOCUMENT_BASE64_H_

#include <string>

namespace scrivlet {

// Standard Base64 (RFC 4648 section 4, "=" padding) of the text's bytes, as
// one line without breaks. "" for "".
std::string EncodeBase64(const std::string& text);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_BASE64_H_
