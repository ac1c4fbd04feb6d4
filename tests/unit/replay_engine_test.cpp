#include "replay/replay_engine.h"

#include <gtest/gtest.h>
#include <libsoup/soup.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace scrivlet::replay {
namespace {

// A server on 127.0.0.1 in this thread's main context: "/slow" never
// answers, every other path answers 200.
class ReplayEngineTest : public ::testing::Test {
 protected:
  ReplayEngineTest() : server_(soup_server_new(nullptr, nullptr)) {
    soup_server_add_handler(server_, nullptr, &Handle, this, nullptr);
    EXPECT_TRUE(soup_server_listen_local(server_, 0,
                                         SOUP_SERVER_LISTEN_IPV4_ONLY, nullptr));
    g_autoslist(GUri) uris = soup_server_get_uris(server_);
    host_ = "127.0.0.1:" +
            std::to_string(g_uri_get_port(static_cast<GUri*>(uris->data)));
  }
  ~ReplayEngineTest() override {
    soup_server_disconnect(server_);
    g_object_unref(server_);
  }

  static void Handle(SoupServer*, SoupServerMessage* message, const char* path,
                     GHashTable*, gpointer data) {
    auto& test = *static_cast<ReplayEngineTest*>(data);
    if (std::strcmp(path, "/slow") == 0) {
      test.slow_requests_++;
      soup_server_message_pause(message);
      return;
    }
    soup_server_message_set_status(message, 200, nullptr);
    std::string page = "<p>page</p>";
    if (std::strcmp(path, "/gzip") == 0) {
      // Compressed although the request did not ask for it.
      g_autoptr(GZlibCompressor) gzip =
          g_zlib_compressor_new(G_ZLIB_COMPRESSOR_FORMAT_GZIP, -1);
      const std::string form = "<input type=hidden name=token value=new>";
      std::string out(256, '\0');
      gsize read = 0, written = 0;
      g_converter_convert(G_CONVERTER(gzip), form.data(), form.size(), out.data(),
                          out.size(), G_CONVERTER_INPUT_AT_END, &read, &written, nullptr);
      page = out.substr(0, written);
      soup_message_headers_append(soup_server_message_get_response_headers(message),
                                  "Content-Encoding", "gzip");
    }
    soup_server_message_set_response(message, "text/html", SOUP_MEMORY_COPY,
                                     page.data(), page.size());
  }

  std::vector<DocumentElement> Gets(const std::vector<std::string>& paths) {
    std::vector<DocumentElement> elements;
    for (const std::string& path : paths) {
      DocumentElement& element = elements.emplace_back();
      element.method = "GET", element.scheme = "http", element.host = host_;
      element.uri = path, element.header_lines = {"Host: " + host_};
    }
    return elements;
  }

  // Runs the main context until `done` holds; false after 10 s.
  template <typename Done>
  bool RunUntil(Done done) {
    const gint64 end = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (!done()) {
      if (g_get_monotonic_time() > end) return false;
      g_main_context_iteration(nullptr, FALSE);
    }
    return true;
  }

  SoupServer* server_;
  std::string host_;
  int slow_requests_ = 0;
};

TEST_F(ReplayEngineTest, CancelEndsTheReplayWithoutTheStepsLeft) {
  ReplayEngine engine(Gets({"/page", "/slow", "/page"}), {});
  std::vector<StepResult> steps;
  std::optional<ReplayEnd> cancelled;
  engine.Start({nullptr, [&](const StepResult& step) { steps.push_back(step); },
                [&](ReplayEnd end, const std::string&) { cancelled = end; }});
  ASSERT_TRUE(RunUntil([&] { return slow_requests_ == 1; }));
  engine.Cancel();
  ASSERT_TRUE(RunUntil([&] { return cancelled.has_value(); }));
  EXPECT_EQ(*cancelled, ReplayEnd::kCancelled);
  EXPECT_FALSE(engine.running());
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].status, 200);
}

TEST_F(ReplayEngineTest, AnEngineDestroyedWhileRunningCallsNothingMore) {
  auto engine = std::make_unique<ReplayEngine>(Gets({"/slow", "/page"}),
                                               ReplayOptions{});
  int calls = 0;
  engine->Start({[&](std::size_t) { ++calls; },
                 [&](const StepResult&) { ++calls; },
                 [&](ReplayEnd, const std::string&) { ++calls; }});
  ASSERT_TRUE(RunUntil([&] { return slow_requests_ == 1; }));
  engine.reset();
  const gint64 settle = g_get_monotonic_time() + G_USEC_PER_SEC / 5;
  RunUntil([&] { return g_get_monotonic_time() > settle; });
  EXPECT_EQ(calls, 1);  // the first step's start only
}

TEST_F(ReplayEngineTest, AGzipAnswerIsScannedAsTheBrowserShowsIt) {
  ReplayEngine engine(Gets({"/gzip", "/order?token=old"}), {});
  std::vector<StepResult> steps;
  engine.Start({nullptr, [&](const StepResult& step) { steps.push_back(step); }, nullptr});
  ASSERT_TRUE(RunUntil([&] { return steps.size() == 2; }));
  EXPECT_EQ(steps[1].session_bound,
            (std::vector<SessionBoundValue>{{"token", "old", "new"}}));
}

}  // namespace
}  // namespace scrivlet::replay
