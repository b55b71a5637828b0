// Which transcripts this computer keeps synced: unfinished files (so that their completion is
// seen at once), the open file and files changed in the last quarter hour. Each cached file
// carries an eviction time; a sweep every two minutes drops those whose time has passed.
#pragma once

#include "platform/foundation/Dispatcher.h"
#include "platform/rtdb/DatabaseBackend.h"

#include <limits>
#include <memory>

class AppDelegate;
class QVFile;
class ShellServices;

namespace qv {

// How long a changed or newly transcribed file stays synced, seconds.
inline constexpr double kSyncedTranscriptKeepSeconds = 900;
// Time between two sweeps of the cache, seconds.
inline constexpr double kSyncedTranscriptSweepInterval = 120;
// The eviction time of a file that is never dropped (an unfinished one).
inline constexpr double kNeverEvict = std::numeric_limits<double>::max();
// Status of a file the service could not transcribe.
inline constexpr std::int64_t kFileStatusFailed = 15;
// First status of a transcribed file.
inline constexpr std::int64_t kFileStatusTranscribed = 30;

class SyncedTranscriptCache {
public:
    // `clock` gives milliseconds since 1970 (the system time when empty).
    SyncedTranscriptCache(AppDelegate& ad, ShellServices& services, Dispatcher& mainQueue, WallClock clock = {});
    SyncedTranscriptCache(const SyncedTranscriptCache&) = delete;
    SyncedTranscriptCache& operator=(const SyncedTranscriptCache&) = delete;

    // Keeps the file's transcript synced; an unfinished file is watched until it is transcribed
    // or the service gives up on it.
    // The eviction time stays as the caller set it.
    void addFileToSyncedTranscripts(const std::shared_ptr<QVFile>& file);
    void removeFileFromSyncedTranscripts(const std::shared_ptr<QVFile>& file);
    void evictAllSyncedTranscripts();
    // Drops every file whose time has passed, but never the open file or an unfinished one.
    void evictExpiredSyncedTranscripts();
    // Marks the open file as changed: its `updated` becomes the server's time and its
    // transcript stays synced for another kSyncedTranscriptKeepSeconds.
    void updateCurrentFileTimestamp();
    // Starts the repeating sweep (once).
    void startEvictionTimer();

    // Seconds since 1970 now.
    double now() const;

private:
    void transcriptArrived(const std::shared_ptr<QVFile>& file);
    void statusChanged(const std::weak_ptr<QVFile>& file, const DatabaseValue& value);
    // The service could not transcribe the file and says why.
    void transcriptionFailed(const std::weak_ptr<QVFile>& file, const DatabaseValue& reason);
    void reloadFilesListRow(const std::weak_ptr<QVFile>& file);

    AppDelegate& ad_;
    ShellServices& services_;
    Dispatcher& mainQueue_;
    WallClock clock_;
};

}  // namespace qv
