// Reduces interleaved 16-bit audio to loudness values: per channel, the mean absolute sample of
// each bucket of (rate / 50) + 1 frames, in dB of full scale, clamped to -50..0. The running
// sums and the frame counter carry over from one buffer to the next; a last, partial bucket
// gives no value.
#pragma once

#include <cstdint>
#include <vector>

class WaveformLevels {
public:
    static constexpr float kFloor = -50.0f;  // dB: silence and anything quieter

    // `channels` and `sampleRate` must be positive.
    WaveformLevels(int channels, int sampleRate);

    void add(const std::int16_t* interleaved, std::int64_t frames);

    int channelCount() const { return static_cast<int>(values_.size()); }
    const std::vector<float>& values(int channel) const { return values_[static_cast<std::size_t>(channel)]; }
    // The largest value of the channel, kFloor when it has none above it.
    float maximum(int channel) const { return maxima_[static_cast<std::size_t>(channel)]; }

private:
    float bucket_;
    float counter_ = 0;
    std::vector<double> sums_;
    std::vector<std::vector<float>> values_;
    std::vector<float> maxima_;
};
