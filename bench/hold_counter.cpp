// LD_PRELOAD into the program: counts the navigations that wait for their
// form body, with nothing added to the program itself.
//
// The program arms a GLib timeout, with a callback of its own, exactly when
// a POST decision has to wait for the body its page is still sending; no
// other code of the program's executable arms one. So every g_timeout_add
// whose callback lies in the main executable is one held decision. Each is
// appended as a line ("held <interval ms>") to the file named by
// SCRIVLET_HOLD_LOG.
#include <dlfcn.h>
#include <fcntl.h>
#include <glib.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

using TimeoutAdd = guint (*)(guint, GSourceFunc, gpointer);

// Load address of the main executable.
ElfW(Addr) MainBase() {
  static ElfW(Addr) base = [] {
    void* self = dlopen(nullptr, RTLD_NOW);
    link_map* map = nullptr;
    if (!self || dlinfo(self, RTLD_DI_LINKMAP, &map) != 0 || !map) return ElfW(Addr){0};
    return map->l_addr;
  }();
  return base;
}

bool InMainExecutable(GSourceFunc function) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(function), &info) == 0) return false;
  return reinterpret_cast<ElfW(Addr)>(info.dli_fbase) == MainBase();
}

void Log(guint interval) {
  const char* path = std::getenv("SCRIVLET_HOLD_LOG");
  if (!path || !*path) return;
  const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  char line[64];
  const int n = std::snprintf(line, sizeof line, "held %u\n", interval);
  if (n > 0) (void)!::write(fd, line, static_cast<size_t>(n));
  ::close(fd);
}

}  // namespace

extern "C" guint g_timeout_add(guint interval, GSourceFunc function,
                               gpointer data) {
  static auto next =
      reinterpret_cast<TimeoutAdd>(dlsym(RTLD_NEXT, "g_timeout_add"));
  if (InMainExecutable(function)) Log(interval);
  return next(interval, function, data);
}
