#include "ui/login_dialog.h"

#include <gtkmm/eventcontrollerkey.h>

#include <utility>

#include "ui/accessibility.h"
#include "ui/window_teardown.h"

namespace scrivlet {
namespace {

// Client area of both dialogs, in twips.
constexpr DesignSize kDialog{3795, 2355};

}  // namespace

std::unique_ptr<LoginDialog> LoginDialog::CreateRealmDialog() {
  static const Design kRealm = {
      "Network Login",
      "If this transaction requires realm authentication ('Authentication: "
      "Basic' header), please enter the username and password.",
      {105, 945, 1080, 270},
      {1200, 960, 2445, 345},
      {105, 1365, 1080, 270},
      {1200, 1350, 2445, 345},
      {495, 1845, 1140, 390},
      {2100, 1845, 1140, 390},
      {120, 120, 3615, 615}};
  return std::unique_ptr<LoginDialog>(new LoginDialog(kRealm));
}

std::unique_ptr<LoginDialog> LoginDialog::CreateProxyDialog() {
  static const Design kProxy = {
      "Proxy Login",
      "If this transaction requires proxy authentication "
      "('Proxy-Authentication: header'), please enter the username and "
      "password.",
      {105, 990, 1080, 270},
      {1170, 975, 2445, 345},
      {105, 1380, 1080, 270},
      {1170, 1365, 2445, 345},
      {480, 1860, 1140, 390},
      {2100, 1860, 1140, 390},
      {120, 120, 3495, 735}};
  return std::unique_ptr<LoginDialog>(new LoginDialog(kProxy));
}

LoginDialog::LoginDialog(const Design& design)
    : user_label_("_User Name:", true),
      password_label_("_Password:", true),
      cmdOK_("OK"),
      cmdCancel_("Cancel"),
      explanation_(design.explanation),
      surface_(kDialog) {
  set_title(design.caption);
  set_resizable(false);
  set_modal(true);
  set_hide_on_close(false);
  add_css_class("scrivlet-design");

  user_label_.set_mnemonic_widget(txtUserName_);
  password_label_.set_mnemonic_widget(txtPassword_);
  for (Gtk::Label* label : {&user_label_, &password_label_, &explanation_}) {
    label->set_xalign(0);
    label->set_yalign(0);
  }
  explanation_.set_wrap(true);
  explanation_.set_max_width_chars(1);  // wrap to the design width
  txtUserName_.set_activates_default(true);
  txtPassword_.property_activates_default() = true;
  SetDialogRole(*this, DialogRole::kDialog);

  surface_.Add(user_label_, design.user_label);
  surface_.Add(txtUserName_, design.user_box);
  surface_.Add(password_label_, design.password_label);
  surface_.Add(txtPassword_, design.password_box);
  surface_.Add(cmdOK_, design.ok);
  surface_.Add(cmdCancel_, design.cancel);
  surface_.Add(explanation_, design.explanation_label);
  set_child(surface_);
  set_default_widget(cmdOK_);

  cmdOK_.signal_clicked().connect([this] {
    Finish(Credentials{txtUserName_.get_text().raw(),
                       txtPassword_.get_text().raw()});
  });
  cmdCancel_.signal_clicked().connect([this] {
    txtUserName_.set_text("");
    txtPassword_.set_text("");
    Finish(Credentials{"", ""});
  });
  // The close box runs neither OK nor Cancel.
  signal_close_request().connect(
      [this] {
        closed_ = true;
        Finish(std::nullopt);
        return true;
      },
      false);
  auto keys = Gtk::EventControllerKey::create();
  keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  keys->signal_key_pressed().connect(
      [this](guint keyval, guint, Gdk::ModifierType) {
        if (keyval != GDK_KEY_Escape) return false;
        cmdCancel_.activate();
        return true;
      },
      false);
  add_controller(keys);
}

LoginDialog::~LoginDialog() { DetachWindowContent(*this); }

std::optional<Credentials> LoginDialog::Run(Gtk::Window& owner) {
  result_.reset();
  set_transient_for(owner);
  loop_ = Glib::MainLoop::create();
  present();
  txtUserName_.grab_focus();
  loop_->run();
  loop_.reset();
  return std::move(result_);
}

void LoginDialog::Finish(std::optional<Credentials> result) {
  result_ = std::move(result);
  set_visible(false);
  // A hidden dialog keeps its surface and renderer until it is unrealized;
  // the entries keep their texts, so the next showing still offers them.
  Gtk::Widget::unrealize();
  if (loop_) loop_->quit();
}

}  // namespace scrivlet
