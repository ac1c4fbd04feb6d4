#ifndef SCRIVLET_SESSION_BROWSER_H_
#define SCRIVLET_SESSION_BROWSER_H_

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace scrivlet {

// Identifies the browser object that an event concerns: the top-level
// document of one web view, or one sub-frame. Two different objects never
// share an identity while both exist.
using BrowserId = std::uintptr_t;

// The commands whose availability the browser reports
// (WebBrowser1_CommandStateChange): going forward and going back in its
// history. Other ids, such as -1 for "the command states changed", name no
// command of the program.
inline constexpr long kForwardCommand = 1;
inline constexpr long kBackCommand = 2;

// The main window's embedded browser, as the session drives it.
class Browser {
 public:
  virtual ~Browser() = default;

  // Identity of this view's top-level document (the `Object` property).
  virtual BrowserId Object() const = 0;

  // The address under which the browser loads the local file at the
  // absolute `path`: a file URI with every byte of the path that an address
  // cannot hold as it is (blank, "#", "?", "%", non-ASCII) escaped. Throws
  // std::runtime_error when the path cannot be written as an address.
  virtual std::string FileAddress(const std::string& path) const = 0;

  // Starts loading `url`, an address the program composed (the intro page,
  // the record page). It never fails at the call: what becomes of the load
  // is told later, after the calling handler has returned, by the events of
  // any load. A load that fails (no answer from the host, an address the
  // engine cannot load, a refused certificate) shows the engine's error page
  // at `url`, which completes like a page (WebBrowser1_DocumentComplete with
  // `url`); a load stopped or turned into a download ends without a page
  // (WebBrowser1_LoadEndedWithoutPage).
  //
  // Returns the address as the browser spells it for this load (scheme and
  // host in its canonical form, blanks around it dropped): the events of
  // the load report it in that spelling.
  virtual std::string Navigate(const std::string& url) = 0;
  // The address box's navigation: the text is handed over unchanged (not
  // trimmed, no scheme added, perhaps empty); the session has already put a
  // scheme in front where it lacked one. In the WebKit adapter it is
  // the same load as Navigate; the two stay apart because they promise
  // different things about their text, a composed address or whatever the
  // user typed.
  virtual void Navigate2(const std::string& url) = 0;
  // Gives the keyboard focus to the page, so that typing goes to the page
  // (its autofocused field, once it has loaded).
  virtual void Focus() = 0;
  virtual void GoBack() = 0;
  virtual void GoForward() = 0;
  virtual void Refresh() = 0;

  // Sets, by position, the values of the first four elements of the first
  // form of the page that `target` shows. The values are handed to the page
  // as data, never as script text. A page without such a form is left
  // alone. Finishes after the call returns: `filled` is then called on the
  // user-interface thread with whether the form was there and filled,
  // unless the browser has gone by then. The values are taken over: the
  // document among them may be megabytes.
  virtual void FillFirstForm(BrowserId target,
                             std::array<std::string, 4> values,
                             std::function<void(bool filled)> filled) = 0;
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_BROWSER_H_
