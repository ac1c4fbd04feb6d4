#ifndef SCRIVLET_PLATFORM_FORM_BODY_H_
#define SCRIVLET_PLATFORM_FORM_BODY_H_

#include <string>
#include <vector>

namespace scrivlet {

// One entry of a submitted form's entry list, as the page's `formdata` event
// holds it. Texts are UTF-8; a file's content is its bytes as they are.
struct FormEntry {
  std::string name;
  bool is_file = false;
  std::string value;         // the text of a string entry, a file's bytes
  std::string filename;      // files only
  std::string content_type;  // files only; "" when the file has no type
};

// The body a form submission puts on the wire, rebuilt from its entry list.
// `content_type` is the request's Content-Type header: it selects the
// serialisation (multipart/form-data with its boundary, text/plain, and
// application/x-www-form-urlencoded for anything else). `charset` is the
// encoding the form submits in (a WHATWG encoding name such as "UTF-8" or
// "windows-1252"); characters it cannot encode become "&#N;" references, as
// the engine writes them.
std::string SerializeFormBody(const std::string& content_type,
                              const std::vector<FormEntry>& entries,
                              const std::string& charset);

// The boundary parameter of a multipart Content-Type, "" when there is none.
std::string MultipartBoundary(const std::string& content_type);

// `text` (UTF-8) in the encoding named by `charset`; characters it cannot
// represent become "&#N;" with N the decimal code point.
std::string EncodeForForm(const std::string& text, const std::string& charset);

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_FORM_BODY_H_
