#include <gtkmm/application.h>

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
