#include "EditingFixture.h"

namespace {

using DeleteJoin = EditingFixture;

TEST_F(DeleteJoin, TheWordAfterTheGapTakesTheCaseOfItsNewPlace)
{
    struct Row {
        QString words;
        QStringList deleted;
        QString expected;
    };
    const Row rows[] = {
        {"Hello. The end. next", {"W2", "W3"}, "Hello. Next"},  // now follows a stop
        {"Hello the end. Next", {"W2", "W3"}, "Hello next"},    // no longer follows a stop
        {"Hello the end. I", {"W2", "W3"}, "Hello I"},          // the English "I" stays
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.words.toStdString());
        reset();
        addRange("Ann");
        addWords(row.words);
        open();
        const auto before = transcript();
        editing.deleteJoin.deleteWords(set(row.deleted));
        EXPECT_EQ(text(), row.expected);
        settle();
        EXPECT_EQ(ad.undoManager->undoActionName(), "Delete Word(s)");
        expectUndoRedoRoundTrip(before, row.words);
    }
}

TEST_F(DeleteJoin, DeletingTheFirstWordsOfARangeMovesItsStart)
{
    addRange("Ann");
    addWords("one two");
    addRange("Bo");
    addWords("three four five");
    open();
    const auto range = ad.speakerRanges.at(1);
    const auto before = transcript();
    view.take();
    editing.deleteJoin.deleteWords(set({"W3", "W4"}));
    EXPECT_EQ(range->start, w("W5")->start);
    EXPECT_EQ(stored("speaker_ranges/R2/start").toInt(), w("W5")->start);
    settle();
    // Playback continues from the word after the gap.
    EXPECT_TRUE(view.calls.contains(QString("seekToMilliseconds:%1").arg(w("W5")->start)));
    EXPECT_TRUE(view.calls.contains("resumePlayback"));
    expectUndoRedoRoundTrip(before, "one two three four five");
    undo();
    EXPECT_EQ(range->start, w("W3")->start);
}

TEST_F(DeleteJoin, DeletingAWholeRangeRemovesItAndUndoBringsItAndItsSpeakerBack)
{
    addRange("Ann");
    addWords("one two");
    addRange("Bo");
    addWords("three");
    addRange("Cy");
    addWords("four");
    open();
    const auto range = ad.speakerRanges.at(1);
    const auto speaker = range->speaker;
    const auto before = transcript();
    view.take();
    editing.deleteJoin.deleteWords(set({"W3"}));
    EXPECT_TRUE(range->deleted);
    EXPECT_FALSE(ad.speakerRanges.contains(range));
    EXPECT_EQ(speaker->rangeCount, 0);
    EXPECT_TRUE(stored("speaker_ranges/R2/deleted").toBool());
    settle();
    EXPECT_TRUE(speakers.calls.contains("consolidateSpeakersWithAnimation"));
    EXPECT_TRUE(view.calls.contains("reloadTranscriptTable"));
    // The range reached its end: playback goes back to the word before.
    EXPECT_TRUE(view.calls.contains(QString("seekToMilliseconds:%1").arg(w("W2")->start)));

    speaker->deleted = true;  // as consolidation would do
    expectUndoRedoRoundTrip(before, "one two three four");
    EXPECT_TRUE(speakers.calls.contains("restoreSpeaker:Bo"));
    EXPECT_TRUE(speakers.calls.contains("refreshSpeakersWithAnimation"));
    EXPECT_EQ(speaker->rangeCount, 0);
    undo();
    EXPECT_EQ(ad.speakerRanges.at(1), range);
    EXPECT_EQ(speaker->rangeCount, 1);
    EXPECT_FALSE(stored("speaker_ranges/R2/deleted").toBool());
}

TEST_F(DeleteJoin, ARangeThatBeginsInThePauseBeforeItsFirstWordIsHandledAsBeginningWithIt)
{
    addRange("Ann");
    addWords("one two");
    addRange("Bo");
    addWords("three four");
    addRange("Cy");
    addWords("five");
    // Stored ranges may begin in the pause before their first word.
    ad.speakerRanges.at(1)->start = w("W3")->start - 50;
    open();
    const auto range = ad.speakerRanges.at(1);
    const auto before = transcript();

    editing.deleteJoin.deleteWords(set({"W3"}));
    EXPECT_EQ(range->start, w("W4")->start);
    EXPECT_EQ(stored("speaker_ranges/R2/start").toInt(), w("W4")->start);
    expectUndoRedoRoundTrip(before, "one two three four five");
    undo();
    EXPECT_EQ(range->start, w("W3")->start - 50);

    ad.undoManager->removeAllActions();
    editing.deleteJoin.deleteWords(set({"W3", "W4"}));
    EXPECT_TRUE(range->deleted);
    EXPECT_TRUE(stored("speaker_ranges/R2/deleted").toBool());
    expectUndoRedoRoundTrip(before, "one two three four five");
}

TEST_F(DeleteJoin, ARedoneDeletionDoesNotResumePlaybackAndEmptyInputChangesNothing)
{
    addRange("Ann");
    addWords("one two three");
    open();
    editing.deleteJoin.deleteWords(set({"W2"}));
    settle();
    undo();
    view.take();
    redo();
    EXPECT_TRUE(view.calls.contains(QString("seekToMilliseconds:%1").arg(w("W3")->start)));
    EXPECT_FALSE(view.calls.contains("resumePlayback"));

    ad.undoManager->removeAllActions();
    editing.deleteJoin.deleteWords({});
    QVOrderedSet<QVWord> stranger;
    stranger.add(std::make_shared<QVWord>());
    editing.deleteJoin.deleteWords(stranger);
    editing.deleteJoin.joinWords(set({"W1"}), "");
    settle();
    EXPECT_FALSE(ad.undoManager->canUndo());
}

TEST_F(DeleteJoin, DeletingEveryWordDoesNotSeek)
{
    addRange("Ann");
    addWords("one two");
    open();
    view.take();
    editing.deleteJoin.deleteWords(set({"W1", "W2"}));
    settle();
    EXPECT_TRUE(ad.words.empty());
    EXPECT_FALSE(view.calls.join(' ').contains("seekToMilliseconds"));
}

TEST_F(DeleteJoin, JoinSpansTheWordsAndUndoRestoresTheFirst)
{
    addRange("Ann");
    addWords("some thing else");
    open();
    const auto before = transcript();
    editing.deleteJoin.joinWords(set({"W1", "W2"}), "");
    EXPECT_EQ(text(), "something else");
    EXPECT_EQ(w("W1")->start, 1000);
    EXPECT_EQ(w("W1")->end, w("W2")->end);
    EXPECT_EQ(w("W1")->status, 2);
    EXPECT_EQ(stored("words/W1/status").toInt(), 2);
    settle();
    EXPECT_EQ(ad.undoManager->undoActionName(), "Join Words");
    expectUndoRedoRoundTrip(before, "some thing else");
    undo();
    EXPECT_EQ(w("W1")->end, 1300);
    view.take();
    redo();
    EXPECT_TRUE(view.calls.contains("locateMediaFileToWord:something"));
    EXPECT_FALSE(view.calls.contains("resumePlayback"));
}

}  // namespace
