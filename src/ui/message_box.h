#ifndef SCRIVLET_UI_MESSAGE_BOX_H_
#define SCRIVLET_UI_MESSAGE_BOX_H_

#include <gtkmm/editable.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

#include <cstddef>
#include <string>
#include <vector>

#include "session/main_window_view.h"

namespace scrivlet {

inline constexpr char kProgramTitle[] = "Nerovant Scrivlet";

// Shows `prompt` in a modal alert titled "Nerovant Scrivlet" with one OK
// button and the given icon, and returns once the user has dismissed it
// (OK, Enter, Escape or the close box). `owner` may be null, for example
// before the main window is shown.
void ShowMessageBox(Gtk::Window* owner, const std::string& prompt,
                    MessageIcon icon);

// Asks `prompt` in a modal alert like ShowMessageBox's, with a warning icon
// and the buttons `continue_caption` and "Cancel". Cancel has the focus, is
// the default and answers Escape and the close box. True when the user
// chose to continue.
bool AskToContinue(Gtk::Window* owner, const std::string& prompt,
                   const std::string& continue_caption);

// Asks `prompt` like AskToContinue, with a button for each of `choices`
// and "Cancel" after them. The index of the choice taken; choices.size()
// for Cancel, Escape and the close box.
std::size_t AskToChoose(Gtk::Window* owner, const std::string& prompt,
                        const std::vector<std::string>& choices);

// `text` with every byte sequence that is not UTF-8 replaced, so that GTK
// accepts it.
std::string DisplayText(const std::string& text);

// Puts DisplayText(text) into the box or label unless it already shows
// exactly that: every change queues a redraw, and a navigation repeats most
// of its texts.
void ShowText(Gtk::Editable& box, const std::string& text);
void ShowText(Gtk::Label& label, const std::string& text);

}  // namespace scrivlet

#endif  // SCRIVLET_UI_MESSAGE_BOX_H_
