// The wall clock, for times written to records and logs (not for measuring intervals: use
// Dispatcher::now for those).
#pragma once

#include <cstdint>

namespace qv {

// Milliseconds since 1970-01-01 00:00 UTC.
std::int64_t timestampNow();

}  // namespace qv
