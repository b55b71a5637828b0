// Random draws from the operating system's cryptographic generator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// Fills `size` bytes at `out` with random bytes.
void randomBytes(void* out, std::size_t size);
// A uniformly distributed integer in [0, n); 0 when n is 0.
std::uint32_t randomBelow(std::uint32_t n);

}  // namespace qv
