#include "export/CaptionWriters.h"

#include "model/TimeUtilities.h"
#include "platform/foundation/WritableText.h"
#include "platform/foundation/XmlText.h"

#include <algorithm>

namespace qv {
namespace {

// The times a page is shown with: none before zero, and an end never before the start, whatever
// the words' times were.
struct ShownTimes {
    int64_t start;
    int64_t end;
};

ShownTimes shownTimes(const QVCaptionPage& page) {
    const int64_t start = std::max<int64_t>(page.start, 0);
    return {start, std::max(page.end, start)};
}

// The page's one or two lines as caption text.
QString captionLines(const QVCaptionPage& page) {
    QString lines = captionLineText(page.line1);
    if (!page.line2.isEmpty()) lines += QLatin1Char('\n') + captionLineText(page.line2);
    return lines;
}

}  // namespace

QString subRipText(std::vector<QVCaptionPage>& pages, std::optional<int64_t> timecodeOffsetMs) {
    QString text;
    int64_t number = 0;
    for (auto& page : pages) {
        if (!text.isEmpty()) text += QLatin1String("\n\n");
        text += QString::number(++number) + QLatin1Char('\n');
        if (timecodeOffsetMs) {
            page.start += *timecodeOffsetMs;
            page.end += *timecodeOffsetMs;
        }
        const ShownTimes times = shownTimes(page);
        text += ::timeAsHMSMsTextFromMilliseconds(times.start) + QLatin1String(" --> ") +
                ::timeAsHMSMsTextFromMilliseconds(times.end) + QLatin1Char('\n');
        text += captionLines(page);
    }
    return text + QLatin1Char('\n');
}

QString timedTextDocument(const std::vector<QVCaptionPage>& pages, const QString& language,
                          const TimedTextTiming& timing, const TimecodeText& timecode) {
    QString out = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n");
    out += xmlStartTag(QStringLiteral("tt"),
                   {{"ttp:dropMode", timing.dropFrame ? "dropNTSC" : "nonDrop"},
                    {"ttp:frameRate", QString::number(timing.frameRate)},
                    {"ttp:frameRateMultiplier", timing.ntscMultiplier ? "1000 1001" : "1 1"},
                    {"ttp:timeBase", "smpte"},
                    {"xml:lang", language},
                    {"xmlns", "http://www.w3.org/ns/ttml"},
                    {"xmlns:tt", "http://www.w3.org/ns/ttml"},
                    {"xmlns:tt_extension", "http://www.w3.org/ns/ttml/extension/"},
                    {"xmlns:tt_feature", "http://www.w3.org/ns/ttml/feature/"},
                    {"xmlns:tt_profile", "http://www.w3.org/ns/ttml/profile/"},
                    {"xmlns:ttm", "http://www.w3.org/ns/ttml#metadata"},
                    {"xmlns:ttp", "http://www.w3.org/ns/ttml#parameter"},
                    {"xmlns:tts", "http://www.w3.org/ns/ttml#styling"},
                    {"xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance"}}) +
           QLatin1String(">\n");
    out += xmlIndent(1) + QLatin1String("<head>\n") + xmlIndent(2) + QLatin1String("<styling>\n") + xmlIndent(3) +
           xmlStartTag(QStringLiteral("style"), {{"tts:color", "white"},
                                             {"tts:fontFamily", "sansSerif"},
                                             {"tts:fontSize", "100%"},
                                             {"tts:fontStyle", "normal"},
                                             {"tts:fontWeight", "normal"},
                                             {"xml:id", "normal"}}) +
           QLatin1String("/>\n") + xmlIndent(2) + QLatin1String("</styling>\n") + xmlIndent(2) +
           QLatin1String("<layout>\n") + xmlIndent(3) +
           xmlStartTag(QStringLiteral("region"), {{"tts:displayAlign", "after"},
                                              {"tts:extent", "100% 15%"},
                                              {"tts:origin", "0% 85%"},
                                              {"tts:textAlign", "center"},
                                              {"xml:id", "bottom"}}) +
           QLatin1String("/>\n") + xmlIndent(2) + QLatin1String("</layout>\n") + xmlIndent(1) +
           QLatin1String("</head>\n");
    out += xmlIndent(1) + xmlStartTag(QStringLiteral("body"), {{"style", "normal"}, {"region", "bottom"}}) +
           QLatin1String(">\n");
    if (pages.empty()) {
        out += xmlIndent(2) + QLatin1String("<div/>\n");
    } else {
        out += xmlIndent(2) + QLatin1String("<div>\n");
        for (const auto& page : pages) {
            const ShownTimes times = shownTimes(page);
            out += xmlIndent(3) +
                   xmlStartTag(QStringLiteral("p"),
                           {{"begin", timecode(times.start)}, {"end", timecode(times.end)}, {"region", "bottom"}}) +
                   QLatin1String(">\n");
            // The line break goes in as text and is turned back into markup after escaping.
            QString lines = page.line1;
            if (!page.line2.isEmpty()) lines += QLatin1String("<br/>") + page.line2;
            out += xmlIndent(4) + xmlStartTag(QStringLiteral("span"), {{"tts:backgroundColor", "black"}}) +
                   QLatin1Char('>') + xmlEscapeText(lines).replace(QLatin1String("&lt;br/&gt;"), QLatin1String("<br/>")) +
                   QLatin1String("</span>\n");
            out += xmlIndent(3) + QLatin1String("</p>\n");
        }
        out += xmlIndent(2) + QLatin1String("</div>\n");
    }
    out += xmlIndent(1) + QLatin1String("</body>\n") + QLatin1String("</tt>");
    return out;
}

QString avidDSText(const std::vector<QVCaptionPage>& pages, const TimecodeText& timecode) {
    QString text;
    for (const auto& page : pages) {
        if (text.isEmpty()) {
            text += QLatin1String("@This file was created by Quorvantelle - ") + kProductWebAddress +
                    QLatin1String("\n\n<begin subtitles>\n\n");
        } else {
            text += QLatin1String("\n\n");
        }
        const ShownTimes times = shownTimes(page);
        text += timecode(times.start) + QLatin1Char(' ') + timecode(times.end) + QLatin1Char('\n');
        text += captionLines(page);
    }
    return text + QLatin1String("\n\n<end subtitles>\n");
}

}  // namespace qv
