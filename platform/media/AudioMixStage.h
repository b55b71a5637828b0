// The stage that applies an AudioMix to decoded audio: each track's channels are weighted by
// their gains and summed onto every output channel, scaled by the track's output gain; tracks
// add up. Gains may be changed from any thread while audio runs (the player's mix is re-levelled
// from the main thread); a change glides across the next buffer, so it makes no click.
#pragma once

#include "AudioMix.h"

#include <atomic>
#include <memory>
#include <vector>

namespace qv {

class AudioMixStage {
public:
    // Channels past this many take the track's default gain and cannot be changed one by one.
    static constexpr int kMaxChannels = 64;

    explicit AudioMixStage(const AudioMix& mix);
    AudioMixStage(const AudioMixStage&) = delete;
    AudioMixStage& operator=(const AudioMixStage&) = delete;

    // The tracks the mix takes, in the mix's order.
    std::vector<int> trackIDs() const;
    bool hasTrack(int trackID) const { return find(trackID) != nullptr; }

    // Any thread. Unknown tracks and channels are ignored. A gain that is not a finite number
    // silences its channel.
    void setChannelGain(int trackID, int channel, float gain);
    void setOutputGain(int trackID, float gain);
    // The gains as last set (what the next buffer moves to).
    float channelGain(int trackID, int channel) const;
    float outputGain(int trackID) const;

    // Adds `frames` frames of track `trackID` (interleaved, `channels` channels) onto `out`
    // (interleaved, `outputChannels` channels). Runs on the audio thread; allocates nothing.
    // One reader at a time: the glide remembers where the last buffer ended.
    void mixTrack(int trackID, const float* in, int channels, int frames, float* out, int outputChannels);

private:
    struct Track {
        int trackID = 0;
        float defaultChannelGain = 1.0f;
        std::unique_ptr<std::atomic<float>[]> gains;  // kMaxChannels
        std::atomic<float> outputGain{1.0f};
        // What the last buffer ended on; only the audio thread touches these.
        std::unique_ptr<float[]> applied;
        bool primed = false;
    };

    Track* find(int trackID);
    const Track* find(int trackID) const;

    std::vector<std::unique_ptr<Track>> tracks_;
};

}  // namespace qv
