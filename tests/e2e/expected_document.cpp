#include "expected_document.h"

#include <stdexcept>

#include "support/reference_document.h"
#include "test_web_server.h"

namespace scrivlet::e2e {
namespace {

const char kAcceptLine[] =
    "<HL>Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/vnd.ms-powerpoint, application/vnd.ms-excel, "
    "application/msword, */*</HL>\r\n";
const char kUserAgentLine[] =
    "<HL>User-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; "
    "CNETHomeBuild03171999; DigExt)</HL>\r\n";

struct UrlParts {
  std::string host;
  std::string base;
};

UrlParts Split(const std::string& url) {
  auto scheme_end = url.find("://");
  if (scheme_end == std::string::npos) {
    throw std::invalid_argument("not an absolute URL: " + url);
  }
  auto host_end = url.find('/', scheme_end + 3);
  UrlParts parts;
  parts.host = url.substr(scheme_end + 3, host_end == std::string::npos
                                              ? std::string::npos
                                              : host_end - scheme_end - 3);
  parts.base = url.substr(0, scheme_end) + "://" + parts.host;
  return parts;
}

// In one pass: bodies of megabytes hold many thousands of line breaks.
std::string ReplaceAll(const std::string& text, const std::string& from,
                       const std::string& to) {
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  for (size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, start)) {
    out.append(text, start, at - start);
    out += to;
    start = at + from.size();
  }
  out.append(text, start, std::string::npos);
  return out;
}

std::string CredentialText(const CredentialLines& credentials) {
  std::string lines;
  if (!credentials.authorization.empty()) {
    lines += "<HL>Authorization: Basic " + credentials.authorization +
             "</HL>\r\n";
  }
  if (!credentials.proxy_authorization.empty()) {
    lines += "<HL>Proxy-Authorization: Basic " +
             credentials.proxy_authorization + "</HL>\r\n";
  }
  return lines;
}

std::string NavigationElement(const std::string& url, const char* method,
                              const std::string& extra_headers,
                              const std::string* body,
                              const CredentialLines& credentials) {
  UrlParts parts = Split(url);
  std::string element = "<REQUEST><REQUEST-LINE NAME='STATIC'>\r\n";
  element += std::string("<METHOD>") + method + "</METHOD><URI>" +
             EscapedUri(url) + "</URI><PROT-VER>HTTP/1.1</PROT-VER>\r\n";
  element += "</REQUEST-LINE>\r\n";
  element += "<HEADERS>\r\n";
  element += "<HL>Host: " + parts.host + "</HL>\r\n";
  element += kAcceptLine;
  if (!extra_headers.empty()) {
    element += "<HL>" + EscapedText(extra_headers) + "</HL>\r\n";
  }
  element += CredentialText(credentials);
  element += kUserAgentLine;
  element += "<HL>Referer: " + parts.base + "</HL>\r\n";
  element += "</HEADERS>\r\n";
  if (body != nullptr) {
    element += "<CONTENT>\r\n";
    for (std::string piece : testing::SplitBody(*body)) {
      // A piece's own line breaks go as references: it stays on one line.
      piece = ReplaceAll(ReplaceAll(EscapedText(piece), "\r", "&#13;"), "\n",
                         "&#10;");
      element += "<W3C_ENC>" + piece + "</W3C_ENC>\r\n";
    }
    element += "</CONTENT>\r\n";
  }
  element += "</REQUEST>\r\n";
  return element;
}

}  // namespace

std::string EscapedText(std::string text) {
  text = ReplaceAll(text, "&", "&amp;");
  text = ReplaceAll(text, "<", "&lt;");
  text = ReplaceAll(text, ">", "&gt;");
  return ReplaceAll(text, "\"", "&quot;");
}

std::string EscapedUri(const std::string& url) {
  return EscapedText(url.substr(Split(url).base.size()));
}

std::string ExpectedGet(const std::string& url,
                        const CredentialLines& credentials) {
  return NavigationElement(url, "GET", "", nullptr, credentials);
}

std::string ExpectedPost(const std::string& url, const std::string& body,
                         const std::string& content_type,
                         const CredentialLines& credentials) {
  return NavigationElement(url, "POST", "Content-Type: " + content_type + "\r\n",
                           &body, credentials);
}

std::string ExpectedCompletion(const std::string& url,
                               const CredentialLines& credentials) {
  UrlParts parts = Split(url);
  std::string element = "<REQUEST><REQUEST-LINE NAME='STATIC'>\r\n";
  element += "<METHOD>GET</METHOD><URI>" + EscapedUri(url) +
             "</URI><PROT-VER>HTTP/1.1</PROT-VER>\r\n";
  element += "<HEADERS>\r\n";
  element += "<HL>Host: " + parts.host + "</HL>\r\n";
  element += kAcceptLine;
  element += CredentialText(credentials);
  element += kUserAgentLine;
  element += "<HL>Referer: " + parts.base + "</HL>\r\n";
  element += "</HEADERS>\r\n";
  element += "</REQUEST-LINE></REQUEST>\r\n";
  return element;
}

std::string JoinedLines(const std::string& document) {
  return ReplaceAll(document, "\r\n", "");
}

std::string Base64(const std::string& text) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < text.size(); i += 3) {
    unsigned x = static_cast<unsigned char>(text[i]);
    unsigned y = static_cast<unsigned char>(text[i + 1]);
    unsigned z = static_cast<unsigned char>(text[i + 2]);
    out += kAlphabet[x >> 2];
    out += kAlphabet[((x & 3) << 4) | (y >> 4)];
    out += kAlphabet[((y & 15) << 2) | (z >> 6)];
    out += kAlphabet[z & 63];
  }
  if (text.size() - i == 2) {
    unsigned x = static_cast<unsigned char>(text[i]);
    unsigned y = static_cast<unsigned char>(text[i + 1]);
    out += kAlphabet[x >> 2];
    out += kAlphabet[((x & 3) << 4) | (y >> 4)];
    out += kAlphabet[(y & 15) << 2];
    out += '=';
  } else if (text.size() - i == 1) {
    unsigned x = static_cast<unsigned char>(text[i]);
    out += kAlphabet[x >> 2];
    out += kAlphabet[(x & 3) << 4];
    out += "==";
  }
  return out;
}

}  // namespace scrivlet::e2e
