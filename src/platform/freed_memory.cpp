#include "platform/freed_memory.h"

#include <chrono>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace scrivlet {

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  using Clock = std::chrono::steady_clock;
  static Clock::time_point last;
  const Clock::time_point now = Clock::now();
  if (last != Clock::time_point() && now - last < std::chrono::seconds(1)) {
    return;
  }
  last = now;
  malloc_trim(0);
#endif
}

}  // namespace scrivlet
