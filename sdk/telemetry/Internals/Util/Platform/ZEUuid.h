// A 128-bit universally unique identifier; random ones are version 4, written in upper case.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ze {

class ZEUuid {
public:
    // A fresh random identifier.
    static ZEUuid create();
    // Reads the 8-4-4-4-12 hexadecimal form in either case; nothing for any other text.
    static std::optional<ZEUuid> fromString(std::string_view text);

    std::string UUIDString() const;
    bool operator==(const ZEUuid&) const = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

} // namespace ze
