#include "ui/popup_window.h"

#include <glibmm/main.h>

#include "platform/callback_guard.h"
#include "ui/accessibility.h"
#include "ui/browser_keys.h"
#include "ui/message_box.h"
#include "ui/window_design.h"
#include "ui/window_teardown.h"

namespace scrivlet {
namespace {

namespace design = popup_design;

}  // namespace

Popup* Popup::Open(RecordingSession& session, WebViewAdapter& opener) {
  auto* popup = new Popup(session, opener);
  popup->present();
  return popup;
}

Popup::Popup(RecordingSession& session, WebViewAdapter& opener)
    : session_(session),
      WebBrowser1_(session, *this, opener),
      RefreshButton_("Refresh"),
      ProgressLabel_("Progress:"),
      surface_(design::kForm) {
  set_title("Popup");
  set_default_size(TwipsToPixels(design::kForm.width),
                   TwipsToPixels(design::kForm.height));
  add_css_class("scrivlet-design");
  ProgressLabel_.set_xalign(0);
  ProgressLabel_.set_yalign(0);
  StatusBar1_.set_xalign(0);
  StatusBar1_.add_css_class("scrivlet-status");
  StatusBar1_.set_ellipsize(Pango::EllipsizeMode::END);

  MakeReadOnlyBox(Progress_, ProgressLabel_);
  SetAccessibleName(StatusBar1_, "Status");

  // Tab order: as the screen reads, row by row, left to right.
  surface_.Add(WebBrowser1_.widget(), design::kWebBrowser1);
  surface_.Add(RefreshButton_, design::kRefreshButton);
  surface_.Add(ProgressLabel_, design::kProgressLabel);
  surface_.Add(Progress_, design::kProgress);
  surface_.Add(StatusBar1_, design::kStatusBar1);
  set_child(surface_);

  RefreshButton_.signal_clicked().connect([this] { RefreshButton_Click(); });
  // F5 and Ctrl+R are the pop-up's own "Refresh"; it has no other buttons.
  HandleBrowserKeys(*this, [this](BrowserKey key) {
    if (key != BrowserKey::kRefresh) return false;
    RefreshButton_.activate();
    return true;
  });
  signal_close_request().connect(
      [this] {
        closed_ = true;
        set_visible(false);
        DeleteWhenIdle();
        return true;
      },
      false);
}

Popup::~Popup() { DetachWindowContent(*this); }

// A handler may run a nested main loop (a message box) in which the user
// closes the pop-up; it is deleted once that handler has returned.
void Popup::DeleteWhenIdle() {
  if (!closed_ || handling_ > 0 || deletion_scheduled_) return;
  deletion_scheduled_ = true;
  Glib::signal_idle().connect_once([this] { delete this; });
}

// The progress box reads "loading...." while a handler runs for the
// pop-up's browser and "Done" afterwards, also when it failed.
void Popup::DeliveryStarted() {
  ++handling_;
  ShowText(Progress_, "loading....");
}

void Popup::DeliveryEnded() {
  ShowText(Progress_, "Done");
  --handling_;
  DeleteWhenIdle();
}

WebViewAdapter* Popup::NewWindow2(WebViewAdapter& opener) {
  return &Open(session_, opener)->browser();
}

void Popup::StatusTextChange(const std::string& text) {
  ShowText(StatusBar1_, text);
}

// As the user's close box: what the pop-up recorded stays recorded.
void Popup::CloseByPage() { close(); }

void Popup::RefreshButton_Click() {
  GuardCallback("Refresh",
                [this] { session_.PopupRefreshButton_Click(WebBrowser1_); });
}

}  // namespace scrivlet
