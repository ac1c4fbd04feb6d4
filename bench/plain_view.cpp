// The plain view: the web view the program browses in, with the same
// settings, the same network session and the same size in a window of the
// program's size, but nothing recorded: no capture script, no policy
// handler, no session. The browsing and start-up benchmarks compare the
// program against it.
//
//   scrivlet-plain-view [--adapter] URL [PROXY_HOST PROXY_PORT]
//
// --adapter shows the program's web view adapter instead (capture script,
// decision queue and form body capture) with no session behind it: the
// difference between the two views is the capture layer's, the rest is the
// session's and the window's.
//
// With a proxy, http and https go through it exactly as the program sends
// them when agent.ini configures one.
#include <gtkmm/application.h>
#include <gtkmm/fixed.h>
#include <gtkmm/window.h>
#include <webkit/webkit.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/web_view_adapter.h"
#include "platform/webkit_proxy_settings.h"
#include "session/window_layout.h"
#include "support/fakes.h"
#include "ui/window_design.h"

namespace {

// The program's window and browser sizes at load, in twips.
namespace design = scrivlet::main_window_design;

int Pixels(int twips) { return twips / scrivlet::kTwipsPerPixel; }

// Takes the adapter's events and does nothing with them.
class NullEvents : public scrivlet::testing::IgnoredBrowserEvents,
                   public scrivlet::WebViewWindow {
 public:
  scrivlet::WebViewAdapter* NewWindow2(scrivlet::WebViewAdapter&) override {
    return nullptr;
  }
};

class PlainWindow : public Gtk::Window {
 public:
  PlainWindow(const std::string& url, bool adapter) {
    set_title("Plain view");
    set_default_size(Pixels(design::kForm.width), Pixels(design::kForm.height));
    if (adapter) {
      adapter_ = std::make_unique<scrivlet::WebViewAdapter>(events_, events_);
      view_ = adapter_->view();
      Place(adapter_->widget());
      adapter_->Navigate(url);
      return;
    }
    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_javascript_can_open_windows_automatically(settings,
                                                                  TRUE);
    view_ = WEBKIT_WEB_VIEW(g_object_new(
        WEBKIT_TYPE_WEB_VIEW, "settings", settings, "network-session",
        webkit_network_session_get_default(), nullptr));
    g_object_unref(settings);
    Place(*Glib::wrap(GTK_WIDGET(view_)));
    webkit_web_view_load_uri(view_, url.c_str());
  }

 private:
  void Place(Gtk::Widget& widget) {
    widget.set_size_request(Pixels(design::kWebBrowser1.width),
                            Pixels(design::kWebBrowser1.height));
    fixed_.put(widget, Pixels(design::kWebBrowser1.left),
               Pixels(design::kWebBrowser1.top));
    set_child(fixed_);
  }

  NullEvents events_;
  std::unique_ptr<scrivlet::WebViewAdapter> adapter_;
  Gtk::Fixed fixed_;
  WebKitWebView* view_ = nullptr;  // owned by fixed_ or adapter_
};

}  // namespace

int main(int argc, char* argv[]) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const bool adapter = !args.empty() && args.front() == "--adapter";
  if (adapter) args.erase(args.begin());
  if (args.size() != 1 && args.size() != 3) {
    g_printerr("usage: %s [--adapter] URL [PROXY_HOST PROXY_PORT]\n", argv[0]);
    return 2;
  }
  const std::string url = args[0];
  if (args.size() == 3) {
    scrivlet::WebKitProxySettings proxy(webkit_network_session_get_default());
    proxy.Apply(scrivlet::ComposeProxyLists(args[1], args[2]), args[1],
                args[2]);
  }
  // The arguments are ours, not GTK's.
  int gtk_argc = 1;
  auto app = Gtk::Application::create("", Gio::Application::Flags::NON_UNIQUE);
  std::unique_ptr<PlainWindow> window;
  app->signal_activate().connect([&] {
    window = std::make_unique<PlainWindow>(url, adapter);
    app->add_window(*window);
    window->present();
  });
  return app->run(gtk_argc, argv);
}
