// Private to the media layer: reads the byte count an MP3 file's first frame may carry (an
// encoder's 'Xing' or 'Info' header): where the file's audio ends. FFmpeg takes the
// length of the audio from the frame count beside it and hands the byte count on to no one, so
// it alone tells, without reading the frames, that a file holds all of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qv::mp3 {

// The offset in the file just past the audio its first frame's header declares; nothing for a
// file that is no MP3 file or whose first frame states no byte count.
std::optional<std::uint64_t> declaredDataEnd(const std::string& path);

}  // namespace qv::mp3
