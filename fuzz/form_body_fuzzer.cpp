// The form body serialiser over any entries, encoding and Content-Type.
// A UTF-8 form's body holds only well-formed UTF-8 where it holds text, and
// gives back each entry as the stand-in server decodes it: a URL-encoded
// body one pair per entry, with line breaks as CR LF; a text/plain body one
// line per entry; a multipart body a part per entry, a file's bytes
// exactly. A legacy encoding that keeps ASCII as it is serialises ASCII
// entries as UTF-8 does.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "platform/form_body.h"
#include "stand_in_server/form_decoding.h"

namespace scrivlet::fuzz {
namespace {

// Encodings that spell ASCII as ASCII, and one iconv does not know.
constexpr const char* kCharsets[] = {
    "UTF-8",       "utf-16le", "windows-1252", "ISO-8859-2", "shift_jis",
    "euc-kr",      "big5",     "gb18030",      "koi8-r",     "macintosh",
    "x-no-such-encoding"};

std::string CrLfLineBreaks(const std::string& text) {
  std::string out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r' || text[at] == '\n') {
      out += "\r\n";
      if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
        ++at;
      }
    } else {
      out += text[at];
    }
  }
  return out;
}

bool IsWellFormedUtf8(const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = WellFormedLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

bool IsAscii(const std::string& text) {
  for (char byte : text) {
    if (static_cast<unsigned char>(byte) >= 0x80) return false;
  }
  return true;
}

// The text an entry contributes to a URL-encoded or text/plain body.
std::string EntryText(const FormEntry& entry) {
  return entry.is_file ? entry.filename : entry.value;
}

void CheckUtf8Body(const std::string& content_type,
                   const std::vector<FormEntry>& entries,
                   const std::string& body, bool valid_input) {
  if (content_type == "application/x-www-form-urlencoded") {
    const stand_in::FormFields fields = stand_in::DecodeUrlEncodedForm(body);
    FUZZ_CHECK(fields.size() == entries.size(), "a pair per entry");
    for (std::size_t i = 0; i < fields.size(); ++i) {
      FUZZ_CHECK(IsWellFormedUtf8(fields[i].first), "name is UTF-8");
      FUZZ_CHECK(IsWellFormedUtf8(fields[i].second), "value is UTF-8");
      if (!valid_input) continue;
      FUZZ_CHECK(fields[i].first == CrLfLineBreaks(entries[i].name), "name");
      FUZZ_CHECK(fields[i].second == CrLfLineBreaks(EntryText(entries[i])),
                 "value");
    }
  } else if (content_type == "text/plain") {
    FUZZ_CHECK(IsWellFormedUtf8(body), "text/plain is UTF-8");
    if (!valid_input) return;
    std::string expected;
    for (const FormEntry& entry : entries) {
      expected += CrLfLineBreaks(entry.name) + "=" +
                  CrLfLineBreaks(EntryText(entry)) + "\r\n";
    }
    FUZZ_CHECK(body == expected, "a line per entry");
  }
}

// Each part in order, a file's bytes exactly, the closing delimiter last.
// The parts are found by their delimiters, so only where no text holds the
// boundary; the body's end is checked always.
void CheckMultipartBody(const std::string& boundary,
                        const std::vector<FormEntry>& entries,
                        const std::string& body) {
  const std::string closing = "--" + boundary + "--\r\n";
  FUZZ_CHECK(body.ends_with(closing), "the closing delimiter ends the body");
  bool findable = !boundary.empty() && IsAscii(boundary) &&
                  boundary.find_first_of("\r\n") == std::string::npos;
  for (const FormEntry& entry : entries) {
    for (const std::string* text : {&entry.name, &entry.value, &entry.filename}) {
      if (!entry.is_file && text == &entry.filename) continue;
      if (entry.is_file && text == &entry.value) continue;
      findable = findable && text->find(boundary) == std::string::npos;
    }
  }
  if (!findable) return;
  std::size_t at = 0;
  for (const FormEntry& entry : entries) {
    const std::string delimiter = "--" + boundary + "\r\n";
    FUZZ_CHECK(body.compare(at, delimiter.size(), delimiter) == 0,
               "each part starts with the delimiter");
    const std::size_t content = body.find("\r\n\r\n", at);
    FUZZ_CHECK(content != std::string::npos, "part headers end");
    at = content + 4;
    if (entry.is_file) {
      FUZZ_CHECK(body.compare(at, entry.value.size(), entry.value) == 0,
                 "a file's bytes exactly");
      at += entry.value.size();
    }
    at = body.find("\r\n--" + boundary, at);
    FUZZ_CHECK(at != std::string::npos, "part ends");
    at += 2;
  }
  FUZZ_CHECK(body.substr(at) == closing, "no part but the entries'");
}

}  // namespace
}  // namespace scrivlet::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace scrivlet;
  using namespace scrivlet::fuzz;
  FuzzedDataProvider provider(data, size);
  const std::string boundary = provider.ConsumeRandomLengthString(24);
  const std::string content_types[] = {
      "application/x-www-form-urlencoded", "text/plain",
      "multipart/form-data; boundary=" + boundary};
  const std::string& content_type =
      content_types[provider.ConsumeIntegralInRange<std::size_t>(0, 2)];
  const std::string charset = kCharsets[provider.ConsumeIntegralInRange<
      std::size_t>(0, std::size(kCharsets) - 1)];
  std::vector<FormEntry> entries(provider.ConsumeIntegralInRange(0, 6));
  bool valid_input = true;
  bool ascii_input = true;
  for (FormEntry& entry : entries) {
    entry.is_file = provider.ConsumeBool();
    entry.name = provider.ConsumeRandomLengthString(32);
    entry.value = provider.ConsumeRandomLengthString(64);
    entry.filename = provider.ConsumeRandomLengthString(32);
    // The engine hands over a file's type as printable ASCII only.
    for (char byte : provider.ConsumeRandomLengthString(16)) {
      if (byte >= 0x20 && byte < 0x7F) entry.content_type += byte;
    }
    for (const std::string* text : {&entry.name, &entry.filename}) {
      valid_input = valid_input && IsWellFormedUtf8(*text);
      ascii_input = ascii_input && IsAscii(*text);
    }
    if (!entry.is_file) {
      valid_input = valid_input && IsWellFormedUtf8(entry.value);
      ascii_input = ascii_input && IsAscii(entry.value);
    }
  }

  const std::string body = SerializeFormBody(content_type, entries, charset);
  if (content_type.starts_with("multipart/")) {
    const std::string parsed_boundary = MultipartBoundary(content_type);
    FUZZ_CHECK(boundary.find_first_of("; \t\"") != std::string::npos ||
                   parsed_boundary == boundary,
               "the boundary as given");
    CheckMultipartBody(parsed_boundary, entries, body);
  }
  const std::string utf8_body =
      SerializeFormBody(content_type, entries, "UTF-8");
  if (charset == "UTF-8") {
    CheckUtf8Body(content_type, entries, body, valid_input);
  } else if (ascii_input) {
    FUZZ_CHECK(body == utf8_body, "ASCII as in UTF-8");
  }
  return 0;
}
