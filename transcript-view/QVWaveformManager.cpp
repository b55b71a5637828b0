#include "QVWaveformManager.h"
#include "WaveformCacheFile.h"

#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/TimeUtilities.h"

#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/Log.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <string>

namespace fs = std::filesystem;

namespace {

using TracksSnapshot = std::vector<std::vector<WaveformCacheChannel>>;

std::optional<QDateTime> fileModificationDate(QVMediaFile& mediaFile)
{
    QFileInfo info(mediaFile.filePath);
    if (mediaFile.filePath.isEmpty() || !info.exists())
        return std::nullopt;
    return info.lastModified();
}

}  // namespace

QVWaveformManager::QVWaveformManager(qv::Dispatcher& main, qv::Preferences& preferences, fs::path folder,
                                     ModificationDate modificationDate)
    : main_(main),
      preferences_(preferences),
      folder_(folder.empty() ? qv::dataHome() / "Waveforms" : std::move(folder)),
      modificationDate_(modificationDate ? std::move(modificationDate) : ModificationDate(fileModificationDate)),
      writer_(std::make_unique<qv::SerialQueue>("waveform cache writer"))
{
}

QVWaveformManager::~QVWaveformManager() { writer_.reset(); }

void QVWaveformManager::waitForWrites() { writer_->wait(); }

fs::path QVWaveformManager::waveformCacheFolder() const
{
    std::error_code ignored;
    fs::create_directories(folder_, ignored);
    return folder_;
}

std::optional<QString> QVWaveformManager::makeWaveformCacheFileNameForMediaFile(const QVMediaFile& mediaFile) const
{
    if (mediaFile.filePath.isEmpty())
        return std::nullopt;
    // By code point: a letter outside the Basic Multilingual Plane is two UTF-16 units, neither
    // of them a letter on its own.
    std::u32string kept;
    for (char32_t c : mediaFile.filePath.toUcs4())
        if (QChar::isLetterOrNumber(c) || QChar::isMark(c))
            kept += c;
    QString name = QString::fromUcs4(kept.data(), static_cast<qsizetype>(kept.size()));
    if (mediaFile.sourceDuration.isNumeric() && mediaFile.sourceDuration > qv::MediaTime::zero())
        name = QString("%1-%2-%3-%4")
                   .arg(name)
                   .arg(convertCMTimeToMilliseconds(mediaFile.sourceDelay))
                   .arg(convertCMTimeToMilliseconds(mediaFile.sourceDuration))
                   .arg(convertCMTimeToMilliseconds(mediaFile.compositeDelay));
    return name + ".waveform";
}

void QVWaveformManager::saveWaveformsForMediaFile(const std::shared_ptr<QVMediaFile>& mediaFile)
{
    if (!mediaFile)
        return;
    TracksSnapshot tracks;
    bool complete = true;
    for (std::size_t t = 0; t < mediaFile->audioTracks.size(); ++t) {
        const auto& track = mediaFile->audioTracks[t];
        auto& channels = tracks.emplace_back();
        for (std::size_t c = 0; track && c < track->audioChannels.size(); ++c) {
            const auto& channel = track->audioChannels[c];
            if (!channel || channel->waveformData.isNull()) {
                qv::logInfo(QString("waveform data was not found for track %1 and channel %2").arg(t).arg(c).toStdString());
                return;
            }
            if (channel->waveformData.isEmpty() || channel->waveformSampleCount == 0)
                complete = false;
            channels.push_back({channel->waveformData, channel->waveformMax, channel->waveformSampleCount});
        }
    }
    auto name = makeWaveformCacheFileNameForMediaFile(*mediaFile);
    if (!name || !complete)
        return;
    fs::path path = waveformCacheFolder() / name->toStdString();
    // The list takes the file before it exists, so that no pruning can remove it once written.
    main_.async([this, path, mediaFile, tracks = std::move(tracks)]() mutable {
        addCacheFileToRecentlyUsed(path);
        writer_->run([this, path, mediaFile, tracks = std::move(tracks)] {
            auto date = modificationDate_(*mediaFile);
            if (!date)
                return;
            std::string document = writeWaveformCache(tracks, *date);
            std::string error = document.empty() ? "the property list could not be made" : qv::replaceFile(path, document);
            if (!error.empty())
                qv::logWarning(QString("The waveform cache %1 was not written: %2")
                                   .arg(QString::fromStdString(path.string()), QString::fromStdString(error))
                                   .toStdString());
        });
    });
}

void QVWaveformManager::addCacheFileToRecentlyUsed(const fs::path& path)
{
    std::vector<QString> list;
    if (auto stored = preferences_.arrayForKey(kRecentFilesKey))
        for (const auto& value : *stored)
            if (const QString* text = value.get<QString>())
                list.push_back(*text);
    QString added = QString::fromStdString(path.string());
    std::erase(list, added);
    if (!path.empty())
        list.insert(list.begin(), added);
    if (list.size() > static_cast<std::size_t>(kMaxRecentFiles))
        list.resize(kMaxRecentFiles);
    qv::PreferenceArray stored;
    for (const auto& entry : list)
        stored.emplace_back(entry);
    preferences_.setObject(kRecentFilesKey, std::move(stored));

    // Only cache files are pruned: whatever else the folder holds was not made here.
    std::error_code error;
    for (fs::directory_iterator it(waveformCacheFolder(), error), end; !error && it != end; it.increment(error)) {
        const fs::path& file = it->path();
        std::string name = file.filename().string();
        if (name.starts_with(".") || file.extension() != ".waveform")
            continue;
        if (std::find(list.begin(), list.end(), QString::fromStdString(file.string())) == list.end()) {
            std::error_code ignored;
            fs::remove(file, ignored);
        }
    }
}

bool QVWaveformManager::restoreWaveformsForMediaFile(QVMediaFile& mediaFile)
{
    auto name = makeWaveformCacheFileNameForMediaFile(mediaFile);
    if (!name)
        return false;
    fs::path path = waveformCacheFolder() / name->toStdString();
    auto bytes = qv::readFile(path);
    if (!bytes || bytes->empty())
        return false;
    std::vector<std::size_t> channelCounts;
    for (const auto& track : mediaFile.audioTracks)
        channelCounts.push_back(track ? track->audioChannels.size() : 0);
    // Everything is checked before any channel is touched: a damaged file changes nothing.
    const std::optional<WaveformCacheContents> cache = readWaveformCache(*bytes, channelCounts);
    if (!cache)
        return false;
    if (mediaFile.mediaOnline) {
        if (!mediaFile.modificationDate.isValid())
            return false;
        double mediaDate = static_cast<double>(mediaFile.modificationDate.toMSecsSinceEpoch()) / 1000;
        if (!(std::abs(cache->fileModifiedDate - mediaDate) < kDateTolerance))
            return false;
    }
    for (std::size_t t = 0; t < cache->tracks.size(); ++t)
        for (std::size_t c = 0; c < cache->tracks[t].size(); ++c)
            if (const auto& channel = mediaFile.audioTracks[t]->audioChannels[c]) {
                const WaveformCacheChannel& restored = cache->tracks[t][c];
                channel->waveformData = restored.data;
                channel->waveformMax = restored.maximum;
                channel->waveformSampleCount = restored.count;
            }
    addCacheFileToRecentlyUsed(path);
    return true;
}
