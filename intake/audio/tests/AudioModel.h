// Media files, tracks and channels for the tests, and small WAV files written by hand.
#pragma once

#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVMediaFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qv::test {

// A media file with one track per entry of `channelsPerTrack`, every channel enabled; track i has
// the asset track id i + 1.
inline std::shared_ptr<QVMediaFile> mediaFileWith(const std::vector<int>& channelsPerTrack, bool online = true)
{
    auto file = std::make_shared<QVMediaFile>();
    file->mediaOnline = online;
    int trackID = 0;
    for (int channels : channelsPerTrack) {
        auto track = std::make_shared<QVAudioTrack>();
        AssetTrack assetTrack;
        assetTrack.trackID = ++trackID;
        track->assetTrack = assetTrack;
        for (int c = 0; c < channels; ++c) {
            auto channel = std::make_shared<QVAudioChannel>();
            channel->parentAudioTrack = track;
            track->audioChannels.push_back(channel);
        }
        file->audioTracks.push_back(track);
    }
    return file;
}

inline void appendLE(std::vector<std::uint8_t>& bytes, std::uint64_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void appendChunk(std::vector<std::uint8_t>& bytes, const std::string& id, const std::vector<std::uint8_t>& data,
                        std::int64_t declaredSize = -1)
{
    bytes.insert(bytes.end(), id.begin(), id.end());
    appendLE(bytes, declaredSize < 0 ? data.size() : static_cast<std::uint64_t>(declaredSize), 4);
    bytes.insert(bytes.end(), data.begin(), data.end());
    if (data.size() % 2)
        bytes.push_back(0);
}

inline std::vector<std::uint8_t> fmtChunk(int channels, int sampleRate)
{
    std::vector<std::uint8_t> fmt;
    appendLE(fmt, 1, 2);
    appendLE(fmt, channels, 2);
    appendLE(fmt, sampleRate, 4);
    appendLE(fmt, static_cast<std::uint64_t>(sampleRate) * channels * 2, 4);
    appendLE(fmt, channels * 2, 2);
    appendLE(fmt, 16, 2);
    return fmt;
}

inline std::vector<std::uint8_t> bextChunk(std::uint32_t timeReference)
{
    std::vector<std::uint8_t> bext(602, 0);
    for (int i = 0; i < 4; ++i)
        bext[338 + i] = static_cast<std::uint8_t>(timeReference >> (8 * i));
    return bext;
}

inline std::vector<std::uint8_t> textChunk(const std::string& text) { return {text.begin(), text.end()}; }

// A RIFF WAVE file of `chunks` in order (each an id and its data).
inline std::vector<std::uint8_t> riffWave(const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& chunks)
{
    std::vector<std::uint8_t> body;
    for (const auto& [id, data] : chunks)
        appendChunk(body, id, data);
    std::vector<std::uint8_t> bytes = {'R', 'I', 'F', 'F'};
    appendLE(bytes, body.size() + 4, 4);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E'});
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

// 16-bit PCM samples, interleaved, as a data chunk.
inline std::vector<std::uint8_t> pcmData(const std::vector<std::int16_t>& samples)
{
    std::vector<std::uint8_t> data;
    for (std::int16_t sample : samples)
        appendLE(data, static_cast<std::uint16_t>(sample), 2);
    return data;
}

}  // namespace qv::test
