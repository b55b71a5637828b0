// The stack of the last C++ throw on the calling thread, kept so that an exception that ends
// the process can be reported with the stack where it was thrown rather than where it was found
// to be uncaught. Only builds with the throw-site capture fill it.
#pragma once

#include <cstdint>

namespace ze {

inline constexpr int kZEThrowRecordCapacity = 128;

struct ZEThrowRecord {
    // The thrown object and its type: a record for another pair belongs to an earlier throw. (An
    // earlier object of the same type whose memory the new one reuses is not told apart.)
    const void* thrownObject;
    const void* thrownType;
    std::uint32_t frameCount;
    std::uint64_t frames[kZEThrowRecordCapacity];
};

// Starts recording throws (once per process); until then throws record nothing.
void ZEStartThrowCapture();
// The calling thread's record, or null when it never recorded a throw.
const ZEThrowRecord* ZECurrentThreadThrowRecord();

} // namespace ze
