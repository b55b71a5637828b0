// Shows the word under the playhead in the accent colour, marks words heard, and keeps the
// current line in view: called 50 times a second while media plays (an unforced call that finds
// the playhead still in the shown word returns after a few comparisons), and forced after
// seeks, steps and row rebuilds. Also highlights a run of words picked with the mouse.
// Main thread only.
#pragma once

#include "model/AppDelegate.h"
#include "platform/foundation/Dispatcher.h"
#include "transcript-view/TranscriptPlayer.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace qv::transcript {

class TranscriptTable;

class WordHighlighter {
public:
    // Rows kept around the visible ones where following may animate.
    static constexpr std::int64_t kWindowMargin = 2;
    // Highest rate at which a passed word counts as heard.
    static constexpr double kMaxHeardRate = 2.0;
    // Lines kept between the current line and the top or bottom edge when following.
    static constexpr double kFollowLines = 3;

    WordHighlighter(AppDelegate& ad, Dispatcher& main, TranscriptPlayer& player, TranscriptTable& table);

    void highlightWordAtTime(std::int64_t milliseconds, bool isForced, bool scrollToCenter, bool shouldAutoScroll);
    void highlightFromWord(const std::shared_ptr<QVWord>& from, const std::shared_ptr<QVWord>& to, bool isForced);
    void wordHasPlayed(const std::shared_ptr<QVWord>& word);
    void resetCurrentWordTiming();

    // The scroll target that keeps a line at table y `y` in view with the visible top at `top`
    // in a view `height` high; none when no scroll is needed.
    static std::optional<double> followTarget(double y, double top, double height, double lineHeight);
    // How far above the centre a centred line sits: half the usable window height (window
    // height less 89, or -89 without a window) with the navigation offset, halves away from zero.
    static double centringDistance(double windowHeight, bool showsNavigationControls);

    // Seeks the player to a word's start; given by the transport.
    void setLocate(std::function<void(std::int64_t milliseconds, bool shouldPlay)> locate) { locate_ = std::move(locate); }
    // Height of the window holding the transcript; negative without one.
    void setWindowHeight(std::function<double()> height) { windowHeight_ = std::move(height); }
    void setShowsNavigationControls(bool shows) { showsNavigationControls_ = shows; }
    // Told after every highlight change: the step buttons follow it.
    void setNavigationRefresh(std::function<void()> refresh) { refreshNavigation_ = std::move(refresh); }
    // The time display and the selection's "| n words selected | time" display.
    const QString& timeDisplay() const { return timeDisplay_; }
    // Told with the time display's new text whenever it changes; the window's label shows it.
    void setTimeDisplayChanged(std::function<void(const QString&)> changed) { timeDisplayChanged_ = std::move(changed); }
    const QString& selectionDurationDisplay() const { return selectionDurationDisplay_; }
    void setSelectionDurationDisplay(const QString& text) { selectionDurationDisplay_ = text; }

private:
    void makeCurrentTextView(QVTextView* view, const QString& method);
    void scrollToLine(std::int64_t row, bool animate, bool centre);
    void setTopAsync(double y);
    void showPreFirstWordIndicator(bool shown);

    AppDelegate& ad_;
    Dispatcher& main_;
    TranscriptPlayer& player_;
    TranscriptTable& table_;
    std::function<void(std::int64_t, bool)> locate_;
    std::function<double()> windowHeight_;
    std::function<void()> refreshNavigation_;
    std::function<void(const QString&)> timeDisplayChanged_;
    bool showsNavigationControls_ = true;
    QString timeDisplay_;
    QString selectionDurationDisplay_;
};

}  // namespace qv::transcript
