#ifndef SCRIVLET_PLATFORM_FREED_MEMORY_H_
#define SCRIVLET_PLATFORM_FREED_MEMORY_H_

namespace scrivlet {

// Hands the heap memory freed since the last time back to the system, at
// most once a second. Each page load frees the form bodies, messages and
// texts of the one before; the C library keeps such memory for reuse, and
// over a session the program would hold megabytes it no longer uses.
void ReturnFreedMemory();

}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_FREED_MEMORY_H_
