// The "Recorded Requests" list at thousands of rows: the time to append one
// row with the window open (the observer's call, then the main loop's work
// until it is idle: the list model, the filter, the column view's layout of
// what shows), and the heap each row costs beyond its element's own text.
//
//   scrivlet-list-bench ROWS
//
// Prints, on standard output:
//   list rows <ROWS>
//   list append_ms <median> <max of the last tenth> <mean>
// An append lays nothing out at once: the window draws on its next frame,
// which falls into some appends and not others; the mean spreads that
// work over all of them.
//   list bytes_per_row <heap growth per row, element text excluded>
// The growth is taken over the second half of the rows: the first ones
// also pay for what the open window makes once (the widgets of the rows in
// sight, glyph caches), which does not grow with the list.
#include <gtkmm/application.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix_file_system.h"
#include "session/recording_session.h"
#include "support/fakes.h"
#include "ui/recorded_requests_window.h"

namespace scrivlet {
namespace {

using Clock = std::chrono::steady_clock;

// A GET element of the usual size, different for every row.
RecordedElement Element(std::size_t number) {
  const std::string url =
      "http://shop.example.com:8080/catalogue/item?id=" + std::to_string(number);
  std::string text =
      "<REQUEST><REQUEST-LINE NAME=\"\" VALUE=\"\"><METHOD>GET</METHOD><URI>"
      "/catalogue/item?id=" + std::to_string(number) +
      "</URI><PROT-VER>HTTP/1.1</PROT-VER>\r\n</REQUEST-LINE>\r\n<HEADERS>\r\n"
      "<HL>Host: shop.example.com:8080</HL>\r\n<HL>Accept: image/gif, "
      "image/x-xbitmap, image/jpeg, */*</HL>\r\n<HL>User-Agent: Mozilla/4.0 "
      "(compatible; MSIE 5.0; Windows NT)</HL>\r\n<HL>Referer: "
      "http://shop.example.com:8080</HL>\r\n</HEADERS>\r\n</REQUEST>\r\n";
  return RecordedElement{ElementKind::kNavigation, "GET", url, 0, text};
}

void Settle() {
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
}

std::size_t HeapInUse() { return mallinfo2().uordblks; }

}  // namespace
}  // namespace scrivlet

int main(int argc, char** argv) {
  using namespace scrivlet;
  const std::size_t rows = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 5000;
  auto app = Gtk::Application::create("org.scrivlet.ListBench",
                                      Gio::Application::Flags::NON_UNIQUE);
  app->signal_activate().connect([&] {
    PosixFileSystem files;
    testing::FakeBrowser browser;
    testing::FakeView view;
    testing::FakeProxy proxy;
    RecordingSession session(files, browser, view, proxy, "/nonexistent");
    RecordedRequests list(session);
    list.Open();
    Settle();

    std::vector<RecordedElement> elements;
    elements.reserve(rows);
    // Made beforehand: moved into the rows, their texts cost nothing more
    // there, so the heap's growth is what the rows add.
    for (std::size_t i = 0; i < rows; ++i) {
      elements.push_back(Element(i + 1));
      elements.back().text.shrink_to_fit();
    }
    std::vector<double> ms;
    ms.reserve(rows);
    std::size_t heap_half = 0;
    for (RecordedElement& element : elements) {
      if (ms.size() == rows / 2) heap_half = HeapInUse();
      const Clock::time_point start = Clock::now();
      list.ElementRecorded(std::move(element));
      Settle();
      ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start)
                       .count());
    }
    const std::size_t heap_after = HeapInUse();

    std::vector<double> last(ms.end() - static_cast<long>(rows / 10), ms.end());
    double total = 0;
    for (double one : ms) total += one;
    std::sort(ms.begin(), ms.end());
    std::printf("list rows %zu\n", rows);
    std::printf("list append_ms %.3f %.3f %.3f\n", ms[ms.size() / 2],
                *std::max_element(last.begin(), last.end()),
                total / static_cast<double>(rows));
    const double per_row =
        (static_cast<double>(heap_after) - static_cast<double>(heap_half)) /
        static_cast<double>(rows - rows / 2);
    std::printf("list bytes_per_row %.0f\n", per_row);
    std::fflush(stdout);
    app->quit();
  });
  return app->run();
}
