// The part of the "Recorded Requests" window about requests made by page
// scripts: the choice to record them, and why those not recorded were not
// (the box was off, another host, sent without their bodies being seen).

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

// The row below the window's tools, and the line of the requests sent
// without their bodies below it.
void RecordedRequestsWindow::BuildScriptTools() {
  record_scripts_.set_active(session_.records_script_requests());
  record_scripts_.set_tooltip_text(
      "Records the requests that the pages' scripts start from now on "
      "(fetch, XMLHttpRequest, beacons) with the bytes they send, to the "
      "hosts of the recorded pages and to the hosts ticked beside.");
  SetAccessibleName(record_scripts_, "Record requests made by page scripts");
  hosts_caption_.set_text(
      "Not recorded, other hosts (tick to record their next requests):");
  hosts_caption_.set_visible(false);
  hosts_.set_spacing(6);
  SetAccessibleName(hosts_, "Other hosts that scripts called");
  not_recorded_.set_xalign(0);
  unannounced_.set_xalign(0);
  unannounced_.set_wrap(true);
  unannounced_.set_visible(false);
  SetAccessibleName(unannounced_,
                    "Script requests sent without their bodies being seen");
  script_tools_.append(record_scripts_);
  script_tools_.append(not_recorded_);
  script_tools_.append(hosts_caption_);
  script_tools_.append(hosts_);
  record_scripts_.signal_toggled().connect([this] { RecordScriptsToggled(); });
  // The keyboard follows the mnemonic, so that Tab goes on to the hosts.
  record_scripts_.signal_mnemonic_activate().connect(
      [this](bool) {
        record_scripts_.grab_focus();
        return false;
      },
      false);
  content_.append(script_tools_);
  content_.append(unannounced_);
}

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
  std::string sent;
  for (const auto& [url, count] : session_.unannounced_script_requests()) {
    sent += (sent.empty() ? "" : ", ") + url + " (" + std::to_string(count) + ")";
  }
  unannounced_.set_visible(!sent.empty());
  ShowText(unannounced_,
           "Not recorded: sent without its body being seen: " + sent + ".");
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
