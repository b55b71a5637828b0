#include "export/XmlText.h"

#include <algorithm>

namespace qv {

namespace {

// U+FFFE and U+FFFF are not characters XML can hold.
bool isNonCharacter(QChar c) {
    return c.unicode() == 0xfffe || c.unicode() == 0xffff;
}

}  // namespace

QString xmlEscapeText(const QString& text) {
    const bool plain = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c != QLatin1Char('&') && c != QLatin1Char('<') && c != QLatin1Char('>') &&
               !isNonCharacter(c);
    });
    if (plain) return text;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        default:
            // XML 1.0 allows no other control characters: they are left out.
            if ((c.unicode() >= 0x20 && !isNonCharacter(c)) || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
                c == QLatin1Char('\r')) {
                out += c;
            }
        }
    }
    return out;
}

QString xmlEscapeAttribute(const QString& text) {
    return xmlEscapeText(text).replace(QLatin1Char('"'), QLatin1String("&quot;"));
}

}  // namespace qv
