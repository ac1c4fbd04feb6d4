// The record page fill: from the record page's completion to its fourth
// element holding the whole document, against the floor of handing the same
// string to the page in one call that does nothing with it.
//
//   scrivlet-fill-bench RUNS SIZE_BYTES...
//
// The program's side is the real session (RecordingSession with the real
// files and the real web view adapter) reading a trans.xml of the given size
// and filling the page. The floor starts from the document already joined in
// memory. Both end with the same probe call, which reads the fourth
// element's length in the page; calls reach the page in order, so its answer
// comes after the fill has run. Program and floor alternate, the order
// flipping every run. A third measurement, "assign", is the floor's call
// assigning the string to the fourth element: the part of the fill the page
// itself does. One line per measurement on standard output:
//   fill <size> <run> <program|floor|assign> <milliseconds> <length in page>
#include <gtkmm/application.h>
#include <gtkmm/window.h>
#include <webkit/webkit.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "document/document_writer.h"
#include "platform/posix_file_system.h"
#include "platform/record_page_fill.h"
#include "platform/web_view_adapter.h"
#include "session/recording_session.h"
#include "support/fakes.h"

namespace scrivlet {
namespace {

using Clock = std::chrono::steady_clock;

// The stand-in server's record page form (the document element hidden),
// without its script: nothing in the page reacts to the fill.
constexpr char kRecordPage[] =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
    "<title>Record transaction</title></head><body>"
    "<h1>Record transaction</h1>"
    "<form method=\"post\" action=\"/servlet/x\" "
    "enctype=\"application/x-www-form-urlencoded\" accept-charset=\"utf-8\">"
    "<input type=\"text\" name=\"uuid\" size=\"40\">"
    "<input type=\"text\" name=\"name\" size=\"40\">"
    "<input type=\"text\" name=\"startUrl\" size=\"60\">"
    "<textarea name=\"trans\" hidden></textarea>"
    "<input type=\"submit\" value=\"Upload\"></form></body></html>";

constexpr char kProbeScript[] =
    "const e = document.forms[0] && document.forms[0].elements[3];"
    "return e ? e.value.length : -1;";
constexpr char kFloorScript[] = "return true;";
// For diagnosis: the floor's call assigning the string to the fourth
// element, which is the part of the fill that the page itself does.
constexpr char kAssignScript[] =
    "document.forms[0].elements[3].value = transactionDocument; return true;";

constexpr guint kSettleMs = 1000;

// A recorded transaction of about `size` bytes: GET navigations, 20-field
// posts and redirects, as the program writes them.
std::string TransactionOfSize(std::size_t size) {
  std::string document = std::string(kDocumentStartLine) + kLineEnd;
  std::string body;
  for (int i = 1; i <= 20; ++i) {
    body += (i > 1 ? "&" : "") + std::string("field") + std::to_string(i) +
            "=value+" + std::to_string(i);
  }
  for (int n = 0; document.size() < size; ++n) {
    RequestFields fields;
    fields.url = *SplitUrl("http://127.0.0.1:8080/shop/page" +
                           std::to_string(n) + ".jsp?item=" +
                           std::to_string(n * 7) + "&lang=en");
    switch (n % 3) {
      case 0:
        fields.method = "GET";
        document += BuildNavigationElement(fields, "", std::nullopt);
        break;
      case 1: {
        fields.method = "POST";
        document += BuildNavigationElement(
            fields, "Content-Type: application/x-www-form-urlencoded\r\n",
            body);
        break;
      }
      default:
        fields.method = "GET";
        document += BuildCompletionElement(fields);
        break;
    }
  }
  return document;
}

enum class Kind { kProgram, kFloor, kAssign };

const char* NameOf(Kind kind) {
  switch (kind) {
    case Kind::kProgram:
      return "program";
    case Kind::kFloor:
      return "floor";
    case Kind::kAssign:
      return "assign";
  }
  return "";
}

struct Trial {
  std::size_t size;
  int run;
  Kind kind;
};

class FillBench : public testing::IgnoredBrowserEvents, public WebViewWindow {
 public:
  FillBench(int runs, const std::vector<std::size_t>& sizes)
      : dir_(MakeDir()), adapter_(*this, *this),
        session_(files_, adapter_, view_, proxy_, dir_) {
    // Both boxes ticked: no credential dialog. A message is reported and
    // the run goes on.
    view_.check1 = true;
    view_.check2 = true;
    view_.on_message = [](const testing::Message& message) {
      g_printerr("message: %s\n", message.prompt.c_str());
    };
    SessionState& state = session_.state();
    state.transFilePath = dir_ + "/trans.xml";
    state.servletPath = kServletPath;
    state.mgmtServerUrl = "http://127.0.0.1:9/";
    // As "Save Transaction" leaves it: the record page, spelled as the
    // browser does (this address already is).
    state.recordPageAddress = session_.RecordPageUrl();
    state.transactionUuid = "0b5e1c2a-5f0e-4d7e-9a51-2f4c9b1d7e33";
    state.transactionName = "Benchmark transaction";
    state.startUrl = "http://127.0.0.1:8080/shop/";
    state.noProxyList = {""};
    for (int run = 0; run < runs; ++run) {
      for (std::size_t size : sizes) {
        if (run % 2 == 0) {
          trials_.push_back({size, run, Kind::kProgram});
          trials_.push_back({size, run, Kind::kFloor});
          trials_.push_back({size, run, Kind::kAssign});
        } else {
          trials_.push_back({size, run, Kind::kAssign});
          trials_.push_back({size, run, Kind::kFloor});
          trials_.push_back({size, run, Kind::kProgram});
        }
      }
    }
  }
  ~FillBench() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  Gtk::Widget& widget() { return adapter_.widget(); }

