// agent.ini as any bytes, read by the real start-up sequence. The session
// must end up exactly as a plain reading of the file's rules says: the last
// value of each key, a proxy for any ProxyHost line, the no-proxy list of
// the last non-empty noProxy value, and a clear, bounded message (ending the
// program) for the first nonsslauth value that is not a number.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "document/document_writer.h"
#include "fuzz_support.h"
#include "session/recording_session.h"
#include "session/window_layout.h"

namespace scrivlet::fuzz {
namespace {

constexpr char kWorkingDirectory[] = "/agent/work";

// Lines end at LF; a CR just before the LF goes with it.
std::vector<std::string> ReferenceLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (char byte : bytes) {
    if (byte == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
      open = false;
    } else {
      line += byte;
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

struct Expected {
  std::string mgmt_server_url, proxy_port, proxy_server;
  bool use_proxy = false;
  bool non_ssl_auth = false;
  std::vector<std::string> no_proxy_list{""};
  bool bad_number = false;
  std::string bad_value;
};

// nullopt for a value that is not a decimal number (blanks around it, a
// sign, digits with at most one point, at least one digit), else whether it
// equals 1.
std::optional<bool> ReferenceEqualsOne(const std::string& value) {
  const std::size_t first = value.find_first_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  const std::size_t last = value.find_last_not_of(" \t");
  std::string number = value.substr(first, last + 1 - first);
  bool negative = false;
  if (number[0] == '+' || number[0] == '-') {
    negative = number[0] == '-';
    number.erase(0, 1);
  }
  const std::size_t point = number.find('.');
  std::string integer = number.substr(0, point);
  std::string fraction =
      point == std::string::npos ? "" : number.substr(point + 1);
  const auto digits_only = [](const std::string& text) {
    return text.find_first_not_of("0123456789") == std::string::npos;
  };
  if (!digits_only(integer) || !digits_only(fraction) ||
      integer.size() + fraction.size() == 0) {
    return std::nullopt;
  }
  const std::size_t significant = integer.find_first_not_of('0');
  integer.erase(
      0, significant == std::string::npos ? integer.size() : significant);
  const bool fraction_zero =
      fraction.find_first_not_of('0') == std::string::npos;
  const bool one = !negative && integer == "1" && fraction_zero;
  // Short numbers are exact in a double: the C library must agree.
  if (number.size() <= 15) {
    FUZZ_CHECK(one == (std::strtod(value.c_str(), nullptr) == 1.0),
               value.c_str());
  }
  return one;
}

Expected Read(const std::string& bytes) {
  Expected expected;
  for (const std::string& line : ReferenceLines(bytes)) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "nonsslauth") {
      const std::optional<bool> one = ReferenceEqualsOne(value);
      if (!one) {
        expected.bad_number = true;
        expected.bad_value = value;
        return expected;
      }
      expected.non_ssl_auth = expected.non_ssl_auth || *one;
    } else if (key == "dbmgmtsrvurl") {
      expected.mgmt_server_url = value;
    } else if (key == "ProxyPort") {
      expected.proxy_port = value;
    } else if (key == "ProxyHost") {
      expected.use_proxy = true;
      expected.proxy_server = value;
    } else if (key == "noProxy" && !value.empty()) {
      expected.no_proxy_list.clear();
      std::string rest = value;
      for (std::size_t at; (at = rest.find(", ")) != std::string::npos;) {
        expected.no_proxy_list.push_back(rest.substr(0, at));
        rest.erase(0, at + 2);
      }
      expected.no_proxy_list.push_back(rest);
    }
  }
  return expected;
}

}  // namespace
}  // namespace scrivlet::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace scrivlet;
  using namespace scrivlet::fuzz;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(PosixFileSystem::SplitLines(bytes) == ReferenceLines(bytes),
             "lines");

  MemoryFileSystem files;
  const std::string work = kWorkingDirectory;
  files.files[work + "/../../configuration/agent.ini"] = bytes;
  files.files[work + "/transName.txt"] = "transactionName=T\nuuid=U\n";
  StartedSession started(files, work);
  const SessionState& state = started.session.state();
  const Expected expected = Read(bytes);

  FUZZ_CHECK(state.mgmtServerUrl == expected.mgmt_server_url, "dbmgmtsrvurl");
  FUZZ_CHECK(state.ProxyPort == expected.proxy_port, "ProxyPort");
  FUZZ_CHECK(state.ProxyServer == expected.proxy_server, "ProxyHost");
  FUZZ_CHECK(state.useProxy == expected.use_proxy, "useProxy");
  FUZZ_CHECK(state.nonSslAuth == expected.non_ssl_auth, "nonsslauth");
  FUZZ_CHECK(state.noProxyList == expected.no_proxy_list, "noProxy");

  if (expected.bad_number) {
    // One message, naming the key, showing at most 64 bytes of the value
    // as clean text, then the end; nothing is written.
    FUZZ_CHECK(started.view.messages.size() == 1, "one message");
    const std::string& message = started.view.messages[0].prompt;
    const std::string head = "agent.ini: the value \"";
    const std::string tail =
        "\" of the key nonsslauth is not a number. Application closing!";
    FUZZ_CHECK(message.compare(0, head.size(), head) == 0, message.c_str());
    FUZZ_CHECK(message.size() >= head.size() + tail.size() &&
                   message.compare(message.size() - tail.size(), tail.size(),
                                   tail) == 0,
               message.c_str());
    const std::string shown =
        message.substr(head.size(), message.size() - head.size() - tail.size());
    FUZZ_CHECK(IsCleanText(shown), "message is clean UTF-8");
    FUZZ_CHECK(shown.size() <= 64 * 3 + 3, "message is bounded");
    if (IsCleanText(expected.bad_value) && expected.bad_value.size() <= 64) {
      FUZZ_CHECK(shown == expected.bad_value, "short clean values stand whole");
    }
    FUZZ_CHECK(started.view.end_status == 1, "ends");
    FUZZ_CHECK(files.files.count(work + "/trans.xml") == 0, "no document");
    FUZZ_CHECK(started.proxy.calls.empty(), "no proxy");
    FUZZ_CHECK(started.browser.navigations.empty(), "no navigation");
    return 0;
  }
  FUZZ_CHECK(started.view.messages.empty(), "no message");
  FUZZ_CHECK(!started.view.end_status, "goes on");
  std::vector<std::string> applied;
  for (const auto& call : started.proxy.calls) {
    applied.push_back(call[1] + " " + call[2]);  // server and port
  }
  FUZZ_CHECK(applied ==
                 (expected.use_proxy
                      ? std::vector<std::string>{expected.proxy_server + " " +
                                                 expected.proxy_port}
                      : std::vector<std::string>{}),
             "proxy applied once when configured");
  FUZZ_CHECK(files.files[work + "/trans.xml"] ==
                 std::string(kDocumentStartLine) + kLineEnd,
             "document started");
  FUZZ_CHECK(started.browser.navigations.size() == 1, "intro page");
  FUZZ_CHECK(state.transactionName == "T" && state.transactionUuid == "U",
             "name file");
  return 0;
}
