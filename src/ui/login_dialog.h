#ifndef SCRIVLET_UI_LOGIN_DIALOG_H_
#define SCRIVLET_UI_LOGIN_DIALOG_H_

#include <glibmm/main.h>
#include <gtkmm/button.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/passwordentry.h>
#include <gtkmm/window.h>

#include <memory>
#include <optional>
#include <string>

#include "session/main_window_view.h"
#include "ui/design_surface.h"

namespace scrivlet {

// The credential dialogs `frmLogin` ("Network Login") and `frmLogin1`
// ("Proxy Login"). Each is created once and hidden after OK or Cancel, so
// its boxes keep what was typed for the next showing; the close box
// discards it, and the owner makes a fresh one for the next showing.
class LoginDialog : public Gtk::Window {
 public:
  static std::unique_ptr<LoginDialog> CreateRealmDialog();  // frmLogin
  static std::unique_ptr<LoginDialog> CreateProxyDialog();  // frmLogin1
  ~LoginDialog() override;

  // Shows the dialog modally, transient for `owner`, and returns when it is
  // hidden or closed: OK gives the two boxes' texts, Cancel two empty texts
  // (and empties the boxes), the close box nullopt.
  std::optional<Credentials> Run(Gtk::Window& owner);
  // True once the close box discarded the dialog.
  bool closed() const { return closed_; }

 private:
  // The dialog's texts and its controls' places, in twips.
  struct Design {
    const char* caption;
    const char* explanation;
    DesignRect user_label, user_box, password_label, password_box, ok, cancel,
        explanation_label;
  };
  explicit LoginDialog(const Design& design);

  void Finish(std::optional<Credentials> result);

  Gtk::Label user_label_;
  Gtk::Entry txtUserName_;
  Gtk::Label password_label_;
  // A password entry: assistive technologies do not speak what is typed.
  Gtk::PasswordEntry txtPassword_;
  Gtk::Button cmdOK_;
  Gtk::Button cmdCancel_;
  Gtk::Label explanation_;
  DesignSurface surface_;

  Glib::RefPtr<Glib::MainLoop> loop_;
  std::optional<Credentials> result_;
  bool closed_ = false;
};

}  // namespace scrivlet

#endif  // SCRIVLET_UI_LOGIN_DIALOG_H_
