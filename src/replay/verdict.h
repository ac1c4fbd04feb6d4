#ifndef SCRIVLET_REPLAY_VERDICT_H_
#define SCRIVLET_REPLAY_VERDICT_H_

// How a replayed step is judged: on its own ("ok" or "fails"), and against
// the answer the recording got ("same" or "differs").

#include <optional>
#include <string>

namespace scrivlet::replay {

enum class Verdict { kOk, kFails };

// kFails when there was no answer (`status` nullopt), the status is 400 or
// more, or the step failed otherwise (`error`: the answer was cut short,
// reset, not ended in time, or ended the browser's load with an error).
Verdict StepVerdict(std::optional<int> status, const std::string& error = "");
// "ok" or "fails".
const char* VerdictName(Verdict verdict);

// One answer as far as the comparison needs it.
struct AnswerSummary {
  std::optional<int> status;  // nullopt: no answer
  // Where a redirect (a 3xx status) sends the browser, as an absolute
  // address (ResolveLocation); "" otherwise.
  std::string redirect_target;
};

enum class Agreement { kSame, kDiffers };

// kDiffers when the status classes differ (no answer is a class of its
// own), or when both answers redirect to different addresses.
Agreement CompareWithRecording(const AnswerSummary& recorded,
                               const AnswerSummary& replayed);
// "same" or "differs".
const char* AgreementName(Agreement agreement);

// A Location header's value resolved against the address of the request it
// answers; the value as it stands when either cannot be parsed.
std::string ResolveLocation(const std::string& request_url,
                            const std::string& location);

}  // namespace scrivlet::replay

#endif  // SCRIVLET_REPLAY_VERDICT_H_
