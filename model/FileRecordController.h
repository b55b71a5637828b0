// Builds a QVFile for the files list from a snapshot of its record files/<uuid>, bringing older
// stored forms up to date on the way, and keeps the built file in step with the service's
// later `updated` and `completed` stamps. Main thread only. The observers it attaches call back
// into it, so it lives as long as the database client (the application object's lifetime).
#pragma once

#include "platform/foundation/Dispatcher.h"
#include "platform/rtdb/DataSnapshot.h"
#include "platform/rtdb/DatabaseReference.h"

#include <QString>

#include <cstdint>
#include <map>
#include <memory>

class AppDelegate;
class LocalFileData;
class QVFile;

// The `updated` stamp the service gave every record on its 1 April 2017 migration, ms since
// 1970; a file carrying it is recorded as seen and not synced.
inline constexpr std::int64_t kMigrationUpdatedStamp = 1'491'004'800'000;
// Delay before `empty_transcript` is read after the service reports completion, seconds.
inline constexpr double kEmptyTranscriptCheckDelay = 1.0;
// How long a new `updated` stamp waits before it is stored on this computer, seconds: every edit
// changes the stamp (twice: this computer's estimate, then the service's time), and a run of
// edits writes the stored file data once instead of twice per edit. A stamp lost in a crash only
// makes the next launch read the transcript from the service again.
inline constexpr double kUpdatedStampSaveDelay = 1.0;
// Speed ratio (media duration / transcription time) from which the notification says how fast.
inline constexpr double kFastTranscriptionRatio = 1.2;

class FileRecordController {
public:
    FileRecordController(AppDelegate& ad, LocalFileData& localFileData, qv::Dispatcher& mainQueue)
        : ad_(&ad), localFileData_(&localFileData), mainQueue_(&mainQueue)
    {
    }
    FileRecordController(const FileRecordController&) = delete;
    FileRecordController& operator=(const FileRecordController&) = delete;

    // A new file from the record's snapshot. May write to the record (migrations, derived file
    // type) and to the local file data, attaches the `updated` observer and, while the file is
    // not completed, a `completed` observer.
    std::shared_ptr<QVFile> createFileFromSnapshot(const qv::DataSnapshot& snapshot, const QString& uuid,
                                                   const qv::DatabaseReference& fileMetadataRef);
    // The `updated` stamp last stored on this computer differs from the file's.
    bool fileHasBeenUpdatedOnServer(const QVFile& file) const;

private:
    void migrateLegacyFileName(QVFile& file, const qv::DataSnapshot& snapshot, const qv::DatabaseReference& ref);
    void deriveFileType(QVFile& file, const qv::DatabaseReference& ref);
    void readTimecode(QVFile& file, const qv::DataSnapshot& timecode);
    void chooseThumbnail(QVFile& file);
    void updatedChanged(const std::shared_ptr<QVFile>& file, const qv::DataSnapshot& snapshot);
    void saveUpdatedStamps();
    void completedChanged(const QString& uuid, const qv::DatabaseReference& ref, const qv::DataSnapshot& snapshot);

    AppDelegate* ad_;
    LocalFileData* localFileData_;
    qv::Dispatcher* mainQueue_;
    // Stamps seen but not yet stored, by file.
    std::map<QString, std::int64_t> unsavedStamps_;
};
