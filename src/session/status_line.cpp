#include "session/status_line.h"

namespace scrivlet {

bool StatusLine::PointerOver(const std::string& link) {
  link_ = link;
  return Show();
}

bool StatusLine::LoadStarted() {
  link_.clear();
  if (!message_outlives_start_) message_.clear();
  message_outlives_start_ = false;
  return Show();
}

bool StatusLine::PageChanged() {
  link_.clear();
  return Show();
}

bool StatusLine::Tell(const std::string& message) {
  message_ = message;
  message_outlives_start_ = false;
  return Show();
}

bool StatusLine::TellWithAskedLoad(const std::string& message) {
  message_ = message;
  message_outlives_start_ = !message.empty();
  return Show();
}

bool StatusLine::SetStanding(const std::string& state) {
  standing_ = state;
  return Show();
}

bool StatusLine::Show() {
  const std::string& text =
      !link_.empty() ? link_ : !message_.empty() ? message_ : standing_;
  if (text == shown_) return false;
  shown_ = text;
  return true;
}

}  // namespace scrivlet
