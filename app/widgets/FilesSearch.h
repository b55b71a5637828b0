// Which files the files list shows: the search text (from two characters on, a case- and
// accent-insensitive substring of the name) combined with the status filter.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QVFile;

namespace qv {

// The status filter's values: deleted files only, or every file that is not deleted; a value
// above 0 keeps the files not deleted with exactly that status.
inline constexpr std::int64_t kSearchStatusDeleted = -1;
inline constexpr std::int64_t kSearchStatusAll = 0;

// Fewer characters than this filter nothing.
inline constexpr qsizetype kMinimumSearchTextLength = 2;

// `text` with case folded and accents removed, for comparisons that ignore both.
QString foldedForSearch(const QString& text);

// The files of `files` that match, in their order.
std::vector<std::shared_ptr<QVFile>> filesMatchingSearch(const std::vector<std::shared_ptr<QVFile>>& files,
                                                         const QString& searchText, std::int64_t searchStatus);

}  // namespace qv
