// Slows down the guessing of passwords: after a few wrong passwords for one account, or from one
// address, further sign-ins for it are refused unheard (no hash is computed) for a time that
// doubles with each further wrong password, up to a minute. A right password clears the
// account's count. The same counts bound requests that need no password (password resets), each
// request counted as a failure. Safe from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace qv::hub {

class SignInThrottle {
public:
    // Wrong passwords allowed before the waits begin: an address may stand for a whole office.
    static constexpr int kFreeAccountFailures = 3;
    static constexpr int kFreePeerFailures = 10;
    static constexpr std::int64_t kLongestWaitMs = 60'000;

    // Milliseconds the sign-in of `email` from `peer` must still wait at `nowMs`; 0 when it may go.
    std::int64_t waitMs(const std::string& email, const std::string& peer, std::int64_t nowMs);
    void failed(const std::string& email, const std::string& peer, std::int64_t nowMs);
    void succeeded(const std::string& email);

private:
    struct Record {
        int failures = 0;
        std::int64_t blockedUntil = 0;
        std::int64_t lastFailure = 0;
    };
    void failedLocked(std::map<std::string, Record>& records, const std::string& key, int free, std::int64_t nowMs);
    void forgetOldLocked(std::int64_t nowMs);

    std::mutex mutex_;
    std::map<std::string, Record> accounts_;
    std::map<std::string, Record> peers_;
};

}  // namespace qv::hub
