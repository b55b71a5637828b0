#include "platform/foundation/WritableText.h"

#include <algorithm>

namespace qv {
namespace {

bool isWritable(QChar c) {
    const char16_t code = c.unicode();
    if (code == 0xfffe || code == 0xffff) return false;
    return code >= 0x20 || code == u'\t' || code == u'\n' || code == u'\r';
}

}  // namespace

QString withoutUnwritableCharacters(const QString& text) {
    if (std::all_of(text.begin(), text.end(), isWritable)) return text;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (isWritable(c)) out += c;
    }
    return out;
}

QString captionLineText(const QString& text) {
    QString line = withoutUnwritableCharacters(text);
    for (QChar& c : line) {
        if (c == u'\t' || c == u'\n' || c == u'\r') c = u' ';
    }
    return line;
}

}  // namespace qv
