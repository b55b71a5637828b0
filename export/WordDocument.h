#pragma once
// A Word document (Office Open XML, .docx) from attributed text runs: each line break of the
// text ends a paragraph; fonts, bold and colours as the runs' styles say.
#include "export/TextExport.h"

#include <QByteArray>
#include <QColor>
#include <QSizeF>
#include <functional>
#include <optional>

namespace qv {

using ColorForColorName = std::function<QColor(const QString& colorName)>;

// fontSize in points (the export text size, default 12); paperSize in points (US Letter is
// 612 × 792). Nothing when the package could not be made.
std::optional<QByteArray> wordDocument(const std::vector<TextRun>& runs, double fontSize, const QSizeF& paperSize,
                        const ColorForColorName& colorForColorName);

// The XML of the main part, word/document.xml.
QByteArray wordDocumentXml(const std::vector<TextRun>& runs, double fontSize, const QSizeF& paperSize,
                           const ColorForColorName& colorForColorName);

}  // namespace qv
