#include "ui/popup_window.h"

#include <glibmm/main.h>

#include <exception>

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
      WebBrowser1_(*this, opener),
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

// A forwarded call may run a nested main loop (a message box) in which the
// user closes the pop-up; it is deleted once that call has returned.
void Popup::DeleteWhenIdle() {
  if (!closed_ || forwarding_ > 0 || deletion_scheduled_) return;
  deletion_scheduled_ = true;
  Glib::signal_idle().connect_once([this] { delete this; });
}

// Runs one of the main window's handlers for this pop-up's view: the
// progress box reads "loading...." while it runs and "Done" afterwards, also
// when it throws, and a pop-up closed meanwhile is deleted afterwards.
template <typename Handler>
void Popup::Forward(Handler handler) {
  ++forwarding_;
  ShowText(Progress_, "loading....");
  struct Finish {
    Popup& popup;
    ~Finish() {
      ShowText(popup.Progress_, "Done");
      --popup.forwarding_;
      popup.DeleteWhenIdle();
    }
  } finish{*this};
  handler();
}

void Popup::BeforeNavigate2(BrowserId pDisp, const std::string& url,
                            const std::optional<std::string>& post_data,
                            const std::string& headers,
                            bool body_complete) {
  Forward([&] {
    session_.WebBrowser1_BeforeNavigate2(pDisp, url, post_data, headers,
                                         body_complete);
  });
}

void Popup::DocumentComplete(BrowserId pDisp, const std::string& url) {
  Forward([&] { session_.WebBrowser1_DocumentComplete(pDisp, url); });
}

void Popup::LoadEndedWithoutPage(BrowserId pDisp) {
  Forward([&] { session_.WebBrowser1_LoadEndedWithoutPage(pDisp); });
}

WebViewAdapter* Popup::NewWindow2(WebViewAdapter& opener) {
  return &Open(session_, opener)->browser();
}

// The pop-up has no back or forward buttons.
void Popup::CommandStateChange(long, bool) {}

void Popup::StatusTextChange(const std::string& text) {
  ShowText(StatusBar1_, text);
}

// A pop-up's pages get the same answers as the main window's.
std::optional<Credentials> Popup::Authenticate(
    const AuthenticationChallenge& challenge) {
  return session_.WebBrowser1_Authenticate(challenge);
}

// The question runs a nested loop in which the pop-up may be closed; it is
// deleted only after the answer has been given.
bool Popup::CertificateError(const CertificateProblem& problem) {
  bool accepted = false;
  Forward([&] { accepted = session_.WebBrowser1_CertificateError(problem); });
  return accepted;
}

void Popup::RefreshButton_Click() {
  try {
    session_.PopupRefreshButton_Click(WebBrowser1_);
  } catch (const std::exception& error) {
    g_warning("Refresh: %s", error.what());
  }
}

}  // namespace scrivlet
