#include "document/document_writer.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "document/xml_escaping.h"

namespace scrivlet {
namespace {

constexpr std::string_view kAcceptLine =
    "<HL>Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/vnd.ms-powerpoint, application/vnd.ms-excel, "
    "application/msword, */*</HL>";
constexpr std::string_view kUserAgentLine =
    "<HL>User-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; "
    "CNETHomeBuild03171999; DigExt)</HL>";

void AppendEscaped(std::string& out, std::string_view text) {
  AppendSanitized(out, text, Escaping::kMarkup);
}

void AppendSanitizedBytes(std::string& out, std::string_view text) {
  AppendSanitized(out, text, Escaping::kNone);
}

// string_view: the fixed lines are appended without a temporary string.
void AppendLine(std::string& out, std::string_view line) {
  out += line;
  out += kLineEnd;
}

// Appends `open`, the escaped `text`, `close` and the line end.
void AppendEscapedLine(std::string& out, const char* open,
                       std::string_view text, const char* close) {
  out += open;
  AppendEscaped(out, text);
  out += close;
  out += kLineEnd;
}

void AppendHeaderLines(std::string& out, const RequestFields& fields,
                       const std::string* extra_headers) {
  AppendLine(out, "<HEADERS>");
  AppendEscapedLine(out, "<HL>Host: ", fields.url.host, "</HL>");
  AppendLine(out, kAcceptLine);
  if (extra_headers != nullptr && !extra_headers->empty()) {
    AppendEscapedLine(out, "<HL>", *extra_headers, "</HL>");
  }
  if (!fields.authorization.empty()) {
    out += "<HL>Authorization: Basic ";
    AppendSanitizedBytes(out, fields.authorization);
    AppendLine(out, "</HL>");
  }
  if (!fields.proxy_authorization.empty()) {
    out += "<HL>Proxy-Authorization: Basic ";
    AppendSanitizedBytes(out, fields.proxy_authorization);
    AppendLine(out, "</HL>");
  }
  AppendLine(out, kUserAgentLine);
  AppendEscapedLine(out, "<HL>Referer: ", fields.url.base, "</HL>");
  AppendLine(out, "</HEADERS>");
}

// The fixed lines of a REQUEST element take about 400 bytes; one reserve
// covers them and the variable texts of a usual element.
std::size_t ElementSizeHint(const RequestFields& fields, std::size_t extra) {
  return 512 + 2 * (fields.url.host.size() + fields.url.base.size()) +
         fields.url.uri.size() + fields.method.size() +
         fields.authorization.size() + fields.proxy_authorization.size() +
         extra;
}

void AppendRequestLineStart(std::string& out, const RequestFields& fields) {
  AppendLine(out, "<REQUEST><REQUEST-LINE NAME='STATIC'>");
  out += "<METHOD>";
  AppendEscaped(out, fields.method);
  out += "</METHOD><URI>";
  AppendEscaped(out, fields.url.uri);
  AppendLine(out, "</URI><PROT-VER>HTTP/1.1</PROT-VER>");
}

// The content block of `body`, in one pass over the body: "<CONTENT>", one
// W3C_ENC line per piece of the body split at every "&" (a piece ending in a
// NUL byte loses that byte), "</CONTENT>". No piece spans lines: CR and LF
// in it are written as character references (see xml_escaping.h).
void AppendBodyContentLines(std::string& out, std::string_view body) {
  AppendLine(out, "<CONTENT>");
  if (!body.empty()) {
    out += "<W3C_ENC>";
    AppendSanitized(out, body, Escaping::kBodyPieces);
    out += "</W3C_ENC>";
    out += kLineEnd;
  }
  AppendLine(out, "</CONTENT>");
}

// Calls `line(start, end)` for each line of `text`: each ends at LF, a CR
// just before the LF dropped, and the last may end without one.
template <typename Line>
void ForEachLine(std::string_view text, Line line) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t line_feed = text.find('\n', start);
    std::size_t end =
        line_feed == std::string_view::npos ? text.size() : line_feed;
    if (line_feed != std::string_view::npos && end > start &&
        text[end - 1] == '\r') {
      --end;
    }
    line(start, end);
    if (line_feed == std::string_view::npos) break;
    start = line_feed + 1;
  }
}

}  // namespace

std::string BuildNavigationElement(const RequestFields& fields,
                                   const std::string& extra_headers,
                                   const std::optional<std::string>& body) {
  // Escaping may grow a body; half again covers the usual forms.
  const std::size_t content_hint =
      body ? body->size() + body->size() / 2 + 64 : 0;
  std::string out;
  out.reserve(ElementSizeHint(fields, extra_headers.size() + content_hint));
  AppendRequestLineStart(out, fields);
  AppendLine(out, "</REQUEST-LINE>");
  AppendHeaderLines(out, fields, &extra_headers);
  if (body) AppendBodyContentLines(out, *body);
  AppendLine(out, "</REQUEST>");
  return out;
}

std::string BuildCompletionElement(const RequestFields& fields) {
  std::string out;
  out.reserve(ElementSizeHint(fields, 0));
  AppendRequestLineStart(out, fields);
  AppendHeaderLines(out, fields, nullptr);
  AppendLine(out, "</REQUEST-LINE></REQUEST>");
  return out;
}

std::string JoinDocumentLines(std::string content) {
  // Each line moves down to the end of the ones before it, below the part
  // still to be read.
  std::size_t kept = 0;
  ForEachLine(content, [&](std::size_t start, std::size_t end) {
    std::copy(content.begin() + static_cast<std::ptrdiff_t>(start),
              content.begin() + static_cast<std::ptrdiff_t>(end),
              content.begin() + static_cast<std::ptrdiff_t>(kept));
    kept += end - start;
  });
  content.resize(kept);
  return content;
}

}  // namespace scrivlet
