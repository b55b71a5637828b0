// Media files, channels and views for the waveform tests.
#pragma once

#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVMediaFile.h"

#include "platform/media/Asset.h"

#include <QApplication>

#include <memory>
#include <vector>

namespace qv::test {

// The widgets' application, made once for the test process.
inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "transcript-view-tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

// A media file on `asset` whose tracks have as many channel records as the file's tracks.
inline std::shared_ptr<QVMediaFile> mediaFileFor(const Asset& asset)
{
    auto file = std::make_shared<QVMediaFile>();
    file->asset = std::make_shared<Asset>(asset);
    file->filePath = QString::fromStdString(asset.path());
    file->mediaOnline = true;
    for (const auto& source : asset.tracksWithMediaType(MediaType::Audio)) {
        auto track = std::make_shared<QVAudioTrack>();
        track->assetTrack = source;
        track->isGeneratingWaveform = true;
        for (int c = 0; c < source.audio->channelCount; ++c)
            track->audioChannels.push_back(std::make_shared<QVAudioChannel>());
        file->audioTracks.push_back(track);
    }
    return file;
}

// The float values of a channel's waveform.
inline std::vector<float> valuesOf(const QVAudioChannel& channel)
{
    std::vector<float> values(static_cast<std::size_t>(channel.waveformData.size() / 4));
    std::memcpy(values.data(), channel.waveformData.constData(), values.size() * 4);
    return values;
}

inline QByteArray bytesOf(const std::vector<float>& values)
{
    return QByteArray(reinterpret_cast<const char*>(values.data()), static_cast<qsizetype>(values.size() * 4));
}

}  // namespace qv::test
