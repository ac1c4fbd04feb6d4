// The part of the "Recorded Requests" window about requests made by page
// scripts: the choice to record them, and the other hosts they went to.

#include <gtkmm/checkbutton.h>
#include <glibmm/main.h>
#include <sigc++/adaptors/track_obj.h>

#include <string>

#include "platform/form_capture.h"
#include "platform/user_choices.h"
#include "ui/accessibility.h"
#include "ui/message_box.h"
#include "ui/recorded_requests_window.h"

namespace scrivlet {

// The choice is the session's, every web process's and the next start's.
void RecordedRequestsWindow::RecordScriptsToggled() {
  const bool on = record_scripts_.get_active();
  if (on == session_.records_script_requests()) return;
  session_.SetRecordScriptRequests(on);
  FormCapture::SetRecordScriptRequests(on);
  const std::string error = SaveUserChoices(UserChoices{on});
  if (!error.empty()) {
    ShowText(progress_, "The choice to record requests made by page scripts "
                        "could not be kept for the next start: " +
                            error + ". It holds until the program ends.");
  }
}

void RecordedRequestsWindow::ScriptHostsChanged() {
  while (Gtk::Widget* child = hosts_.get_first_child()) hosts_.remove(*child);
  const auto& hosts = session_.other_script_hosts();
  hosts_caption_.set_visible(!hosts.empty());
  const std::size_t unticked = session_.script_requests_not_recorded();
  not_recorded_.set_visible(unticked > 0);
  ShowText(not_recorded_,
           "Not recorded while unticked: " + std::to_string(unticked) +
               (unticked == 1 ? " request" : " requests") + ".");
  for (const auto& [host, count] : hosts) {
    const std::string text = host + " (" + std::to_string(count) + ")";
    auto* box = Gtk::make_managed<Gtk::CheckButton>(DisplayText(text));
    box->set_active(session_.ScriptHostAllowed(host));
    box->set_sensitive(!box->get_active());
    box->set_tooltip_text("Records the next requests that scripts make to " +
                          DisplayText(host) + ".");
    const std::string name = "Record script requests to " + host;
    SetAccessibleName(*box, DisplayText(name).c_str());
    box->signal_toggled().connect([this, box, host] {
      if (!box->get_active()) return;
      box->set_sensitive(false);
      // The list is made anew from the session's hosts afterwards.
      Glib::signal_idle().connect_once(sigc::track_obj(
          [this, host] { session_.AllowScriptHost(host); }, *this));
    });
    hosts_.append(*box);
  }
}

}  // namespace scrivlet
