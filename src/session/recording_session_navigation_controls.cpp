#include "session/recording_session.h"

#include "session/typed_address.h"

namespace scrivlet {

// As in any browser, text without a scheme loads as http, and the keyboard
// follows the navigation to the page: a login page's autofocused field takes
// what the user types next. What is recorded is the address the browser
// reports for the load, as for any navigation.
void RecordingSession::Go_Click(const std::string& address_text) {
  browser_.Navigate2(AddressToLoad(address_text));
  browser_.Focus();
}

void RecordingSession::Back_Click() {
  if (state_.canGoBack) browser_.GoBack();
}

void RecordingSession::Forward_Click() {
  if (state_.canGoForward) browser_.GoForward();
}

// The mark is set after the reload was asked for; capture stays paused until
// the next page completion clears it.
void RecordingSession::RefreshButton_Click() {
  browser_.Refresh();
  state_.didRefresh = true;
}

void RecordingSession::PopupRefreshButton_Click(Browser& popup_browser) {
  popup_browser.Refresh();
  state_.didRefresh = true;
}

void RecordingSession::WebBrowser1_CommandStateChange(long Command,
                                                      bool Enable) {
  if (Command == kBackCommand) {
    state_.canGoBack = Enable;
  } else if (Command == kForwardCommand) {
    state_.canGoForward = Enable;
  }
}

// The link under the pointer shows over any message; when the pointer
// leaves it, the line shows what it showed before.
void RecordingSession::WebBrowser1_StatusTextChange(const std::string& Text) {
  ShowStatus(status_line_.PointerOver(Text));
}

void RecordingSession::ShowStatus(bool changed) {
  if (changed) view_.SetStatusText(status_line_.text());
}

}  // namespace scrivlet
