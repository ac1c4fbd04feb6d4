#ifndef SCRIVLET_UI_POPUP_WINDOW_H_
#define SCRIVLET_UI_POPUP_WINDOW_H_

#include <gtkmm/button.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

#include <optional>
#include <string>

#include "platform/web_view_adapter.h"
#include "session/recording_session.h"
#include "ui/design_surface.h"

namespace scrivlet {

// The pop-up window `Popup` that a page's new-window request opens. It
// forwards its browser's navigations and completions to the session's
// handlers with its own browser as pDisp, so its requests land in the same
// document, and shows "loading...." while each forwarded call runs.
//
// A pop-up owns itself: it is made visible at once and deletes itself once
// the user has closed it and no forwarded call of it is running.
class Popup : public Gtk::Window, private WebViewEvents {
 public:
  // Opens a pop-up for a new-window request of `opener`. `session` must
  // outlive it.
  static Popup* Open(RecordingSession& session, WebViewAdapter& opener);

  WebViewAdapter& browser() { return WebBrowser1_; }

 private:
  Popup(RecordingSession& session, WebViewAdapter& opener);
  ~Popup() override;

  // WebViewEvents
  void BeforeNavigate2(BrowserId pDisp, const std::string& url,
                       const std::optional<std::string>& post_data,
                       const std::string& headers,
                       bool body_complete) override;
  void DocumentComplete(BrowserId pDisp, const std::string& url) override;
  void LoadEndedWithoutPage(BrowserId pDisp) override;
  WebViewAdapter* NewWindow2(WebViewAdapter& opener) override;
  void CommandStateChange(long command, bool enable) override;
  void StatusTextChange(const std::string& text) override;
  std::optional<Credentials> Authenticate(
      const AuthenticationChallenge& challenge) override;
  bool CertificateError(const CertificateProblem& problem) override;

  void RefreshButton_Click();
  void DeleteWhenIdle();
  template <typename Handler>
  void Forward(Handler handler);

  RecordingSession& session_;
  WebViewAdapter WebBrowser1_;
  Gtk::Entry Progress_;
  Gtk::Button RefreshButton_;
  Gtk::Label ProgressLabel_;
  Gtk::Label StatusBar1_;
  DesignSurface surface_;
  int forwarding_ = 0;
  bool closed_ = false;
  bool deletion_scheduled_ = false;
};

}  // namespace scrivlet

#endif  // SCRIVLET_UI_POPUP_WINDOW_H_
