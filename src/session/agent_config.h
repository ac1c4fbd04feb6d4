#ifndef SCRIVLET_SESSION_AGENT_CONFIG_H_
#define SCRIVLET_SESSION_AGENT_CONFIG_H_

#include <optional>
#include <stdexcept>
#include <string>

#include "session/session_state.h"

namespace scrivlet {

// An agent.ini value that the program cannot use; what() names agent.ini, the
// key and the value.
class AgentConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a decimal number the way agent.ini values were always read: blanks
// around it, a sign, leading zeros and a decimal part are accepted ("1",
// " 01", "+1", "1.0", "1." all equal 1). nullopt when the text is not a
// number ("", "true", "1x", "0x1"); otherwise whether it equals 1.
std::optional<bool> DecimalEqualsOne(const std::string& text);

// Applies one line of agent.ini to `state`: the line is split at its first
// "=", key and value are taken as they stand, and the six known keys take
// effect; every other line is ignored. Throws AgentConfigError for a
// `nonsslauth` value that is not a number.
void ApplyAgentConfigLine(SessionState& state, const std::string& line);

}  // namespace scrivlet

#endif  // SCRIVLET_SESSION_AGENT_CONFIG_H_
