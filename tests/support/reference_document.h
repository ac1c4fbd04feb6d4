#ifndef SCRIVLET_TESTS_SUPPORT_REFERENCE_DOCUMENT_H_
#define SCRIVLET_TESTS_SUPPORT_REFERENCE_DOCUMENT_H_

// A second, plain way to the content block of a post, for the tests and the
// fuzz targets to hold the writer's one-pass form against: the body split
// into its pieces first, then each piece escaped on its own.

#include <optional>
#include <string>
#include <vector>

#include "document/document_writer.h"
#include "document/xml_escaping.h"

namespace scrivlet::testing {

// A post body split at every "&"; a piece ending in a NUL byte loses that
// one byte. An empty body gives no pieces; "a&&b" gives an empty middle
// piece, which is written as an empty W3C_ENC element.
inline std::vector<std::string> SplitBody(const std::string& body) {
  std::vector<std::string> pieces;
  if (body.empty()) return pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t amp = body.find('&', start);
    std::string piece = body.substr(
        start, amp == std::string::npos ? std::string::npos : amp - start);
    if (!piece.empty() && piece.back() == '\0') piece.pop_back();
    pieces.push_back(std::move(piece));
    if (amp == std::string::npos) break;
    start = amp + 1;
  }
  return pieces;
}

// "<CONTENT>" CR LF, one W3C_ENC line per piece, "</CONTENT>" CR LF. A
// piece's CR and LF are written as character references, after escaping.
inline std::string BuildContentLines(const std::vector<std::string>& pieces) {
  std::string lines = "<CONTENT>\r\n";
  for (const std::string& piece : pieces) {
    lines += "<W3C_ENC>";
    for (const char c : EscapeText(piece)) {
      if (c == '\r') {
        lines += "&#13;";
      } else if (c == '\n') {
        lines += "&#10;";
      } else {
        lines += c;
      }
    }
    lines += "</W3C_ENC>\r\n";
  }
  return lines + "</CONTENT>\r\n";
}

// The navigation form of a post whose body is `pieces`: the element without
// content, its content block put before the closing line.
inline std::string BuildReferencePostElement(
    const RequestFields& fields, const std::string& extra_headers,
    const std::vector<std::string>& pieces) {
  std::string element =
      BuildNavigationElement(fields, extra_headers, std::nullopt);
  const std::size_t closing = element.size() - std::string("</REQUEST>\r\n").size();
  element.insert(closing, BuildContentLines(pieces));
  return element;
}

}  // namespace scrivlet::testing

#endif  // SCRIVLET_TESTS_SUPPORT_REFERENCE_DOCUMENT_H_
