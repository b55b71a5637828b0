#include "export/CaptionPageTiming.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

// A page of `words` one-letter words (wordCount = words + 1 for the empty line 2).
QVCaptionPage page(int64_t start, int64_t end, int64_t wpm = 0, int words = 1) {
    QVCaptionPage p;
    p.start = start;
    p.end = end;
    p.wpm = wpm;
    for (int w = 0; w < words; ++w) p.line1 += w ? " w" : "w";
    return p;
}

using Spans = std::vector<std::pair<int64_t, int64_t>>;

Spans spansOf(const std::vector<QVCaptionPage>& pages) {
    Spans spans;
    for (const auto& p : pages) spans.emplace_back(p.start, p.end);
    return spans;
}

struct TimingCase {
    const char* name;
    std::vector<QVCaptionPage> pages;
    Spans expected;
};

TEST(CaptionPageTimingTest, ClosesGapsAndGivesMinimumDuration) {
    const std::vector<TimingCase> cases = {
        {"a short page between distant neighbours ends later",
         {page(0, 2000, 10), page(4000, 4600, 10), page(6600, 9000, 10)},
         {{0, 2000}, {4000, 5000}, {6600, 9000}}},
        {"a short page close to the next ends at the next start",
         {page(0, 2000, 10), page(4000, 4600, 10), page(5300, 9000, 10)},
         {{0, 2000}, {4000, 5300}, {5300, 9000}}},
        {"a short page touching the next is lengthened at its start",
         {page(0, 2000, 10), page(4000, 4600, 10), page(4600, 9000, 10)},
         {{0, 2000}, {3600, 4600}, {4600, 9000}}},
        {"a gap smaller than the need is taken, the rest comes from before",
         {page(0, 2000, 10), page(2600, 2900, 10), page(3500, 9000, 10)},
         {{0, 2000}, {2500, 3500}, {3500, 9000}}},
        {"a gap under half a second is closed before the minimum is given",
         {page(0, 2000, 10), page(2600, 3000, 10), page(3200, 9000, 10)},
         {{0, 2000}, {2600, 3000}, {3000, 9000}}},
        {"pages 300 ms apart: the faster previous page reaches forward",
         {page(0, 2000, 300), page(2300, 5000, 100)},
         {{0, 2300}, {2300, 5000}}},
        {"pages 300 ms apart: with equal rates the later page starts earlier",
         {page(0, 2000, 100), page(2300, 5000, 100)},
         {{0, 2000}, {2000, 5000}}},
        {"overlapping pages are joined",
         {page(0, 2500, 100), page(2300, 5000, 100)},
         {{0, 2500}, {2500, 5000}}},
        {"a last short page with room before it starts earlier",
         {page(0, 1500, 10), page(4000, 4500, 10)},
         {{0, 1500}, {3500, 4500}}},
        {"a gap equal to the need changes nothing",
         {page(0, 2000, 10), page(4000, 4400, 10), page(5000, 9000, 10)},
         {{0, 2000}, {3400, 4400}, {5000, 9000}}},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        timeCaptionPages(c.pages, 100000);
        EXPECT_EQ(spansOf(c.pages), c.expected);
    }
}

TEST(CaptionPageTimingTest, SpreadsARunOfFastPagesToTheFileEnd) {
    // Rates 100, 110, 400, 90, 95, all longer than a second: median 100, limit 200. The 400 page
    // and the two slower pages after it form one run that ends at the file's duration.
    std::vector<QVCaptionPage> pages = {page(0, 6000, 100, 9), page(7000, 13000, 110, 9), page(14000, 15500, 400, 9),
                                        page(16000, 22000, 90, 9), page(23000, 29000, 95, 9)};
    timeCaptionPages(pages, 44500);
    // Span 44500 - 13500 = 31000 over 30 words: 1033 ms a word, rate 58, so the median 100 is used.
    EXPECT_EQ(pages[2].start, 13500);
    EXPECT_EQ(pages[2].end, 13500 + 10 * 600);
    EXPECT_EQ(pages[3].start, 19500);
    EXPECT_EQ(pages[3].end, 25500);
    EXPECT_EQ(pages[4].start, 25500);
    EXPECT_EQ(pages[4].end, 44500);
    for (size_t p = 2; p < 5; ++p) EXPECT_EQ(pages[p].wpm, 100);
    EXPECT_EQ(pages[1].end, 13000);
}

