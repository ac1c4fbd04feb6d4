#ifndef SCRIVLET_TESTS_E2E_WAITING_H_
#define SCRIVLET_TESTS_E2E_WAITING_H_

#include <chrono>
#include <functional>

namespace scrivlet::e2e {

// How long any single wait may take before the test fails. WebKit's first
// start on a busy two-core machine takes a few seconds; nothing here should
// take longer than this.
inline constexpr std::chrono::milliseconds kWaitTimeout =
    std::chrono::seconds(25);

// Polls `condition` every 25 ms until it holds or `timeout` passes.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = kWaitTimeout);

}  // namespace scrivlet::e2e

#endif  // SCRIVLET_TESTS_E2E_WAITING_H_
