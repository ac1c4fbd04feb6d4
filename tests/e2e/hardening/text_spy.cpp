// Preloaded into the program under test: appends every text that Pango is
// asked to lay out to the file named by SCRIVLET_TEXT_SPY_LOG, one text a
// line ("(insert-hyphens off)" for a wrap without hyphens), then hands the
// call on: the tests read there what a message box says. The engine's
// helper processes inherit the library too; what they lay out is page
// content, which the tests do not look for.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" {

struct _PangoLayout;
using PangoLayout = _PangoLayout;
using SetTextFunction = void (*)(PangoLayout*, const char*, int);

void pango_layout_set_text(PangoLayout* layout, const char* text, int length) {
  static SetTextFunction next = nullptr;
  if (!next) next = reinterpret_cast<SetTextFunction>(dlsym(RTLD_NEXT, "pango_layout_set_text"));
  const char* log = getenv("SCRIVLET_TEXT_SPY_LOG");
  if (log && text) {
    const size_t size =
        length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    int fd = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
      if (size > 0 && write(fd, text, size) < 0) {
      }
      if (write(fd, "\n", 1) < 0) {
      }
      close(fd);
    }
  }
  if (next && layout) next(layout, text, length);
}

struct _PangoAttribute;
using HyphensFunction = _PangoAttribute* (*)(int);

_PangoAttribute* pango_attr_insert_hyphens_new(int insert_hyphens) {
  static auto next = reinterpret_cast<HyphensFunction>(dlsym(RTLD_NEXT, "pango_attr_insert_hyphens_new"));
  if (!insert_hyphens) pango_layout_set_text(nullptr, "(insert-hyphens off)", -1);
  return next ? next(insert_hyphens) : nullptr;
}

}  // extern "C"
