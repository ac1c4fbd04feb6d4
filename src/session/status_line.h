#ifndef SCRIVLET_SESSION_STATUS_LINE_H_
#define SCRIVLET_SESSION_STATUS_LINE_H_

#include <string>

namespace scrivlet {

// What the main window's status line shows, and for how long. Three kinds
// of text share the line, each with its own lifetime:
//   - the address of the link under the pointer: until the pointer leaves
//     the link, or the page changes (a load starts, a page completes);
//   - a message about a load or the browser (a page process that ended, the
//     requests kept from an earlier run): until the next top-level load of
//     the main view starts;
//   - a standing state (the recording is paused): until it is ended.
// The line shows the link when there is one, else the message, else the
// standing state. Each call returns whether the text shown changed; the
// caller then writes text() to the window.
class StatusLine {
 public:
  const std::string& text() const { return shown_; }
  // The message about a load now kept ("" when none).
  const std::string& message() const { return message_; }

  // The pointer is over the link to `link`; "" when it is over none.
  bool PointerOver(const std::string& link);
  // A top-level load of the main view starts: the message goes, unless it
  // was told with the load.
  bool LoadStarted();
  // The page shown changed without a new load starting (it completed, or
  // its process ended).
  bool PageChanged();
  // A message about a load; "" takes the last one away.
  bool Tell(const std::string& message);
  // A message about the load the program has just asked for (the intro
  // page after the requests kept from an earlier run), whose start the
  // browser tells later: it stays through that start and goes with the
  // next. "" takes the last one away, as with Tell.
  bool TellWithAskedLoad(const std::string& message);
  // A standing state; "" ends it.
  bool SetStanding(const std::string& state);

 private:
  bool Show();

  std::string link_;
  std::string message_;
  std::string standing_;
  std::string shown_;
  // `message_` belongs to a load that has not started yet.
  bool message_outlives_start_ = false;
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_STATUS_LINE_H_
