#ifndef SCRIVLET_PLATFORM_USER_CHOICES_H_
#define SCRIVLET_PLATFORM_USER_CHOICES_H_

#include <string>

namespace scrivlet {

// The choices the user made in the program's windows that the next start
// keeps: a key file, scrivlet/choices.ini under the user's configuration
// folder. A missing or unreadable file leaves every choice at its default.
struct UserChoices {
  bool record_script_requests = false;
};

UserChoices LoadUserChoices();
// Returns "" when the file was written, else what went wrong.
std::string SaveUserChoices(const UserChoices& choices);

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_USER_CHOICES_H_
