#include "replay/replay_report.h"

#include <glib.h>

#include <cstdio>

#include "document/utf8.h"
#include "replay/verdict.h"

namespace scrivlet::replay {
namespace {

// Values longer than this are shortened in the table.
constexpr std::size_t kShownValueLength = 16;

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : ValidUtf8(text)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x",
                        static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string StatusText(const StepResult& result) {
  return result.status ? std::to_string(*result.status) : "none";
}

std::string ShortenedValue(const std::string& value) {
  const std::string text = ValidUtf8(value);
  if (g_utf8_strlen(text.c_str(), -1) <= static_cast<glong>(kShownValueLength)) {
    return text;
  }
  const char* cut = g_utf8_offset_to_pointer(
      text.c_str(), static_cast<glong>(kShownValueLength - 1));
  return std::string(text.c_str(), cut) + "…";
}

}  // namespace

std::string SessionBoundText(const SessionBoundValue& value) {
  return "session-bound " + ValidUtf8(value.name) + ": recorded \"" +
         ShortenedValue(value.recorded) + "\", served \"" +
         ShortenedValue(value.served) + "\"";
}

std::string TableHeading() {
  return "STEP METHOD STATUS VERDICT ADDRESS  SESSION-BOUND\n";
}

std::string TableRows(const StepResult& result) {
  char row[64];
  std::snprintf(row, sizeof row, "%4zu %-6s %6s %-7s ", result.index + 1,
                result.method.c_str(), StatusText(result).c_str(),
                VerdictName(StepVerdict(result.status, result.error)));
  std::string out = row + ValidUtf8(result.url);
  std::string names;
  for (const SessionBoundValue& value : result.session_bound) {
    names += (names.empty() ? "" : ", ") + ValidUtf8(value.name);
  }
  if (!names.empty()) out += "  " + names;
  out += "\n";
  const std::string indent(5, ' ');
  for (const SessionBoundValue& value : result.session_bound) {
    out += indent + SessionBoundText(value) + "\n";
  }
  if (result.location) {
    out += indent + "redirected to " + ValidUtf8(*result.location) + "\n";
  }
  if (!result.error.empty()) {
    out += indent + (result.status ? "" : "no answer: ") +
           ValidUtf8(result.error) + "\n";
  }
  for (const std::string& note : result.notes) {
    out += indent + ValidUtf8(note) + "\n";
  }
  return out;
}

std::string JsonLine(const StepResult& result) {
  std::string out = "{\"step\":" + std::to_string(result.index + 1) +
                    ",\"method\":" + JsonString(result.method) +
                    ",\"url\":" + JsonString(result.url) + ",\"status\":" +
                    (result.status ? std::to_string(*result.status) : "null") +
                    ",\"location\":" +
                    (result.location ? JsonString(*result.location) : "null") +
                    ",\"verdict\":" +
                    JsonString(VerdictName(StepVerdict(result.status, result.error))) +
                    ",\"session_bound\":[";
  bool first = true;
  for (const SessionBoundValue& value : result.session_bound) {
    out += std::string(first ? "" : ",") + "{\"name\":" +
           JsonString(value.name) + ",\"recorded\":" +
           JsonString(value.recorded) + ",\"served\":" +
           JsonString(value.served) + "}";
    first = false;
  }
  return out + "],\"error\":" +
         (result.error.empty() ? "null" : JsonString(result.error)) +
         ",\"ms\":" + std::to_string(result.ms) + "}\n";
}

}  // namespace scrivlet::replay
