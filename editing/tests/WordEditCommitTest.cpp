#include "EditingFixture.h"

#include <functional>

namespace {

// What a reader of the transcript sees: the live records, a missing "deleted" read as false.
std::string liveRecords(const qv::DatabaseValue& transcript)
{
    qv::DatabaseValue result = transcript;
    for (const char* kind : {"words", "speaker_ranges", "speakers"}) {
        std::vector<qv::DatabaseValue::Entry> kept;
        for (const qv::DatabaseValue list = transcript.child(kind); const auto& child : list.children()) {
            if (!child.value.child("deleted").toBool())
                kept.emplace_back(child.key, child.value.withChild("deleted", false));
        }
        result = result.withChild(kind, qv::DatabaseValue::map(kept));
    }
    return describe(result);
}

class WordEdit : public EditingFixture {
protected:
    // Replaces the words by `text` as a paste or a custom word would.
    void edit(const QStringList& uuids, const QString& text) { editing.editWords(set(uuids), text); }
};

TEST_F(WordEdit, OneWordBecomesThreeAndUndoRedoAlternate)
{
    addRange("Ann");
    addWords("alpha beta gamma");
    open();
    const auto before = transcript();

    ad.currentSpeakerRangeIndex = 0;
    edit({"W2"}, "one two three");
    EXPECT_EQ(text(), "alpha one two three gamma");
    settle();
    EXPECT_EQ(ad.undoManager->undoActionName(), "Edit Words");

    // The kept word is written with five keys, each new word with six, "favorite" among them.
    EXPECT_EQ(w("W2")->status, 2);
    std::vector<std::shared_ptr<QVWord>> added;
    for (const auto& word : ad.words) {
        if (!word->uuid.startsWith('W'))
            added.push_back(word);
    }
    ASSERT_EQ(added.size(), 2u);
    for (const auto& word : added) {
        EXPECT_EQ(word->status, 3);
        EXPECT_EQ(word->speakerRange, ad.speakerRanges.first());
        const auto node = stored("words/" + word->uuid);
        EXPECT_EQ(node.childCount(), 6u) << describe(node);
        EXPECT_EQ(node.child("status").toInt(), 3);
    }
    // The new words share the replaced word's time without overlapping their neighbours.
    std::int64_t cursor = w("W1")->end;
    for (const auto& word : ad.words.items()) {
        if (word == w("W1"))
            continue;
        EXPECT_LE(cursor, word->start) << word->name().toStdString();
        EXPECT_LT(word->start, word->end) << word->name().toStdString();
        cursor = word->end;
    }

    expectUndoRedoRoundTrip(before, "alpha beta gamma");
    EXPECT_EQ(ad.undoManager->undoActionName(), "Edit Words");
    // Redo brings the added words back with the flag alone; their other values stayed stored.
    for (const auto& word : added)
        EXPECT_FALSE(stored("words/" + word->uuid).child("deleted").toBool());
}

TEST_F(WordEdit, UndoTakesBackEveryWriteOfTheEdit)
{
    addRange("Ann");
    addWords("alpha beta gamma delta");
    open();
    const auto before = transcript();
    ad.currentSpeakerRangeIndex = 0;
    edit({"W2", "W3"}, "bet");
    EXPECT_EQ(text(), "alpha bet delta");
    EXPECT_TRUE(stored("words/W3").child("deleted").toBool());
    expectUndoRedoRoundTrip(before, "alpha beta gamma delta");
}

TEST_F(WordEdit, AChangeOfCaseOrPunctuationKeepsTheWordsTimesUnlessLockingIsOff)
{
    for (const bool disallow : {false, true}) {
        SCOPED_TRACE(disallow);
        reset();
        addRange("Ann");
        addWords("alpha beta gamma", 300, 2000);
        open();
        ad.currentSpeakerRangeIndex = 0;
        ad.disallowLockTimingOnEditedWords = disallow;
        const auto word = ad.words.at(1);
        const auto start = word->start;
        const auto end = word->end;
        editing.editWords(set({word->uuid}), "Beta,");
        EXPECT_EQ(word->name(), "Beta,");
        if (disallow)
            EXPECT_NE(word->end - word->start, end - start);
        else
            EXPECT_EQ(std::make_pair(word->start, word->end), std::make_pair(start, end));
        EXPECT_FALSE(word->lockTiming);
        settle();
    }
}

// The time per character comes from the range's unedited words of more than two characters,
// once there are more than ten of them; otherwise it is 54 ms.
TEST_F(WordEdit, TimePerCharacterIsTheRangesMedianOnlyFromElevenWords)
{
    struct Case {
        int wordsOfFourLetters;
        std::int64_t expectedPerCharacter;
    };
    for (const Case c : {Case{10, 54}, Case{11, 100}}) {
        SCOPED_TRACE(c.wordsOfFourLetters);
        reset();
        addRange("Ann");
        QStringList names;
        for (int i = 0; i < c.wordsOfFourLetters; ++i)
            names << "abcd";
        addWords(names.join(' '), 400, 400);
        addWords("ab", 100, 5000);  // too short to count; followed by a wide gap
        addWords("wxyz", 400, 400);  // the edited word: no longer counted once edited
        open();
        ad.currentSpeakerRangeIndex = 0;
        const auto edited = ad.words.last();
        editing.editWords(set({edited->uuid}), "pqr");
        EXPECT_EQ(edited->end - edited->start, 3 * c.expectedPerCharacter);
        settle();
    }
}

TEST_F(WordEdit, WordsThatCannotFitShowTheAlertAndWriteNothing)
{
    addRange("Ann");
    addWords("a b c", 100, 100);
    open("en-US", 300 + 1000);
    ad.currentSpeakerRangeIndex = 0;
    const auto before = transcript();
    edit({"W2"}, "abcdefghijklmnopqrstuvwxy abcdefghijklmnopqrstuvwxy abcdefghijklmnopqrstuvwxy "
                 "abcdefghijklmnopqrstuvwxy abcdefghijklmnopqrstuvwxy");
    settle();
    EXPECT_EQ(text(), "a b c");
    EXPECT_TRUE(transcript() == before);
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts()[0].messageText, "Word Editing Error");
    EXPECT_EQ(alerts.shownAlerts()[0].informativeText,
              "Word editing could not be saved because the new words will not fit into the available time.");
    EXPECT_EQ(alerts.shownAlerts()[0].style, qv::AlertStyle::Critical);
    EXPECT_FALSE(ad.undoManager->canUndo());
    // The trace goes up whole, with the numbers of the failed fit.
    const auto traces = backend.value("debug_character_editing/U1");
    ASSERT_EQ(traces.childCount(), 1u);
    const auto trace = QString::fromStdString((*traces.children().begin()).value.toString());
    EXPECT_TRUE(trace.contains("cannot extend selection to increase available gap")) << trace.toStdString();
    EXPECT_TRUE(trace.contains("availableTimeStart = 1000")) << trace.toStdString();
}

