#include "replay/verdict.h"

#include <glib.h>

namespace scrivlet::replay {
namespace {

constexpr int kFirstFailingStatus = 400;

// 1 to 5 for the status classes, 0 for no answer.
int StatusClass(std::optional<int> status) { return status ? *status / 100 : 0; }

constexpr int kRedirectClass = 3;

}  // namespace

Verdict StepVerdict(std::optional<int> status, const std::string& error) {
  return status && *status < kFirstFailingStatus && error.empty()
             ? Verdict::kOk
             : Verdict::kFails;
}

const char* VerdictName(Verdict verdict) {
  return verdict == Verdict::kOk ? "ok" : "fails";
}

Agreement CompareWithRecording(const AnswerSummary& recorded,
                               const AnswerSummary& replayed) {
  if (StatusClass(recorded.status) != StatusClass(replayed.status)) {
    return Agreement::kDiffers;
  }
  if (StatusClass(replayed.status) == kRedirectClass &&
      recorded.redirect_target != replayed.redirect_target) {
    return Agreement::kDiffers;
  }
  return Agreement::kSame;
}

const char* AgreementName(Agreement agreement) {
  return agreement == Agreement::kSame ? "same" : "differs";
}

std::string ResolveLocation(const std::string& request_url,
                            const std::string& location) {
  g_autofree char* resolved = g_uri_resolve_relative(
      request_url.c_str(), location.c_str(), G_URI_FLAGS_NONE, nullptr);
  return resolved != nullptr ? std::string(resolved) : location;
}

}  // namespace scrivlet::replay
