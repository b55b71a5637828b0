#include "Timestamp.h"

#include <chrono>

namespace qv {

std::int64_t timestampNow()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace qv
