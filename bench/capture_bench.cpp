// The capture path with its real append to trans.xml, against the floor of
// appending the same bytes with a bare open, write and close.
//
// Each benchmark works on a document of a set size (128 kB, 1 MB, 10 MB; a
// 5 MB multipart element goes onto 50 MB), made before the timing starts
// and cut back to that size every kCutEvery appends with the timer paused,
// the floor identically. An append's cost must not depend on the size.
//
// scripts/bench runs this with interleaved repetitions and divides each
// handler's time by its floor's time of the same repetition.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "document/document_writer.h"
#include "platform/posix_file_system.h"
#include "session/recording_session.h"
#include "support/fakes.h"

namespace scrivlet {
namespace {

// Appends between two cuts back to the document's size.
constexpr int kCutEvery = 256;

struct DocumentSize {
  const char* name;
  std::size_t bytes;
};
constexpr DocumentSize kDocumentSizes[] = {
    {"128k", 128 * 1024}, {"1m", 1024 * 1024}, {"10m", 10 * 1024 * 1024}};
constexpr std::size_t kMultipartFileBytes = 5 * 1024 * 1024;
constexpr std::size_t kMultipartDocumentBytes = 50 * 1024 * 1024;

using testing::kMainView;
constexpr char kGetUrl[] =
    "http://127.0.0.1:8080/shop/catalogue/item.jsp?id=4711&lang=en&view=full";
constexpr char kPostUrl[] = "http://127.0.0.1:8080/shop/checkout/confirm.do";
constexpr char kRedirectUrl[] =
    "http://127.0.0.1:8080/shop/checkout/thanks.jsp?order=90210";
constexpr char kPostHeaders[] =
    "Content-Type: application/x-www-form-urlencoded\r\n";

std::string TwentyFieldBody() {
  std::string body;
  for (int i = 1; i <= 20; ++i) {
    if (!body.empty()) body += '&';
    body += "field" + std::to_string(i) + "=value+number+" +
            std::to_string(i) + "%26more";
  }
  return body;
}

// A file layer for the capture path alone, which only appends: every file
// exists, and nothing else happens.
class AppendOnlyFiles : public FileSystem {
 public:
  bool FileExists(const std::string&) override { return true; }
  void DeleteFile(const std::string&) override {}
  std::vector<std::string> ReadLines(const std::string&) override { return {}; }
  std::string ReadText(const std::string&) override { return {}; }
  std::string ReadTextUpTo(const std::string&, std::uint64_t) override {
    return {};
  }
  void CreateTextFile(const std::string&, const std::string&) override {}
  void ReplaceFile(const std::string&, const std::string&) override {}
  void TruncateFile(const std::string&, std::uint64_t) override {}
  void MakeOwnerOnly(const std::string&) override {}
};

// Keeps the appended texts instead of writing them: what the handler
// appends is what the floor writes.
class RecordingFiles : public AppendOnlyFiles {
 public:
  void AppendText(const std::string&, const std::string& text) override {
    appended.push_back(text);
  }
  std::vector<std::string> appended;
};

// The floor: open, one write, close.
bool RawAppend(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return false;
  const bool whole = ::write(fd, text.data(), text.size()) ==
                     static_cast<ssize_t>(text.size());
  ::close(fd);
  return whole;
}

// Appends like the floor. With it the handler's time splits into the
// capture logic and the file layer.
class RawAppendFiles : public AppendOnlyFiles {
 public:
  void AppendText(const std::string& path, const std::string& text) override {
    if (!RawAppend(path, text)) throw FileError(path, "append failed");
  }
};

// A private directory holding trans.xml, removed at the end.
class Workspace {
 public:
  Workspace() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "scrivlet-bench-XXXXXX")
            .string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
  }
  ~Workspace() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string dir() const { return dir_; }
  std::string trans() const { return dir_ + "/trans.xml"; }

 private:
  std::string dir_;
};

// A document of exactly `size` bytes: the first line, then recorded-looking
// lines, written with plain calls (owner-only), the same for both sides.
void MakeDocument(const std::string& path, std::size_t size) {
  std::string content = std::string(kDocumentStartLine) + kLineEnd;
  const std::string line =
      "<HL>Referer: http://127.0.0.1:8080/shop/catalogue/item.jsp</HL>\r\n";
  content.reserve(size + line.size());
  while (content.size() < size) content += line;
  content.resize(size);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || ::write(fd, content.data(), content.size()) !=
                    static_cast<ssize_t>(content.size())) {
    throw std::runtime_error("cannot make " + path);
  }
  ::close(fd);
}

