#include "platform/form_body.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "document/utf8.h"

namespace scrivlet {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return Lower(text.substr(0, prefix.size())) == prefix;
}

// The engine submits UTF-16 and UTF-32 pages, and pages in the
// "replacement" encoding, as UTF-8.
bool IsUtf8ForForms(const std::string& lower) {
  return lower.empty() || lower == "utf-8" || lower == "utf8" ||
         lower.starts_with("utf-16") || lower.starts_with("utf-32") ||
         lower == "replacement" || lower == "x-user-defined";
}

// iconv's name for a WHATWG encoding name where the two differ or where
// iconv's namesake encodes differently from browsers.
std::string IconvName(const std::string& lower) {
  static const struct {
    const char* whatwg;
    const char* iconv;
  } kNames[] = {
      {"shift_jis", "CP932"},
      {"euc-kr", "CP949"},
      {"big5", "BIG5-HKSCS"},
      {"x-mac-cyrillic", "MAC-CYRILLIC"},
      {"macintosh", "MACINTOSH"},
      {"iso-8859-8-i", "ISO-8859-8"},
      {"windows-874", "CP874"},
      {"ibm866", "IBM866"},
      {"gbk", "GBK"},
      {"gb18030", "GB18030"},
  };
  for (const auto& name : kNames) {
    if (lower == name.whatwg) return name.iconv;
  }
  return lower;
}

// Decodes one code point at `pos` and advances; malformed bytes give
// U+FFFD, one for each byte, as the engine's own conversion does. An
// overlong form or a code point beyond U+10FFFF is malformed too: decoded,
// it would turn into bytes that are not UTF-8 at all.
char32_t NextCodePoint(const std::string& text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  const unsigned char lead = byte(pos);
  int length = 0;
  char32_t code = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code = lead & 0x07;
  } else {
    ++pos;
    return 0xFFFD;
  }
  if (pos + length > text.size()) {
    ++pos;
    return 0xFFFD;
  }
  for (int i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) {
      ++pos;
      return 0xFFFD;
    }
    code = (code << 6) | (byte(pos + i) & 0x3F);
  }
  constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kShortest[length] || code > 0x10FFFF) {
    ++pos;
    return 0xFFFD;
  }
  pos += length;
  return code;
}

// Owns an iconv descriptor.
class Converter {
 public:
  explicit Converter(const std::string& to)
      : cd_(iconv_open(to.c_str(), "UTF-8")) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // False when the character has no representation in the target.
  bool Convert(const std::string& character, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string input = character;
    char buffer[16];
    char* in_ptr = input.data();
    std::size_t in_left = input.size();
    char* out_ptr = buffer;
    std::size_t out_left = sizeof buffer;
    if (iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left) ==
        static_cast<std::size_t>(-1)) {
      return false;
    }
    // Stateful encodings return to their initial state after each
    // character.
    iconv(cd_, nullptr, nullptr, &out_ptr, &out_left);
    out.append(buffer, static_cast<std::size_t>(out_ptr - buffer));
    return true;
  }

 private:
  iconv_t cd_;
};

// CR not followed by LF and LF not preceded by CR both become CR LF.
std::string NormalizeNewlines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string UrlEncodeBytes(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (std::isalnum(c) || c == '*' || c == '-' || c == '.' || c == '_') {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

// Names and file names inside a multipart header's quoted strings.
std::string EscapeMultipartQuoted(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "%0A";
    } else if (c == '\r') {
      out += "%0D";
    } else if (c == '"') {
      out += "%22";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string EncodeForForm(const std::string& text, const std::string& charset) {
  const std::string lower = Lower(charset);
  const bool utf8 = IsUtf8ForForms(lower);
  Converter converter(utf8 ? std::string("UTF-8") : IconvName(lower));
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t code = NextCodePoint(text, pos);
    if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
    std::string character;
    AppendUtf8(character, code);
    if (utf8 || !converter.ok()) {
      out += character;
    } else if (!converter.Convert(character, out)) {
      out += "&#" + std::to_string(static_cast<std::uint32_t>(code)) + ";";
    }
  }
  return out;
}

std::string MultipartBoundary(const std::string& content_type) {
  const std::string lower = Lower(content_type);
  std::size_t pos = lower.find("boundary=");
  while (pos != std::string::npos && pos > 0 && lower[pos - 1] != ';' &&
         lower[pos - 1] != ' ' && lower[pos - 1] != '\t') {
    pos = lower.find("boundary=", pos + 1);
  }
  if (pos == std::string::npos) return "";
  std::string value = content_type.substr(pos + 9);
  if (!value.empty() && value[0] == '"') {
    const std::size_t end = value.find('"', 1);
    return value.substr(1, end == std::string::npos ? end : end - 1);
  }
  const std::size_t end = value.find_first_of("; \t");
  return value.substr(0, end);
}

std::string SerializeFormBody(const std::string& content_type,
                              const std::vector<FormEntry>& entries,
                              const std::string& charset) {
  std::string body;
  const auto encode = [&](const std::string& text) {
    return EncodeForForm(text, charset);
  };
  if (StartsWithNoCase(content_type, "multipart/form-data")) {
    const std::string boundary = MultipartBoundary(content_type);
    for (const FormEntry& entry : entries) {
      body += "--" + boundary + "\r\n";
      body += "Content-Disposition: form-data; name=\"" +
              EscapeMultipartQuoted(encode(NormalizeNewlines(entry.name))) +
              "\"";
      if (entry.is_file) {
        body += "; filename=\"" +
                EscapeMultipartQuoted(encode(entry.filename)) + "\"\r\n";
        body +=
            "Content-Type: " + (entry.content_type.empty()
                                    ? std::string("application/octet-stream")
                                    : entry.content_type);
        body += "\r\n\r\n" + entry.value;
      } else {
        body += "\r\n\r\n" + encode(NormalizeNewlines(entry.value));
      }
      body += "\r\n";
    }
    body += "--" + boundary + "--\r\n";
    return body;
  }
  const bool text_plain = StartsWithNoCase(content_type, "text/plain");
  for (const FormEntry& entry : entries) {
    const std::string name = encode(NormalizeNewlines(entry.name));
    const std::string value =
        encode(NormalizeNewlines(entry.is_file ? entry.filename : entry.value));
    if (text_plain) {
      body += name + "=" + value + "\r\n";
    } else {
      if (!body.empty()) body += '&';
      body += UrlEncodeBytes(name) + "=" + UrlEncodeBytes(value);
    }
  }
  return body;
}

}  // namespace scrivlet
