#ifndef SCRIVLET_FUZZ_GLIB_FATAL_H_
#define SCRIVLET_FUZZ_GLIB_FATAL_H_

#include <glib.h>

#include <csignal>
#include <cstdlib>

namespace scrivlet::fuzz {

// Every GLib warning and critical ends the run as a crash that libFuzzer
// records: GLib stops a fatal message with SIGTRAP, which libFuzzer does not
// catch, so the trap becomes an abort.
inline void MakeGLibWarningsFatal() {
  g_log_set_always_fatal(static_cast<GLogLevelFlags>(
      G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING));
  std::signal(SIGTRAP, [](int) { std::abort(); });
}

}  // namespace scrivlet::fuzz

#endif  // SCRIVLET_FUZZ_GLIB_FATAL_H_