// Cuts the document back to `size` with the timer paused.
bool CutBack(benchmark::State& state, const std::string& path,
             std::size_t size) {
  state.PauseTiming();
  const bool cut = ::truncate(path.c_str(), static_cast<off_t>(size)) == 0;
  state.ResumeTiming();
  if (!cut) state.SkipWithError("truncate failed");
  return cut;
}

enum class Path { kGet, kPost, kRedirect, kMultipart };

// A multipart body carrying a text file of `file_bytes`, as a form with a
// file input sends it.
std::string MultipartBody(std::size_t file_bytes) {
  const std::string boundary = "----ScrivletBenchBoundary7MA4YWxkTrZu0gW";
  std::string body = "--" + boundary +
                     "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\n"
                     "quarterly figures\r\n--" +
                     boundary +
                     "\r\nContent-Disposition: form-data; name=\"upload\"; "
                     "filename=\"figures.csv\"\r\nContent-Type: text/csv\r\n\r\n";
  const std::string row = "2026-12-07;4711;shop/catalogue;19.99;EUR;shipped\r\n";
  const std::size_t start = body.size();
  while (body.size() - start < file_bytes) body += row;
  body.resize(start + file_bytes);
  body += "\r\n--" + boundary + "--\r\n";
  return body;
}

// One session, its state set up as after a started transaction whose
// current page has been asked for.
struct Bench {
  explicit Bench(FileSystem& files)
      : session(files, browser, view, proxy, "/nonexistent") {
    // Both boxes ticked: no credential dialog. A failed append would make
    // the handler look cheap: stop the run.
    view.check1 = true;
    view.check2 = true;
    view.on_message = [](const testing::Message& message) {
      throw std::runtime_error(message.prompt);
    };
    SessionState& state = session.state();
    state.transFilePath = workspace.trans();
    state.servletPath = kServletPath;
    state.mgmtServerUrl = "http://127.0.0.1:9/";
    state.noProxyList = {""};
    state.startUrl = kGetUrl;
  }

  void Run(Path path) {
    SessionState& state = session.state();
    switch (path) {
      case Path::kGet:
        // pendingUrl is set by a navigation and cleared by its completion;
        // a navigation equal to it would be skipped.
        state.pendingUrl.clear();
        session.WebBrowser1_BeforeNavigate2(kMainView, kGetUrl, std::nullopt,
                                            "");
        break;
      case Path::kPost:
        state.pendingUrl.clear();
        session.WebBrowser1_BeforeNavigate2(kMainView, kPostUrl, post_body,
                                            kPostHeaders);
        break;
      case Path::kRedirect:
        state.pendingUrl = kPostUrl;
        session.WebBrowser1_DocumentComplete(kMainView, kRedirectUrl);
        break;
      case Path::kMultipart:
        state.pendingUrl.clear();
        session.WebBrowser1_BeforeNavigate2(kMainView, kPostUrl,
                                            multipart_body, kMultipartHeaders);
        break;
    }
  }

  static constexpr char kMultipartHeaders[] =
      "Content-Type: multipart/form-data; "
      "boundary=----ScrivletBenchBoundary7MA4YWxkTrZu0gW\r\n";
  Workspace workspace;
  testing::FakeBrowser browser;
  testing::FakeView view;
  testing::FakeProxy proxy;
  RecordingSession session;
  // Optional already, as the browser adapter hands the body over.
  std::optional<std::string> post_body = TwentyFieldBody();
  std::optional<std::string> multipart_body;
};

// The bytes one handler call appends.
std::string ElementOf(Path path) {
  RecordingFiles files;
  Bench bench(files);
  if (path == Path::kMultipart) {
    bench.multipart_body = MultipartBody(kMultipartFileBytes);
  }
  // The redirect path records the method and content of the navigation.
  if (path == Path::kRedirect) bench.Run(Path::kPost);
  files.appended.clear();
  bench.Run(path);
  if (files.appended.size() != 1) throw std::runtime_error("no element");
  return files.appended.front();
}

