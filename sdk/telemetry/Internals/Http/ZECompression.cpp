#include "sdk/telemetry/Internals/Http/ZECompression.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"

#include <zlib.h>

namespace ze {

std::optional<ZEData> ZECompression::compressData(const ZEData& data)
{
    if (data.empty()) {
        return std::nullopt;
    }
    z_stream stream{};
    const int init = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    if (init != Z_OK) {
        const char* reason = init == Z_VERSION_ERROR ? "Version of zlib.h & libz library do not match!"
            : init == Z_MEM_ERROR                  ? "Not enough memory."
            : init == Z_STREAM_ERROR               ? "Invalid parameter passed in to function."
                                                   : "Unknown error!";
        ZELogError(kZELogTag, "Compression failed with error: %@", reason);
        return std::nullopt;
    }
    // Room for incompressible input plus the gzip header and trailer.
    ZEData out(deflateBound(&stream, static_cast<uLong>(data.size())) + 32);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = out.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(out.size() - stream.total_out);
        result = deflate(&stream, Z_FINISH);
    }
    if (result != Z_STREAM_END) {
        const char* reason = result == Z_STREAM_ERROR ? "Inconsistent stream state."
            : result == Z_BUF_ERROR                 ? "No progress is possible."
                                                    : "Unknown error!";
        ZELogError(kZELogTag, "Deflate failed with error: %@", reason);
        deflateEnd(&stream);
        return std::nullopt;
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace ze
