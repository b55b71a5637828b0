#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"

#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

#include <unistd.h>

#include <chrono>
#include <random>

namespace ze {

ZEUuid ZEUuid::create()
{
    ZEUuid uuid;
    if (crypto::randomBytes(uuid.bytes_.data(), uuid.bytes_.size()) != 0) {
        // Identifiers need uniqueness, not secrecy: fall back to the library's generator. A
        // forked child would repeat its parent's sequence, so each process seeds its own.
        struct Fallback {
            pid_t process = 0;
            std::mt19937_64 generator;
        };
        static thread_local Fallback fallback;
        if (const pid_t process = getpid(); fallback.process != process) {
            std::random_device device;
            const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            std::seed_seq seed{device(), device(), static_cast<unsigned>(process), static_cast<unsigned>(now),
                static_cast<unsigned>(now >> 32)};
            fallback.generator.seed(seed);
            fallback.process = process;
        }
        for (auto& b : uuid.bytes_) {
            b = static_cast<std::uint8_t>(fallback.generator());
        }
    }
    uuid.bytes_[6] = static_cast<std::uint8_t>((uuid.bytes_[6] & 0x0f) | 0x40);
    uuid.bytes_[8] = static_cast<std::uint8_t>((uuid.bytes_[8] & 0x3f) | 0x80);
    return uuid;
}

std::optional<ZEUuid> ZEUuid::fromString(std::string_view text)
{
    if (text.size() != 36) {
        return std::nullopt;
    }
    ZEUuid uuid;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') {
                return std::nullopt;
            }
            ++i;
            continue;
        }
        auto nibble = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        const int high = nibble(text[i]);
        const int low = nibble(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        uuid.bytes_[byte++] = static_cast<std::uint8_t>(high << 4 | low);
        i += 2;
    }
    return uuid;
}

std::string ZEUuid::UUIDString() const
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out(36, '-');
    std::size_t at = 0;
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            ++at;
        }
        out[at++] = digits[bytes_[i] >> 4];
        out[at++] = digits[bytes_[i] & 0xf];
    }
    return out;
}

} // namespace ze
