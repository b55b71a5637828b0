#include "export/ExportTranscript.h"

#include <algorithm>
#include <limits>

namespace qv {

std::vector<int64_t> rangeIndexesOfWords(const std::vector<int64_t>& rangeStarts,
                                         const std::vector<int64_t>& wordStarts) {
    std::vector<int64_t> result(wordStarts.size(), -1);
    const auto rangeEnd = [&](size_t r) {
        return r + 1 < rangeStarts.size() ? rangeStarts[r + 1] : std::numeric_limits<int64_t>::max();
    };
    if (std::is_sorted(rangeStarts.begin(), rangeStarts.end())) {
        for (size_t w = 0; w < wordStarts.size(); ++w) {
            const auto it = std::upper_bound(rangeStarts.begin(), rangeStarts.end(), wordStarts[w]);
            if (it != rangeStarts.begin()) result[w] = (it - rangeStarts.begin()) - 1;
        }
        return result;
    }
    // Out of order the ranges may overlap; the first range that holds a word takes it.
    for (size_t w = 0; w < wordStarts.size(); ++w) {
        for (size_t r = 0; r < rangeStarts.size(); ++r) {
            if (rangeStarts[r] <= wordStarts[w] && wordStarts[w] < rangeEnd(r)) {
                result[w] = static_cast<int64_t>(r);
                break;
            }
        }
    }
    return result;
}

}  // namespace qv
