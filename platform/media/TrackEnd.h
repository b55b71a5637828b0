// Private to the media layer: where an audio stream says its media ends, by how much a whole
// stream may fall short of that, and where the stream of a file cut short really ends. Reading
// and inspection judge a file cut short by the same measure, so that a file listed whole also
// reads whole.
#pragma once

#include "FFmpegSupport.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qv::trackend {

// The stream timestamp at which `stream` states it ends; nothing when it states no length or
// the container only estimated one from the bit rate.
std::optional<int64_t> statedEnd(const AVFormatContext& context, const AVStream& stream);

// Frames at `rate` by which a whole stream of `codec` may end before its stated end (see
// AudioReader::kEndTolerancePackets).
int64_t toleranceFrames(const AVCodecParameters& codec, int rate);

// For a file at `path` that ends before the audio stream `streamIndex` states it does, by more
// than the tolerance: the stream timestamp where the stream's packets in the file end. Nothing
// for a whole stream or one that states no end. Reads packets without decoding them: only the
// last moments of a whole file (none of an MP3 file whose header states its bytes), all of a
// file cut short. Leaves `context` positioned anywhere, with every stream read again.
std::optional<int64_t> cutShortEnd(AVFormatContext& context, int streamIndex, const std::string& path);

}  // namespace qv::trackend
