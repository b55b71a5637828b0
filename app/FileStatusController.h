// Changes of a file's state made on this computer: its status (Transcribed, Verified,
// Exported), soft deletion and restore, and the export counters every export adds to.
#pragma once

#include "model/ExportShell.h"
#include "platform/foundation/Dispatcher.h"

#include <memory>

class AppDelegate;
class QVFile;
class ShellServices;

namespace qv {

class SyncedTranscriptCache;

// Delay before the row of a deleted or restored file leaves the list, seconds.
inline constexpr double kFileRowRemovalDelay = 0.1;

class FileStatusController : public ExportShell {
public:
    FileStatusController(AppDelegate& ad, ShellServices& services, Dispatcher& mainQueue, SyncedTranscriptCache& cache);
    FileStatusController(const FileStatusController&) = delete;
    FileStatusController& operator=(const FileStatusController&) = delete;

    void changeFile(const std::shared_ptr<QVFile>& file, int64_t status, bool updateUI) override;
    void incrementExportCountForType(int32_t type, const std::shared_ptr<QVFile>& file) override;
    void logCaptionExportTypeIsAuto(bool isAuto) override;

    // Marks the file deleted with the server's time; it leaves the list's current view.
    void deleteFile(const std::shared_ptr<QVFile>& file);
    void restoreFile(const std::shared_ptr<QVFile>& file);

    // The counter key of an export type code; "unknown" for any other code.
    static const char* exportTypeKey(int32_t type);

private:
    void removeRowLater(const std::shared_ptr<QVFile>& file);

    AppDelegate& ad_;
    ShellServices& services_;
    Dispatcher& mainQueue_;
    SyncedTranscriptCache& cache_;
};

}  // namespace qv
