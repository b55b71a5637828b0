// Decodes the audio of a composition into interleaved PCM, one buffer at a time: one track with
// its own channels, or several tracks mixed through an AudioMixStage onto one or two channels.
// Stretches that no segment covers, and the part of a segment past its source's end, read as
// silence; a source that cannot be read fails the reader with an error naming the file.
// Reading runs on the caller's thread; cancelReading() may come from any other.
#pragma once

#include "AudioMix.h"
#include "AudioMixStage.h"
#include "AudioReader.h"
#include "Composition.h"
#include "MediaError.h"

#include <memory>
#include <optional>
#include <vector>

namespace qv {

class CompositionAudioReader final : public AudioSampleSource {
public:
    // Track `trackID` with its own channels. `range` defaults to the whole composition; the
    // rate of the track's first source is kept unless `settings` name one.
    static MediaResult<std::unique_ptr<CompositionAudioReader>> forTrack(const Composition& composition, int trackID,
                                                                         AudioOutputSettings settings = {},
                                                                         MediaTimeRange range = {});
    // The tracks of `mix` mixed onto `outputChannels` (1 or 2). The stage may be re-levelled
    // while reading; the reader keeps it alive.
    static MediaResult<std::unique_ptr<CompositionAudioReader>> forMix(const Composition& composition,
                                                                       std::shared_ptr<AudioMixStage> mix,
                                                                       int outputChannels,
                                                                       AudioOutputSettings settings = {},
                                                                       MediaTimeRange range = {});

    ~CompositionAudioReader() override;
    CompositionAudioReader(const CompositionAudioReader&) = delete;
    CompositionAudioReader& operator=(const CompositionAudioReader&) = delete;

    // Reads `range` (as for forTrack) from its start instead, keeping open the files it can;
    // InvalidArgument, changing nothing, for a range that starts before zero. A cancelled
    // reader stays cancelled.
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
    explicit CompositionAudioReader(std::unique_ptr<Impl> impl);
    static MediaResult<std::unique_ptr<Impl>> open(const Composition& composition, const std::vector<int>& trackIDs,
                                                   AudioOutputSettings settings, MediaTimeRange range);
    std::unique_ptr<Impl> impl_;
};

}  // namespace qv
