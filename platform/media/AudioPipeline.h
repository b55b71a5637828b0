// The decoding half of the player: on a worker thread it reads the audio of a composition
// from a start time, mixes it to stereo through the item's mix stage, changes its tempo for
// the rate, and keeps a little ahead of the output in a buffer that the output pulls from.
// The thread is the player's, kept from one pipeline to the next: a seek wakes it instead of
// starting a thread, which on a busy machine waits its turn for a processor. Destroying the
// pipeline stops its work; it never waits on the output, so it cannot hang.
#pragma once

#include "AudioMixStage.h"
#include "CompositionAudioReader.h"
#include "Composition.h"
#include "MediaError.h"
#include "MediaTime.h"

#include "platform/foundation/WorkQueue.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace qv {

class AudioPipeline {
public:
    static constexpr int kSampleRate = 48000;      // Hz, of what the output pulls
    static constexpr int kChannels = 2;
    // Decoded ahead of the output, at most: also how long a change of the mix takes to be heard.
    static constexpr double kAheadSeconds = 0.25;  // seconds

    // Called on the pipeline's thread, each at most once: the first audio is ready (or the
    // audio ended before any), reading failed, reading reached the end.
    struct Events {
        std::function<void()> ready;
        std::function<void(MediaError)> failed;
        std::function<void()> ended;
    };

    // Runs on `worker`, a queue of one thread that outlives the pipeline. `reader`, when given,
    // is the reader of an earlier pipeline of the same composition and mix (see stop()): it is
    // moved to `start` instead of opening the files again.
    AudioPipeline(WorkQueue& worker, Composition composition, std::shared_ptr<AudioMixStage> mix, MediaTime start,
                  double rate, Events events, std::unique_ptr<CompositionAudioReader> reader = nullptr);
    ~AudioPipeline();
    AudioPipeline(const AudioPipeline&) = delete;
    AudioPipeline& operator=(const AudioPipeline&) = delete;

    // Stops the work, waiting until it has ended, and hands over its reader, files open, for the
    // next pipeline of the same item; nothing when it has none or it failed.
    std::unique_ptr<CompositionAudioReader> stop();

    double rate() const { return rate_; }
    // The output's Pull: fills what is ready, returns the frames filled. Any thread.
    int pull(float* out, int frames);

private:
    void run(Composition composition, std::shared_ptr<AudioMixStage> mix, MediaTime start);
    // Waits for room, then appends; false once stopping.
    bool push(const std::vector<float>& samples);

    double rate_;
    Events events_;
    std::unique_ptr<CompositionAudioReader> reader_;  // the worker's while it runs
    std::mutex mutex_;
    std::condition_variable room_;  // also tells stop() that the work has ended
    std::deque<float> ready_;
    bool stopping_ = false;
    bool ended_ = false;  // the work has returned and touches nothing of the pipeline any more
};

}  // namespace qv
