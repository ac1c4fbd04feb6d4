#ifndef SCRIVLET_REPLAY_REQUEST_ROWS_H_
#define SCRIVLET_REPLAY_REQUEST_ROWS_H_

// What the "Recorded Requests" window writes in a row and below the list,
// and how its replay check is set up: the texts, without the toolkit.

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "document/document_reader.h"
#include "replay/replay_engine.h"
#include "replay/replayed_request.h"
#include "session/certificate.h"
#include "session/recorded_element.h"

namespace scrivlet::replay {

// The Status column: "" until the answer has come, else its status, or
// "no answer" with the reason. A failed answer (400 or more, or none)
// begins with "failed: ", so that it does not rest on an icon or colour.
std::string StatusText(const std::optional<RecordedAnswer>& answer);
bool AnswerFailed(const std::optional<RecordedAnswer>& answer);

// The Notes column: a completion is the target of the redirect before it;
// a navigation whose page ended at another address says where.
std::string NotesText(const RecordedElement& element,
                      const std::optional<RecordedAnswer>& answer);

// The Replay column for a replayed step: its status (or "no answer"),
// "same" or "differs" against the answer recorded (when one is known), and
// each session-bound value by name with both values shortened.
std::string ReplayText(const StepResult& step, const RecordedElement& element,
                       const std::optional<RecordedAnswer>& answer);
// Whether the step wants the user's look: it failed, its answer differs
// from the one recorded, or it sent session-bound values.
bool ReplayDiffers(const StepResult& step, const RecordedElement& element,
                   const std::optional<RecordedAnswer>& answer);

// The "Form" view of an element's POST body: one line per field, "name =
// value", a multipart file part as its name, file name, content type and
// size; a JSON body (by its Content-Type) laid out one member a line. ""
// for an element without a body.
std::string FormText(const DocumentElement& element);

// The hosts (as their Host lines name them) to which the replay sends a
// recorded Authorization line although, while recording, they never asked
// for the typed credentials: their "HOST:PORT" is not in `asked`.
std::vector<std::string> HostsNeverAsked(
    const std::vector<DocumentElement>& elements,
    const std::set<std::string>& asked);

// The caption of the question's choice that leaves the Authorization line
// out for the hosts that never asked for it.
inline constexpr char kWithoutPasswordCaption[] =
    "Check, Password Only Where Asked";

// The count above the list: of the whole transaction, or, while `filter`
// is not empty, how many of its `total` requests the filter leaves
// (`shown`). `filter` is shown in the list when it leaves none.
std::string CountText(std::size_t shown, std::size_t total,
                      const std::string& filter);
std::string NoMatchText(const std::string& filter);

// Whether "Delete Request" can act now, and its tooltip, which says why
// not when it cannot.
struct DeleteButtonState {
  bool enabled = false;
  std::string tooltip;
  bool operator==(const DeleteButtonState&) const = default;
};
DeleteButtonState DeleteButton(bool row_selected, bool check_running,
                               bool transaction_closed);

// The question asked before the check: the hosts, the number of requests
// and POSTs, that they will be sent to those hosts again, which hosts
// receive the recorded password, and which of them never asked for it.
std::string CheckQuestion(const ReplayScope& scope,
                          const std::vector<std::string>& never_asked = {});

// The replay's settings as the browser has them: the proxy it was given
// ("" for none) with the hosts it reaches directly, and the certificates
// the user accepted in this session: a certificate the system does not
// trust passes only when it is one of those, accepted for its host.
ReplayOptions CheckOptions(const std::string& proxy,
                           const std::vector<std::string>& proxy_bypass,
                           const std::vector<AcceptedCertificate>& accepted);

}  // namespace scrivlet::replay

#endif  // SCRIVLET_REPLAY_REQUEST_ROWS_H_
