#include "export/WordDocument.h"

#include "platform/foundation/XmlText.h"
#include "export/ZipWriter.h"

#include <cmath>

namespace qv {
namespace {

const char* const kContentTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/word/document.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
    "</Types>";

const char* const kPackageRelationships =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"word/document.xml\"/>"
    "</Relationships>";

// One inch, in twentieths of a point: the page margins.
constexpr int kMarginTwips = 1440;

QString runProperties(const TextRun& run, double fontSize, const ColorForColorName& colorForColorName) {
    if (run.style == TextRun::Style::Default) return {};
    const int halfPoints = int(std::lround(fontSize * 2));
    QString properties = QStringLiteral("<w:rPr><w:rFonts w:ascii=\"Helvetica\" w:hAnsi=\"Helvetica\" "
                                        "w:cs=\"Helvetica\"/>");
    if (run.style != TextRun::Style::Base) properties += QStringLiteral("<w:b/>");
    if (run.style == TextRun::Style::SpeakerName && colorForColorName) {
        const QColor color = colorForColorName(run.speakerColor);
        if (color.isValid()) {
            properties += QStringLiteral("<w:color w:val=\"%1\"/>").arg(color.name().mid(1).toUpper());
        }
    }
    properties += QStringLiteral("<w:sz w:val=\"%1\"/><w:szCs w:val=\"%1\"/></w:rPr>").arg(halfPoints);
    return properties;
}

}  // namespace

QByteArray wordDocumentXml(const std::vector<TextRun>& runs, double fontSize, const QSizeF& paperSize,
                           const ColorForColorName& colorForColorName) {
    QString body;
    QString paragraph;
    const auto endParagraph = [&] {
        body += QStringLiteral("<w:p>") + paragraph + QStringLiteral("</w:p>");
        paragraph.clear();
    };
    for (const auto& run : runs) {
        const QString properties = runProperties(run, fontSize, colorForColorName);
        const QStringList lines = run.text.split(QLatin1Char('\n'));
        for (qsizetype l = 0; l < lines.size(); ++l) {
            if (l > 0) endParagraph();
            if (lines[l].isEmpty()) continue;
            paragraph += QStringLiteral("<w:r>") + properties + QStringLiteral("<w:t xml:space=\"preserve\">") +
                         xmlEscapeText(lines[l]) + QStringLiteral("</w:t></w:r>");
        }
    }
    endParagraph();

    const QString section =
        QStringLiteral("<w:sectPr><w:pgSz w:w=\"%1\" w:h=\"%2\"/>"
                       "<w:pgMar w:top=\"%3\" w:right=\"%3\" w:bottom=\"%3\" w:left=\"%3\" w:header=\"720\" "
                       "w:footer=\"720\" w:gutter=\"0\"/></w:sectPr>")
            .arg(std::lround(paperSize.width() * 20))
            .arg(std::lround(paperSize.height() * 20))
            .arg(kMarginTwips);
    const QString document =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                       "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                       "<w:body>") +
        body + section + QStringLiteral("</w:body></w:document>");
    return document.toUtf8();
}

std::optional<QByteArray> wordDocument(const std::vector<TextRun>& runs, double fontSize, const QSizeF& paperSize,
                                       const ColorForColorName& colorForColorName) {
    ZipWriter zip;
    zip.addFile(QStringLiteral("[Content_Types].xml"), QByteArray(kContentTypes));
    zip.addFile(QStringLiteral("_rels/.rels"), QByteArray(kPackageRelationships));
    zip.addFile(QStringLiteral("word/document.xml"), wordDocumentXml(runs, fontSize, paperSize, colorForColorName));
    return zip.finish();
}

}  // namespace qv
