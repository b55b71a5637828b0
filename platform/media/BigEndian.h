// Private to the media layer: big-endian integers read from a bounded view of file bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qv {

// The `size` bytes (at most 8) at `offset`; the caller has checked that they lie inside `bytes`.
inline std::uint64_t readBigEndian(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t size)
{
    std::uint64_t value = 0;
    for (std::uint8_t byte : bytes.subspan(offset, size))
        value = (value << 8) | byte;
    return value;
}

}  // namespace qv
