#include "ui/message_box.h"

#include <glibmm/main.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>

#include <string>

#include "ui/window_teardown.h"

namespace scrivlet {

std::string DisplayText(const std::string& text) {
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    return text;
  }
  gchar* valid =
      g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string result = valid;
  g_free(valid);
  return result;
}

void ShowText(Gtk::Editable& box, const std::string& text) {
  std::string shown = DisplayText(text);
  if (box.get_text().raw() != shown) box.set_text(shown);
}

void ShowText(Gtk::Label& label, const std::string& text) {
  std::string shown = DisplayText(text);
  if (label.get_text().raw() != shown) label.set_text(shown);
}

void ShowMessageBox(Gtk::Window* owner, const std::string& prompt,
                    MessageIcon icon) {
  Gtk::Window window;
  window.set_title(kProgramTitle);
  window.set_modal(true);
  window.set_resizable(false);
  if (owner && owner->get_visible()) window.set_transient_for(*owner);

  Gtk::Box content(Gtk::Orientation::VERTICAL, 12);
  content.set_margin(12);
  Gtk::Box row(Gtk::Orientation::HORIZONTAL, 12);
  Gtk::Image image;
  if (icon != MessageIcon::kNone) {
    image.set_from_icon_name(icon == MessageIcon::kWarning
                                 ? "dialog-warning"
                                 : "dialog-information");
    image.set_icon_size(Gtk::IconSize::LARGE);
    image.set_valign(Gtk::Align::START);
    row.append(image);
  }
  Gtk::Label label(DisplayText(prompt));
  label.set_wrap(true);
  label.set_max_width_chars(60);
  label.set_xalign(0);
  label.set_selectable(false);
  row.append(label);
  content.append(row);
  Gtk::Button ok("OK");
  ok.set_halign(Gtk::Align::CENTER);
  ok.set_size_request(76, -1);
  content.append(ok);
  window.set_child(content);
  window.set_default_widget(ok);

  auto loop = Glib::MainLoop::create();
  const auto dismiss = [&] {
    window.set_visible(false);
    loop->quit();
  };
  ok.signal_clicked().connect(dismiss);
  window.signal_close_request().connect(
      [&] {
        dismiss();
        return true;
      },
      false);
  auto keys = Gtk::EventControllerKey::create();
  keys->signal_key_pressed().connect(
      [&](guint keyval, guint, Gdk::ModifierType) {
        if (keyval != GDK_KEY_Escape) return false;
        dismiss();
        return true;
      },
      false);
  window.add_controller(keys);

  window.present();
  ok.grab_focus();
  loop->run();
  DetachWindowContent(window);
}

}  // namespace scrivlet
