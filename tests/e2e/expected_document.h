#ifndef SCRIVLET_TESTS_E2E_EXPECTED_DOCUMENT_H_
#define SCRIVLET_TESTS_E2E_EXPECTED_DOCUMENT_H_

#include <string>

// Builders of the exact bytes that the program must write to trans.xml,
// mirroring the document format line by line (every line ends in CR LF).
// They are the tests' own statement of the format, written independently of
// the program's writer.
namespace scrivlet::e2e {

inline constexpr char kDocumentStart[] =
    "<?xml version='1.0'?><HTTP-TRANSACTION>\r\n";
inline constexpr char kDocumentEnd[] = "</HTTP-TRANSACTION>\r\n";

// The credential lines that apply to a recorded request: the Base64 texts,
// or "" where no line is written.
struct CredentialLines {
  std::string authorization;        // after "Authorization: Basic "
  std::string proxy_authorization;  // after "Proxy-Authorization: Basic "
};

// A navigation-form element for a request without body.
std::string ExpectedGet(const std::string& url,
                        const CredentialLines& credentials = {});

// A navigation-form element for a form post: the extra header line carries
// "Content-Type: " + content_type + CR LF, and the content block lists the
// body split at every "&", each piece escaped with its CR and LF written as
// "&#13;" and "&#10;".
std::string ExpectedPost(const std::string& url, const std::string& body,
                         const std::string& content_type,
                         const CredentialLines& credentials = {});

// A completion-form element (a page that ended at another address than the
// one requested), written with the method GET.
std::string ExpectedCompletion(const std::string& url,
                               const CredentialLines& credentials = {});

// `text` with & < > and double quotes escaped, as the document writes the
// URI, each body piece and the extra header text: a recorded "<" must not
// break the document for the server's parser.
std::string EscapedText(std::string text);

// The URI of `url` as the document writes it: everything after the
// authority, with & < > and double quotes escaped.
std::string EscapedUri(const std::string& url);

// The document as the record page receives it: every line break removed.
std::string JoinedLines(const std::string& document);

// Standard Base64 (RFC 4648) of `text`.
std::string Base64(const std::string& text);

}  // namespace scrivlet::e2e

#endif  // SCRIVLET_TESTS_E2E_EXPECTED_DOCUMENT_H_
