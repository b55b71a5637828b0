// What the intake asks of a media file's container beyond its tracks: whether the movie may go
// on in fragments (such files are still being written or are streams, and are refused), and
// whether its samples are protected by encryption (they cannot be decoded here).
#pragma once

#include <string>

namespace qv {

// A QuickTime or MP4 file whose movie announces fragments; false for other kinds of file.
bool canContainFragments(const std::string& path);
// A QuickTime or MP4 file with a track whose samples are encrypted; false for other kinds.
bool hasProtectedContent(const std::string& path);

}  // namespace qv
