// scrivlet-replay: replays a transaction document the way the management
// server does and says which steps fail there, and which values the
// requests send that the server handed out for one session only.

#include <glib.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "document/document_reader.h"
#include "document/printable_text.h"
#include "platform/posix_file_system.h"
#include "replay/certificate_acceptance.h"
#include "replay/replay_engine.h"
#include "replay/replay_report.h"
#include "replay/replayed_request.h"
#include "replay/verdict.h"
#include "session/document_file.h"

namespace {

constexpr char kProgram[] = "scrivlet-replay";
constexpr char kUsage[] =
    "usage: scrivlet-replay [--json] [--proxy http://HOST:PORT] [--insecure] "
    "[--certificate PEM-FILE] [--no-credentials] [--timeout SECONDS] FILE\n";
constexpr unsigned kLongestTimeout = 24 * 60 * 60;

// Exit statuses.
constexpr int kAllOk = 0;
constexpr int kStepFails = 1;
constexpr int kCannotRun = 2;

struct Arguments {
  bool json = false;
  bool insecure = false;
  bool credentials = true;
  unsigned timeout_seconds = scrivlet::replay::ReplayOptions{}.timeout_seconds;
  std::string proxy;
  std::vector<std::string> certificates;  // PEM files
  std::string file;
};

// A whole number of seconds from 1 to a day; nullopt otherwise.
std::optional<unsigned> Seconds(const std::string& text) {
  if (text.empty() || text.size() > 5 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const unsigned seconds = static_cast<unsigned>(std::stoul(text));
  if (seconds == 0 || seconds > kLongestTimeout) return std::nullopt;
  return seconds;
}

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
    } else if (argument == "--certificate" && i + 1 < argc) {
      arguments.certificates.push_back(argv[++i]);
    } else if (argument == "--no-credentials") {
      arguments.credentials = false;
    } else if ((argument == "--timeout" && i + 1 < argc) ||
               argument.rfind("--timeout=", 0) == 0) {
      const std::string value = argument == "--timeout"
                                    ? std::string(argv[++i])
                                    : argument.substr(std::strlen("--timeout="));
      const std::optional<unsigned> seconds = Seconds(value);
      if (!seconds) {
        std::fprintf(stderr,
                     "%s: --timeout takes a whole number of seconds from 1 "
                     "to %u, not %s\n%s",
                     kProgram, kLongestTimeout,
                     scrivlet::replay::Quoted(value).c_str(), kUsage);
        return std::nullopt;
      }
      arguments.timeout_seconds = *seconds;
    } else if (argument == "--proxy" && i + 1 < argc) {
      arguments.proxy = argv[++i];
    } else if (argument.rfind("--proxy=", 0) == 0) {
      arguments.proxy = argument.substr(std::strlen("--proxy="));
    } else if (argument.rfind("-", 0) != 0 && !have_file) {
      arguments.file = argument;
      have_file = true;
    } else {
      std::fprintf(stderr, "%s: unexpected argument %s\n%s", kProgram,
                   scrivlet::replay::Quoted(argument).c_str(), kUsage);
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

  // Every element is checked before anything is sent: a document that
  // cannot be replayed whole sends nothing.
  for (const DocumentElement& element : document.elements) {
    const ReplayedRequest request = RequestFor(element);
    if (!request.problem.empty()) {
      std::fprintf(stderr,
                   "%s: %s: line %d: %s. This element cannot be replayed; "
                   "nothing was sent.\n",
                   kProgram, file.c_str(), element.first_line,
                   request.problem.c_str());
      return kCannotRun;
    }
  }

  ReplayOptions options;
  options.proxy = arguments->proxy;
  options.timeout_seconds = arguments->timeout_seconds;
  options.send_credentials = arguments->credentials;
  if (arguments->insecure) {
    std::fprintf(stderr,
                 "%s: --insecure: every server certificate is accepted, "
                 "whoever issued it\n",
                 kProgram);
    options.accept_certificate = [](const std::string&, GTlsCertificate*,
                                    GTlsCertificateFlags) { return ""; };
  }
  std::vector<AcceptedCertificate> accepted;
  for (const std::string& path : arguments->certificates) {
    g_autoptr(GError) problem = nullptr;
    g_autoptr(GTlsCertificate) certificate =
        g_tls_certificate_new_from_file(path.c_str(), &problem);
    if (certificate == nullptr) {
      std::fprintf(stderr, "%s: --certificate %s: %s. Nothing was sent.\n",
                   kProgram, Quoted(path).c_str(), problem->message);
      return kCannotRun;
    }
    g_autofree char* pem = nullptr;
    g_object_get(certificate, "certificate-pem", &pem, nullptr);
    accepted.push_back({"", pem});
  }
  if (!arguments->insecure) options.accept_certificate = AcceptOnly(accepted);
  const ReplayScope scope = ScopeOf(document.elements);
  if (arguments->credentials && !scope.credential_hosts.empty()) {
    std::string hosts;
    for (const std::string& host : scope.credential_hosts) {
      hosts += (hosts.empty() ? "" : ", ") + PrintableText(host);
    }
    std::fprintf(stderr,
                 "%s: the recorded Authorization line (the site's password) "
                 "goes to %s; --no-credentials leaves it out\n",
                 kProgram, hosts.c_str());
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
    failed = failed ||
             StepVerdict(result.status, result.error) == Verdict::kFails;
    const std::string text =
        arguments->json ? JsonLine(result) : TableRows(result);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
  };
  bool stopped = false;
  callbacks.finished = [&](ReplayEnd end, const std::string& failure) {
    if (end == ReplayEnd::kFailed) {
      std::fprintf(stderr, "%s: %s\n", kProgram, failure.c_str());
      stopped = true;
    }
    g_main_loop_quit(loop);
  };
  engine->Start(std::move(callbacks));
  g_main_loop_run(loop);
  if (stopped) return kCannotRun;
  return failed ? kStepFails : kAllOk;
}
