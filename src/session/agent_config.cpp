#include "session/agent_config.h"

#include <cstddef>
#include <vector>

#include "document/xml_escaping.h"

namespace scrivlet {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Splits at every ", ", keeping empty pieces.
std::vector<std::string> SplitNoProxy(const std::string& value) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (std::size_t at = value.find(", "); at != std::string::npos;
       at = value.find(", ", start)) {
    items.push_back(value.substr(start, at - start));
    start = at + 2;
  }
  items.push_back(value.substr(start));
  return items;
}

// A value as it can stand in a message: at most kShownValueBytes bytes, cut
// before a UTF-8 sequence, then "...", and valid UTF-8 without control
// characters other than tab and line breaks, whatever bytes the file held (a 10 MB line of garbage must
// not become a 10 MB message box).
constexpr std::size_t kShownValueBytes = 64;
std::string ShownValue(const std::string& value) {
  if (value.size() <= kShownValueBytes) return SanitizeXmlBytes(value);
  std::size_t cut = kShownValueBytes;
  while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  return SanitizeXmlBytes(value.substr(0, cut)) + "...";
}

}  // namespace

std::optional<bool> DecimalEqualsOne(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  bool negative = false;
  if (begin < end && (text[begin] == '+' || text[begin] == '-')) {
    negative = text[begin] == '-';
    ++begin;
  }
  std::string integer_digits;
  while (begin < end && IsDigit(text[begin])) integer_digits += text[begin++];
  std::string fraction_digits;
  if (begin < end && text[begin] == '.') {
    ++begin;
    while (begin < end && IsDigit(text[begin])) fraction_digits += text[begin++];
  }
  if (begin != end || (integer_digits.empty() && fraction_digits.empty())) {
    return std::nullopt;
  }
  const std::size_t first_nonzero = integer_digits.find_first_not_of('0');
  const bool integer_is_one =
      first_nonzero != std::string::npos &&
      integer_digits.compare(first_nonzero, std::string::npos, "1") == 0;
  const bool fraction_is_zero =
      fraction_digits.find_first_not_of('0') == std::string::npos;
  return !negative && integer_is_one && fraction_is_zero;
}

void ApplyAgentConfigLine(SessionState& state, const std::string& line) {
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return;
  const std::string key = line.substr(0, equals);
  const std::string value = line.substr(equals + 1);
  if (key == "nonsslauth") {
    const std::optional<bool> is_one = DecimalEqualsOne(value);
    if (!is_one) {
      throw AgentConfigError("agent.ini: the value \"" + ShownValue(value) +
                             "\" of the key nonsslauth is not a number.");
    }
    if (*is_one) state.nonSslAuth = true;
  } else if (key == "dbmgmtsrvurl") {
    state.mgmtServerUrl = value;
  } else if (key == "ProxyPort") {
    state.ProxyPort = value;
  } else if (key == "ProxyHost") {
    state.useProxy = true;
    state.ProxyServer = value;
  } else if (key == "noProxy") {
    if (!value.empty()) state.noProxyList = SplitNoProxy(value);
  }
}

}  // namespace scrivlet
