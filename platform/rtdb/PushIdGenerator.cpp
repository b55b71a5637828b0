#include "platform/rtdb/PushIdGenerator.h"

#include <openssl/rand.h>

namespace qv {

namespace {
const char kAlphabet[] = "-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
}

std::string PushIdGenerator::next(std::int64_t milliseconds)
{
    if (milliseconds < 0)
        milliseconds = 0;
    // A clock that steps back must not reorder identifiers.
    if (milliseconds < lastTime_)
        milliseconds = lastTime_;
    if (milliseconds == lastTime_) {
        int i = 11;
        while (i >= 0 && lastRandom_[static_cast<std::size_t>(i)] == 63)
            lastRandom_[static_cast<std::size_t>(i--)] = 0;
        if (i >= 0)
            ++lastRandom_[static_cast<std::size_t>(i)];
        else
            ++milliseconds;  // all 64^12 used up within one millisecond: borrow the next one
    } else {
        unsigned char bytes[12];
        if (RAND_bytes(bytes, sizeof bytes) != 1)
            for (auto& byte : bytes)
                byte = static_cast<unsigned char>(milliseconds * 31 + (&byte - bytes));
        for (std::size_t i = 0; i < 12; ++i)
            lastRandom_[i] = bytes[i] & 63;
    }
    lastTime_ = milliseconds;
    std::string id(20, '-');
    std::int64_t time = milliseconds;
    for (int i = 7; i >= 0; --i) {
        id[static_cast<std::size_t>(i)] = kAlphabet[time % 64];
        time /= 64;
    }
    for (std::size_t i = 0; i < 12; ++i)
        id[8 + i] = kAlphabet[lastRandom_[i]];
    return id;
}

}  // namespace qv
