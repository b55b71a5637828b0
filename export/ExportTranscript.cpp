#include "export/ExportTranscript.h"

#include "model/AppDelegate.h"

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

ExportTranscript exportTranscriptFromModel(const AppDelegate& ad) {
    ExportTranscript transcript;
    if (ad.currentFile) {
        transcript.startWords = ad.startWords.value(ad.currentFile->language);
        transcript.duration = ad.currentFile->duration;
    }
    std::vector<int64_t> rangeStarts;
    for (const auto& range : ad.speakerRanges) {
        ExportRange exportRange;
        if (range->speaker) {
            exportRange.speakerName = range->speaker->name;
            exportRange.speakerColor = range->speaker->color;
        }
        exportRange.start = range->start;
        rangeStarts.push_back(range->start);
        transcript.ranges.push_back(std::move(exportRange));
    }
    std::vector<int64_t> wordStarts;
    wordStarts.reserve(ad.words.size());
    for (const auto& word : ad.words) wordStarts.push_back(word->start);
    const std::vector<int64_t> rangeOfWord = rangeIndexesOfWords(rangeStarts, wordStarts);
    for (size_t w = 0; w < rangeOfWord.size(); ++w) {
        if (rangeOfWord[w] < 0) continue;
        const auto& word = ad.words.items()[w];
        transcript.ranges[size_t(rangeOfWord[w])].words.push_back(
            {word->name(), word->start, word->end, word->newParagraph, word->favorite});
    }
    return transcript;
}

}  // namespace qv
