// The waveform cache: one property-list file per media file (or per used part of one) in the
// "Waveforms" folder, holding every channel's loudness values and the media file's modification
// date, so that waveforms are not decoded again for media the user configured before. The
// folder keeps the 100 most recently used cache files; older ones are deleted.
//
// The recent list lives in the preferences, which belong to the main thread: it is only read
// and written there. Files are written on the manager's own background thread, one at a time.
#pragma once

#include "model/QVMediaFile.h"

#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/WorkQueue.h"

#include <QDateTime>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QVWaveformManager {
public:
    // The preference that lists cache file paths, most recent first.
    static constexpr const char* kRecentFilesKey = "QVRecentWaveformCacheFiles";
    static constexpr int kMaxRecentFiles = 100;
    // A cache is used when its recorded date is closer than this to the media file's. Seconds.
    static constexpr double kDateTolerance = 5.0;

    // The media file's modification date on disk; nothing when it cannot be had.
    using ModificationDate = std::function<std::optional<QDateTime>(QVMediaFile&)>;

    // `folder` defaults to "Waveforms" in the user's data folder.
    QVWaveformManager(qv::Dispatcher& main, qv::Preferences& preferences, std::filesystem::path folder = {},
                      ModificationDate modificationDate = {});
    // Finishes the writes already started.
    ~QVWaveformManager();

    // The cache folder, made when missing.
    std::filesystem::path waveformCacheFolder() const;
    // The alphanumerics of the path, with "-delay-duration-offset" in ms for a used part, and
    // ".waveform"; nothing without a path.
    std::optional<QString> makeWaveformCacheFileNameForMediaFile(const QVMediaFile& mediaFile) const;

    // Any thread. Takes the channels' values as they are now; the recent list is updated on the
    // main thread and the file then written atomically in the background. Nothing is written
    // when a channel has no values.
    void saveWaveformsForMediaFile(const std::shared_ptr<QVMediaFile>& mediaFile);
    // Main thread. Puts `path` first in the recent list (at most 100) and deletes the cache
    // files that fell out of it.
    void addCacheFileToRecentlyUsed(const std::filesystem::path& path);

    // Main thread. Sets the channels' waveforms from the cache file when there is a valid one
    // for this media file as it is now, and marks it recently used. False when there is none,
    // when it is out of date, or when it is damaged or not a cache file: the waveforms are
    // then to be generated again, which rewrites it.
    bool restoreWaveformsForMediaFile(QVMediaFile& mediaFile);

    // Blocks until the writes started so far are on disk. For tests and shutdown.
    void waitForWrites();

private:
    qv::Dispatcher& main_;
    qv::Preferences& preferences_;
    std::filesystem::path folder_;
    ModificationDate modificationDate_;
    std::unique_ptr<qv::SerialQueue> writer_;
};
