#ifndef SCRIVLET_REPLAY_REPLAY_REPORT_H_
#define SCRIVLET_REPLAY_REPLAY_REPORT_H_

// The replay's results as scrivlet-replay prints them: a table for a
// person, or one JSON object per step for a program.

#include <string>

#include "replay/replay_engine.h"

namespace scrivlet::replay {

// The table's heading line, with its line end.
std::string TableHeading();
// A step's row, and under it, indented, the session-bound values with both
// values shortened, where a redirect points, why the step failed, and what
// it left out of the recorded request.
std::string TableRows(const StepResult& result);

// A session-bound value as the table and the window show it: "session-bound
// NAME: recorded "…", served "…"", each value at most 16 characters, the
// last of them "…" when it was cut; bytes that are not UTF-8 replaced by
// U+FFFD.
std::string SessionBoundText(const SessionBoundValue& value);

// One line (with its line end) holding exactly the keys step (from 1),
// method, url, status (null: no answer), location (null: none), verdict,
// session_bound (a list of {name, recorded, served}), error (null: none)
// and ms. Bytes that are
// not UTF-8 are replaced by U+FFFD.
std::string JsonLine(const StepResult& result);

}  // namespace scrivlet::replay

#endif  // SCRIVLET_REPLAY_REPLAY_REPORT_H_
