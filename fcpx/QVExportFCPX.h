// The fcpxml document of the transcript open in the transcript view: its media file as the
// asset, keyword ranges and favourite ratings cut by the keyword-type preference, and a keyword
// collection per speaker. A fresh instance serves one export.
#pragma once

#include "fcpx/FCPXDocument.h"
#include "fcpx/QVExportFCPXRange.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class AppDelegate;
namespace qv {
class ExportShell;
class Preferences;
}

class QVExportFCPX {
public:
    // None is owned; all outlive the export.
    QVExportFCPX(AppDelegate& ad, const qv::Preferences& preferences, qv::ExportShell& shell);

    // Builds the ranges and the document and writes it to `path` in one step (nothing is left
    // half written). On success the open file is marked exported; on failure the reason comes
    // back and nothing is marked.
    std::optional<QString> exportFileToURL(const QString& path);

    // The document of the open transcript; fills keywordCollection and keywordRanges.
    QString buildDocument();
    // What the document of the open transcript holds; fills keywordCollection and keywordRanges.
    FCPXDocumentContent contentOfOpenFile();

    // The speaker names used as keywords, each once, in the order written.
    QStringList keywordCollection;
    // The keyword ranges, in the order built.
    std::vector<QVExportFCPXRange> keywordRanges;

private:
    AppDelegate* ad;
    const qv::Preferences& preferences_;
    qv::ExportShell& shell_;
};
