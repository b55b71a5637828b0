// Changes the speed of interleaved float audio without changing its pitch, for playback at
// 1.5 or 2 times: at rate r, n frames in give about n / r frames out. Rates from 0.5 to 100.
#pragma once

#include "MediaError.h"

#include <memory>
#include <optional>
#include <vector>

namespace qv {

class AudioTempo {
public:
    static MediaResult<std::unique_ptr<AudioTempo>> make(double rate, int sampleRate, int channels);
    ~AudioTempo();
    AudioTempo(const AudioTempo&) = delete;
    AudioTempo& operator=(const AudioTempo&) = delete;

    // Takes `frames` frames and appends what is ready of the result to `out`.
    std::optional<MediaError> process(const float* in, int frames, std::vector<float>& out);
    // Appends what the stretcher still holds, at the end of the audio.
    std::optional<MediaError> flush(std::vector<float>& out);

private:
    struct Impl;
    explicit AudioTempo(std::unique_ptr<Impl> impl);
    std::optional<MediaError> drain(std::vector<float>& out);
    std::unique_ptr<Impl> impl_;
};

}  // namespace qv
