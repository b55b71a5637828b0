// A small open transcript for the editing commands: the document model on an in-process
// database, recording fakes of the transcript view and of the speakers subsystem, a scripted
// alert presenter, the system clipboard, and helpers that build words and read back what the
// database holds.
#pragma once

#include "model/tests/ModelFixture.h"

#include "editing/EditingController.h"
#include "model/SpeakerServices.h"
#include "model/ViewServices.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ScriptedPresenters.h"

#include <QStringList>

#include <gtest/gtest.h>

class FakeView : public ViewServices {
public:
    explicit FakeView(qv::Dispatcher& main) : main_(main) {}
    QStringList calls;
    QStringList take() { return std::exchange(calls, {}); }

    void reloadRowsForWords(const QVOrderedSet<QVWord>& words) override;
    void reloadRowForWordStartTime(std::int64_t ms) override { calls << QString("reloadRowForWordStartTime:%1").arg(ms); }
    void reloadRowForTableViewIndex(std::int64_t row) override { calls << QString("reloadRowForTableViewIndex:%1").arg(row); }
    void reloadTranscriptTable() override { calls << "reloadTranscriptTable"; }
    void updateRowHeightForTextView(QVTextView*) override {}
    void resetCurrentWordTiming() override { calls << "resetCurrentWordTiming"; }
    void highlightFromWord(const std::shared_ptr<QVWord>& from, const std::shared_ptr<QVWord>& to, bool) override
    {
        calls << "highlightFromWord:" + from->name() + ":" + to->name();
    }
    void mouseDownOnTextViewAtPoint(const QPointF&, std::int64_t) override {}
    void mouseDraggedOnTextViewAtPoint(const QPointF&, std::int64_t) override {}
    bool pointIsExternal(const QPointF&, std::int64_t) override { return false; }
    double playerRate() override { return 0; }
    void stopPlayback() override {}
    void resumePlayback() override { calls << "resumePlayback"; }
    void playPauseToggleScrollToGrid(bool) override {}
    void playContinue() override {}
    void playSelection() override {}
    void locateMediaFileToWord(const std::shared_ptr<QVWord>& word) override
    {
        calls << "locateMediaFileToWord:" + (word ? word->name() : QString("none"));
    }
    void locateMediaFileToMilliseconds(std::int64_t ms, bool, bool, std::function<void()> callback) override
    {
        calls << QString("locateMediaFileToMilliseconds:%1").arg(ms);
        if (callback)
            main_.async(std::move(callback));
    }
    void seekToMilliseconds(std::int64_t ms, std::function<void(bool)> done) override
    {
        calls << QString("seekToMilliseconds:%1").arg(ms);
        if (done)
            main_.async([done] { done(true); });
    }
    void moveToWordWithOffset(std::int64_t) override {}
    void moveToSentenceWithOffset(std::int64_t) override {}
    void moveToSpeakerRangeWithOffset(std::int64_t) override {}
    void playbackRateFaster() override {}
    void playbackRateSlower() override {}
    void rewindByTime(std::int64_t) override {}
    void clearSelectionDurationDisplay() override { calls << "clearSelectionDurationDisplay"; }

private:
    qv::Dispatcher& main_;
};

// Computes the end rule itself: the start of the next range, INT64_MAX for the last or a range
// not in the set.
class FakeSpeakers : public SpeakerServices {
public:
    QStringList calls;

    std::int64_t getEndTimeForSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range,
                                           const QVOrderedSet<QVSpeakerRange>& ranges) override;
    void addSpeakerRangeAutoSelect(bool) override {}
    void changeSpeakerRangeStartToCurrentWord() override {}
    void changeNextSpeakerRangeStartToCurrentWord() override {}
    void showSpeakerMenuForCurrentRange() override {}
    void refreshSpeakerRangeChangesAllowed() override { calls << "refreshSpeakerRangeChangesAllowed"; }
    void consolidateSpeakersWithAnimation(bool) override { calls << "consolidateSpeakersWithAnimation"; }
    void restoreSpeaker(const std::shared_ptr<QVSpeaker>& speaker) override
    {
        calls << "restoreSpeaker:" + speaker->name;
        speaker->deleted = false;
    }
    QColor colorForColorName(const QString&) override { return {}; }
    void buildSpeakersList() override {}
    void refreshSpeakersWithAnimation() override { calls << "refreshSpeakersWithAnimation"; }
    void allowEditing(bool) override {}
    std::vector<std::shared_ptr<QVSpeaker>> speakersList() override { return {}; }
};

class EditingFixture : public ModelFixture {
protected:
    EditingFixture();

    // Forgets the transcript built so far, for tables of cases.
    void reset();
    // Starts a new speaker range (uuid "R<n>", speaker "S<n>" named `speaker`) at the next word.
    void addRange(const QString& speaker);
    // Adds words of the blank-separated `text` to the last range, each `duration` ms long and
    // `step` ms after the one before; uuids "W1", "W2", ... A "~" stands for a blank inside a
    // word ("word~—" is the word "word —").
    void addWords(const QString& text, std::int64_t duration = 300, std::int64_t step = 400);
    // Writes the transcript to the database and links the model, as an opened file.
    void open(const QString& language = "en-US", std::int64_t fileDuration = 600'000);

    std::shared_ptr<QVWord> w(const QString& uuid) const;
    QVOrderedSet<QVWord> set(const QStringList& uuids) const;
    // The live words' names joined by blanks.
    QString text() const;
    // The stored value of transcripts/T/<path>.
    qv::DatabaseValue stored(const QString& path) const;
    qv::DatabaseValue transcript() const { return backend.value("transcripts/T"); }
    // Runs what is queued, closing the undo step of the turn.
    void settle() { main.drain(); }
    void undo();
    void redo();
    // Expects that undo brings back `before` and redo brings back the state after the command,
    // in memory and in the database.
    void expectUndoRedoRoundTrip(const qv::DatabaseValue& before, const QString& textBefore);

    FakeView view{main};
    FakeSpeakers speakers;
    qv::ScriptedAlertPresenter alerts;
    qv::ClipboardPasteboard pasteboard;
    EditingController editing{ad, main, alerts, pasteboard};

private:
    std::int64_t nextStart_ = 1000;
    int wordCount_ = 0;
};

// Readable form of a stored value for failure messages.
std::string describe(const qv::DatabaseValue& value);