TEST_F(WordEdit, WideningTakesTheLongerNeighbourAndFitsEveryWordOverTheSpan)
{
    addRange("Ann");
    addWords("a", 100, 100);
    addWords("bb", 100, 100);
    addWords("cc", 800, 800);
    open("en-US", 100'000);
    ad.currentSpeakerRangeIndex = 0;
    // "bb" sits between "a" (100 ms) and "cc" (800 ms) with no gap: the new text needs more
    // than the 100 ms of "bb", so the edit widens over the longer neighbour, "cc".
    edit({"W2"}, "longer");
    EXPECT_EQ(text(), "a longer cc");
    EXPECT_EQ(w("W2")->start, 1100);
    EXPECT_EQ(w("W3")->end, 2000);
    EXPECT_EQ(w("W2")->end, w("W3")->start);
    EXPECT_EQ(stored("words/W3").child("start").toInt(), w("W3")->start);
}

TEST_F(WordEdit, WideningNeverStartsIntoTheNextRangeAndUndoSeeksToTheFirstSelectedWord)
{
    addRange("Ann");
    addWords("aa bb cc", 100, 100);
    addRange("Bo");
    addWords("dd", 1000, 1000);
    open();
    ad.currentSpeakerRangeIndex = 0;
    const auto before = transcript();
    // 60 characters cannot share the 100 ms of "cc"; the longer neighbour lies in the next range,
    // so the edit widens backwards, over "bb" and then "aa".
    edit({"W3"}, QString("abcdefghij ").repeated(6).trimmed());
    EXPECT_EQ(w("W1")->start, 1000);
    EXPECT_EQ(ad.words.at(7)->end, 1300);
    EXPECT_EQ(w("W4")->start, 1300);
    EXPECT_EQ(ad.speakerRanges.at(1)->start, 1300);
    view.take();
    expectUndoRedoRoundTrip(before, "aa bb cc dd");
    // Two words were taken before the selection: the undo goes back to where "cc" began.
    EXPECT_TRUE(view.calls.contains("locateMediaFileToMilliseconds:1200")) << view.calls.join(' ').toStdString();
}

// A run is spread over its whole span when it has less than 200 ms to spare; otherwise its
// words get the time per character, forward from the start, or backward from a locked word
// that follows them.
TEST_F(WordEdit, SlackDecidesBetweenSpreadingAndPlacing)
{
    struct Row {
        std::int64_t slack;
        bool lockedWordFollows;
        std::int64_t expectedStart;
        std::int64_t expectedEnd;
    };
    const std::int64_t estimate = 4 * WordEditCommit::kDefaultTimePerCharacter;
    const Row rows[] = {
        {199, false, 2000, 2000 + estimate + 199},
        {200, false, 2000, 2000 + estimate},
        {200, true, 2000 + 200, 2000 + estimate + 200},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.slack);
        reset();
        addRange("Ann");
        addWords("first wxyz next");
        w("W1")->end = 1900;
        w("W2")->start = 2000;
        w("W2")->end = 2100;
        w("W3")->start = 2000 + estimate + row.slack;
        w("W3")->end = w("W3")->start + 300;
        open();
        ad.currentSpeakerRangeIndex = 0;
        if (row.lockedWordFollows)
            edit({"W2", "W3"}, "abcd next");
        else
            edit({"W2"}, "abcd");
        EXPECT_EQ(w("W2")->start, row.expectedStart);
        EXPECT_EQ(w("W2")->end, row.expectedEnd);
        settle();
    }
}

