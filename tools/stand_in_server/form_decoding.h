#ifndef SCRIVLET_TOOLS_STAND_IN_SERVER_FORM_DECODING_H_
#define SCRIVLET_TOOLS_STAND_IN_SERVER_FORM_DECODING_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scrivlet::stand_in {

using FormFields = std::vector<std::pair<std::string, std::string>>;

// Splits an application/x-www-form-urlencoded body into its name/value pairs,
// in body order. "+" becomes a blank and each "%XX" the byte it names; a "%"
// that is not followed by two hex digits stays as it is. Nothing else is
// interpreted, so the decoded values are exactly the bytes the browser
// encoded (the library's own decoder also accepts "%uXXXX", which no browser
// sends and which would alter a value that merely looks like it).
FormFields DecodeUrlEncodedForm(std::string_view body);

// Decodes one component of a URL-encoded text by the same rules: "+" is a
// blank, "%XX" the byte it names, anything else stands as it is. The
// end-to-end tests' web server decodes with it too.
std::string PercentDecode(std::string_view text);

// The value of the first field with this name, or nothing.
std::optional<std::string> FindField(const FormFields& fields,
                                     std::string_view name);

// The inverse, for clients and tests: every byte outside A-Z a-z 0-9 "-._~"
// as "%XX".
std::string PercentEncode(std::string_view bytes);

}  // namespace scrivlet::stand_in

#endif  // SCRIVLET_TOOLS_STAND_IN_SERVER_FORM_DECODING_H_
