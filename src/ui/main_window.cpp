#include "ui/main_window.h"

#include <gdk/gdk.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/gestureclick.h>
#include <gtkmm/stylecontext.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "platform/callback_guard.h"
#include "platform/form_capture.h"
#include "platform/posix_file_system.h"
#include "platform/user_choices.h"
#include "session/window_layout.h"
#include "ui/accessibility.h"
#include "ui/message_box.h"
#include "ui/popup_window.h"
#include "ui/window_design.h"
#include "ui/window_teardown.h"

namespace scrivlet {
namespace {

namespace design = main_window_design;

// The design sizes are those of small dialog-font controls; the theme's
// paddings would not fit in them.
constexpr char kDesignCss[] = R"CSS(
.scrivlet-design { font-size: 8pt; }
.scrivlet-design button { min-height: 0; min-width: 0; padding: 0 4px; }
.scrivlet-design entry { min-height: 0; padding-top: 0; padding-bottom: 0; }
.scrivlet-design checkbutton { min-height: 0; padding: 0; }
.scrivlet-design checkbutton check { margin: 0 3px 0 0; }
.scrivlet-design checkbutton label { font-size: 6.5pt; }
.scrivlet-design checkbutton { border-spacing: 2px; }
.scrivlet-status { border-top: 1px solid #b6b6b3; padding: 0 4px; }
)CSS";

void InstallDesignCss() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  auto provider = Gtk::CssProvider::create();
  provider->load_from_data(kDesignCss);
  Gtk::StyleContext::add_provider_for_display(
      Gdk::Display::get_default(), provider,
      GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

constexpr char kStatusBarTip[] = "F9 shows the requests recorded so far.";

int PixelsOf(double twips) {
  return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

}  // namespace

Scrivlet::Scrivlet()
    : proxy_(webkit_network_session_get_default()),
      // The session is made after the browser, which only keeps the
      // reference until its first event.
      WebBrowser1_(session_, *this),
      session_(files_, WebBrowser1_, *this, proxy_,
               CurrentDirectory(working_directory_error_)),
      Go_("Location"),
      Back_("< Back"),
      Forward_("Forward >"),
      EndRecord_("Save Transaction"),
      RefreshButton_("Refresh"),
      Reset_("Reset Transaction"),
      ProgressLabel_("Progress:"),
      Check1_("Do not prompt for realm username and password"),
      Check2_("Do not prompt for proxy username and password"),
      surface_(design::kForm) {
  InstallDesignCss();
  set_title(kProgramTitle);
  add_css_class("scrivlet-design");
  ProgressLabel_.set_xalign(0);
  ProgressLabel_.set_yalign(0);
  StatusBar1_.set_xalign(0);
  StatusBar1_.set_ellipsize(Pango::EllipsizeMode::END);
  StatusBar1_.add_css_class("scrivlet-status");
  // A caption wider than its box (fonts differ between systems) is cut
  // short rather than pushing into the neighbouring check box.
  for (Gtk::CheckButton* check : {&Check1_, &Check2_}) {
    if (auto* caption = dynamic_cast<Gtk::Label*>(check->get_last_child())) {
      caption->set_ellipsize(Pango::EllipsizeMode::END);
      check->set_tooltip_text(caption->get_text());
    }
  }

  SetAccessibleName(Text1_, "Address");
  MakeReadOnlyBox(Progress_, ProgressLabel_);
  SetAccessibleName(StatusBar1_, "Status");

  // Tab order: as the screen reads, row by row, left to right.
  surface_.Add(Go_, design::kGo);
  surface_.Add(Text1_, design::kText1);
  surface_.Add(Back_, design::kBack);
  surface_.Add(Forward_, design::kForward);
  surface_.Add(RefreshButton_, design::kRefreshButton);
  surface_.Add(ProgressLabel_, design::kProgressLabel);
  surface_.Add(Progress_, design::kProgress);
  surface_.Add(EndRecord_, design::kEndRecord);
  surface_.Add(Reset_, design::kReset);
  surface_.Add(WebBrowser1_.widget(), design::kWebBrowser1);
  surface_.Add(Check1_, design::kCheck1);
  surface_.Add(Check2_, design::kCheck2);
  surface_.Add(StatusBar1_, design::kStatusBar1);
  set_child(surface_);
  // The page has the keyboard when the window first shows, as before the
  // controls came first in the tab order. Given before the window is shown,
  // the focus would make assistive technologies see the window as a plain
  // container once a message box has run before it.
  auto first_map = std::make_shared<sigc::connection>();
  *first_map = signal_map().connect([this, first_map] {
    first_map->disconnect();
    WebBrowser1_.widget().grab_focus();
  });
  // "Location" is the default button: Enter in the address box clicks it.
  // The address box clicks it itself rather than through the window's
  // default, which the engine's own credential prompt takes over for its
  // button and leaves pointing at nothing once it is gone.
  set_default_widget(Go_);
  Text1_.signal_activate().connect([this] { Go_.activate(); });

  Go_.signal_clicked().connect([this] {
    GuardCallback("Location", [this] {
      text1_shown_ = Text1_.get_text().raw();
      session_.Go_Click(text1_shown_);
    });
  });
  Back_.signal_clicked().connect([this] {
    GuardCallback("Back", [this] { session_.Back_Click(); });
  });
  Forward_.signal_clicked().connect([this] {
    GuardCallback("Forward", [this] { session_.Forward_Click(); });
  });
  RefreshButton_.signal_clicked().connect([this] {
    GuardCallback("Refresh", [this] { session_.RefreshButton_Click(); });
  });
  EndRecord_.signal_clicked().connect([this] {
    GuardCallback("Save Transaction", [this] { session_.EndRecord_Click(); });
  });
  Reset_.signal_clicked().connect([this] {
    GuardCallback("Reset Transaction", [this] { session_.Reset_Click(); });
  });

  HandleBrowserKeys(*this, [this](BrowserKey key) { return OnBrowserKey(key); });
  session_.SetRecordedElementObserver(&recorded_requests_);
  Text1_.set_tooltip_text(
      "The address to go to: Ctrl+L or F6 puts the cursor here. "
      "F9 shows the requests recorded so far.");
  StatusBar1_.set_tooltip_text(kStatusBarTip);

  surface_.signal_resized().connect(
      [this](int width, int height) { LayoutControls(width, height); });
  property_maximized().signal_changed().connect(
      [this] { LayoutControls(surface_.get_width(), surface_.get_height()); });
  // A double-click on the window's own surface, not on a control.
  auto clicks = Gtk::GestureClick::create();
  clicks->signal_pressed().connect([this](int presses, double x, double y) {
    if (presses == 2 && surface_.pick(x, y) == &surface_) {
      LayoutControls(surface_.get_width(), surface_.get_height());
    }
  });
  surface_.add_controller(clicks);

  // Closing the window ends the session; it is never refused.
  signal_close_request().connect(
      [this] {
        GuardCallback("EndSession", [this] { session_.EndSession(); });
        return true;
      },
      false);
}

Scrivlet::~Scrivlet() { DetachWindowContent(*this); }

void Scrivlet::Load() {
  InitialGeometry geometry;
  geometry.form_height = design::kForm.height;
  geometry.form_width = design::kForm.width;
  geometry.browser_height = design::kWebBrowser1.height;
  geometry.browser_width = design::kWebBrowser1.width;
  geometry.check1_top = design::kCheck1.top;
  if (!working_directory_error_.empty()) {
    session_.Form_LoadWithoutWorkingDirectory(working_directory_error_);
    return;
  }
  const UserChoices choices = LoadUserChoices();
  FormCapture::SetRecordScriptRequests(choices.record_script_requests);
  session_.SetRecordScriptRequests(choices.record_script_requests,
                                   /*tell_now=*/false);
  session_.Form_Load(geometry);
}

void Scrivlet::LayoutControls(int width, int height) {
  if (width <= 0 || height <= 0) return;
  WindowState state =
      is_maximized() ? WindowState::kMaximized : WindowState::kNormal;
  if (auto surface = get_surface()) {
    GdkSurface* gdk_surface = surface->gobj();
    if (GDK_IS_TOPLEVEL(gdk_surface) &&
        (gdk_toplevel_get_state(GDK_TOPLEVEL(gdk_surface)) &
         GDK_TOPLEVEL_STATE_MINIMIZED)) {
      state = WindowState::kMinimized;
    }
  }
  // The content size stands for the window's outer size: the arithmetic
  // works on differences from the size at load.
  const std::optional<LayoutResult> layout = ::scrivlet::LayoutControls(
      session_.state(), state, static_cast<float>(height * kTwipsPerPixel),
      static_cast<float>(width * kTwipsPerPixel));
  if (!layout) return;
  const int check_top = PixelsOf(layout->check_top);
  surface_.Move(Check1_, surface_.Left(Check1_), check_top);
  surface_.Move(Check2_, surface_.Left(Check2_), check_top);
  if (layout->browser_height && layout->browser_width) {
    surface_.Resize(WebBrowser1_.widget(), PixelsOf(*layout->browser_width),
                    PixelsOf(*layout->browser_height));
  }
  // The status bar docks to the bottom edge by itself.
  const int bar_height = TwipsToPixels(design::kStatusBar1.height);
  surface_.Move(StatusBar1_, 0, height - bar_height);
  surface_.Resize(StatusBar1_, width, bar_height);
}

bool Scrivlet::OnBrowserKey(BrowserKey key) {
  switch (key) {
    case BrowserKey::kFocusAddress:
      Text1_.grab_focus();
      Text1_.select_region(0, -1);
      return true;
    case BrowserKey::kRefresh:
      RefreshButton_.activate();
      return true;
    case BrowserKey::kBack:
      Back_.activate();
      return true;
    case BrowserKey::kForward:
      Forward_.activate();
      return true;
    case BrowserKey::kStop:
      // Escape is the page's own when nothing is loading.
      return WebBrowser1_.StopLoading();
    case BrowserKey::kRecordedRequests:
      recorded_requests_.Open();
      return true;
  }
  return false;
}

// A page that completes while the user types an address leaves what they
// typed alone, as browsers do: the typed address is the one that goes next.
// Once it has gone (Return, "Location"), the box shows the pages again.
void Scrivlet::SetText1(const std::string& text) {
  const Gtk::Widget* focus = get_focus();
  const bool typing = focus && (focus == &Text1_ || focus->is_ancestor(Text1_));
  if (typing && Text1_.get_text().raw() != text1_shown_) return;
  ShowText(Text1_, text);
  text1_shown_ = Text1_.get_text().raw();
}

void Scrivlet::SetProgress(const std::string& text) {
  ShowText(Progress_, text);
}

void Scrivlet::SetMousePointer(MousePointer pointer) {
  // set_cursor("wait") makes a new cursor object each time, which GTK takes
  // for a change and loads from the theme's files again.
  if (pointer == shown_pointer_) return;
  shown_pointer_ = pointer;
  if (pointer == MousePointer::kHourglass) {
    if (!hourglass_) hourglass_ = Gdk::Cursor::create("wait");
    set_cursor(hourglass_);
  } else {
    set_cursor(Glib::RefPtr<Gdk::Cursor>());
  }
}

void Scrivlet::SetEndRecordEnabled(bool enabled) {
  if (EndRecord_.get_sensitive() != enabled) EndRecord_.set_sensitive(enabled);
}

// A text longer than the bar is cut at its end; the tooltip holds it whole.
void Scrivlet::SetStatusText(const std::string& text) {
  ShowText(StatusBar1_, text);
  StatusBar1_.set_tooltip_text(
      (text.empty() ? "" : DisplayText(text) + "\n\n") + kStatusBarTip);
}

bool Scrivlet::Check1Ticked() const { return Check1_.get_active(); }

bool Scrivlet::Check2Ticked() const { return Check2_.get_active(); }

void Scrivlet::ShowMessage(const std::string& prompt, MessageIcon icon) {
  ShowMessageBox(this, prompt, icon);
}

bool Scrivlet::AskToContinue(const std::string& prompt,
                             const std::string& continue_caption) {
  return ::scrivlet::AskToContinue(this, prompt, continue_caption);
}

std::optional<Credentials> Scrivlet::ShowLoginDialog(
    std::unique_ptr<LoginDialog>& dialog,
    std::unique_ptr<LoginDialog> (*create)()) {
  if (!dialog) dialog = create();
  std::optional<Credentials> answer = dialog->Run(*this);
  // The close box discarded it: the next showing starts afresh.
  if (dialog->closed()) dialog.reset();
  return answer;
}

std::optional<Credentials> Scrivlet::ShowRealmDialog() {
  return ShowLoginDialog(frmLogin_, &LoginDialog::CreateRealmDialog);
}

std::optional<Credentials> Scrivlet::ShowProxyDialog() {
  return ShowLoginDialog(frmLogin1_, &LoginDialog::CreateProxyDialog);
}

// Ends the process at once: no handler of any window runs afterwards, and
// nothing is asked. The engine's helper processes end with their connection.
void Scrivlet::EndProgram(int status) {
  std::fflush(nullptr);
  _exit(status);
}

WebViewAdapter* Scrivlet::NewWindow2(WebViewAdapter& opener) {
  return &Popup::Open(session_, opener)->browser();
}

}  // namespace scrivlet
