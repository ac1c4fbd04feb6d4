#include "ui/message_box.h"

#include <glibmm/main.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>

#include <memory>
#include <string>
#include <vector>

#include "document/printable_text.h"
#include "document/utf8.h"
#include "ui/accessibility.h"
#include "ui/window_teardown.h"

namespace scrivlet {

std::string DisplayText(const std::string& text) { return ValidUtf8(text); }

void ShowText(Gtk::Editable& box, const std::string& text) {
  std::string shown = DisplayText(text);
  if (box.get_text().raw() != shown) box.set_text(shown);
}

void ShowText(Gtk::Label& label, const std::string& text) {
  std::string shown = DisplayText(text);
  if (label.get_text().raw() != shown) label.set_text(shown);
}

namespace {

// Runs a modal alert titled "Nerovant Scrivlet" with `prompt`, the icon and
// one button per caption, left to right, and returns the index of the one
// pressed. The button at `cancel` starts with the focus, is the default
// (Enter) and answers Escape and the close box.
std::size_t RunAlert(Gtk::Window* owner, const std::string& prompt,
                     MessageIcon icon, const std::vector<std::string>& captions,
                     std::size_t cancel) {
  Gtk::Window window;
  window.set_title(kProgramTitle);
  window.set_modal(true);
  window.set_resizable(false);
  SetDialogRole(window, DialogRole::kAlert);
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
  Gtk::Box button_row(Gtk::Orientation::HORIZONTAL, 12);
  button_row.set_halign(Gtk::Align::CENTER);
  std::vector<std::unique_ptr<Gtk::Button>> buttons;
  for (const std::string& caption : captions) {
    buttons.push_back(std::make_unique<Gtk::Button>(DisplayText(caption)));
    buttons.back()->set_size_request(76, -1);
    button_row.append(*buttons.back());
  }
  content.append(button_row);
  window.set_child(content);
  window.set_default_widget(*buttons[cancel]);

  auto loop = Glib::MainLoop::create();
  std::size_t pressed = cancel;
  const auto dismiss = [&](std::size_t index) {
    pressed = index;
    window.set_visible(false);
    loop->quit();
  };
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    buttons[i]->signal_clicked().connect([&, i] { dismiss(i); });
  }
  window.signal_close_request().connect(
      [&] {
        dismiss(cancel);
        return true;
      },
      false);
  auto keys = Gtk::EventControllerKey::create();
  keys->signal_key_pressed().connect(
      [&](guint keyval, guint, Gdk::ModifierType) {
        if (keyval != GDK_KEY_Escape) return false;
        dismiss(cancel);
        return true;
      },
      false);
  window.add_controller(keys);

  window.present();
  buttons[cancel]->grab_focus();
  loop->run();
  DetachWindowContent(window);
  return pressed;
}

}  // namespace

// A warning goes to the program's log too: the agent keeps it, and a
// failure told to a desk that nobody watched can be read afterwards. The
// log may be a terminal, so no byte of a quoted name or file acts on it.
void ShowMessageBox(Gtk::Window* owner, const std::string& prompt,
                    MessageIcon icon) {
  if (icon == MessageIcon::kWarning) {
    g_message("%s", PrintableText(prompt).c_str());
  }
  RunAlert(owner, prompt, icon, {"OK"}, 0);
}

std::size_t AskToChoose(Gtk::Window* owner, const std::string& prompt,
                        const std::vector<std::string>& choices) {
  std::vector<std::string> captions = choices;
  captions.push_back("Cancel");
  return RunAlert(owner, prompt, MessageIcon::kWarning, captions,
                  choices.size());
}

bool AskToContinue(Gtk::Window* owner, const std::string& prompt,
                   const std::string& continue_caption) {
  return RunAlert(owner, prompt, MessageIcon::kWarning,
                  {continue_caption, "Cancel"}, 1) == 0;
}

}  // namespace scrivlet
