// Times what the user waits for in the audio configuration: opening the panel of a one-hour
// 8-channel WAV whose waveforms are cached, until it is painted, and reading the start timecode
// of a 4 GB RF64 file (only its chunks are read, never the audio). Both sources are sparse
// files: their audio is silence that takes no disk space.
//
//   audio_configuration_bench [--runs R]
//
// Targets: the panel painted within 100 ms; the timecode read within 5 ms.

#include "BenchSupport.h"

#include "intake/audio/QVAudioConfigurationViewController.h"
#include "intake/audio/QVMetadataTimecode.h"

#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVFile.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/Preferences.h"
#include "platform/media/Asset.h"
#include "transcript-view/QVWaveformManager.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;
using namespace qv::bench;

namespace {

void putLE(std::ofstream& out, std::uint64_t value, int size)
{
    for (int i = 0; i < size; ++i)
        out.put(static_cast<char>(value >> (8 * i)));
}

// A WAVE file of `channels` 16-bit channels at 48 kHz whose data chunk holds `dataBytes` of
// silence, left as a hole in the file. RF64 when `rf64`, with a bext chunk.
void makeSparseWave(const fs::path& path, int channels, std::uint64_t dataBytes, bool rf64)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(rf64 ? "RF64" : "RIFF", 4);
    putLE(out, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(dataBytes + 36 + 8 + 602), 4);
    out.write("WAVE", 4);
    if (rf64) {
        out.write("ds64", 4);
        putLE(out, 28, 4);
        putLE(out, dataBytes + 36 + 28 + 8 + 602 + 8, 8);
        putLE(out, dataBytes, 8);
        putLE(out, dataBytes / (2 * channels), 8);
        putLE(out, 0, 4);
    }
    out.write("fmt ", 4);
    putLE(out, 16, 4);
    putLE(out, 1, 2);
    putLE(out, channels, 2);
    putLE(out, 48000, 4);
    putLE(out, 48000 * 2 * channels, 4);
    putLE(out, 2 * channels, 2);
    putLE(out, 16, 2);
    out.write("bext", 4);
    putLE(out, 602, 4);
    std::vector<char> bext(602, 0);
    const std::uint32_t oneHour = 3600u * 48000u;
    std::memcpy(bext.data() + 338, &oneHour, 4);
    out.write(bext.data(), static_cast<std::streamsize>(bext.size()));
    out.write("data", 4);
    putLE(out, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(dataBytes), 4);
    out.close();
    fs::resize_file(path, fs::file_size(path) + dataBytes);
}

double panelMilliseconds(const fs::path& source, const QString& cacheFolder, qv::Preferences& preferences)
{
    qv::ManualDispatcher main;
    QVWaveformManager manager(main, preferences, cacheFolder.toStdString());
    AppDelegate ad;
    auto inspected = qv::Asset::inspect(source.string());
    if (!inspected) {
        std::fprintf(stderr, "%s\n", inspected.error().description.c_str());
        std::exit(1);
    }
    auto asset = std::make_shared<qv::Asset>(inspected.value());
    auto mediaFile = std::make_shared<QVMediaFile>();
    mediaFile->url = QUrl::fromLocalFile(QString::fromStdString(source.string()));
    mediaFile->filePath = mediaFile->url.path();
    mediaFile->mediaOnline = true;
    mediaFile->modificationDate = QDateTime::currentDateTime();
    mediaFile->asset = asset;
    for (const auto& track : asset->tracksWithMediaType(qv::MediaType::Audio)) {
        auto record = std::make_shared<QVAudioTrack>();
        record->assetTrack = track;
        for (int c = 0; c < track.audio->channelCount; ++c) {
            auto channel = std::make_shared<QVAudioChannel>();
            channel->parentAudioTrack = record;
            record->audioChannels.push_back(channel);
        }
        mediaFile->audioTracks.push_back(record);
    }
    // The cache as a generation of one hour leaves it: about 50 values a second per channel.
    constexpr int kValues = 3600 * 50;
    for (const auto& track : mediaFile->audioTracks)
        for (const auto& channel : track->audioChannels) {
            std::vector<float> values(kValues);
            for (int i = 0; i < kValues; ++i)
                values[i] = -50.0f + static_cast<float>((i * 7919) % 50);
            channel->waveformData = QByteArray(reinterpret_cast<const char*>(values.data()), kValues * 4);
            channel->waveformSampleCount = kValues;
            channel->waveformMax = -1;
        }
    manager.saveWaveformsForMediaFile(mediaFile);
    main.drain();
    manager.waitForWrites();
    for (const auto& track : mediaFile->audioTracks)
        for (const auto& channel : track->audioChannels) {
            channel->waveformData.clear();
            channel->waveformSampleCount = 0;
        }

    auto file = std::make_shared<QVFile>();
    file->fileType = 0;
    file->asset = asset;
    file->mediaFiles = {mediaFile};
    ad.currentFile = file;
    QVAudioConfigurationViewController::Services services;
    services.waveformManager = &manager;
    const auto start = std::chrono::steady_clock::now();
    QVAudioConfigurationViewController panel(ad, main, services, false);
    panel.view()->resize(320, 800);
    panel.setMediaFiles(file->mediaFiles);
    panel.refreshDisplay();
    main.drain();
    panel.view()->grab();
    const double ms = secondsSince(start) * 1000;
    if (mediaFile->audioTracks.front()->audioChannels.front()->waveformSampleCount != kValues) {
        std::fprintf(stderr, "the waveforms did not come from the cache\n");
        std::exit(1);
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--runs")
            runs = std::atoi(argv[++i]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir folder;
    const fs::path root = folder.path().toStdString();
    qv::Preferences preferences(folder.path() + "/config");

    const fs::path hour = root / "hour-8ch.wav";
    makeSparseWave(hour, 8, 3600ull * 48000 * 8 * 2, false);
    double best = 1e9;
    for (int run = 0; run < runs; ++run)
        best = std::min(best, panelMilliseconds(hour, folder.path() + "/Waveforms", preferences));
    std::printf("panel of a 1-hour 8-channel WAV, waveforms cached, to painted: %.1f ms (target <= 100 ms)\n", best);

    const fs::path rf64 = root / "long.wav";
    makeSparseWave(rf64, 2, 4ull << 30, true);
    best = 1e9;
    for (int run = 0; run < runs * 20; ++run) {
        QVTimecodeFields fields;
        const auto start = std::chrono::steady_clock::now();
        if (!readMetadataTimecode(QUrl::fromLocalFile(QString::fromStdString(rf64.string())), fields) ||
            fields.timecodeStart.seconds() != 3600) {
            std::fprintf(stderr, "no timecode read from the RF64 file\n");
            return 1;
        }
        best = std::min(best, secondsSince(start) * 1000);
    }
    std::printf("start timecode of a 4 GB RF64 file: %.3f ms (target <= 5 ms)\n", best);
    return 0;
}