  void Start(std::function<void()> done) {
    done_ = std::move(done);
    Next();
  }

  // BrowserEvents: only the completions are watched.
  // The page is loaded from a string, without an HTTP answer; the session
  // is told that it came with one, as the record page does.
  void WebBrowser1_DocumentComplete(BrowserId id, const std::string& url,
                                    const PageAnswer&) override {
    if (!loading_ || id != adapter_.Object()) return;
    loading_ = false;
    const Trial& trial = trials_[next_];
    start_ = Clock::now();
    if (trial.kind == Kind::kProgram) {
      session_.WebBrowser1_DocumentComplete(id, url, testing::Answered(200));
    } else {
      GVariantBuilder arguments;
      g_variant_builder_init(&arguments, G_VARIANT_TYPE_VARDICT);
      g_variant_builder_add(&arguments, "{sv}", "transactionDocument",
                            g_variant_new_string(joined_.c_str()));
      webkit_web_view_call_async_javascript_function(
          adapter_.view(), trial.kind == Kind::kFloor ? kFloorScript : kAssignScript, -1,
          g_variant_builder_end(&arguments),
          kRecordPageWorld, nullptr, nullptr, &OnIgnored, nullptr);
    }
    webkit_web_view_call_async_javascript_function(
        adapter_.view(), kProbeScript, -1, nullptr, kRecordPageWorld,
        nullptr, nullptr, &OnProbe, this);
  }
  // WebViewWindow
  WebViewAdapter* NewWindow2(WebViewAdapter&) override { return nullptr; }

 private:
  static std::string MakeDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "scrivlet-fill-XXXXXX")
            .string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
  }

  void Next() {
    if (next_ >= trials_.size()) {
      done_();
      return;
    }
    const Trial& trial = trials_[next_];
    if (trial.size != written_size_) {
      files_.CreateTextFile(session_.state().transFilePath,
                            TransactionOfSize(trial.size));
      joined_.clear();
      for (const std::string& line :
           files_.ReadLines(session_.state().transFilePath)) {
        joined_ += line;
      }
      written_size_ = trial.size;
    }
    loading_ = true;
    webkit_web_view_load_html(adapter_.view(), kRecordPage,
                              session_.RecordPageUrl().c_str());
  }

  static void OnIgnored(GObject* source, GAsyncResult* result, gpointer) {
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_call_async_javascript_function_finish(
        WEBKIT_WEB_VIEW(source), result, &error);
    if (value) g_object_unref(value);
    if (error) g_printerr("floor call: %s\n", error->message);
    g_clear_error(&error);
  }

  static void OnProbe(GObject* source, GAsyncResult* result, gpointer self) {
    auto* bench = static_cast<FillBench*>(self);
    const auto elapsed = Clock::now() - bench->start_;
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_call_async_javascript_function_finish(
        WEBKIT_WEB_VIEW(source), result, &error);
    long length = -2;
    if (value) {
      length = jsc_value_to_int32(value);
      g_object_unref(value);
    }
    if (error) g_printerr("probe: %s\n", error->message);
    g_clear_error(&error);
    const Trial& trial = bench->trials_[bench->next_];
    if (trial.kind != Kind::kFloor &&
        length != static_cast<long>(bench->joined_.size())) {
      g_printerr("the page holds %ld characters, the document has %zu\n",
                 length, bench->joined_.size());
      bench->failed_ = true;
    }
    std::printf("fill %zu %d %s %.3f %ld\n", trial.size, trial.run,
                NameOf(trial.kind),
                std::chrono::duration<double, std::milli>(elapsed).count(),
                length);
    std::fflush(stdout);
    ++bench->next_;
    // The engine lays the filled page out after the probe has answered;
    // the next trial starts once that is over.
    g_timeout_add(kSettleMs, &FillBench::OnSettled, bench);
  }

  static gboolean OnSettled(gpointer self) {
    static_cast<FillBench*>(self)->Next();
    return G_SOURCE_REMOVE;
  }

 public:
  bool failed() const { return failed_; }

 private:
  std::string dir_;
  PosixFileSystem files_;
  testing::FakeView view_;
  testing::FakeProxy proxy_;
  WebViewAdapter adapter_;
  RecordingSession session_;
  std::vector<Trial> trials_;
  std::size_t next_ = 0;
  std::size_t written_size_ = 0;
  std::string joined_;
  bool loading_ = false;
  Clock::time_point start_;
  std::function<void()> done_;
  bool failed_ = false;
};

}  // namespace
}  // namespace scrivlet

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s RUNS SIZE_BYTES...\n", argv[0]);
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  std::vector<std::size_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::stoul(argv[i]));
  int gtk_argc = 1;
  auto app = Gtk::Application::create("", Gio::Application::Flags::NON_UNIQUE);
  std::unique_ptr<Gtk::Window> window;
  std::unique_ptr<scrivlet::FillBench> bench;
  int status = 0;
  app->signal_activate().connect([&] {
    window = std::make_unique<Gtk::Window>();
    window->set_default_size(703, 673);
    bench = std::make_unique<scrivlet::FillBench>(runs, sizes);
    window->set_child(bench->widget());
    app->add_window(*window);
    window->present();
    bench->Start([&] {
      status = bench->failed() ? 1 : 0;
      app->quit();
    });
  });
  app->run(gtk_argc, argv);
  return status;
}
