#include "export/ModelStandIn.h"

#include "app/AppDelegate.h"

#include <algorithm>

namespace qv::model_stand_in {
namespace {

bool isWhitespaceOrPunctuation(QChar c) {
    if (c == QLatin1Char('\t') || c.category() == QChar::Separator_Space) return true;
    switch (c.category()) {
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
        return true;
    default:
        return false;
    }
}

bool trailingPunctuationContains(const QString& word, const QString& marks) {
    for (qsizetype i = word.size() - 1; i >= 0; --i) {
        if (isWhitespaceOrPunctuation(word[i])) continue;
        for (qsizetype k = i; k < word.size(); ++k) {
            if (marks.contains(word[k])) return true;
        }
        return false;
    }
    return false;
}

}  // namespace

bool hasPausingOrStoppingPunctuation(const QString& word) {
    return trailingPunctuationContains(word, QStringLiteral(",.\u2026;:?!\u2013\u2014"));
}

bool hasStoppingPunctuation(const QString& word) {
    return trailingPunctuationContains(word, QStringLiteral(".?!"));
}

QString timeAsHMSMsTextFromMilliseconds(int64_t ms) {
    int64_t hours = ms / 3600000;
    if (ms >= 86400000) hours %= 24;
    return QString::asprintf("%02lld:%02lld:%02lld,%03lld", static_cast<long long>(hours),
                             static_cast<long long>(ms / 60000 % 60),
                             static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
}

int64_t median(std::vector<int64_t> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    if (values.size() % 2 == 1) return values[mid];
    return (values[mid - 1] + values[mid]) / 2;
}

QColor colorForColorName(const AppDelegate& ad, const QString& colorName) {
    return ad.speakerColorPalette.value(colorName, ad.speakerColorUnknown);
}

}  // namespace qv::model_stand_in
