#include "platform/foundation/XmlText.h"

#include "platform/foundation/WritableText.h"

#include <algorithm>

namespace qv {

QString xmlEscapeText(const QString& text) {
    const QString writable = withoutUnwritableCharacters(text);
    const bool plain = std::none_of(writable.begin(), writable.end(), [](QChar c) {
        return c == QLatin1Char('&') || c == QLatin1Char('<') || c == QLatin1Char('>');
    });
    if (plain) return writable;
    QString out;
    out.reserve(writable.size());
    for (const QChar c : writable) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        default: out += c;
        }
    }
    return out;
}

QString xmlEscapeAttribute(const QString& text) {
    QString out = xmlEscapeText(text);
    const bool plain = std::none_of(out.begin(), out.end(), [](QChar c) {
        return c == QLatin1Char('"') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
    });
    if (plain) return out;
    // A reader turns a raw tab or line break in an attribute into a blank: they go as references.
    out.replace(QLatin1Char('"'), QLatin1String("&quot;"));
    out.replace(QLatin1Char('\t'), QLatin1String("&#9;"));
    out.replace(QLatin1Char('\n'), QLatin1String("&#10;"));
    out.replace(QLatin1Char('\r'), QLatin1String("&#13;"));
    return out;
}

QString xmlStartTag(const QString& name, const XmlAttributes& attributes) {
    QString out = QLatin1Char('<') + name;
    for (const auto& [key, value] : attributes) {
        out += QLatin1Char(' ') + key + QLatin1String("=\"") + xmlEscapeAttribute(value) + QLatin1Char('"');
    }
    return out;
}

QString xmlIndent(int level) {
    return QString(level * 4, QLatin1Char(' '));
}

}  // namespace qv
