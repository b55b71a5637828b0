#include "model/LocalFileData.h"

#include "model/AppDelegate.h"
#include "model/MediaFilesMapping.h"
#include "model/ModelServices.h"
#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVMediaFile.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/Log.h"

using qv::PreferenceArray;
using qv::PreferenceDictionary;
using qv::PreferenceValue;
namespace Key = LocalFileDataKey;

namespace {

PreferenceValue audioConfigurationOf(const QVMediaFile& mediaFile)
{
    PreferenceArray tracks;
    for (const auto& track : mediaFile.audioTracks) {
        PreferenceArray channels;
        if (track) {
            for (const auto& channel : track->audioChannels)
                channels.emplace_back(channel && channel->enabled);
        }
        tracks.emplace_back(std::move(channels));
    }
    return tracks;
}

}  // namespace

std::optional<std::int64_t> entryInteger(const PreferenceDictionary& entry, const QString& key)
{
    auto found = entry.find(key);
    if (found == entry.end())
        return std::nullopt;
    if (const auto* n = found->second.get<std::int64_t>())
        return *n;
    if (const auto* d = found->second.get<double>()) {
        // Outside the 64-bit range (or NaN) a stored double has no integer to give.
        if (!(*d >= -9.2233720368547758e18 && *d < 9.2233720368547758e18))
            return std::nullopt;
        return static_cast<std::int64_t>(*d);
    }
    return std::nullopt;
}

const PreferenceDictionary* entryDictionary(const PreferenceDictionary& entry, const QString& key)
{
    auto found = entry.find(key);
    return found == entry.end() ? nullptr : found->second.get<PreferenceDictionary>();
}

const PreferenceArray* entryArray(const PreferenceDictionary& entry, const QString& key)
{
    auto found = entry.find(key);
    return found == entry.end() ? nullptr : found->second.get<PreferenceArray>();
}

PreferenceDictionary LocalFileData::allEntries() const
{
    return preferences_->dictionaryForKey(Key::kLocalFileData).value_or(PreferenceDictionary{});
}

std::optional<PreferenceDictionary> LocalFileData::entryForFileUUID(const QString& uuid) const
{
    const PreferenceDictionary all = allEntries();
    if (const PreferenceDictionary* entry = entryDictionary(all, uuid))
        return *entry;
    return std::nullopt;
}

void LocalFileData::setAllEntries(PreferenceDictionary entries)
{
    preferences_->setObject(Key::kLocalFileData, std::move(entries));
}

void LocalFileData::saveLocalDataForFileUUID(const QString& uuid, bool audioConfiguration, bool fileLocations,
                                             std::int64_t lastMediaTime, std::int64_t lastOpened,
                                             const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles,
                                             std::int64_t updated)
{
    PreferenceDictionary all = allEntries();
    PreferenceDictionary entry;
    if (const PreferenceDictionary* stored = entryDictionary(all, uuid))
        entry = *stored;
    PreferenceArray elements;
    if (const PreferenceArray* stored = entryArray(entry, Key::kMediaFiles))
        elements = *stored;

    for (std::size_t i = 0; i < mediaFiles.size(); ++i) {
        const auto& mediaFile = mediaFiles[i];
        PreferenceDictionary element;
        if (i < elements.size()) {
            if (const auto* stored = elements[i].get<PreferenceDictionary>())
                element = *stored;
        }
        if (mediaFile && fileLocations && !mediaFile->url.isEmpty()) {
            QString error;
            const auto bookmark = ad_->modelServices ? ad_->modelServices->createBookmarkData(mediaFile->url, &error)
                                                     : std::nullopt;
            if (bookmark)
                element[Key::kFileBookmark] = *bookmark;
            else
                qv::logWarning(QStringLiteral("oops couldn't create bookmarkData %1").arg(error).toStdString());
            element[Key::kFilePath] = mediaFile->url.toLocalFile();
        }
        if (mediaFile && audioConfiguration && !mediaFile->audioTracks.empty())
            element[Key::kAudioTracks] = audioConfigurationOf(*mediaFile);
        if (i < elements.size())
            elements[i] = std::move(element);
        else
            elements.emplace_back(std::move(element));
    }

    if (lastMediaTime >= 0)
        entry[Key::kLastMediaTime] = lastMediaTime;
    if (lastOpened >= 0)
        entry[Key::kLastOpened] = lastOpened;
    if (updated >= 0)
        entry[Key::kUpdated] = updated;
    entry[Key::kMediaFiles] = std::move(elements);
    all[uuid] = std::move(entry);
    setAllEntries(std::move(all));
}

void LocalFileData::saveLocalDataAndThumbnailBeforeQuit()
{
    const std::shared_ptr<QVFile> file = ad_->currentFile;
    if (!file || ad_->isSavingLocalDataBeforeQuitting)
        return;
    ad_->isSavingLocalDataBeforeQuitting = true;
    ModelServices* services = ad_->modelServices;
    if (services && file->hasVideo && videoIsOnlineForFile(*file))
        services->createImageForSimpleFile();
    file->lastMediaTime = services && services->hasPlayer() ? convertCMTimeToMilliseconds(services->playerCurrentTime()) : 0;
    saveLocalDataForFileUUID(file->uuid, true, false, file->lastMediaTime, -1, file->mediaFiles, -1);
}
