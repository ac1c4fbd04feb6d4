// scrivlet-stand-in-server: a stand-in for the management server that
// receives recorded transactions, with a demo web application to record.
//
//   scrivlet-stand-in-server --port N --store DIR
//   scrivlet-stand-in-server --version
//
// Binds 127.0.0.1 only. The first line on stdout is
// "listening on http://127.0.0.1:PORT/"; then one line
// "stored upload in FOLDER" per upload. SIGINT or SIGTERM stops it cleanly.

#include <libxml/parser.h>
#include <pthread.h>
#include <signal.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "stand_in_server/stand_in_server.h"

namespace {

constexpr char kUsage[] =
    "usage: scrivlet-stand-in-server --port N --store DIR\n"
    "       scrivlet-stand-in-server --version\n";

struct Options {
  int port = -1;
  std::filesystem::path store;
};

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return std::nullopt;
    const std::string value = argv[++i];
    if (arg == "--port") {
      try {
        size_t used = 0;
        options.port = std::stoi(value, &used);
        if (used != value.size() || options.port < 0 || options.port > 65535) {
          return std::nullopt;
        }
      } catch (const std::exception&) {
        return std::nullopt;
      }
    } else if (arg == "--store") {
      options.store = value;
    } else {
      return std::nullopt;
    }
  }
  if (options.port < 0 || options.store.empty()) return std::nullopt;
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  // SCRIVLET_VERSION is the version of the top project() call, the one the
  // Debian package carries too.
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::cout << "scrivlet-stand-in-server " << SCRIVLET_VERSION << "\n";
    return 0;
  }
  const std::optional<Options> options = ParseOptions(argc, argv);
  if (!options) {
    std::cerr << kUsage;
    return 2;
  }
  // Before any thread starts: libxml2's global state, and the signals that
  // stop the server, which only the waiting thread below receives (httplib's
  // stop() is not safe inside a signal handler).
  xmlInitParser();
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  // A client that goes away mid-answer must not end the server.
  signal(SIGPIPE, SIG_IGN);

  try {
    scrivlet::stand_in::StandInServer server(options->store, std::cout);
    const int port = server.Bind(options->port);
    if (port < 0) {
      std::cerr << "scrivlet-stand-in-server: cannot listen on 127.0.0.1:"
                << options->port << "\n";
      return 1;
    }
    std::cout << "listening on http://127.0.0.1:" << port << "/" << std::endl;

    std::thread stopper([&server, stop_signals] {
      int received = 0;
      sigwait(&stop_signals, &received);
      server.Stop();
    });
    const bool served = server.Serve();
    if (!served) {
      // Serving failed without a signal: wake the waiting thread ourselves.
      pthread_kill(stopper.native_handle(), SIGTERM);
    }
    stopper.join();
    xmlCleanupParser();
    return served ? 0 : 1;
  } catch (const std::exception& error) {
    std::cerr << "scrivlet-stand-in-server: " << error.what() << "\n";
    return 1;
  }
}
