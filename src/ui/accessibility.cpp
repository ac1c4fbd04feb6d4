#include "ui/accessibility.h"

#include <gtk/gtk.h>

namespace scrivlet {

void SetAccessibleName(Gtk::Widget& widget, const char* name) {
  gtk_accessible_update_property(GTK_ACCESSIBLE(widget.gobj()),
                                 GTK_ACCESSIBLE_PROPERTY_LABEL, name, -1);
}

void MakeReadOnlyBox(Gtk::Entry& box, Gtk::Label& caption) {
  box.set_editable(false);
  gtk_accessible_update_relation(GTK_ACCESSIBLE(box.gobj()),
                                 GTK_ACCESSIBLE_RELATION_LABELLED_BY,
                                 caption.gobj(), nullptr, -1);
  gtk_accessible_update_property(GTK_ACCESSIBLE(box.gobj()),
                                 GTK_ACCESSIBLE_PROPERTY_READ_ONLY, TRUE, -1);
}

// A window's role is fixed once assistive technologies have seen it, which
// is when it is first shown.
void SetDialogRole(Gtk::Window& window, DialogRole role) {
  g_object_set(window.gobj(), "accessible-role",
               role == DialogRole::kAlert ? GTK_ACCESSIBLE_ROLE_ALERT_DIALOG
                                          : GTK_ACCESSIBLE_ROLE_DIALOG,
               nullptr);
}

}  // namespace scrivlet
