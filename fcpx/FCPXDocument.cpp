#include "fcpx/FCPXDocument.h"

#include "model/TimeUtilities.h"
#include "platform/foundation/XmlText.h"

namespace {

void emptyElement(QString& out, int level, const QString& name, const qv::XmlAttributes& attributes)
{
    out += qv::xmlIndent(level) + qv::xmlStartTag(name, attributes) + QLatin1String("/>\n");
}

void appendAttribute(QString& out, QLatin1String key, const QString& value)
{
    out += QLatin1Char(' ');
    out += key;
    out += QLatin1String("=\"");
    out += qv::xmlEscapeAttribute(value);
    out += QLatin1Char('"');
}

// A keyword or rating of the clip, written piece by piece into `out`: the document holds
// thousands of them.
void rangeElement(QString& out, QLatin1String name, const QVExportFCPXRange& range, bool rating)
{
    out += QLatin1String("                <");
    out += name;
    appendAttribute(out, QLatin1String("start"), convertToStringTime(range.start));
    appendAttribute(out, QLatin1String("duration"), convertToStringTime(range.duration));
    if (rating) {
        appendAttribute(out, QLatin1String("note"), range.note);
        out += QLatin1String(" value=\"favorite\"/>\n");
    } else {
        appendAttribute(out, QLatin1String("value"), range.keyword);
        appendAttribute(out, QLatin1String("note"), range.note);
        out += QLatin1String("/>\n");
    }
}

}  // namespace

QString fcpxmlDocument(const FCPXDocumentContent& content)
{
    QString out;
    out.reserve(1024 + qsizetype(content.keywordRanges.size() + content.favoriteRanges.size()) * 160);
    out += QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n<!DOCTYPE fcpxml>\n");
    out += QLatin1String("<fcpxml version=\"1.6\">\n");
    out += qv::xmlIndent(1) + QLatin1String("<resources>\n");
    emptyElement(out, 2, QStringLiteral("format"), {{"id", "r1"}, {"name", content.formatName}});
    emptyElement(out, 2, QStringLiteral("asset"),
                 {{"duration", convertToStringTime(content.assetDuration)},
                  {"id", "r2"},
                  {"name", content.assetName},
                  {"src", content.assetSrc},
                  {"start", convertToStringTime(content.assetStart)},
                  {"format", "r1"}});
    out += qv::xmlIndent(1) + QLatin1String("</resources>\n");
    out += qv::xmlIndent(1) + QLatin1String("<library>\n");
    out += qv::xmlIndent(2) + qv::xmlStartTag(QStringLiteral("event"), {{"name", kFCPXEventName}}) + QLatin1String(">\n");

    const QString clip = qv::xmlStartTag(QStringLiteral("asset-clip"),
                                         {{"name", content.assetName}, {"format", "r1"}, {"ref", "r2"}});
    if (content.keywordRanges.empty() && content.favoriteRanges.empty()) {
        out += qv::xmlIndent(3) + clip + QLatin1String("/>\n");
    } else {
        out += qv::xmlIndent(3) + clip + QLatin1String(">\n");
        for (const QVExportFCPXRange& range : content.keywordRanges)
            rangeElement(out, QLatin1String("keyword"), range, false);
        for (const QVExportFCPXRange& range : content.favoriteRanges)
            rangeElement(out, QLatin1String("rating"), range, true);
        out += qv::xmlIndent(3) + QLatin1String("</asset-clip>\n");
    }
    for (const QString& name : content.keywordCollection)
        emptyElement(out, 3, QStringLiteral("keyword-collection"), {{"name", name}});
    out += qv::xmlIndent(2) + QLatin1String("</event>\n");
    out += qv::xmlIndent(1) + QLatin1String("</library>\n");
    out += QLatin1String("</fcpxml>\n");
    return out;
}
