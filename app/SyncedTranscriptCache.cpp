#include "app/SyncedTranscriptCache.h"

#include "model/AppDelegate.h"
#include "app/ShellServices.h"

#include <QDateTime>

#include <algorithm>

namespace qv {

SyncedTranscriptCache::SyncedTranscriptCache(AppDelegate& ad, ShellServices& services, Dispatcher& mainQueue,
                                             WallClock clock)
    : ad_(ad), services_(services), mainQueue_(mainQueue), clock_(std::move(clock))
{
    if (!clock_)
        clock_ = [] { return QDateTime::currentMSecsSinceEpoch(); };
}

double SyncedTranscriptCache::now() const
{
    return double(clock_()) / 1000.0;
}

void SyncedTranscriptCache::addFileToSyncedTranscripts(const std::shared_ptr<QVFile>& file)
{
    if (!file || ad_.syncedTranscripts.contains(file))
        return;
    file->transcriptMetadataRef = ad_.transcriptsMetadataRef.child(file->uuid.toStdString());
    file->transcriptMetadataRef.keepSynced(true);
    if (file->status < kFileStatusTranscribed) {
        std::weak_ptr<QVFile> weak = file;
        file->transcriptMetadataRef.observe(DatabaseEvent::Value, [this, weak](const DataSnapshot& snapshot) {
            auto strong = weak.lock();
            if (strong && snapshot.exists())
                transcriptArrived(strong);
        });
        // A failed file gets no transcript: its reason is what arrives instead.
        if (file->fileMetadataRef.isValid())
            file->fileMetadataRef.child("failure_reason").observe(DatabaseEvent::Value, [this, weak](const DataSnapshot& snapshot) {
                if (snapshot.exists())
                    transcriptionFailed(weak, snapshot.value());
            });
    }
    ad_.syncedTranscripts.add(file);
}

void SyncedTranscriptCache::transcriptArrived(const std::shared_ptr<QVFile>& file)
{
    auto listed = std::find_if(ad_.files.begin(), ad_.files.end(),
                               [&](const auto& candidate) { return candidate && candidate->uuid == file->uuid; });
    if (listed == ad_.files.end() || (*listed)->status > 20)
        return;
    file->transcriptMetadataRef.removeAllObservers();
    std::weak_ptr<QVFile> weak = *listed;
    (*listed)->fileMetadataRef.child("status").observe(DatabaseEvent::Value, [this, weak](const DataSnapshot& snapshot) {
        if (snapshot.exists())
            statusChanged(weak, snapshot.value());
    });
}

void SyncedTranscriptCache::statusChanged(const std::weak_ptr<QVFile>& weak, const DatabaseValue& value)
{
    auto file = weak.lock();
    if (!file || !value.isNumber() || value.toInt() != kFileStatusTranscribed || file->status == kFileStatusTranscribed)
        return;
    file->status = kFileStatusTranscribed;
    file->syncedTranscriptEvictionTime = now() + kSyncedTranscriptKeepSeconds;
    reloadFilesListRow(weak);
    file->fileMetadataRef.child("status").removeAllObservers();
}

void SyncedTranscriptCache::transcriptionFailed(const std::weak_ptr<QVFile>& weak, const DatabaseValue& reason)
{
    auto file = weak.lock();
    if (!file || file->status >= kFileStatusTranscribed)
        return;
    file->status = kFileStatusFailed;
    file->failureReason = QString::fromStdString(reason.toString());
    file->fileMetadataRef.child("failure_reason").removeAllObservers();
    reloadFilesListRow(weak);
}

void SyncedTranscriptCache::reloadFilesListRow(const std::weak_ptr<QVFile>& weak)
{
    mainQueue_.async([this, weak] {
        auto shown = weak.lock();
        auto& rows = services_.filesSearchResults();
        auto row = std::find(rows.begin(), rows.end(), shown);
        if (shown && row != rows.end())
            services_.filesTableReloadRow(std::size_t(row - rows.begin()));
    });
}

void SyncedTranscriptCache::removeFileFromSyncedTranscripts(const std::shared_ptr<QVFile>& file)
{
    if (!file || !file->transcriptMetadataRef.isValid())
        return;
    file->syncedTranscriptEvictionTime = 0;
    file->transcriptMetadataRef.keepSynced(false);
    file->transcriptMetadataRef.removeAllObservers();
    // A file dropped while still waiting for its transcription stops watching its status too.
    if (file->fileMetadataRef.isValid()) {
        file->fileMetadataRef.child("status").removeAllObservers();
        file->fileMetadataRef.child("failure_reason").removeAllObservers();
    }
    ad_.syncedTranscripts.remove(file);
    file->transcriptMetadataRef = {};
}

void SyncedTranscriptCache::evictAllSyncedTranscripts()
{
    const auto cached = ad_.syncedTranscripts.items();
    for (const auto& file : cached)
        removeFileFromSyncedTranscripts(file);
}

void SyncedTranscriptCache::evictExpiredSyncedTranscripts()
{
    const double time = now();
    const auto cached = ad_.syncedTranscripts.items();
    for (const auto& file : cached) {
        const bool open = file == ad_.currentFile;
        if (!open && file->syncedTranscriptEvictionTime == 0)
            removeFileFromSyncedTranscripts(file);
        else if (open || file->status <= 29)
            continue;
        else if (time > file->syncedTranscriptEvictionTime)
            removeFileFromSyncedTranscripts(file);
    }
}

void SyncedTranscriptCache::updateCurrentFileTimestamp()
{
    const auto& file = ad_.currentFile;
    if (!file)
        return;
    if (file->fileMetadataRef.isValid())
        file->fileMetadataRef.child("updated").setValue(DatabaseValue::serverTimestamp());
    file->syncedTranscriptEvictionTime = now() + kSyncedTranscriptKeepSeconds;
}

void SyncedTranscriptCache::startEvictionTimer()
{
    if (ad_.syncedTranscriptsTimer == 0)
        ad_.syncedTranscriptsTimer =
            mainQueue_.every(kSyncedTranscriptSweepInterval, [this] { evictExpiredSyncedTranscripts(); });
}

}  // namespace qv
