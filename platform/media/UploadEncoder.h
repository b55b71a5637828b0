// Converts the audio of an asset into the file that is uploaded for transcription: the tracks
// of an AudioMix mixed to mono and encoded as AAC-LC at 32 kHz and 64 kbit/s in an M4A (MP4)
// file. The conversion runs on the caller's thread as fast as the encoder goes; cancel() may
// come from any other thread. The file is written beside the output path and renamed into place
// once complete, so a conversion that fails, is cancelled or is killed leaves whatever was at the
// output path as it was.
#pragma once

#include "Asset.h"
#include "AudioMix.h"
#include "AudioReader.h"
#include "Composition.h"
#include "MediaError.h"
#include "MediaTime.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>

namespace qv {

class UploadEncoder {
public:
    static constexpr int kSampleRate = 32000;  // Hz
    static constexpr int kBitRate = 64000;     // bit/s
    static constexpr int kChannels = 1;

    // Fraction of the time range done, 0 to 1, after each buffer read; on the converting thread.
    using Progress = std::function<void(double fraction)>;

    // `range` defaults to the whole asset.
    UploadEncoder(Asset asset, AudioMix mix, std::string outputPath, MediaTimeRange range = {});
    // The same for the audio tracks of a composition; `range` defaults to the whole of it.
    UploadEncoder(Composition composition, AudioMix mix, std::string outputPath, MediaTimeRange range = {});
    UploadEncoder(const UploadEncoder&) = delete;
    UploadEncoder& operator=(const UploadEncoder&) = delete;

    // Converts; nothing on success. On failure or cancel the partial file is deleted and the
    // error says why (Cancelled for a cancel). An output path that is a folder or the input
    // itself is refused before anything is read.
    std::optional<MediaError> run(const Progress& progress = {});
    // Ends a conversion under way at its next buffer, or the next run() at once.
    void cancel() { cancelled_ = true; }

private:
    // Reads from `reader` into the output file.
    std::optional<MediaError> write(AudioSampleSource& reader, const Progress& progress);
    // The file that errors name: the asset, or the first source of the composition.
    std::string sourcePath() const;

    Asset asset_;
    std::optional<Composition> composition_;  // read instead of asset_ when set
    AudioMix mix_;
    std::string outputPath_;
    MediaTimeRange range_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace qv