// Appends between two cuts: kCutEvery, or 1 for an element of megabytes.
int CutEvery(std::size_t element_size) {
  return element_size > 1024 * 1024 ? 1 : kCutEvery;
}

template <typename Files>
void Handler(benchmark::State& state, Path path, std::size_t document_size) {
  Files files;
  Bench bench(files);
  if (path == Path::kMultipart) {
    bench.multipart_body = MultipartBody(kMultipartFileBytes);
  }
  const std::string trans = bench.workspace.trans();
  const std::size_t element_size = ElementOf(path).size();
  const int cut_every = CutEvery(element_size);
  MakeDocument(trans, document_size);
  if (path == Path::kRedirect) bench.Run(Path::kPost);
  int count = 0;
  for (auto _ : state) {
    if (count++ == cut_every) {
      count = 1;
      if (!CutBack(state, trans, document_size)) break;
    }
    bench.Run(path);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(element_size));
  state.counters["element_bytes"] = static_cast<double>(element_size);
}

// `kFileLayer`: PosixFileSystem::AppendText of the element; otherwise the
// floor's raw append.
template <bool kFileLayer>
void Append(benchmark::State& state, Path path, std::size_t document_size) {
  Workspace workspace;
  const std::string trans = workspace.trans();
  const std::string element = ElementOf(path);
  const int cut_every = CutEvery(element.size());
  MakeDocument(trans, document_size);
  PosixFileSystem files;
  int count = 0;
  for (auto _ : state) {
    if (count++ == cut_every) {
      count = 1;
      if (!CutBack(state, trans, document_size)) break;
    }
    if constexpr (kFileLayer) {
      files.AppendText(trans, element);
    } else if (!RawAppend(trans, element)) {
      state.SkipWithError("append failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(element.size()));
  state.counters["element_bytes"] = static_cast<double>(element.size());
}

// Each case registers handler, floor and (for diagnosis) logic and the file
// layer alone; scripts/bench pairs them by name.
void RegisterAll() {
  struct Case {
    const char* name;
    Path path;
  };
  const Case cases[] = {{"get", Path::kGet},
                        {"post20", Path::kPost},
                        {"redirect", Path::kRedirect}};
  for (const Case& c : cases) {
    for (const DocumentSize& size : kDocumentSizes) {
      const std::string key = std::string(c.name) + "/" + size.name;
      const Path path = c.path;
      const std::size_t bytes = size.bytes;
      benchmark::RegisterBenchmark(
          ("handler/" + key).c_str(), [path, bytes](benchmark::State& s) {
            Handler<PosixFileSystem>(s, path, bytes);
          });
      benchmark::RegisterBenchmark(
          ("floor/" + key).c_str(), [path, bytes](benchmark::State& s) {
            Append<false>(s, path, bytes);
          });
      if (bytes != kDocumentSizes[0].bytes) continue;
      // The handler on a bare append: what the capture logic alone costs.
      benchmark::RegisterBenchmark(
          ("logic/" + key).c_str(), [path, bytes](benchmark::State& s) {
            Handler<RawAppendFiles>(s, path, bytes);
          });
      benchmark::RegisterBenchmark(
          ("file/" + key).c_str(), [path, bytes](benchmark::State& s) {
            Append<true>(s, path, bytes);
          });
    }
  }
  // A 5 MB multipart element onto a 50 MB document: the file layer against
  // the raw append (the target), and the whole handler (diagnosis).
  const std::string multipart = "multipart5m/50m";
  benchmark::RegisterBenchmark(("file/" + multipart).c_str(),
                               [](benchmark::State& s) {
                                 Append<true>(s, Path::kMultipart,
                                              kMultipartDocumentBytes);
                               });
  benchmark::RegisterBenchmark(("floor/" + multipart).c_str(),
                               [](benchmark::State& s) {
                                 Append<false>(s, Path::kMultipart,
                                               kMultipartDocumentBytes);
                               });
  benchmark::RegisterBenchmark(("handler/" + multipart).c_str(),
                               [](benchmark::State& s) {
                                 Handler<PosixFileSystem>(
                                     s, Path::kMultipart,
                                     kMultipartDocumentBytes);
                               });
}

}  // namespace
}  // namespace scrivlet

int main(int argc, char** argv) {
  scrivlet::RegisterAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
