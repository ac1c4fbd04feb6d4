// scrivlet-replay: replays a transaction document the way the management
// server does and says which steps fail there, and which values the
// requests send that the server handed out for one session only.

#include <glib.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

#include "document/document_reader.h"
#include "document/printable_text.h"
#include "platform/posix_file_system.h"
#include "replay/replay_engine.h"
#include "replay/replay_report.h"
#include "replay/verdict.h"
#include "session/document_file.h"

namespace {

constexpr char kProgram[] = "scrivlet-replay";
constexpr char kUsage[] =
    "usage: scrivlet-replay [--json] [--proxy http://HOST:PORT] [--insecure] "
    "FILE\n";

// Exit statuses.
constexpr int kAllOk = 0;
constexpr int kStepFails = 1;
constexpr int kCannotRun = 2;

struct Arguments {
  bool json = false;
  bool insecure = false;
  std::string proxy;
  std::string file;
};

// nullopt, after a message, when the arguments are wrong.
std::optional<Arguments> ParseArguments(int argc, char** argv) {
  Arguments arguments;
  bool have_file = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--json") {
      arguments.json = true;
    } else if (argument == "--insecure") {
      arguments.insecure = true;
    } else if (argument == "--proxy" && i + 1 < argc) {
      arguments.proxy = argv[++i];
    } else if (argument.rfind("--proxy=", 0) == 0) {
      arguments.proxy = argument.substr(std::strlen("--proxy="));
    } else if (argument.rfind("-", 0) != 0 && !have_file) {
      arguments.file = argument;
      have_file = true;
    } else {
      std::fprintf(stderr, "%s: unexpected argument \"%s\"\n%s", kProgram,
                   argument.c_str(), kUsage);
      return std::nullopt;
    }
  }
  if (!have_file) {
    std::fprintf(stderr, "%s: no transaction document given\n%s", kProgram,
                 kUsage);
    return std::nullopt;
  }
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace scrivlet;
  using namespace scrivlet::replay;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return kAllOk;
  }
  const std::optional<Arguments> arguments = ParseArguments(argc, argv);
  if (!arguments) return kCannotRun;

  // The document is opened by the file layer's rules: a FIFO, a device or
  // a file of more than kMaxDocumentSize bytes is refused before it is
  // read. The name and the document's bytes are quoted printable.
  const std::string file = PrintableText(arguments->file);
  TransactionDocument document;
  try {
    PosixFileSystem files;
    document = ReadDocumentFile(files, arguments->file);
  } catch (const FileError& problem) {
    std::fprintf(stderr, "%s: %s: %s. Nothing was sent.\n", kProgram,
                 file.c_str(), problem.what());
    return kCannotRun;
  } catch (const DocumentReadError& problem) {
    std::fprintf(stderr,
                 "%s: %s: %s. This is not a transaction document; nothing "
                 "was sent.\n",
                 kProgram, file.c_str(), problem.what());
    return kCannotRun;
  }

  ReplayOptions options;
  options.proxy = arguments->proxy;
  if (arguments->insecure) {
    std::fprintf(stderr,
                 "%s: --insecure: every server certificate is accepted, "
                 "whoever issued it\n",
                 kProgram);
    options.accept_certificate = [](const std::string&, GTlsCertificate*,
                                    GTlsCertificateFlags) { return true; };
  }
  std::optional<ReplayEngine> engine;
  try {
    engine.emplace(std::move(document.elements), std::move(options));
  } catch (const std::invalid_argument& problem) {
    std::fprintf(stderr, "%s: %s\n%s", kProgram, problem.what(), kUsage);
    return kCannotRun;
  }

  g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
  bool failed = false;
  if (!arguments->json) std::fputs(TableHeading().c_str(), stdout);
  ReplayCallbacks callbacks;
  callbacks.step_finished = [&](const StepResult& result) {
    failed = failed || StepVerdict(result.status) == Verdict::kFails;
    const std::string text =
        arguments->json ? JsonLine(result) : TableRows(result);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  };
  callbacks.finished = [&](bool) { g_main_loop_quit(loop); };
  engine->Start(std::move(callbacks));
  g_main_loop_run(loop);
  return failed ? kStepFails : kAllOk;
}
