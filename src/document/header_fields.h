#ifndef SCRIVLET_DOCUMENT_HEADER_FIELDS_H_
#define SCRIVLET_DOCUMENT_HEADER_FIELDS_H_

// The header lines a document records, as fields: the one way this
// program reads a recorded header by its name.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace scrivlet {

using HeaderField = std::pair<std::string, std::string>;  // name, value

// The fields of `lines` in order, each line split at its first ":" with the
// blanks after it dropped. A line that holds several header lines
// (separated by CR LF or LF) gives one field for each; a text without a
// ":", or with nothing before it, is no header and is left out.
std::vector<HeaderField> HeaderFields(const std::vector<std::string>& lines);

enum class Occurrence { kFirst, kLast };

// The value of the first (or last) field named `name`, compared without
// regard to case as HTTP compares field names; nullopt when there is none.
std::optional<std::string> FindHeader(const std::vector<HeaderField>& fields,
                                      std::string_view name,
                                      Occurrence which = Occurrence::kFirst);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_HEADER_FIELDS_H_
