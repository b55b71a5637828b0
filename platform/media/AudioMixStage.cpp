#include "AudioMixStage.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

float finiteOrSilent(float gain) { return std::isfinite(gain) ? gain : 0.0f; }

}  // namespace

AudioMixStage::AudioMixStage(const AudioMix& mix)
{
    for (const auto& parameters : mix.inputParameters) {
        auto track = std::make_unique<Track>();
        track->trackID = parameters.trackID;
        track->defaultChannelGain = finiteOrSilent(parameters.defaultChannelGain);
        track->gains = std::make_unique<std::atomic<float>[]>(kMaxChannels);
        track->applied = std::make_unique<float[]>(kMaxChannels + 1);
        for (int c = 0; c < kMaxChannels; ++c)
            track->gains[c] = finiteOrSilent(parameters.gainOfChannel(c));
        track->outputGain = finiteOrSilent(parameters.outputGain);
        tracks_.push_back(std::move(track));
    }
}

std::vector<int> AudioMixStage::trackIDs() const
{
    std::vector<int> ids;
    for (const auto& track : tracks_)
        ids.push_back(track->trackID);
    return ids;
}

AudioMixStage::Track* AudioMixStage::find(int trackID)
{
    for (auto& track : tracks_)
        if (track->trackID == trackID)
            return track.get();
    return nullptr;
}

const AudioMixStage::Track* AudioMixStage::find(int trackID) const
{
    return const_cast<AudioMixStage*>(this)->find(trackID);
}

void AudioMixStage::setChannelGain(int trackID, int channel, float gain)
{
    if (Track* track = find(trackID); track && channel >= 0 && channel < kMaxChannels)
        track->gains[channel] = finiteOrSilent(gain);
}

void AudioMixStage::setOutputGain(int trackID, float gain)
{
    if (Track* track = find(trackID))
        track->outputGain = finiteOrSilent(gain);
}

float AudioMixStage::channelGain(int trackID, int channel) const
{
    const Track* track = find(trackID);
    if (!track || channel < 0)
        return 0.0f;
    return channel < kMaxChannels ? track->gains[channel].load() : track->defaultChannelGain;
}

float AudioMixStage::outputGain(int trackID) const
{
    const Track* track = find(trackID);
    return track ? track->outputGain.load() : 0.0f;
}

void AudioMixStage::mixTrack(int trackID, const float* in, int channels, int frames, float* out, int outputChannels)
{
    Track* track = find(trackID);
    if (!track || frames <= 0)
        return;
    // The effective gain of each channel (its own gain times the output gain), read once per
    // buffer; the buffer glides from the values the last one ended on to these.
    float target[kMaxChannels + 1];
    float output = track->outputGain.load();
    for (int c = 0; c < kMaxChannels; ++c)
        target[c] = track->gains[c].load() * output;
    target[kMaxChannels] = track->defaultChannelGain * output;
    float* applied = track->applied.get();
    if (!track->primed) {
        std::copy(target, target + kMaxChannels + 1, applied);
        track->primed = true;
    }
    float step = 1.0f / static_cast<float>(frames);
    for (int f = 0; f < frames; ++f) {
        float position = static_cast<float>(f + 1) * step;
        float sum = 0.0f;
        const float* frame = in + static_cast<std::ptrdiff_t>(f) * channels;
        for (int c = 0; c < channels; ++c) {
            int slot = c < kMaxChannels ? c : kMaxChannels;
            float gain = applied[slot] + (target[slot] - applied[slot]) * position;
            sum += frame[c] * gain;
        }
        float* into = out + static_cast<std::ptrdiff_t>(f) * outputChannels;
        for (int o = 0; o < outputChannels; ++o)
            into[o] += sum;
    }
    std::copy(target, target + kMaxChannels + 1, applied);
}

}  // namespace qv
