#ifndef SCRIVLET_UI_POPUP_WINDOW_H_
#define SCRIVLET_UI_POPUP_WINDOW_H_

#include <gtkmm/button.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

#include <string>

#include "platform/web_view_adapter.h"
#include "session/recording_session.h"
#include "ui/design_surface.h"

namespace scrivlet {

// The pop-up window `Popup` that a page's new-window request opens. Its
// browser's navigations and completions go to the session's handlers with
// its own browser as pDisp, so its requests land in the same document; the
// pop-up shows "loading...." while each of them is handled.
//
// A pop-up owns itself: it is made visible at once and deletes itself once
// the user or its page (window.close()) has closed it and no handler for its
// browser is running.
class Popup : public Gtk::Window, private WebViewWindow {
 public:
  // Opens a pop-up for a new-window request of `opener`. `session` must
  // outlive it.
  static Popup* Open(RecordingSession& session, WebViewAdapter& opener);

  WebViewAdapter& browser() { return WebBrowser1_; }

 private:
  Popup(RecordingSession& session, WebViewAdapter& opener);
  ~Popup() override;

  // WebViewWindow
  WebViewAdapter* NewWindow2(WebViewAdapter& opener) override;
  void StatusTextChange(const std::string& text) override;
  void CloseByPage() override;
  void DeliveryStarted() override;
  void DeliveryEnded() override;

  void RefreshButton_Click();
  void DeleteWhenIdle();

  RecordingSession& session_;
  WebViewAdapter WebBrowser1_;
  Gtk::Entry Progress_;
  Gtk::Button RefreshButton_;
  Gtk::Label ProgressLabel_;
  Gtk::Label StatusBar1_;
  DesignSurface surface_;
  int handling_ = 0;  // handlers for the browser running
  bool closed_ = false;
  bool deletion_scheduled_ = false;
};

}  // namespace scrivlet

#endif  // SCRIVLET_UI_POPUP_WINDOW_H_
