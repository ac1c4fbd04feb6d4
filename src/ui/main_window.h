#ifndef SCRIVLET_UI_MAIN_WINDOW_H_
#define SCRIVLET_UI_MAIN_WINDOW_H_

#include <gdkmm/cursor.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/current_directory.h"
#include "platform/posix_file_system.h"
#include "platform/web_view_adapter.h"
#include "platform/webkit_proxy_settings.h"
#include "session/main_window_view.h"
#include "session/recording_session.h"
#include "ui/browser_keys.h"
#include "ui/design_surface.h"
#include "ui/login_dialog.h"
#include "ui/recorded_requests_window.h"

namespace scrivlet {

// The main window `Scrivlet`: the address line, the button row, the browser,
// the two "Do not prompt" check boxes and the status bar, at their design
// places. It owns the recording session and shows what the session writes;
// every decision is the session's. Its browser's events go to the session's
// handlers; the window only opens the pop-ups that pages ask for.
class Scrivlet : public Gtk::Window,
                 private MainWindowView,
                 private WebViewWindow {
 public:
  // The session works in the process's current directory.
  Scrivlet();
  ~Scrivlet() override;

  // The load handler. Runs before the window is first shown; when it ends
  // the program (no agent.ini, a failed transaction start) the process is
  // gone before it returns.
  void Load();

 private:
  // MainWindowView
  void SetText1(const std::string& text) override;
  void SetProgress(const std::string& text) override;
  void SetMousePointer(MousePointer pointer) override;
  void SetEndRecordEnabled(bool enabled) override;
  void SetStatusText(const std::string& text) override;
  bool Check1Ticked() const override;
  bool Check2Ticked() const override;
  void ShowMessage(const std::string& prompt, MessageIcon icon) override;
  bool AskToContinue(const std::string& prompt,
                     const std::string& continue_caption) override;
  std::optional<Credentials> ShowRealmDialog() override;
  std::optional<Credentials> ShowProxyDialog() override;
  [[noreturn]] void EndProgram(int status) override;

  // WebViewWindow
  WebViewAdapter* NewWindow2(WebViewAdapter& opener) override;

  std::optional<Credentials> ShowLoginDialog(
      std::unique_ptr<LoginDialog>& dialog,
      std::unique_ptr<LoginDialog> (*create)());
  void LayoutControls(int width, int height);
  // A browser key does what its button does, through the button itself.
  bool OnBrowserKey(BrowserKey key);

  // Why the current directory could not be read at start; "" when it was.
  // Declared before session_, which is given the directory.
  std::string working_directory_error_;
  PosixFileSystem files_;
  WebKitProxySettings proxy_;
  WebViewAdapter WebBrowser1_;
  RecordingSession session_;

  Gtk::Entry Text1_;
  // What the program last put into the address box, or the address the
  // user last sent from it.
  std::string text1_shown_;
  Gtk::Button Go_;
  Gtk::Button Back_;
  Gtk::Button Forward_;
  Gtk::Button EndRecord_;
  Gtk::Button RefreshButton_;
  Gtk::Button Reset_;
  Gtk::Entry Progress_;
  Gtk::Label ProgressLabel_;
  Gtk::CheckButton Check1_;
  Gtk::CheckButton Check2_;
  Gtk::Label StatusBar1_;
  DesignSurface surface_;
  // The window's cursor as last set; it starts as the default arrow.
  MousePointer shown_pointer_ = MousePointer::kArrow;
  // The hourglass, made once: the display caches the X cursor of each cursor
  // object, so one object is loaded from the cursor theme's files once
  // instead of on every navigation.
  Glib::RefPtr<Gdk::Cursor> hourglass_;

  std::unique_ptr<LoginDialog> frmLogin_;
  std::unique_ptr<LoginDialog> frmLogin1_;
  // Told about every element from the start, shown with F9.
  RecordedRequests recorded_requests_{session_};
};

}  // namespace scrivlet

#endif  // SCRIVLET_UI_MAIN_WINDOW_H_
