// What this computer alone knows of each transcript file, kept in the preferences under
// "QVLocalFileData" (file identifier -> entry): where its media files lie (bookmark and path),
// which channels were enabled, the last playback position, the last opening and the last
// `updated` stamp seen. The whole dictionary is read, changed and written back on every save.
#pragma once

#include "platform/foundation/Preferences.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class AppDelegate;
class QVMediaFile;

namespace LocalFileDataKey {
inline const QString kLocalFileData = QStringLiteral("QVLocalFileData");
inline const QString kMediaFiles = QStringLiteral("QVMediaFiles");
inline const QString kLastMediaTime = QStringLiteral("QVLastMediaTime");
inline const QString kLastOpened = QStringLiteral("QVLastOpened");
inline const QString kUpdated = QStringLiteral("QVUpdated");
inline const QString kFileBookmark = QStringLiteral("QVFileBookmark");
inline const QString kFilePath = QStringLiteral("QVFilePath");
inline const QString kAudioTracks = QStringLiteral("QVAudioTracks");
// Older entries only; moved into the present layout when a file is built.
inline const QString kFileModificationDate = QStringLiteral("QVFileModificationDate");
inline const QString kStartTimecode = QStringLiteral("QVStartTimecode");
}  // namespace LocalFileDataKey

class LocalFileData {
public:
    LocalFileData(AppDelegate& ad, qv::Preferences& preferences) : ad_(&ad), preferences_(&preferences) {}

    // Merges into the entry of `uuid`: each media file's bookmark and path (fileLocations),
    // each media file's channel enables (audioConfiguration), and the three numbers; a negative
    // number leaves the stored one as it is.
    void saveLocalDataForFileUUID(const QString& uuid, bool audioConfiguration, bool fileLocations,
                                  std::int64_t lastMediaTime, std::int64_t lastOpened,
                                  const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles, std::int64_t updated);
    // Saves the open file's position and channel enables, once per run, on quit or when the
    // main window closes; makes the open video file's thumbnail first when its video is online.
    void saveLocalDataAndThumbnailBeforeQuit();

    // The whole dictionary; empty when there is none.
    qv::PreferenceDictionary allEntries() const;
    // The entry of one file, if it has one.
    std::optional<qv::PreferenceDictionary> entryForFileUUID(const QString& uuid) const;
    // Replaces the whole dictionary.
    void setAllEntries(qv::PreferenceDictionary entries);

private:
    AppDelegate* ad_;
    qv::Preferences* preferences_;
};

// Reading helpers for entries: a missing or wrongly typed value reads as nothing.
std::optional<std::int64_t> entryInteger(const qv::PreferenceDictionary& entry, const QString& key);
const qv::PreferenceDictionary* entryDictionary(const qv::PreferenceDictionary& entry, const QString& key);
const qv::PreferenceArray* entryArray(const qv::PreferenceDictionary& entry, const QString& key);
