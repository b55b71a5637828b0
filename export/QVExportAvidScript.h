#pragma once
// The transcript as a script for script-based editing: each range's speaker name in upper case,
// then its words in lines of at most 30 characters, an empty line at each paragraph break and a
// blank line between ranges. No trailing line break.
#include "export/ExportTranscript.h"

namespace qv {

// Longest script line in characters (UTF-16 units); a longer single word stands alone.
inline constexpr qsizetype kAvidScriptMaxLineLength = 30;

class QVExportAvidScript {
public:
    // The transcript is read, not copied: it must outlive this.
    explicit QVExportAvidScript(const ExportTranscript& transcript) : transcript_(transcript) {}
    QVExportAvidScript(ExportTranscript&&) = delete;
    QVExportAvidScript(const QVExportAvidScript&) = delete;
    QVExportAvidScript& operator=(const QVExportAvidScript&) = delete;

    QString exportCurrentFile() const;

private:
    const ExportTranscript& transcript_;
};

}  // namespace qv
