#include "SilentAudioOutput.h"

#include "platform/foundation/Dispatcher.h"

#include <algorithm>
#include <cmath>

namespace qv {

void SilentAudioOutput::start(int sampleRate, int channels, Pull pull)
{
    pull_ = std::move(pull);
    sampleRate_ = sampleRate;
    channels_ = channels;
    startedAt_ = clock_.now();
    framesPulled_ = 0;
}

void SilentAudioOutput::stop() { pull_ = nullptr; }

double SilentAudioOutput::playedSeconds()
{
    if (!pull_ || sampleRate_ <= 0)
        return static_cast<double>(framesPulled_) / std::max(sampleRate_, 1);
    auto due = static_cast<long long>(std::floor((clock_.now() - startedAt_) * sampleRate_ + 1e-6));
    while (framesPulled_ < due) {
        int frames = static_cast<int>(std::min<long long>(due - framesPulled_, 4096));
        scratch_.assign(static_cast<std::size_t>(frames) * channels_, 0.0f);
        pull_(scratch_.data(), frames);
        if (listener_)
            listener_(scratch_.data(), frames, channels_);
        framesPulled_ += frames;
    }
    return static_cast<double>(framesPulled_) / sampleRate_;
}

}  // namespace qv
