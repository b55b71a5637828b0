// Where the player's sound goes: an output that pulls interleaved float frames at a fixed rate
// and tells how much of them has been played, which is the player's clock while sound plays.
#pragma once

#include <functional>
#include <memory>

namespace qv {

class Dispatcher;

class AudioOutput {
public:
    // Fills `out` with up to `frames` frames and returns how many it filled; the output plays
    // silence for the rest. Called on whatever thread the output pulls from.
    using Pull = std::function<int(float* out, int frames)>;

    virtual ~AudioOutput() = default;
    // Starts pulling `channels`-channel frames at `sampleRate`; the played time restarts at 0.
    virtual void start(int sampleRate, int channels, Pull pull) = 0;
    // Stops pulling; what was pulled and not yet played is dropped.
    virtual void stop() = 0;
    // Seconds of sound played since start(), silence included. Main thread.
    virtual double playedSeconds() = 0;
};

// Qt Multimedia's default audio device when there is one, else a SilentAudioOutput on `main`'s clock.
std::unique_ptr<AudioOutput> makeDefaultAudioOutput(Dispatcher& main);

}  // namespace qv
