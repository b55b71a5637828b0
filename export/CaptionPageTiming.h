#pragma once
// Display times of finished caption pages: runs of pages too fast to read are spread over their
// neighbours' time, gaps under half a second are closed, and each page gets a second on screen
// where the gaps around it allow. Times in ms, rates in words per minute (integer division).
#include "export/QVCaptionPage.h"

#include <vector>

namespace qv {

// Half a second: gaps shorter than this between pages are closed; runs are widened by it.
inline constexpr int64_t kCaptionGapMs = 500;
// A page wants at least this long on screen.
inline constexpr int64_t kCaptionMinimumDurationMs = 1000;

// Spreads pages startIndex…endIndex over [timeStart, timeEnd] at wpm words per minute: each page
// but the last lasts wordCount × (60000 div wpm); the last ends at timeEnd. Nothing happens
// when endIndex < startIndex, an index is out of range, wpm is not positive, or the last page
// would not start before timeEnd.
void retimeCaptionPages(std::vector<QVCaptionPage>& pages, int64_t startIndex, int64_t endIndex,
                        int64_t timeStart, int64_t timeEnd, int64_t wpm);

// The three passes, in order: smoothing fast pages, closing small gaps, minimum duration.
// fileDuration (ms) ends a run of fast pages that reaches the last page.
void timeCaptionPages(std::vector<QVCaptionPage>& pages, int64_t fileDuration);

}  // namespace qv
