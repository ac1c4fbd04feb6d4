#ifndef SCRIVLET_SESSION_MAIN_WINDOW_VIEW_H_
#define SCRIVLET_SESSION_MAIN_WINDOW_VIEW_H_

#include <optional>
#include <string>

namespace scrivlet {

enum class MessageIcon { kNone, kInformation, kWarning };
enum class MousePointer { kArrow, kHourglass };

// What a credential dialog gave back. std::nullopt from ShowRealmDialog or
// ShowProxyDialog means it was closed with its close box.
struct Credentials {
  std::string user_name;
  std::string password;
};

// The main window's visible state and the modal windows it opens, as the
// session writes them. Implemented by the GTK window; faked in tests.
class MainWindowView {
 public:
  virtual ~MainWindowView() = default;

  virtual void SetText1(const std::string& text) = 0;
  virtual void SetProgress(const std::string& text) = 0;
  virtual void SetMousePointer(MousePointer pointer) = 0;
  virtual void SetEndRecordEnabled(bool enabled) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  // The "Do not prompt" check boxes.
  virtual bool Check1Ticked() const = 0;
  virtual bool Check2Ticked() const = 0;

  // A modal message box with one OK button; returns once it is dismissed.
  virtual void ShowMessage(const std::string& prompt, MessageIcon icon) = 0;
  // A modal question with a warning icon and two buttons, `continue_caption`
  // and "Cancel"; Cancel is the default and answers Escape and the close
  // box. True when the user chose to continue.
  virtual bool AskToContinue(const std::string& prompt,
                             const std::string& continue_caption) = 0;
  // The modal credential dialogs ("Network Login", "Proxy Login"). OK gives
  // the two boxes' texts, Cancel two empty texts, the close box nullopt.
  virtual std::optional<Credentials> ShowRealmDialog() = 0;
  virtual std::optional<Credentials> ShowProxyDialog() = 0;

  // Ends the program at once with `status`. In the real program it does not
  // return; callers return immediately after it all the same, so that a
  // test double may return.
  virtual void EndProgram(int status) = 0;
};

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_MAIN_WINDOW_VIEW_H_
