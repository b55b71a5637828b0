// An audio output with no device: it plays the frames it is given in silence, as fast as the
// dispatcher's clock moves, so that the player runs the same way on a machine without sound
// and under a test that moves a fake clock. A test may listen to what would have been heard.
#pragma once

#include "AudioOutput.h"

#include <functional>
#include <vector>

namespace qv {

class SilentAudioOutput final : public AudioOutput {
public:
    // Receives every frame pulled, in order, interleaved.
    using Listener = std::function<void(const float* frames, int count, int channels)>;

    explicit SilentAudioOutput(Dispatcher& clock) : clock_(clock) {}

    void start(int sampleRate, int channels, Pull pull) override;
    void stop() override;
    // Pulls, up to the clock's present, what has not been pulled yet.
    double playedSeconds() override;

    void setListener(Listener listener) { listener_ = std::move(listener); }
    // Between start() and stop().
    bool isStarted() const { return static_cast<bool>(pull_); }

private:
    Dispatcher& clock_;
    Pull pull_;
    Listener listener_;
    int sampleRate_ = 0;
    int channels_ = 0;
    double startedAt_ = 0;
    long long framesPulled_ = 0;
    std::vector<float> scratch_;
};

}  // namespace qv
