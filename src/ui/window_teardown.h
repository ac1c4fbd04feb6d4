#ifndef SCRIVLET_UI_WINDOW_TEARDOWN_H_
#define SCRIVLET_UI_WINDOW_TEARDOWN_H_

#include <gtkmm/window.h>

namespace scrivlet {

// Lets go of a window's child, focus and default widget. A window whose
// controls are its own members destroys them before its base class runs;
// GTK would then clear the focus and the default widget of a window whose
// widgets are already gone. Call it first thing in such a destructor.
inline void DetachWindowContent(Gtk::Window& window) {
  gtk_window_set_default_widget(window.gobj(), nullptr);
  gtk_window_set_focus(window.gobj(), nullptr);
  gtk_window_set_child(window.gobj(), nullptr);
}

}  // namespace scrivlet

#endif  // SCRIVLET_UI_WINDOW_TEARDOWN_H_
