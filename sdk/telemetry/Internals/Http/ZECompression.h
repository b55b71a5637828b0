// gzip of request bodies (zlib, default level, 15-bit window).
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"

#include <optional>

namespace ze {

class ZECompression {
public:
    // Nothing for empty input or when zlib fails (logged).
    static std::optional<ZEData> compressData(const ZEData& data);
};

} // namespace ze
