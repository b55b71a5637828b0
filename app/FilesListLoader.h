// The account's files list: the first load after sign-in and the live additions and removals
// the service makes afterwards, collected and applied together 0.1 s after the last report; a
// listed file's name, duration and status follow its record as they change.
#pragma once

#include "platform/foundation/Dispatcher.h"
#include "platform/rtdb/DataSnapshot.h"
#include "platform/rtdb/DatabaseReference.h"

#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class AppDelegate;
class QVFile;
class ShellServices;

namespace qv {

class Preferences;
class SyncedTranscriptCache;

// Quiet time after the last add or remove report before the list is updated, seconds.
inline constexpr double kUserFilesDebounceSeconds = 0.1;

class FilesListLoader {
public:
    // Builds a file from its record (the document model's createFileFromSnapshot).
    using FileFactory = std::function<std::shared_ptr<QVFile>(const DataSnapshot& snapshot, const QString& uuid,
                                                              const DatabaseReference& fileMetadataRef)>;

    FilesListLoader(AppDelegate& ad, ShellServices& services, Dispatcher& mainQueue, Preferences& preferences,
                    SyncedTranscriptCache& cache, FileFactory createFile);
    FilesListLoader(const FilesListLoader&) = delete;
    FilesListLoader& operator=(const FilesListLoader&) = delete;

    // Reads users/<uid>/files and every listed record once, then follows the list.
    void loadFiles();
    void setupUserFilesObservers();
    // Applies the collected add and remove reports.
    void updateUserFiles();
    // Forgets the account: answers of reads still on their way are dropped.
    void reset();

private:
    void fileLoaded(const QString& uuid, const DatabaseReference& ref, const DataSnapshot& snapshot,
                    std::uint64_t generation);
    void finishLoad();
    void reported(QSet<QString>& into, const DataSnapshot& snapshot);
    void newFileArrived(const QString& uuid, const DatabaseReference& ref, const DataSnapshot& snapshot,
                        std::uint64_t generation);
    void removeFile(const QString& uuid);
    // Lists `file` and follows its record.
    void followRecord(const std::shared_ptr<QVFile>& file);
    void recordChanged(const std::shared_ptr<QVFile>& file, const DataSnapshot& record);
    bool isListed(const QString& uuid) const;

    AppDelegate& ad_;
    ShellServices& services_;
    Dispatcher& mainQueue_;
    Preferences& preferences_;
    SyncedTranscriptCache& cache_;
    FileFactory createFile_;
    // Changes at each load, so that answers for an earlier account or load are dropped.
    std::uint64_t generation_ = 0;
    // Files reported removed while their record was being read; their answer is dropped.
    QSet<QString> removedWhileReading_;
};

}  // namespace qv
