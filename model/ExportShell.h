#pragma once
// What the exports call of the application shell: marking the exported file and counting the
// export. The application's file-status controller implements it; tests give a recording fake.
#include <cstdint>
#include <memory>

class QVFile;

namespace qv {

// Export type codes of the export counters.
enum ExportType : int32_t {
    ExportTypeAvidDS = 0,
    ExportTypeAvidScript = 1,
    ExportTypeFCPXXML = 2,
    ExportTypeFCPXRoundtrip = 3,
    ExportTypeiTunesTimedText = 4,
    ExportTypePDF = 5,
    ExportTypePlainText = 6,
    ExportTypePrint = 7,
    ExportTypeSubRip = 8,
    ExportTypeWord = 9,
};

// The file status of an exported file.
inline constexpr int64_t kFileStatusExported = 50;

class ExportShell {
public:
    virtual ~ExportShell() = default;
    // When the status differs: sets it on the file, writes it to the file's record and touches
    // the open file's `updated`; the files-list row is reloaded when updateUI is set or an undo
    // or redo runs. The same status changes nothing.
    virtual void changeFile(const std::shared_ptr<QVFile>& file, int64_t status, bool updateUI) = 0;
    // Adds 1 to the file's counter of the type (when a file is given) and to the global one.
    virtual void incrementExportCountForType(int32_t type, const std::shared_ptr<QVFile>& file) = 0;
    // Counts a caption export by how its pages were built: automatically, or by sentence.
    virtual void logCaptionExportTypeIsAuto(bool isAuto) = 0;
};

}  // namespace qv
