#include "Random.h"

#include "Log.h"

#include <openssl/rand.h>

#include <algorithm>
#include <climits>
#include <random>

namespace qv {

void randomBytes(void* out, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(out);
    while (size > 0) {
        int chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
        if (RAND_bytes(bytes, chunk) != 1) {
            // The generator could not be seeded; the kernel's source still serves.
            logError("randomBytes: the OpenSSL generator failed; drawing from std::random_device");
            std::random_device device;
            for (int i = 0; i < chunk; ++i)
                bytes[i] = static_cast<unsigned char>(device());
        }
        bytes += chunk;
        size -= static_cast<std::size_t>(chunk);
    }
}

std::uint32_t randomBelow(std::uint32_t n)
{
    if (n == 0)
        return 0;
    // Draws below 2^32 mod n would make the low results more likely; draw again for those.
    const std::uint32_t threshold = (0u - n) % n;
    for (;;) {
        std::uint32_t draw;
        randomBytes(&draw, sizeof draw);
        if (draw >= threshold)
            return draw % n;
    }
}

}  // namespace qv
