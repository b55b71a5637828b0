// How the audio tracks of an asset are mixed into one mono or stereo signal: for each track
// taken, a linear gain per input channel, and a gain applied to the track's sum on every
// output channel. Every input channel feeds every output channel; tracks are summed. Nothing
// is normalised or boosted, so a mix whose gains add up to at most 1 cannot clip.
#pragma once

#include <vector>

namespace qv {

struct AudioMixInputParameters {
    int trackID = 0;                   // AssetTrack::trackID of an audio track
    std::vector<float> channelGains;   // gain of input channel i
    float defaultChannelGain = 1.0f;   // for channels past the end of channelGains
    float outputGain = 1.0f;           // gain of the track's sum on each output channel

    float gainOfChannel(int channel) const
    {
        return channel < static_cast<int>(channelGains.size()) ? channelGains[channel] : defaultChannelGain;
    }
};

struct AudioMix {
    std::vector<AudioMixInputParameters> inputParameters;  // only these tracks are heard
};

}  // namespace qv
