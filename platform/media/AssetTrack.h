// What inspection tells of one track of a media file: its kind, time range and the format of
// its samples. Plain data; the readers find the track again by its stream index.
#pragma once

#include "MediaTime.h"
#include "TimecodeFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv {

enum class MediaType { Audio, Video, Timecode };

struct AudioTrackFormat {
    int sampleRate = 0;        // Hz
    int channelCount = 0;
    // The layout in words ("mono", "stereo", "5.1(side)", "4 channels").
    std::string channelLayoutDescription;
    // 2 for a stereo layout, 6 for a 5.1 layout, 1 for mono and every other layout.
    int audioLayout = 1;
    std::string codecName;
};

struct VideoTrackFormat {
    int encodedWidth = 0;      // pixels as stored
    int encodedHeight = 0;
    int naturalWidth = 0;      // display size: the width with the sample aspect ratio applied
    int naturalHeight = 0;
    double nominalFrameRate = 0;  // frames per second; 0 when unknown
    int fieldCount = 1;        // 2 for interlaced video
    std::string codecName;
};

struct TimecodeTrack {
    TimecodeFormat format;
    // The bytes of the track's first sample as stored (4 for 'tmcd', 8 for 'tc64'); empty when
    // the track holds no sample.
    std::vector<std::uint8_t> firstSample;
};

struct AssetTrack {
    int trackID = 0;           // the file's own track number where it has one, else index + 1
    int streamIndex = 0;       // position among the file's streams, used by the readers
    MediaType mediaType = MediaType::Audio;
    MediaTimeRange timeRange;
    std::optional<AudioTrackFormat> audio;      // set for audio tracks
    std::optional<VideoTrackFormat> video;      // set for video tracks
    std::optional<TimecodeTrack> timecode;      // set for timecode tracks
};

}  // namespace qv
