#ifndef SCRIVLET_UI_ACCESSIBILITY_H_
#define SCRIVLET_UI_ACCESSIBILITY_H_

#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/widget.h>
#include <gtkmm/window.h>

namespace scrivlet {

// What assistive technologies (a screen reader) say about a control where
// the control cannot say it itself: a box or a line without a caption of
// its own. What they read is what a person reads on the screen.

// Names `widget` `name`.
void SetAccessibleName(Gtk::Widget& widget, const char* name);

// A program-written box beside its caption (the "Progress:" box): named by
// `caption`, read-only, and no longer taking typing.
void MakeReadOnlyBox(Gtk::Entry& box, Gtk::Label& caption);

// Makes `window` a dialog, or an alert that shows a message, to assistive
// technologies. Must run before the window is first shown.
enum class DialogRole { kDialog, kAlert };
void SetDialogRole(Gtk::Window& window, DialogRole role);

}  // namespace scrivlet

#endif  // SCRIVLET_UI_ACCESSIBILITY_H_