TEST(CaptionPageTimingTest, RunIsRetimedAtItsOwnRateWhenFasterThanTheMedian) {
    std::vector<QVCaptionPage> pages = {page(0, 6000, 100, 9), page(7000, 13000, 110, 9), page(14000, 15500, 400, 9),
                                        page(16000, 22000, 90, 9), page(23000, 24000, 95, 9)};
    timeCaptionPages(pages, 25000);
    // Span 25000 - 13500 = 11500 over 30 words: 383 ms a word, rate 156 (≤ 200, above 100).
    EXPECT_EQ(pages[2].wpm, 156);
    EXPECT_EQ(pages[2].start, 13500);
    EXPECT_EQ(pages[2].end, 13500 + 10 * (60000 / 156));
    EXPECT_EQ(pages[4].end, 25000);
}

TEST(CaptionPageTimingTest, RunTooShortForItsWordsIsLeftAlone) {
    // Median 0 (no page lasts over a second): every rated page is fast. The run's span is
    // shorter than its word count, which has no rate: the times stay as they were.
    std::vector<QVCaptionPage> pages = {page(0, 5, 600, 9), page(5, 10, 0, 9), page(10, 12, 0, 9)};
    timeCaptionPages(pages, 12);
    EXPECT_EQ(pages[0].wpm, 600);
    EXPECT_EQ(pages[1].wpm, 0);
}

TEST(CaptionPageTimingTest, RetimingWithoutARateChangesNothing) {
    std::vector<QVCaptionPage> pages = {page(0, 500), page(600, 900)};
    retimeCaptionPages(pages, 0, 1, 0, 1000, 0);
    EXPECT_EQ(spansOf(pages), (Spans{{0, 500}, {600, 900}}));
    retimeCaptionPages(pages, 1, 0, 0, 1000, 100);
    retimeCaptionPages(pages, 0, 5, 0, 1000, 100);
    EXPECT_EQ(spansOf(pages), (Spans{{0, 500}, {600, 900}}));
    retimeCaptionPages(pages, 0, 1, 100, 2000, 120);
    EXPECT_EQ(spansOf(pages), (Spans{{100, 100 + 2 * 500}, {1100, 2000}}));
    // The last page would start at or after the span's end: nothing moves.
    retimeCaptionPages(pages, 0, 1, 1000, 2000, 120);
    retimeCaptionPages(pages, 0, 1, 1000, 0, 120);
    EXPECT_EQ(spansOf(pages), (Spans{{100, 100 + 2 * 500}, {1100, 2000}}));
}

TEST(CaptionPageTimingTest, RunReachingAnUnknownFileEndKeepsItsTimes) {
    // Median 100, limit 200: the 400 page and the last page form a run that ends at the file's
    // duration. With no duration known the run cannot be spread, and no page ends before it
    // starts.
    std::vector<QVCaptionPage> pages = {page(0, 2000, 100), page(2000, 4000, 100), page(4000, 4300, 400),
                                        page(4300, 6300, 90)};
    timeCaptionPages(pages, 0);
    EXPECT_EQ(spansOf(pages), (Spans{{0, 2000}, {2000, 4000}, {4000, 4300}, {4300, 6300}}));
}

TEST(CaptionPageTimingTest, NoPageLongerThanASecondMakesEveryRatedPageFast) {
    // Limit 0: the first page (rate 300) starts a run; the run reaches the last page only through
    // pages rated 0 or more, so nothing is retimed but the small gaps are closed.
    std::vector<QVCaptionPage> pages = {page(0, 900, 300), page(1000, 1900, 0), page(5000, 5800, 0)};
    timeCaptionPages(pages, 9000);
    EXPECT_EQ(pages[0].wpm, 300);
    EXPECT_EQ(pages[0].start, 0);
}

}  // namespace
}  // namespace qv
