#include "AudioPipeline.h"

#include "AudioTempo.h"

#include <algorithm>

namespace qv {

AudioPipeline::AudioPipeline(WorkQueue& worker, Composition composition, std::shared_ptr<AudioMixStage> mix,
                             MediaTime start, double rate, Events events,
                             std::unique_ptr<CompositionAudioReader> reader)
    : rate_(rate), events_(std::move(events)), reader_(std::move(reader))
{
    worker.run([this, composition = std::move(composition), mix = std::move(mix), start]() mutable {
        run(std::move(composition), std::move(mix), start);
        // Told under the lock: once stop() has seen it, the pipeline may be gone.
        std::lock_guard lock(mutex_);
        ended_ = true;
        room_.notify_all();
    });
}

AudioPipeline::~AudioPipeline() { stop(); }

std::unique_ptr<CompositionAudioReader> AudioPipeline::stop()
{
    {
        std::unique_lock lock(mutex_);
        stopping_ = true;
        room_.notify_all();
        room_.wait(lock, [this] { return ended_; });
    }
    if (reader_ && reader_->status() == CompositionAudioReader::Status::Failed)
        reader_.reset();
    return std::move(reader_);
}

int AudioPipeline::pull(float* out, int frames)
{
    std::size_t filled = 0;
    {
        std::lock_guard lock(mutex_);
        filled = std::min(ready_.size(), static_cast<std::size_t>(frames) * kChannels);
        std::copy(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(filled), out);
        ready_.erase(ready_.begin(), ready_.begin() + static_cast<std::ptrdiff_t>(filled));
    }
    room_.notify_all();
    return static_cast<int>(filled / kChannels);
}

bool AudioPipeline::push(const std::vector<float>& samples)
{
    const auto capacity = static_cast<std::size_t>(kAheadSeconds * kSampleRate) * kChannels;
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return stopping_ || ready_.size() < capacity; });
    if (stopping_)
        return false;
    ready_.insert(ready_.end(), samples.begin(), samples.end());
    return true;
}

void AudioPipeline::run(Composition composition, std::shared_ptr<AudioMixStage> mix, MediaTime start)
{
    bool announced = false;
    auto announce = [&] {
        if (!announced && events_.ready)
            events_.ready();
        announced = true;
    };
    auto fail = [&](MediaError error) {
        if (events_.failed)
            events_.failed(std::move(error));
    };
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
    }
    // Nothing to hear when the mix takes no audio track of the composition, as for a picture
    // standing in for missing media under the mix made for them: the output plays silence.
    const std::vector<int> mixed = mix->trackIDs();
    if (std::none_of(mixed.begin(), mixed.end(), [&](int trackID) {
            const CompositionTrack* track = composition.trackWithID(trackID);
            return track && track->mediaType() == MediaType::Audio;
        })) {
        announce();
        if (events_.ended)
            events_.ended();
        return;
    }
    MediaTimeRange range = MediaTimeRange::fromStartEnd(start, std::max(start, composition.duration()));
    if (reader_ && reader_->seek(range))
        reader_.reset();
    if (!reader_) {
        auto made = CompositionAudioReader::forMix(composition, mix, kChannels, {PcmFormat::Float32, kSampleRate}, range);
        if (!made)
            return fail(made.error());
        reader_ = std::move(made.value());
    }
    CompositionAudioReader& reader = *reader_;
    std::unique_ptr<AudioTempo> tempo;
    if (rate_ != 1.0) {
        auto made = AudioTempo::make(rate_, kSampleRate, kChannels);
        if (!made)
            return fail(made.error());
        tempo = std::move(made.value());
    }
    std::vector<float> stretched;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
        }
        auto buffer = reader.copyNextSampleBuffer();
        stretched.clear();
        if (!buffer) {
            if (reader.status() == CompositionAudioReader::Status::Failed && reader.error())
                return fail(*reader.error());
            if (tempo)
                if (auto error = tempo->flush(stretched))
                    return fail(*error);
            if (!stretched.empty() && !push(stretched))
                return;
            announce();
            if (events_.ended)
                events_.ended();
            return;
        }
        if (tempo) {
            if (auto error = tempo->process(buffer->float32.data(), buffer->frameCount, stretched))
                return fail(*error);
        } else {
            stretched.swap(buffer->float32);
        }
        if (stretched.empty())
            continue;
        if (!push(stretched))
            return;
        announce();
    }
}

}  // namespace qv