TEST_F(WordEdit, AnEditThatBeginsARangeMovesItsStartAndUndoPutsItBack)
{
    addRange("Ann");
    addWords("one two");
    addRange("Bo");
    addWords("three four", 300, 1000);
    open();
    ad.currentSpeakerRangeIndex = 1;
    const auto range = ad.speakerRanges.at(1);
    const auto before = transcript();
    ASSERT_EQ(range->start, w("W3")->start);
    edit({"W3"}, "a b c d e f g h i j");
    EXPECT_EQ(range->start, ad.words.at(2)->start);
    EXPECT_NE(range->start, 1800);
    EXPECT_EQ(stored("speaker_ranges/R2").child("start").toInt(), range->start);
    expectUndoRedoRoundTrip(before, "one two three four");
    undo();
    EXPECT_EQ(range->start, 1800);
}

TEST_F(WordEdit, AWordOfNoLengthIsNeverStored)
{
    addRange("Ann");
    addWords("alpha beta");
    open();
    // A stored word that has no length keeps its times when only its case changes.
    w("W2")->end = w("W2")->start;
    const auto before = transcript();
    ad.currentSpeakerRangeIndex = 0;
    edit({"W1", "W2"}, "Alpha Beta");
    settle();
    EXPECT_EQ(text(), "alpha beta");
    EXPECT_TRUE(transcript() == before) << describe(transcript());
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts()[0].messageText, "Word Editing Error");
    EXPECT_FALSE(ad.undoManager->canUndo());
    EXPECT_TRUE(ad.debugCharacterEditing.contains("zero length word(s) found on final check"));
}

