#include "export/CaptionPageTiming.h"

#include "model/TextUtilities.h"

#include <algorithm>
#include <optional>

namespace qv {
namespace {

// 60000 div (span div words); 0 when the span is below 1 ms or there are no words. A span
// shorter than its word count has no rate (the division would be by zero): nullopt.
std::optional<int64_t> rateOf(int64_t span, int64_t words) {
    if (span < 1 || words < 1) return 0;
    const int64_t msPerWord = span / words;
    if (msPerWord == 0) return std::nullopt;
    return 60000 / msPerWord;
}

int64_t wordsOf(const std::vector<QVCaptionPage>& pages, size_t first, size_t last) {
    int64_t words = 0;
    for (size_t p = first; p <= last; ++p) words += pages[p].wordCount();
    return words;
}

void smoothFastPages(std::vector<QVCaptionPage>& pages, int64_t fileDuration) {
    const size_t count = pages.size();
    std::vector<int64_t> rates;
    for (const auto& page : pages) {
        if (page.end - page.start > kCaptionMinimumDurationMs) rates.push_back(page.wpm);
    }
    const int64_t median = ::median(rates);
    const int64_t limit = 2 * median;

    size_t i = 0;
    while (i < count) {
        if (pages[i].wpm <= limit || i == count - 1) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j + 1 < count && pages[j + 1].wpm >= limit) ++j;
        if (j + 1 >= count) {
            ++i;
            continue;
        }
        // Page j + 1 is slower than the limit: the run takes it in, and the one after it too
        // when that one is slow as well.
        const size_t runEnd = (j + 1 != count - 1 && pages[j + 2].wpm < limit) ? j + 2 : j + 1;

        int64_t timeStart;
        if (i == 0) {
            timeStart = pages[0].start < kCaptionGapMs ? pages[0].start : pages[0].start - kCaptionGapMs;
        } else if (pages[i].start - pages[i - 1].end < kCaptionGapMs) {
            timeStart = pages[i - 1].end;
        } else {
            timeStart = pages[i].start - kCaptionGapMs;
        }
        const int64_t timeEnd = runEnd == count - 1 ? fileDuration : pages[runEnd + 1].start;

        const std::optional<int64_t> rate = rateOf(timeEnd - timeStart, wordsOf(pages, i, runEnd));
        if (!rate) {
            i = runEnd + 1;
            continue;
        }
        if (*rate <= limit) {
            retimeCaptionPages(pages, i, runEnd, timeStart, timeEnd, std::max(*rate, median));
            i = runEnd + 1;
            continue;
        }
        if (i > 0 && runEnd + 1 < count) {
            const int64_t widenedStart = pages[i - 1].start;
            const int64_t widenedEnd = pages[runEnd + 1].end;
            const int64_t widenedWords = wordsOf(pages, i - 1, runEnd + 1);
            // Without a span, words or a defined rate the run keeps the rate it had.
            const int64_t widenedRate = (widenedEnd - widenedStart < 1 || widenedWords < 1)
                                            ? *rate
                                            : rateOf(widenedEnd - widenedStart, widenedWords).value_or(*rate);
            if (widenedRate < limit) {
                retimeCaptionPages(pages, i - 1, runEnd + 1, widenedStart, widenedEnd, widenedRate);
            }
            i = runEnd + 2;
            continue;
        }
        i = runEnd + 1;
    }
}

void closeSmallGaps(std::vector<QVCaptionPage>& pages) {
    for (size_t i = 1; i < pages.size(); ++i) {
        auto& previous = pages[i - 1];
        auto& page = pages[i];
        if (page.start - previous.end >= kCaptionGapMs) continue;
        if (page.wpm < previous.wpm) {
            previous.end = page.start;
        } else {
            page.start = previous.end;
        }
    }
}

// How far an edge moves into a gap for a page that needs `need` more ms: all of a gap smaller
// than the need; the need itself when at least half a second would remain; the whole gap
// when less than that would remain; nothing when the pages touch or the gap equals the need.
int64_t takeFromGap(int64_t gap, int64_t need) {
    if (gap >= 1 && gap <= need - 1) return gap;
    if (gap >= 1 && gap - need >= kCaptionGapMs) return need;
    if (gap - need >= 1 && gap - need < kCaptionGapMs) return gap;
    return 0;
}

void giveMinimumDuration(std::vector<QVCaptionPage>& pages) {
    for (size_t i = 0; i < pages.size(); ++i) {
        auto& page = pages[i];
        if (page.end - page.start >= kCaptionMinimumDurationMs) continue;
        int64_t need = kCaptionMinimumDurationMs - (page.end - page.start);
        if (i + 1 < pages.size()) {
            const int64_t taken = takeFromGap(pages[i + 1].start - page.end, need);
            page.end += taken;
            need -= taken;
        }
        if (i > 0 && need >= 1) {
            page.start -= takeFromGap(page.start - pages[i - 1].end, need);
        }
    }
}

}  // namespace

void retimeCaptionPages(std::vector<QVCaptionPage>& pages, int64_t startIndex, int64_t endIndex,
                        int64_t timeStart, int64_t timeEnd, int64_t wpm) {
    const auto count = static_cast<int64_t>(pages.size());
    if (endIndex < startIndex || startIndex < 0 || endIndex >= count || wpm <= 0) return;
    const int64_t msPerWord = 60000 / wpm;
    // A span too short for the pages before the last (a run reaching a file end that is
    // unknown or earlier than the pages) would make the last page end before it starts.
    int64_t lastStart = timeStart;
    for (int64_t p = startIndex; p < endIndex; ++p) lastStart += pages[p].wordCount() * msPerWord;
    if (lastStart >= timeEnd) return;
    int64_t time = timeStart;
    for (int64_t p = startIndex; p <= endIndex; ++p) {
        auto& page = pages[p];
        page.start = time;
        page.end = p == endIndex ? timeEnd : page.start + page.wordCount() * msPerWord;
        page.wpm = wpm;
        time = page.end;
    }
}

void timeCaptionPages(std::vector<QVCaptionPage>& pages, int64_t fileDuration) {
    smoothFastPages(pages, fileDuration);
    closeSmallGaps(pages);
    giveMinimumDuration(pages);
}

}  // namespace qv
