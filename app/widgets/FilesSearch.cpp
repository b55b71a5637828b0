#include "app/widgets/FilesSearch.h"

#include "model/QVFile.h"

namespace qv {

QString foldedForSearch(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString kept;
    kept.reserve(decomposed.size());
    for (QChar c : decomposed) {
        const auto category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining && category != QChar::Mark_Enclosing)
            kept.append(c);
    }
    return kept.toCaseFolded();
}

std::vector<std::shared_ptr<QVFile>> filesMatchingSearch(const std::vector<std::shared_ptr<QVFile>>& files,
                                                         const QString& searchText, std::int64_t searchStatus)
{
    const bool byName = searchText.size() >= kMinimumSearchTextLength;
    const QString needle = byName ? foldedForSearch(searchText) : QString();
    std::vector<std::shared_ptr<QVFile>> matching;
    for (const auto& file : files) {
        if (!file)
            continue;
        if (searchStatus < 0 ? file->deleted <= 0 : file->deleted != 0)
            continue;
        if (searchStatus > 0 && file->status != searchStatus)
            continue;
        if (byName && !foldedForSearch(file->name).contains(needle))
            continue;
        matching.push_back(file);
    }
    return matching;
}

}  // namespace qv