TEST_F(WordEdit, AWriteTheDatabaseRefusesIsTakenBackOnScreenAndReported)
{
    addRange("Ann");
    addWords("alpha beta");
    open();
    // A key the database refuses stands for any refused write.
    w("W2")->uuid = "bad.key";
    ad.currentSpeakerRangeIndex = 0;
    edit({"bad.key"}, "gamma");
    EXPECT_EQ(text(), "alpha gamma");
    settle();
    EXPECT_EQ(text(), "alpha beta");
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts()[0].messageText, "Word Editing Error");
    EXPECT_EQ(alerts.shownAlerts()[0].informativeText, "The change could not be saved and has been taken back.");
}

TEST_F(WordEdit, NothingChangedOrNothingLeftCommitsNothing)
{
    addRange("Ann");
    addWords("alpha beta");
    open();
    ad.currentSpeakerRangeIndex = 0;
    const auto before = transcript();
    edit({"W1"}, "alpha");
    edit({"W1"}, "   ");
    settle();
    EXPECT_TRUE(transcript() == before);
    EXPECT_FALSE(ad.undoManager->canUndo());
    EXPECT_TRUE(alerts.shownAlerts().empty());
}

TEST_F(WordEdit, LongChainsOfUndoAndRedoGiveBackEveryStateInMemoryAndStored)
{
    addRange("Ann");
    addWords("Hello. the end. next word here");
    addRange("Bo");
    addWords("one two three four");
    open();
    ad.currentSpeakerRangeIndex = 0;
    const std::function<void()> steps[] = {
        [&] { edit({"W2"}, "The big"); },
        [&] { editing.punctuation.editWordsWithPunctuation(set({"W4"}), "?"); },
        [&] { editing.favorites.toggleFavoriteForSelectedWords(set({"W5", "W6"}), -1); },
        [&] { editing.paragraphs.addNewParagraphForWord(w("W5")); },
        [&] { editing.deleteJoin.deleteWords(set({"W7"})); },  // the first word of a range
        [&] { editing.deleteJoin.joinWords(set({"W8", "W9"}), ""); },
        [&] { editing.deleteJoin.deleteWords(set({"W8"})); },
        [&] { editing.caseCommands.editWordsToUppercaseAll(set({"W10"}), true); },
        [&] { editing.wrap.wrapWords(WrapCommands::Kind::DoubleQuotes, set({"W10"})); },
        [&] { editing.punctuation.deletePunctuationForWords(set({"W1", "W3"})); },
        [&] {
            ad.currentSpeakerRangeIndex = 1;
            edit({"W10"}, "fore five");
        },
        [&] { editing.deleteJoin.deleteWords(set({"W10"})); },  // the last word of the transcript
    };
    std::vector<std::string> stored{liveRecords(transcript())};
    std::vector<QString> texts{text()};
    for (const auto& step : steps) {
        step();
        settle();
        stored.push_back(liveRecords(transcript()));
        texts.push_back(text());
    }
    ASSERT_EQ(text(), "Hello The big end next? Word here Five");
    const std::size_t count = std::size(steps);
    for (int round = 0; round < 3; ++round) {
        for (std::size_t i = count; i-- > 0;) {
            undo();
            EXPECT_EQ(text(), texts[i]) << "undone to step " << i << ", round " << round;
            EXPECT_EQ(liveRecords(transcript()), stored[i]) << "undone to step " << i << ", round " << round;
        }
        EXPECT_FALSE(ad.undoManager->canUndo());
        for (std::size_t i = 1; i <= count; ++i) {
            redo();
            EXPECT_EQ(text(), texts[i]) << "redone to step " << i << ", round " << round;
            EXPECT_EQ(liveRecords(transcript()), stored[i]) << "redone to step " << i << ", round " << round;
        }
    }
    EXPECT_TRUE(alerts.shownAlerts().empty());
}

TEST(WordDurations, TheTotalIsSharedByLettersAndTheLastTakesTheRest)
{
    EXPECT_EQ(WordEditCommit::getWordDurations({"ab,", "c", "—de"}, 1000), (std::vector<std::int64_t>{400, 200, 400}));
    EXPECT_EQ(WordEditCommit::getWordDurations({"a", "bb"}, 100), (std::vector<std::int64_t>{33, 67}));
}

}  // namespace
