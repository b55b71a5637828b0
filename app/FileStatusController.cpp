#include "app/FileStatusController.h"

#include "app/AccountNodes.h"
#include "model/AppDelegate.h"
#include "app/ShellServices.h"
#include "app/SyncedTranscriptCache.h"
#include "platform/foundation/UndoManager.h"

#include <algorithm>

namespace qv {
namespace {

std::optional<std::size_t> rowOf(ShellServices& services, const std::shared_ptr<QVFile>& file)
{
    auto& rows = services.filesSearchResults();
    auto row = std::find(rows.begin(), rows.end(), file);
    if (!file || row == rows.end())
        return std::nullopt;
    return std::size_t(row - rows.begin());
}

}  // namespace

FileStatusController::FileStatusController(AppDelegate& ad, ShellServices& services, Dispatcher& mainQueue,
                                           SyncedTranscriptCache& cache)
    : ad_(ad), services_(services), mainQueue_(mainQueue), cache_(cache)
{
}

const char* FileStatusController::exportTypeKey(int32_t type)
{
    static constexpr const char* kKeys[] = {"avid_ds", "avid_script", "fcpx_xml", "fcpx_roundtrip", "itunes_timed_text",
                                            "pdf",     "plain_text",  "print",    "subrip",         "word"};
    const auto index = static_cast<std::uint32_t>(type);
    return index <= 9 ? kKeys[index] : "unknown";
}

void FileStatusController::changeFile(const std::shared_ptr<QVFile>& file, int64_t status, bool updateUI)
{
    if (!file || file->status == status)
        return;
    file->status = status;
    file->fileMetadataRef.updateChildValues({{"status", DatabaseValue(status)}});
    cache_.updateCurrentFileTimestamp();
    const bool undoOrRedo = ad_.undoManager && (ad_.undoManager->isUndoing() || ad_.undoManager->isRedoing());
    if (!updateUI && !undoOrRedo)
        return;
    std::weak_ptr<QVFile> weak = file;
    mainQueue_.async([this, weak] {
        if (auto row = rowOf(services_, weak.lock()))
            services_.filesTableReloadRow(*row);
    });
}

void FileStatusController::deleteFile(const std::shared_ptr<QVFile>& file)
{
    if (!file)
        return;
    file->deleted = 1;
    file->fileMetadataRef.updateChildValues({{"deleted", DatabaseValue::serverTimestamp()}});
    cache_.removeFileFromSyncedTranscripts(file);
    cache_.updateCurrentFileTimestamp();
    removeRowLater(file);
}

void FileStatusController::restoreFile(const std::shared_ptr<QVFile>& file)
{
    if (!file)
        return;
    file->deleted = 0;
    file->fileMetadataRef.child("deleted").removeValue();
    cache_.updateCurrentFileTimestamp();
    removeRowLater(file);
}

void FileStatusController::removeRowLater(const std::shared_ptr<QVFile>& file)
{
    std::weak_ptr<QVFile> weak = file;
    mainQueue_.after(kFileRowRemovalDelay, [this, weak] {
        if (auto row = rowOf(services_, weak.lock()))
            services_.filesTableRemoveRowThenSearch(*row);
    });
}

void FileStatusController::incrementExportCountForType(int32_t type, const std::shared_ptr<QVFile>& file)
{
    const std::string key = exportTypeKey(type);
    if (file)
        incrementCounter(file->fileMetadataRef.child("export_count/" + key));
    incrementCounter(ad_.statsMetadataRef.child("export_count/" + key));
}

void FileStatusController::logCaptionExportTypeIsAuto(bool isAuto)
{
    const DatabaseReference counters = ad_.statsMetadataRef.child("export_count");
    if (isAuto) {
        incrementCounter(counters.child("caption_auto"));
        return;
    }
    incrementCounter(counters.child("caption_sentences"));
    if (ad_.currentUser)
        incrementCounter(counters.child("caption_sentences_users/" + ad_.currentUser->uid));
}

}  // namespace qv
