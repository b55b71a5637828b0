#include "export/DatabaseExportShell.h"

#include "app/AppDelegate.h"
#include "platform/foundation/UndoManager.h"

#include <QDateTime>

namespace qv {
namespace {

// Adds 1 to the counter at `reference`; an absent counter counts as 0.
void increment(const DatabaseReference& reference) {
    reference.runTransaction([](const DatabaseValue& current) -> std::optional<DatabaseValue> {
        return DatabaseValue(int64_t(static_cast<int32_t>(current.toInt(0))) + 1);
    });
}

}  // namespace

const char* exportTypeKey(int32_t type) {
    switch (type) {
    case ExportTypeAvidDS: return "avid_ds";
    case ExportTypeAvidScript: return "avid_script";
    case ExportTypeFCPXXML: return "fcpx_xml";
    case ExportTypeFCPXRoundtrip: return "fcpx_roundtrip";
    case ExportTypeiTunesTimedText: return "itunes_timed_text";
    case ExportTypePDF: return "pdf";
    case ExportTypePlainText: return "plain_text";
    case ExportTypePrint: return "print";
    case ExportTypeSubRip: return "subrip";
    case ExportTypeWord: return "word";
    default: return "unknown";
    }
}

DatabaseExportShell::DatabaseExportShell(AppDelegate& ad, ReloadFileRow reloadFileRow)
    : ad_(ad), reloadFileRow_(std::move(reloadFileRow)) {}

void DatabaseExportShell::changeFile(const std::shared_ptr<QVFile>& file, int64_t status, bool updateUI) {
    if (!file || file->status == status) return;
    file->status = status;
    file->fileMetadataRef.updateChildValues({{"status", DatabaseValue(status)}});
    updateCurrentFileTimestamp();
    const bool undoOrRedo = ad_.undoManager && (ad_.undoManager->isUndoing() || ad_.undoManager->isRedoing());
    if ((updateUI || undoOrRedo) && reloadFileRow_) reloadFileRow_(file);
}

void DatabaseExportShell::updateCurrentFileTimestamp() {
    const auto& file = ad_.currentFile;
    if (!file || !file->fileMetadataRef.isValid()) return;
    file->fileMetadataRef.updateChildValues({{"updated", DatabaseValue::serverTimestamp()}});
    file->syncedTranscriptEvictionTime =
        double(QDateTime::currentMSecsSinceEpoch()) / 1000.0 + kSyncedTranscriptKeepSeconds;
}

void DatabaseExportShell::incrementExportCountForType(int32_t type, const std::shared_ptr<QVFile>& file) {
    const std::string key = exportTypeKey(type);
    if (file) increment(file->fileMetadataRef.child("export_count/" + key));
    increment(ad_.statsMetadataRef.child("export_count/" + key));
}

void DatabaseExportShell::logCaptionExportTypeIsAuto(bool isAuto) {
    const DatabaseReference counters = ad_.statsMetadataRef.child("export_count");
    if (isAuto) {
        increment(counters.child("caption_auto"));
        return;
    }
    increment(counters.child("caption_sentences"));
    if (ad_.currentUser) increment(counters.child("caption_sentences_users/" + ad_.currentUser->uid));
}

}  // namespace qv
