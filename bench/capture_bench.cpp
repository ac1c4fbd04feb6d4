// The capture path with its real append to trans.xml, against the floor of
// appending the same bytes with a bare open, write and close.
//
// Every benchmark starts trans.xml afresh with its first line each
// kResetEvery iterations, the floor included, so the document stays the size
// of a real transaction (about kResetEvery elements) and both sides pay the
// same reset. The "/large" variants let it grow to about 1 MB, where an
// append that crosses into a new page copies the whole file.
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

#include "capture/document_writer.h"
#include "platform/posix_file_system.h"
#include "session/recording_session.h"
#include "support/fakes.h"

namespace scrivlet {
namespace {

constexpr int kResetEvery = 256;        // ~ a 200-navigation transaction
constexpr int kResetEveryLarge = 2048;  // ~ 1 MB of document

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
  void CreateTextFile(const std::string&, const std::string&) override {}
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

// Appends like the floor: open, one write, close. With it the handler's
// time splits into the capture logic and the file layer.
class RawAppendFiles : public AppendOnlyFiles {
 public:
  void AppendText(const std::string& path, const std::string& text) override {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) throw FileError(path, "open failed");
    const bool whole =
        ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!whole) throw FileError(path, "write failed");
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

// The same raw reset for both sides: the first line alone, owner-only.
void ResetDocument(const std::string& path) {
  const std::string first = std::string(kDocumentStartLine) + kLineEnd;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0 || ::write(fd, first.data(), first.size()) !=
                    static_cast<ssize_t>(first.size())) {
    throw std::runtime_error("cannot reset " + path);
  }
  ::close(fd);
}

enum class Path { kGet, kPost, kRedirect };

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
    state.requestMethod = "GET";
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
    }
  }

  Workspace workspace;
  testing::FakeBrowser browser;
  testing::FakeView view;
  testing::FakeProxy proxy;
  RecordingSession session;
  std::string post_body = TwentyFieldBody();
};

// The bytes one handler call appends.
std::string ElementOf(Path path) {
  RecordingFiles files;
  Bench bench(files);
  // The redirect path records the method and content of the navigation.
  if (path == Path::kRedirect) bench.Run(Path::kPost);
  files.appended.clear();
  bench.Run(path);
  if (files.appended.size() != 1) throw std::runtime_error("no element");
  return files.appended.front();
}

template <typename Files>
void Handler(benchmark::State& state, Path path, int reset_every) {
  Files files;
  Bench bench(files);
  const std::string trans = bench.workspace.trans();
  const std::size_t element_size = ElementOf(path).size();
  ResetDocument(trans);
  if (path == Path::kRedirect) bench.Run(Path::kPost);
  int count = 0;
  for (auto _ : state) {
    if (++count == reset_every) {
      ResetDocument(trans);
      count = 0;
    }
    bench.Run(path);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(element_size));
  state.counters["element_bytes"] = static_cast<double>(element_size);
}

void Floor(benchmark::State& state, Path path, int reset_every) {
  Workspace workspace;
  const std::string trans = workspace.trans();
  const std::string element = ElementOf(path);
  ResetDocument(trans);
  int count = 0;
  for (auto _ : state) {
    if (++count == reset_every) {
      ResetDocument(trans);
      count = 0;
    }
    const int fd = ::open(trans.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
      state.SkipWithError("open failed");
      break;
    }
    if (::write(fd, element.data(), element.size()) !=
        static_cast<ssize_t>(element.size())) {
      state.SkipWithError("write failed");
    }
    ::close(fd);
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(element.size()));
  state.counters["element_bytes"] = static_cast<double>(element.size());
}

enum class Placement { kInPlace, kCrossing };

