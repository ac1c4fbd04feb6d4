#ifndef SCRIVLET_FUZZ_FUZZ_SUPPORT_H_
#define SCRIVLET_FUZZ_FUZZ_SUPPORT_H_

// Shared by the fuzz targets: an in-memory file layer, the shared fakes for
// the browser, the window and the proxy, and reference rules written apart
// from the program's own code, to check its results against.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix_file_system.h"
#include "session/file_system.h"
#include "session/recording_session.h"
#include "session/window_layout.h"
#include "support/fakes.h"

namespace scrivlet::fuzz {

// A failed check: libFuzzer records the input that caused it.
#define FUZZ_CHECK(condition, what)                                      \
  do {                                                                   \
    if (!(condition)) {                                                  \
      std::fprintf(stderr, "check failed at %s:%d: %s (%s)\n", __FILE__, \
                   __LINE__, #condition, what);                          \
      std::abort();                                                      \
    }                                                                    \
  } while (false)

// Files held in memory; lines are split exactly as the real layer splits
// them.
class MemoryFileSystem : public FileSystem {
 public:
  bool FileExists(const std::string& path) override {
    return files.count(path) != 0;
  }
  void DeleteFile(const std::string& path) override {
    if (files.erase(path) == 0) throw FileError(path, "No such file");
  }
  std::vector<std::string> ReadLines(const std::string& path) override {
    const auto found = files.find(path);
    if (found == files.end()) throw FileError(path, "No such file");
    return PosixFileSystem::SplitLines(found->second);
  }
  std::string ReadText(const std::string& path) override {
    const auto found = files.find(path);
    if (found == files.end()) throw FileError(path, "No such file");
    return found->second;
  }
  std::string ReadTextUpTo(const std::string& path,
                           std::uint64_t max_size) override {
    std::string text = ReadText(path);
    if (text.size() > max_size) throw FileError(path, "File too large");
    return text;
  }
  void CreateTextFile(const std::string& path,
                      const std::string& text) override {
    files[path] = text;
  }
  void AppendText(const std::string& path, const std::string& text) override {
    files[path] += text;
  }
  void ReplaceFile(const std::string& path, const std::string& text) override {
    files[path] = text;
  }
  void TruncateFile(const std::string& path, std::uint64_t size) override {
    const auto found = files.find(path);
    if (found == files.end()) throw FileError(path, "No such file");
    found->second.resize(static_cast<std::size_t>(size));
  }
  void MakeOwnerOnly(const std::string& path) override {
    if (files.count(path) == 0) throw FileError(path, "No such file");
  }
  std::map<std::string, std::string> files;
};

// The session's browser, window and proxy, recording what they are asked.
using testing::FakeBrowser;
using testing::FakeProxy;
using testing::FakeView;

// A session on `files` with the fakes, started by Form_Load as the program
// starts it.
struct StartedSession {
  StartedSession(FileSystem& files, const std::string& working_directory)
      : session(files, browser, view, proxy, working_directory) {
    session.Form_Load(InitialGeometry{});
  }
  FakeBrowser browser;
  FakeView view;
  FakeProxy proxy;
  RecordingSession session;
};

// Length of the well-formed UTF-8 sequence at `at` by the byte ranges of
// the Unicode standard's table of well-formed sequences, or 0.
inline std::size_t WellFormedLength(const std::string& text, std::size_t at) {
  auto in = [&](std::size_t offset, unsigned low, unsigned high) {
    if (at + offset >= text.size()) return false;
    const auto byte = static_cast<unsigned char>(text[at + offset]);
    return byte >= low && byte <= high;
  };
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead <= 0x7F) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return in(1, 0x80, 0xBF) ? 2 : 0;
  if (lead == 0xE0) return in(1, 0xA0, 0xBF) && in(2, 0x80, 0xBF) ? 3 : 0;
  if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) {
    return in(1, 0x80, 0xBF) && in(2, 0x80, 0xBF) ? 3 : 0;
  }
  if (lead == 0xED) return in(1, 0x80, 0x9F) && in(2, 0x80, 0xBF) ? 3 : 0;
  if (lead == 0xF0) {
    return in(1, 0x90, 0xBF) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF) ? 4 : 0;
  }
  if (lead >= 0xF1 && lead <= 0xF3) {
    return in(1, 0x80, 0xBF) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF) ? 4 : 0;
  }
  if (lead == 0xF4) {
    return in(1, 0x80, 0x8F) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

// The writer's rule for bytes XML cannot carry: each byte that does not
// start an acceptable character becomes U+FFFD. Acceptable: well-formed
// UTF-8 except C0 controls other than TAB, LF and CR, and U+FFFE, U+FFFF.
inline std::string ReplaceBadBytes(const std::string& text) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t length = WellFormedLength(text, at);
    const auto lead = static_cast<unsigned char>(text[at]);
    if (length == 1 && lead < 0x20 && lead != '\t' && lead != '\n' &&
        lead != '\r') {
      length = 0;
    }
    if (length == 3 && text.compare(at, 3, "\xEF\xBF\xBE") == 0) length = 0;
    if (length == 3 && text.compare(at, 3, "\xEF\xBF\xBF") == 0) length = 0;
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

inline bool IsCleanText(const std::string& text) {
  return ReplaceBadBytes(text) == text;
}

}  // namespace scrivlet::fuzz

#endif  // SCRIVLET_FUZZ_FUZZ_SUPPORT_H_
