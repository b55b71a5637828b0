#include "app/FilesListLoader.h"

#include "model/AppDelegate.h"
#include "app/ShellServices.h"
#include "app/SyncedTranscriptCache.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/Uuid.h"

#include <algorithm>

namespace qv {
namespace {

using FileList = std::vector<std::shared_ptr<QVFile>>;

// Before the first entry opened at the same time or earlier, so the list stays newest first
// and a new file stands before older ones with the same time.
void insertByLastOpened(FileList& list, const std::shared_ptr<QVFile>& file, std::size_t* at = nullptr)
{
    auto position = std::find_if(list.begin(), list.end(),
                                 [&](const auto& other) { return other->lastOpened <= file->lastOpened; });
    if (at)
        *at = std::size_t(position - list.begin());
    list.insert(position, file);
}

bool showsFile(std::int64_t searchStatus, const QVFile& file)
{
    if (file.status <= 29)
        return searchStatus >= 0 && searchStatus <= 20;
    if (file.deleted != 0)
        return searchStatus == -1;
    return searchStatus == 0 || searchStatus == file.status;
}

}  // namespace

FilesListLoader::FilesListLoader(AppDelegate& ad, ShellServices& services, Dispatcher& mainQueue,
                                 Preferences& preferences, SyncedTranscriptCache& cache, FileFactory createFile)
    : ad_(ad), services_(services), mainQueue_(mainQueue), preferences_(preferences), cache_(cache),
      createFile_(std::move(createFile))
{
}

bool FilesListLoader::isListed(const QString& uuid) const
{
    return std::any_of(ad_.files.begin(), ad_.files.end(), [&](const auto& file) { return file->uuid == uuid; });
}

void FilesListLoader::reset()
{
    ++generation_;
    removedWhileReading_.clear();
}

void FilesListLoader::loadFiles()
{
    if (!ad_.currentUser)
        return;
    reset();
    const std::uint64_t generation = generation_;
    ad_.userFilesMetadataRef = ad_.usersMetadataRef.child(ad_.currentUser->uid + "/files");
    ad_.userFilesMetadataRef.keepSynced(true);
    ad_.userFilesMetadataRef.observeSingleEvent([this, generation](const DataSnapshot& list) {
        if (generation != generation_)
            return;
        ad_.userFilesStillToLoad = std::int64_t(list.childrenCount());
        ad_.files.clear();
        if (list.childrenCount() == 0) {
            services_.refreshFilesUI();
            setupUserFilesObservers();
            return;
        }
        for (const auto child : list.children()) {
            const QString uuid = QString::fromStdString(child.key());
            const DatabaseReference ref = ad_.filesMetadataRef.child(child.key());
            ref.keepSynced(true);
            // Callbacks hold no reference: the client keeps them, and must not keep itself.
            ref.observeSingleEvent([this, uuid, generation](const DataSnapshot& record) {
                fileLoaded(uuid, ad_.filesMetadataRef.child(uuid.toStdString()), record, generation);
            });
        }
    });
}

void FilesListLoader::fileLoaded(const QString& uuid, const DatabaseReference& ref, const DataSnapshot& snapshot,
                                 std::uint64_t generation)
{
    if (generation != generation_)
        return;
    --ad_.userFilesStillToLoad;
    std::shared_ptr<QVFile> file = snapshot.exists() ? createFile_(snapshot, uuid, ref) : nullptr;
    if (!file) {
        logWarning(QStringLiteral("file data for %1 could not be found").arg(uuid).toStdString());
    } else {
        ad_.files.push_back(file);
        followRecord(file);
        if (file->status <= 29) {
            file->syncedTranscriptEvictionTime = kNeverEvict;
            cache_.addFileToSyncedTranscripts(file);
        }
    }
    if (ad_.userFilesStillToLoad == 0)
        finishLoad();
}

void FilesListLoader::finishLoad()
{
    std::stable_sort(ad_.files.begin(), ad_.files.end(),
                     [](const auto& a, const auto& b) { return a->lastOpened > b->lastOpened; });
    services_.searchForFile();
    services_.reloadFiles();
    services_.refreshFilesUI();
    if (!preferences_.boolForKey("QVBetaLegacyFilesMigrationComplete"))
        preferences_.setObject("QVBetaLegacyFilesMigrationComplete", true);
    setupUserFilesObservers();
}

void FilesListLoader::setupUserFilesObservers()
{
    ad_.userFilesMetadataRef.observe(DatabaseEvent::ChildAdded,
                                     [this](const DataSnapshot& snapshot) { reported(ad_.pendingUserFilesAdded, snapshot); });
    ad_.userFilesMetadataRef.observe(DatabaseEvent::ChildRemoved,
                                     [this](const DataSnapshot& snapshot) { reported(ad_.pendingUserFilesDeleted, snapshot); });
}

void FilesListLoader::reported(QSet<QString>& into, const DataSnapshot& snapshot)
{
    if (!snapshot.exists())
        return;
    const QString key = QString::fromStdString(snapshot.key());
    into.insert(key);
    if (&into == &ad_.pendingUserFilesDeleted)
        removedWhileReading_.insert(key);
    else
        removedWhileReading_.remove(key);
    const QString token = createUUID();
    ad_.pendingUserFilesDelayID = token;
    mainQueue_.after(kUserFilesDebounceSeconds, [this, token, generation = generation_] {
        if (generation == generation_ && ad_.pendingUserFilesDelayID == token)
            updateUserFiles();
    });
}

void FilesListLoader::updateUserFiles()
{
    services_.filesTableBeginUpdates();
    const std::uint64_t generation = generation_;
    for (const QString& uuid : std::as_const(ad_.pendingUserFilesAdded)) {
        if (isListed(uuid))
            continue;
        ad_.filesMetadataRef.child(uuid.toStdString()).observeSingleEvent([this, uuid, generation](const DataSnapshot& record) {
            newFileArrived(uuid, ad_.filesMetadataRef.child(uuid.toStdString()), record, generation);
        });
    }
    ad_.pendingUserFilesAdded.clear();
    for (const QString& uuid : std::as_const(ad_.pendingUserFilesDeleted))
        removeFile(uuid);
    ad_.pendingUserFilesDeleted.clear();
    services_.filesTableEndUpdates();
}

void FilesListLoader::followRecord(const std::shared_ptr<QVFile>& file)
{
    // Removed with the record's other observers when the file leaves the list or the account.
    std::weak_ptr<QVFile> weak = file;
    file->fileMetadataRef.observe(DatabaseEvent::Value, [this, weak](const DataSnapshot& record) {
        if (auto followed = weak.lock())
            recordChanged(followed, record);
    });
}

void FilesListLoader::recordChanged(const std::shared_ptr<QVFile>& file, const DataSnapshot& record)
{
    if (!record.exists())
        return;
    bool changed = false;
    auto update = [&changed](auto& field, const auto& value) {
        if (field != value) {
            field = value;
            changed = true;
        }
    };
    // The duration arrives with the transcription; a stored name changes when it is renamed.
    if (record.hasChild("duration"))
        update(file->duration, record.childInt("duration"));
    if (const std::string name = record.childString("name"); !name.empty())
        update(file->name, QString::fromStdString(name));
    // The step to transcribed belongs to the synced-transcript cache, which keeps the new
    // transcript synced; every other status change is shown as it comes.
    const std::int64_t status = record.childInt("status");
    if (record.hasChild("status") && !(file->status < kFileStatusTranscribed && status == kFileStatusTranscribed))
        update(file->status, status);
    if (!changed)
        return;
    auto& rows = services_.filesSearchResults();
    if (auto row = std::find(rows.begin(), rows.end(), file); row != rows.end())
        services_.filesTableReloadRow(std::size_t(row - rows.begin()));
}

void FilesListLoader::removeFile(const QString& uuid)
{
    auto listed = std::find_if(ad_.files.begin(), ad_.files.end(), [&](const auto& file) { return file->uuid == uuid; });
    if (listed == ad_.files.end())
        return;
    const std::shared_ptr<QVFile> file = *listed;
    cache_.removeFileFromSyncedTranscripts(file);
    if (file->customWordsRef.isValid())
        file->customWordsRef.removeAllObservers();
    if (file->fileMetadataRef.isValid()) {
        file->fileMetadataRef.keepSynced(false);
        file->fileMetadataRef.removeAllObservers();
    }
    if (file->updatedMetadataRef.isValid())
        file->updatedMetadataRef.removeAllObservers();
    if (file->userSystemOnlineRef.isValid())
        file->userSystemOnlineRef.removeAllObservers();
    ad_.files.erase(listed);
    auto& rows = services_.filesSearchResults();
    if (auto row = std::find(rows.begin(), rows.end(), file); row != rows.end()) {
        const std::size_t index = std::size_t(row - rows.begin());
        rows.erase(row);
        services_.filesTableRemoveRow(index);
        // The last row gone, the no-files message shows again.
        services_.refreshFilesUI();
    }
}

void FilesListLoader::newFileArrived(const QString& uuid, const DatabaseReference& ref, const DataSnapshot& snapshot,
                                     std::uint64_t generation)
{
    // A key reported twice, or removed again, while its record was read is not listed again.
    if (generation != generation_ || !snapshot.exists() || isListed(uuid) || removedWhileReading_.contains(uuid))
        return;
    ref.keepSynced(true);
    const std::shared_ptr<QVFile> file = createFile_(snapshot, uuid, ref);
    if (!file)
        return;
    insertByLastOpened(ad_.files, file);
    followRecord(file);
    ad_.filesAwaitingCreation.remove(uuid);
    if (file->status <= 29) {
        file->syncedTranscriptEvictionTime = kNeverEvict;
        cache_.addFileToSyncedTranscripts(file);
    }
    if (showsFile(services_.filesSearchStatus(), *file)) {
        std::size_t row = 0;
        insertByLastOpened(services_.filesSearchResults(), file, &row);
        services_.filesTableInsertRow(row);
        // The first row of an empty list must not stay behind the no-files message.
        services_.refreshFilesUI();
    }
    if (ad_.filesPending.empty() && ad_.filesToProcess.empty() && ad_.filesAwaitingCreation.isEmpty())
        services_.enableSearch(true);
    if (ad_.droppedXMLDoc) {
        if (file->status == 20)
            ad_.droppedFilesAwaitingProcessing.removeAll(uuid);
        if (ad_.droppedFilesAwaitingProcessing.isEmpty())
            services_.sendBackDroppedXML();
    }
}

}  // namespace qv
