#ifndef SCRIVLET_DOCUMENT_DOCUMENT_WRITER_H_
#define SCRIVLET_DOCUMENT_DOCUMENT_WRITER_H_

// The text of trans.xml, built in memory so that every REQUEST element reaches
// the file with one append: a process killed at any moment leaves the first
// line plus whole elements.
//
// Every line ends in CR LF. Nothing here touches a file or the session state.
//
// What the writer does to recorded text, so that the document stays
// well-formed XML whatever the browser hands over:
//  * "&", "<", ">" and the double quote become "&amp;", "&lt;", "&gt;" and
//    "&quot;", in that order over the whole text (an entity already present is
//    escaped once more). This applies to the URI, each W3C_ENC piece, the
//    extra-headers HL text, and the Host and Referer values. A URL whose
//    authority holds one of these characters is not a valid address anyway;
//    escaping it is the only way to keep the document readable.
//  * In a W3C_ENC piece, CR and LF also become "&#13;" and "&#10;", so that
//    no piece spans lines: the record page receives the document's lines
//    joined with nothing between them, and an XML parser reads a raw CR LF
//    as LF. A multipart or text/plain body (line breaks between its parts
//    and inside values) then comes back byte for byte either way; a
//    URL-encoded body holds no raw line break and is written as before.
//  * After that, every byte that XML 1.0 cannot carry even escaped becomes
//    U+FFFD (the three bytes EF BF BD), one replacement per byte: C0 controls
//    other than TAB, CR and LF; bytes that are not part of valid UTF-8
//    (stray continuation bytes, truncated or overlong sequences, code points
//    above U+10FFFF); the encodings of surrogates and of U+FFFE and U+FFFF.
//    DEL and the C1 controls are legal XML characters and are kept.
//  * Every other byte is kept exactly; nothing is decoded or re-encoded.
// Normal URL-encoded form bodies contain none of these bytes, so their
// recording is byte for byte what was sent.

#include <optional>
#include <string>
#include <vector>

namespace scrivlet {

inline constexpr char kDocumentStartLine[] =
    "<?xml version='1.0'?><HTTP-TRANSACTION>";
inline constexpr char kDocumentEndLine[] = "</HTTP-TRANSACTION>";
inline constexpr char kLineEnd[] = "\r\n";

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

// The four replacements, then the byte sanitising described above.
std::string EscapeText(const std::string& text);
// Only the byte sanitising, for text that is already escaped.
std::string SanitizeXmlBytes(const std::string& text);

// A post body split at every "&"; a piece ending in a NUL byte loses that
// one byte. An empty body gives no pieces; "a&&b" gives an empty middle
// piece, which is written as an empty W3C_ENC element.
std::vector<std::string> SplitBody(const std::string& body);

// The content block of a post, in both forms.
struct ContentBlock {
  std::string lines;     // "<CONTENT>" CR LF, one W3C_ENC line per piece, "</CONTENT>" CR LF
  std::string one_line;  // the same without line breaks (requestContent)
};
ContentBlock BuildContentBlock(const std::vector<std::string>& pieces);
// BuildContentBlock(SplitBody(body)), without copying the pieces.
ContentBlock BuildBodyContentBlock(const std::string& body);

// What one REQUEST element says. Credential texts are the Base64 values;
// "" leaves their line out.
struct RequestFields {
  std::string method;
  UrlParts url;
  std::string authorization;
  std::string proxy_authorization;
};

// The navigation form. `extra_headers` "" leaves its line out; `content`
// absent means the request had no post data.
std::string BuildNavigationElement(const RequestFields& fields,
                                   const std::string& extra_headers,
                                   const std::optional<ContentBlock>& content);

// The navigation form of a post, its content block built in one pass over
// `body`: the same bytes as BuildNavigationElement with
// BuildBodyContentBlock(body). `request_content` receives the block's
// one-line form.
std::string BuildPostedNavigationElement(const RequestFields& fields,
                                        const std::string& extra_headers,
                                        const std::string& body,
                                        std::string& request_content);

// The completion form, written for a redirect. `request_content` (already
// escaped, one line) is written only when the method is exactly "POST".
std::string BuildCompletionElement(const RequestFields& fields,
                                   const std::string& request_content);

// The document as the record page receives it: its lines (each ending at LF,
// a CR just before the LF dropped) joined with nothing between them.
// The text is joined in its own memory: a document may be megabytes.
std::string JoinDocumentLines(std::string content);

}  // namespace scrivlet

#endif  // SCRIVLET_DOCUMENT_DOCUMENT_WRITER_H_
