#include "WaveformLevels.h"

#include <cmath>
#include <cstdlib>

WaveformLevels::WaveformLevels(int channels, int sampleRate)
    : bucket_(static_cast<float>(sampleRate / 50)),
      sums_(static_cast<std::size_t>(channels), 0.0),
      values_(static_cast<std::size_t>(channels)),
      maxima_(static_cast<std::size_t>(channels), kFloor)
{
}

void WaveformLevels::add(const std::int16_t* interleaved, std::int64_t frames)
{
    const std::size_t channels = sums_.size();
    for (std::int64_t f = 0; f < frames; ++f) {
        const std::int16_t* frame = interleaved + static_cast<std::size_t>(f) * channels;
        for (std::size_t c = 0; c < channels; ++c)
            sums_[c] += std::abs(static_cast<int>(frame[c]));
        counter_ += 1;
        // Strictly greater: each value covers bucket + 1 frames (961 at 48 kHz).
        if (counter_ <= bucket_)
            continue;
        for (std::size_t c = 0; c < channels; ++c) {
            double mean = sums_[c] / counter_;
            float value = 20.0f * std::log10(static_cast<float>(mean / 32767.0));
            if (!(value > kFloor))
                value = kFloor;
            else if (value >= 0.0f)
                value = 0.0f;
            values_[c].push_back(value);
            if (value > maxima_[c])
                maxima_[c] = value;
            sums_[c] = 0;
        }
        counter_ = 0;
    }
}