// The file layer alone: PosixFileSystem::AppendText (kPosix) or the raw
// append of the GET element, on a document of `document_size` bytes (a
// whole number of pages). kInPlace: every append stays inside the page
// holding the file's end, so it is appended in place; the file is cut back
// to `document_size` before the next append would cross. kCrossing: the
// file is cut to end 100 bytes before a page boundary before every append,
// so every append crosses into the next page and takes the copy and rename.
// The cutting is not timed.
template <bool kPosix>
void FileLayer(benchmark::State& state, Placement placement,
               std::size_t document_size) {
  Workspace workspace;
  const std::string trans = workspace.trans();
  const std::string element = ElementOf(Path::kGet);
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const std::size_t cut_to = placement == Placement::kInPlace
                                 ? document_size
                                 : document_size + page - 100;
  ResetDocument(trans);
  if (::truncate(trans.c_str(), static_cast<off_t>(cut_to)) != 0) {
    state.SkipWithError("truncate failed");
    return;
  }
  const std::size_t appends_per_cut =
      placement == Placement::kInPlace ? page / element.size() : 1;
  PosixFileSystem files;
  std::size_t count = 0;
  for (auto _ : state) {
    if (count++ == appends_per_cut) {
      count = 1;
      state.PauseTiming();
      const int cut = ::truncate(trans.c_str(), static_cast<off_t>(cut_to));
      state.ResumeTiming();
      if (cut != 0) {
        state.SkipWithError("truncate failed");
        break;
      }
    }
    if constexpr (kPosix) {
      files.AppendText(trans, element);
    } else {
      const int fd = ::open(trans.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
      if (fd < 0 || ::write(fd, element.data(), element.size()) !=
                        static_cast<ssize_t>(element.size())) {
        state.SkipWithError("append failed");
      }
      if (fd >= 0) ::close(fd);
    }
  }
  state.counters["element_bytes"] = static_cast<double>(element.size());
}

// Each case registers handler, logic and floor; scripts/bench pairs them by
// name.
void RegisterAll() {
  struct Case {
    const char* name;
    Path path;
  };
  const Case cases[] = {{"get", Path::kGet},
                        {"post20", Path::kPost},
                        {"redirect", Path::kRedirect}};
  for (const Case& c : cases) {
    for (const auto& [suffix, reset] :
         {std::pair{"", kResetEvery}, std::pair{"/large", kResetEveryLarge}}) {
      const std::string base = std::string(c.name) + suffix;
      const Path path = c.path;
      const int reset_every = reset;
      benchmark::RegisterBenchmark(
          ("handler/" + base).c_str(),
          [path, reset_every](benchmark::State& s) {
            Handler<PosixFileSystem>(s, path, reset_every);
          });
      // The handler on a bare append: what the capture logic alone costs.
      benchmark::RegisterBenchmark(
          ("logic/" + base).c_str(), [path, reset_every](benchmark::State& s) {
            Handler<RawAppendFiles>(s, path, reset_every);
          });
      benchmark::RegisterBenchmark(
          ("floor/" + base).c_str(), [path, reset_every](benchmark::State& s) {
            Floor(s, path, reset_every);
          });
    }
  }
  // The file layer split by where the append lands; scripts/bench pairs
  // file/X with rawfile/X.
  struct Layer {
    const char* name;
    Placement placement;
    std::size_t document_size;
  };
  const Layer layers[] = {{"inplace", Placement::kInPlace, 128 * 1024},
                          {"crossing", Placement::kCrossing, 128 * 1024},
                          {"crossing/large", Placement::kCrossing, 1024 * 1024}};
  for (const Layer& layer : layers) {
    const Placement placement = layer.placement;
    const std::size_t size = layer.document_size;
    benchmark::RegisterBenchmark(
        (std::string("file/") + layer.name).c_str(),
        [placement, size](benchmark::State& s) {
          FileLayer<true>(s, placement, size);
        });
    benchmark::RegisterBenchmark(
        (std::string("rawfile/") + layer.name).c_str(),
        [placement, size](benchmark::State& s) {
          FileLayer<false>(s, placement, size);
        });
  }
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
