#include <gtkmm/application.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <memory>

#include "ui/main_window.h"

// Makes the application and its main window. The window's load handler
// runs before it is first shown and may end the program there.
//
// The program has no command line, but the agent may start it with a task's
// arguments; they are ignored. The application sees only the program name:
// given a file name it would refuse to start ("can not open files"), and an
// unknown option would end it.
int main(int /*argc*/, char* argv[]) {
#if defined(__GLIBC__)
  // Drawing the window takes buffers of about a megabyte per frame. Once
  // the first of them is freed, the C library would take later ones from
  // the heap, where the small blocks a session keeps (a recorded row, its
  // answer) land between frames and split the freed space: over a long
  // session the heap grew by a buffer now and then, and never shrank. A
  // fixed threshold maps every large block on its own and returns it whole.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
  auto app = Gtk::Application::create("", Gio::Application::Flags::NON_UNIQUE);
  std::unique_ptr<scrivlet::Scrivlet> window;
  app->signal_activate().connect([&] {
    window = std::make_unique<scrivlet::Scrivlet>();
    window->Load();
    app->add_window(*window);
    window->present();
  });
  return app->run(1, argv);
}
