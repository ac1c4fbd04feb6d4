#ifndef SCRIVLET_TOOLS_STAND_IN_SERVER_BASE64_H_
#define SCRIVLET_TOOLS_STAND_IN_SERVER_BASE64_H_

#include <string>
#include <string_view>

namespace scrivlet::stand_in {

// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks) of the
// bytes. Used to log request bodies on one line whatever bytes they hold.
std::string ToBase64(std::string_view bytes);

}  // namespace scrivlet::stand_in

#endif  // SCRIVLET_TOOLS_STAND_IN_SERVER_BASE64_H_
