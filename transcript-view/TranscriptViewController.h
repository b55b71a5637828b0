// The transcript view and playback as editing and the speakers see them: row reloads go to the
// table, highlighting to the highlighter, mouse events to the table's word selection, transport
// and steps to their controllers. Main thread only.
#pragma once

#include "model/ViewServices.h"
#include "transcript-view/StepNavigation.h"
#include "transcript-view/TranscriptTable.h"
#include "transcript-view/TranscriptTransport.h"
#include "transcript-view/WordHighlighter.h"

namespace qv::transcript {

class TranscriptViewController final : public ViewServices {
public:
    TranscriptViewController(TranscriptTable& table, WordHighlighter& highlighter, TranscriptTransport& transport,
                             StepNavigation& navigation, TranscriptPlayer& player);

    void reloadRowsForWords(const QVOrderedSet<QVWord>& words) override { table_.reloadRowsForWords(words); }
    void reloadRowForWordStartTime(std::int64_t milliseconds) override { table_.reloadRowForWordStartTime(milliseconds); }
    void reloadRowForTableViewIndex(std::int64_t row) override { table_.reloadRowForTableViewIndex(row); }
    void reloadTranscriptTable() override { table_.reloadTranscriptTable(QStringLiteral("reloadTranscriptTable")); }
    void reloadTranscriptRows() override { table_.reloadTranscriptRows(QStringLiteral("reloadTranscriptRows")); }
    void reloadQueuedRows() override { table_.reloadQueuedRows(); }
    void updateRowHeightForTextView(QVTextView* textView) override { table_.updateRowHeightForTextView(textView); }

    void resetCurrentWordTiming() override { highlighter_.resetCurrentWordTiming(); }
    void highlightFromWord(const std::shared_ptr<QVWord>& from, const std::shared_ptr<QVWord>& to, bool isForced) override
    {
        highlighter_.highlightFromWord(from, to, isForced);
    }

    void mouseDownOnTextViewAtPoint(const QPointF& point, std::int64_t index) override
    {
        table_.mouseDownOnTextViewAtPoint(point, index);
    }
    void mouseDraggedOnTextViewAtPoint(const QPointF& point, std::int64_t index) override
    {
        table_.mouseDraggedOnTextViewAtPoint(point, index);
    }
    bool pointIsExternal(const QPointF& point, std::int64_t index) override { return table_.pointIsExternal(point, index); }

    double playerRate() override { return player_.rate(); }
    void stopPlayback() override { transport_.stopPlayback(); }
    void resumePlayback() override { transport_.resumePlayback(); }
    void playPauseToggleScrollToGrid(bool scrollToGrid) override { transport_.playPauseToggleScrollToGrid(scrollToGrid); }
    void playContinue() override { transport_.playContinue(); }
    void playSelection() override { transport_.playSelection(); }
    void locateMediaFileToWord(const std::shared_ptr<QVWord>& word) override { transport_.locateMediaFileToWord(word); }
    void locateMediaFileToMilliseconds(std::int64_t milliseconds, bool shouldPlay, bool scrollToGridOnPlay,
                                       std::function<void()> callback) override
    {
        transport_.locateMediaFileToMilliseconds(milliseconds, shouldPlay, scrollToGridOnPlay, std::move(callback));
    }
    void seekToMilliseconds(std::int64_t milliseconds, std::function<void(bool finished)> done) override
    {
        transport_.seekToMilliseconds(milliseconds, std::move(done));
    }
    void moveToWordWithOffset(std::int64_t offset) override { navigation_.moveToWordWithOffset(offset); }
    void moveToSentenceWithOffset(std::int64_t offset) override { navigation_.moveToSentenceWithOffset(offset); }
    void moveToSpeakerRangeWithOffset(std::int64_t offset) override { navigation_.moveToSpeakerRangeWithOffset(offset); }
    void playbackRateFaster() override { transport_.playbackRateFaster(); }
    void playbackRateSlower() override { transport_.playbackRateSlower(); }
    void rewindByTime(std::int64_t seconds) override { transport_.rewindByTime(seconds); }

    void clearSelectionDurationDisplay() override { highlighter_.setSelectionDurationDisplay(QString()); }

private:
    TranscriptTable& table_;
    WordHighlighter& highlighter_;
    TranscriptTransport& transport_;
    StepNavigation& navigation_;
    TranscriptPlayer& player_;
};

}  // namespace qv::transcript
