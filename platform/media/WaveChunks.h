// Private to the media layer: reads what FFmpeg does not hand on from the chunks of a WAVE
// file (RIFF, RF64 or BW64): where its data chunk says the audio ends. FFmpeg takes the length
// of a file cut short from the bytes it holds, so only the header tells that bytes are missing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qv::wave {

// The offset in the file just past the audio its data chunk declares; nothing for a file that
// is no WAVE file, that has no data chunk, or whose writer left the length open (0, or all
// ones without a 'ds64' chunk to give it).
std::optional<std::uint64_t> declaredDataEnd(const std::string& path);

// The file is a WAVE file that holds fewer bytes than its data chunk declares.
bool isCutShort(const std::string& path);

}  // namespace qv::wave
