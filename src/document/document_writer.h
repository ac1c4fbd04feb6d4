#ifndef SCRIVLET_DOCUMENT_DOCUMENT_WRITER_H_
#define SCRIVLET_DOCUMENT_DOCUMENT_WRITER_H_

// The text of trans.xml, built in memory so that every REQUEST element reaches
// the file with one append: a process killed at any moment leaves the first
// line plus whole elements.
//
// Every line ends in CR LF. Nothing here touches a file or the session state.
//
// What the writer does to recorded text, so that the document stays
// well-formed XML whatever the browser hands over, is xml_escaping.h's job:
// the URI, each W3C_ENC piece, the extra-headers HL text and the Host and
// Referer values are escaped, the credential texts only sanitised.

#include <optional>
#include <string>

#include "document/address.h"

namespace scrivlet {

inline constexpr char kDocumentStartLine[] =
    "<?xml version='1.0'?><HTTP-TRANSACTION>";
inline constexpr char kDocumentEndLine[] = "</HTTP-TRANSACTION>";
inline constexpr char kLineEnd[] = "\r\n";

// What one REQUEST element says. Credential texts are the Base64 values;
// "" leaves their line out.
struct RequestFields {
  std::string method;
  UrlParts url;
  std::string authorization;
  std::string proxy_authorization;
};

// The navigation form. `extra_headers` "" leaves its line out; `body`
// absent means the request had no post data, otherwise the element holds its
// content block: "<CONTENT>", one W3C_ENC line per piece of the body split
// at every "&" (a piece ending in a NUL byte loses that one byte; "a&&b"
// gives an empty middle piece, an empty body no piece), "</CONTENT>".
std::string BuildNavigationElement(const RequestFields& fields,
                                   const std::string& extra_headers,
                                   const std::optional<std::string>& body);

// The completion form, written for a redirect: no extra headers, no content.
std::string BuildCompletionElement(const RequestFields& fields);

// The document as the record page receives it: its lines (each ending at LF,
// a CR just before the LF dropped) joined with nothing between them.
// The text is joined in its own memory: a document may be megabytes.
std::string JoinDocumentLines(std::string content);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_DOCUMENT_WRITER_H_
