// Decodes audio from a media file into interleaved PCM, one buffer at a time: either one
// track as it is (all its channels), or a mono or stereo mix of several tracks through an
// AudioMix. Reading runs on the caller's thread; cancelReading() may come from any other.
#pragma once

#include "Asset.h"
#include "AudioMix.h"
#include "MediaError.h"
#include "MediaTime.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace qv {

enum class PcmFormat { Int16, Float32 };

struct AudioOutputSettings {
    PcmFormat format = PcmFormat::Int16;
    int sampleRate = 0;  // Hz; 0 keeps the rate of the (first) track read
};

struct AudioSampleBuffer {
    MediaTime presentationTime;  // on the asset's time line
    MediaTime duration;          // frameCount over sampleRate
    int sampleRate = 0;
    int channelCount = 0;
    int frameCount = 0;
    std::vector<std::int16_t> int16;  // interleaved samples when the format is Int16
    std::vector<float> float32;       // interleaved samples when the format is Float32
};

// What reads audio a buffer at a time: the reader of an asset or of a composition.
class AudioSampleSource {
public:
    enum class Status { Reading, Completed, Failed, Cancelled };

    virtual ~AudioSampleSource() = default;
    // The next buffer, or nothing once reading has ended: status() then tells why.
    virtual std::optional<AudioSampleBuffer> copyNextSampleBuffer() = 0;
    // Stops reading at the next buffer. Safe from any thread.
    virtual void cancelReading() = 0;
    virtual Status status() const = 0;
    // Set when status() is Failed.
    virtual const std::optional<MediaError>& error() const = 0;
    virtual int sampleRate() const = 0;
    virtual int channelCount() const = 0;
    // The part of the time line being read.
    virtual MediaTimeRange timeRange() const = 0;
};

class AudioReader final : public AudioSampleSource {
public:
    // A track whose file ends before the length its container declares is truncated, and its
    // read fails, unless it falls short by no more than these. The declared length of a
    // compressed track counts whole packets (1024 samples for AAC, 1152 for MP3) and so may
    // include what the decoder does not hand out: the encoder's and the decoder's delay at the
    // start (1105 samples for MP3; an MP4 file's edit list leaves AAC's priming out) and the
    // padding of the last packet (529 to 1680 samples for MP3), together under three packets.
    // PCM declares its length exactly; a codec that states its own delay and padding (Opus) has
    // them allowed on top. The few milliseconds on top cover the resampler's
    // rounding. Lengths a container only estimates from its bit rate are not checked at all.
    static constexpr int kEndTolerancePackets = 3;
    static constexpr double kEndToleranceSeconds = 0.005;

    // Reads the audio track `trackID` with its own channels. `range` defaults to the whole
    // asset; an invalid range means the same.
    static MediaResult<std::unique_ptr<AudioReader>> forTrack(const Asset& asset, int trackID,
                                                              AudioOutputSettings settings = {},
                                                              MediaTimeRange range = {});
    // Reads the tracks of `mix` mixed to `outputChannels` (1 or 2) channels.
    static MediaResult<std::unique_ptr<AudioReader>> forMix(const Asset& asset, const AudioMix& mix,
                                                            int outputChannels,
                                                            AudioOutputSettings settings = {},
                                                            MediaTimeRange range = {});

    ~AudioReader() override;
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    // Reads `range` (as for forTrack) from its start instead, with the file kept open; what was
    // decoded and not handed out is dropped. InvalidArgument, changing nothing, for a range that
    // starts before zero. A cancelled reader stays cancelled. A file renamed into the place of
    // the one opened is read from then on, its tracks found again by their ids; when it cannot
    // be read, or the file is gone, the reader fails with an error naming it.
    std::optional<MediaError> seek(MediaTimeRange range);

    std::optional<AudioSampleBuffer> copyNextSampleBuffer() override;
    void cancelReading() override;
    Status status() const override;
    const std::optional<MediaError>& error() const override;
    int sampleRate() const override;
    int channelCount() const override;
    MediaTimeRange timeRange() const override;

private:
    struct Impl;
    explicit AudioReader(std::unique_ptr<Impl> impl);
    // `mixChannels` 0 reads the one track of `mix` with its own channels.
    static MediaResult<std::unique_ptr<AudioReader>> open(const Asset& asset, const AudioMix& mix, int mixChannels,
                                                          AudioOutputSettings settings, MediaTimeRange range);
    std::unique_ptr<Impl> impl_;
};

}  // namespace qv
