#pragma once
// The shell's export services over the realtime database: the file's status written with a
// multi-key update, counters incremented by transactions so that computers counting at the
// same time lose nothing. The shell issue takes this over into its controller.
#include "export/ExportShell.h"

#include <functional>

class AppDelegate;

namespace qv {

// How long after a change the open file's transcript stays synced on this computer, seconds.
inline constexpr double kSyncedTranscriptKeepSeconds = 900;

class DatabaseExportShell : public ExportShell {
public:
    using ReloadFileRow = std::function<void(const std::shared_ptr<QVFile>& file)>;
    // `ad` is not owned and outlives this; reloadFileRow reloads the file's row of the files
    // list (may be empty while there is no list).
    DatabaseExportShell(AppDelegate& ad, ReloadFileRow reloadFileRow);

    void changeFile(const std::shared_ptr<QVFile>& file, int64_t status, bool updateUI) override;
    void incrementExportCountForType(int32_t type, const std::shared_ptr<QVFile>& file) override;
    void logCaptionExportTypeIsAuto(bool isAuto) override;

    // Sets the open file's `updated` to the server's time and keeps its transcript synced for
    // another kSyncedTranscriptKeepSeconds.
    void updateCurrentFileTimestamp();

private:
    AppDelegate& ad_;
    ReloadFileRow reloadFileRow_;
};

// The counter key of an export type code; "unknown" for any other code.
const char* exportTypeKey(int32_t type);

}  // namespace qv
