// Push identifiers: 20 characters, 8 for the time in milliseconds and 12 random ones, over an
// alphabet in ASCII order, so that identifiers made later compare greater with plain string
// comparison, also across computers. Within one millisecond the random part counts up.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qv {

class PushIdGenerator {
public:
    std::string next(std::int64_t milliseconds);

private:
    std::int64_t lastTime_ = -1;
    std::array<int, 12> lastRandom_{};
};

}  // namespace qv
