#include "SpeakersFixture.h"

#include <limits>

namespace qv::speakers::testing {
namespace {

constexpr std::int64_t kOpenEnd = std::numeric_limits<std::int64_t>::max();

class SpeakerRangesTest : public SpeakersFixture {
protected:
    // Ann speaks words 0-2, Bo words 3-5, Ann again from word 6 on.
    void threeRanges(const std::vector<QString>& names)
    {
        ann = addSpeaker("SA", "Ann", "red");
        bo = addSpeaker("SB", "Bo", "blue");
        r1 = addRange("R1", 0, ann);
        r2 = addRange("R2", 3000, bo);
        r3 = addRange("R3", 6000, ann);
        addWords(names);
    }
    std::shared_ptr<QVSpeakerRange> newRange() const
    {
        for (const auto& r : ad.speakerRanges)
            if (r != r1 && r != r2 && r != r3)
                return r;
        return nullptr;
    }
    std::shared_ptr<QVSpeaker> ann, bo;
    std::shared_ptr<QVSpeakerRange> r1, r2, r3;
};

TEST_F(SpeakerRangesTest, RangeEndsWhereTheNextOneStarts)
{
    threeRanges({"a"});
    const auto stranger = std::make_shared<QVSpeakerRange>();
    EXPECT_EQ(speakers.getEndTimeForSpeakerRange(r1, ad.speakerRanges), 3000);
    EXPECT_EQ(speakers.getEndTimeForSpeakerRange(r2, ad.speakerRanges), 6000);
    EXPECT_EQ(speakers.getEndTimeForSpeakerRange(r3, ad.speakerRanges), kOpenEnd);
    EXPECT_EQ(speakers.getEndTimeForSpeakerRange(stranger, ad.speakerRanges), kOpenEnd);
    EXPECT_EQ(speakers.getEndTimeForSpeakerRange(nullptr, ad.speakerRanges), kOpenEnd);
    EXPECT_EQ(speakers.getEndTimeForSpeakerRange(r1, {}), kOpenEnd);
}

TEST_F(SpeakerRangesTest, PendingAddSplitsTheRangeAndMarksTheSentenceEnd)
{
    threeRanges({"one", "two", "three", "four", "five", "six", "seven"});
    ad.words.at(4)->newParagraph = true;
    setCurrentWord(4);
    speakers.addSpeakerRangeAutoSelect(false);
    const auto added = newRange();
    ASSERT_TRUE(added);
    EXPECT_EQ(added->speaker, bo);
    EXPECT_EQ(added->start, 4000);
    EXPECT_EQ(rangeStarts(), (std::vector<QString>{"0:Ann", "3000:Bo", "4000:Bo", "6000:Ann"}));
    EXPECT_FALSE(ad.pendingNewSpeakerRange) << "pending only once the finishing step ran";
    EXPECT_EQ(editing.calls, std::vector<QString>{"finishEditingIfNecessary"});
    settle();

    EXPECT_EQ(ad.pendingNewSpeakerRange, added);
    EXPECT_EQ(wordNames()[3], "four.");
    EXPECT_EQ(wordNames()[4], "Five");
    EXPECT_FALSE(ad.words.at(4)->newParagraph);
    EXPECT_EQ(ad.words.at(4)->speakerRange, added);
    EXPECT_EQ(bo->rangeCount, 2);
    const std::string node = "speaker_ranges/" + added->uuid.toStdString();
    EXPECT_EQ(db(node), DatabaseValue::object({{"speaker", "SB"}, {"start", 4000}}));
    EXPECT_EQ(db("words/W3/name").toString(), "four.");
    EXPECT_EQ(db("words/W4"), DatabaseValue::object({{"name", "Five"}, {"new_paragraph", false}}));
    EXPECT_FALSE(ad.undoManager->canUndo()) << "the speaker choice registers the undo";
    EXPECT_GE(view.count("reloadTranscriptTable"), 1);
    EXPECT_TRUE(ad.debugCharacterEditing.contains("in addSpeakerRangeAutoSelect: self.currentTextView assigned to nil"));

    speakers.ranges().cancelAddNewSpeakerRange();
    settle();
    EXPECT_EQ(wordNames()[3], "four");
    EXPECT_EQ(wordNames()[4], "five");
    EXPECT_TRUE(ad.words.at(4)->newParagraph);
    EXPECT_EQ(ad.words.at(4)->speakerRange, r2);
    EXPECT_TRUE(added->deleted);
    EXPECT_EQ(rangeStarts(), (std::vector<QString>{"0:Ann", "3000:Bo", "6000:Ann"}));
    EXPECT_EQ(bo->rangeCount, 1);
    EXPECT_TRUE(db(node + "/deleted").toBool());
    EXPECT_EQ(db("words/W4"), DatabaseValue::object({{"name", "five"}, {"new_paragraph", true}}));
    EXPECT_FALSE(ad.pendingNewSpeakerRange || ad.pendingOriginalPreviousWord || ad.pendingOriginalCurrentWord);
}

TEST_F(SpeakerRangesTest, FullStopGoesOnlyAfterAWordThatDoesNotEndAClause)
{
    const struct {
        QString previous, expected;
    } cases[] = {{"letter", "letter."}, {"a", "a."},        {"comma,", "comma,"}, {"\u2014", "\u2014"},
                 {"", ""},              {"it's'", "it's'"}, {"why?", "why?"}};
    for (const auto& c : cases) {
        ad.speakers.clear(), ad.speakerRanges.clear(), ad.speakerRangesDeleted.clear(), ad.words.clear();
        threeRanges({"one", c.previous, "three"});
        setCurrentWord(2);
        speakers.addSpeakerRangeAutoSelect(false);
        settle();
        EXPECT_EQ(wordNames()[1], c.expected) << c.previous.toStdString();
        speakers.ranges().cancelAddNewSpeakerRange();
        settle();
        EXPECT_EQ(wordNames()[1], c.previous);
    }
}

TEST_F(SpeakerRangesTest, AddIsRefusedWithoutACurrentWordAtTheFirstWordOrOutsideTheRanges)
{
    threeRanges({"one", "two"});
    speakers.addSpeakerRangeAutoSelect(true);
    setCurrentWord(0);
    speakers.addSpeakerRangeAutoSelect(true);
    setCurrentWord(1);
    ad.words.at(1)->speakerRange = std::make_shared<QVSpeakerRange>();
    speakers.addSpeakerRangeAutoSelect(true);
    settle();
    EXPECT_EQ(ad.speakerRanges.size(), 3u);
    EXPECT_TRUE(db("").isNull());
}

TEST_F(SpeakerRangesTest, AddAtAWordThatAlreadyStartsARangeAddsNothing)
{
    // A second range at the same start would leave one of the two without words.
    threeRanges({"one", "two", "three", "four"});
    for (const bool option : {false, true}) {
        setCurrentWord(3);
        speakers.addSpeakerRangeAutoSelect(option);
        settle();
    }
    EXPECT_EQ(rangeStarts(), (std::vector<QString>{"0:Ann", "3000:Bo", "6000:Ann"}));
    EXPECT_FALSE(ad.pendingNewSpeakerRange);
    EXPECT_TRUE(db("").isNull());
    EXPECT_FALSE(ad.undoManager->canUndo());
}

TEST_F(SpeakerRangesTest, OptionOnTheFirstRangeAddsAPendingRange)
{
    threeRanges({"one", "two", "three"});
    setCurrentWord(1);
    speakers.addSpeakerRangeAutoSelect(true);
    settle();
    ASSERT_TRUE(ad.pendingNewSpeakerRange);
    EXPECT_EQ(ad.pendingNewSpeakerRange->speaker, ann);
}

TEST_F(SpeakerRangesTest, ImmediateAddMergesTheFollowingRangeAndUndoRestoresIt)
{
    // Bo's range holds words 3-5; adding at word 5 with Option gives it Ann, as the range
    // after, which then merges into the new range.
    threeRanges({"one", "two", "three", "four", "five", "six", "seven"});
    setCurrentWord(5);
    speakers.addSpeakerRangeAutoSelect(true);
    settle();
    const auto added = newRange();
    ASSERT_TRUE(added);
    EXPECT_EQ(added->speaker, ann);
    EXPECT_FALSE(ad.pendingNewSpeakerRange);
    EXPECT_EQ(rangeStarts(), (std::vector<QString>{"0:Ann", "3000:Bo", "5000:Ann"}));
    EXPECT_TRUE(r3->deleted);
    EXPECT_TRUE(db("speaker_ranges/R3/deleted").toBool());
    EXPECT_EQ(ann->rangeCount, 2);
    EXPECT_EQ(ad.undoManager->undoActionName(), "Add Speaker Range");
    EXPECT_EQ(wordNames()[4], "five.");
    EXPECT_EQ(wordNames()[5], "Six");

    ad.undoManager->undo();
    settle();
    EXPECT_EQ(rangeStarts(), (std::vector<QString>{"0:Ann", "3000:Bo", "6000:Ann"}));
    EXPECT_TRUE(added->deleted);
    EXPECT_FALSE(r3->deleted);
    EXPECT_EQ(ann->rangeCount, 2);
    EXPECT_EQ(db("speaker_ranges/R3/deleted"), DatabaseValue(false));
    EXPECT_TRUE(db("speaker_ranges/" + added->uuid.toStdString() + "/deleted").toBool());
    EXPECT_EQ(wordNames()[4], "five");
    EXPECT_EQ(wordNames()[5], "six");
    EXPECT_EQ(ad.words.at(5)->speakerRange, r2);
    EXPECT_EQ(view.count("locate 5000"), 1);
    EXPECT_EQ(ad.undoManager->redoActionName(), "Add Speaker Range");

    ad.undoManager->redo();
    settle();
    EXPECT_EQ(rangeStarts(), (std::vector<QString>{"0:Ann", "3000:Bo", "5000:Ann"}));
    EXPECT_FALSE(db("speaker_ranges/" + added->uuid.toStdString() + "/deleted").toBool());
    EXPECT_TRUE(db("speaker_ranges/R3/deleted").toBool());
    EXPECT_EQ(wordNames()[4], "five.");
    EXPECT_EQ(ann->rangeCount, 2);
    EXPECT_EQ(ad.undoManager->undoActionName(), "Add Speaker Range");
}

TEST_F(SpeakerRangesTest, AFinishedImmediateAddLeavesNothingForALaterCancelToPutBack)
{
    threeRanges({"one", "two", "three", "four", "five", "six", "seven"});
    setCurrentWord(4);
    speakers.addSpeakerRangeAutoSelect(true);
    settle();
    ASSERT_EQ(wordNames()[3], "four.");
    // Picking a range's own speaker in its menu cancels, pending add or not.
    speakers.assignment().changeSpeakerRange(r1, ann, kChangeChosenSpeaker, false);
    settle();
    EXPECT_EQ(wordNames()[3], "four.");
    EXPECT_EQ(wordNames()[4], "Five");
    EXPECT_EQ(db("words/W3/name").toString(), "four.");
}

TEST_F(SpeakerRangesTest, CancelRemovesAPendingRangeOfTheGreySpeakerToo)
{
    const auto unknown = addSpeaker("SG", "Unknown", "gray");
    addRange("RG", 0, unknown);
    addWords({"one", "two", "three"});
    setCurrentWord(2);
    speakers.addSpeakerRangeAutoSelect(false);
    settle();
    const auto pending = ad.pendingNewSpeakerRange;
    ASSERT_TRUE(pending);
    speakers.ranges().cancelAddNewSpeakerRange();
    settle();
    EXPECT_EQ(ad.speakerRanges.size(), 1u);
    EXPECT_TRUE(pending->deleted);
    EXPECT_EQ(unknown->rangeCount, 1);
    EXPECT_TRUE(db("speaker_ranges/" + pending->uuid.toStdString() + "/deleted").toBool());
}

TEST_F(SpeakerRangesTest, StartMovesNeedARangeToMove)
{
    threeRanges({"one", "two", "three", "four", "five", "six", "seven"});
    setCurrentWord(1);
    speakers.changeSpeakerRangeStartToCurrentWord();
    setCurrentWord(6);
    speakers.changeNextSpeakerRangeStartToCurrentWord();
    settle();
    EXPECT_EQ(rangeStarts(), (std::vector<QString>{"0:Ann", "3000:Bo", "6000:Ann"}));
    EXPECT_FALSE(ad.undoManager->canUndo());
}

TEST_F(SpeakerRangesTest, StartMoveIsOneUndoStepWithTheWordsItChanged)
{
    threeRanges({"one", "two", "three", "four", "five", "six", "seven"});
    setCurrentWord(4);
    speakers.changeSpeakerRangeStartToCurrentWord();
    settle();
    EXPECT_EQ(r2->start, 4000);
    EXPECT_EQ(db("speaker_ranges/R2/start").toInt(), 4000);
    EXPECT_EQ(wordNames()[3], "four.");
    EXPECT_EQ(wordNames()[4], "Five");
    EXPECT_EQ(ad.undoManager->undoActionName(), "Speaker Range Start Time");
    EXPECT_TRUE(view.calls.end() == std::find_if(view.calls.begin(), view.calls.end(),
                                                 [](const QString& c) { return c.startsWith("locate"); }))
        << "a fresh move does not seek";
    EXPECT_EQ(host.calls.front(), "beginTableUpdates");

    ad.undoManager->undo();
    settle();
    EXPECT_EQ(r2->start, 3000);
    EXPECT_EQ(db("speaker_ranges/R2/start").toInt(), 3000);
    EXPECT_EQ(wordNames(), (std::vector<QString>{"one", "two", "three", "four", "five", "six", "seven"}));
    EXPECT_EQ(db("words/W3/name").toString(), "four");
    EXPECT_EQ(db("words/W4/name").toString(), "five");
    EXPECT_EQ(view.count("locate 4000"), 1);
    EXPECT_FALSE(ad.undoManager->canUndo());

    ad.undoManager->redo();
    settle();
    EXPECT_EQ(r2->start, 4000);
    EXPECT_EQ(wordNames()[3], "four.");
    EXPECT_EQ(wordNames()[4], "Five");
    EXPECT_EQ(ad.undoManager->undoActionName(), "Speaker Range Start Time");
}

TEST_F(SpeakerRangesTest, UndoPutsBackAStartThatNoWordBeganAt)
{
    // Stored ranges may begin in the pause before their first word.
    threeRanges({"one", "two", "three", "four", "five", "six", "seven"});
    r2->start = 2500;
    setCurrentWord(4);
    speakers.changeSpeakerRangeStartToCurrentWord();
    settle();
    ASSERT_EQ(r2->start, 4000);
    ad.undoManager->undo();
    settle();
    EXPECT_EQ(r2->start, 2500);
    EXPECT_EQ(db("speaker_ranges/R2/start").toInt(), 2500);
    EXPECT_EQ(wordNames(), (std::vector<QString>{"one", "two", "three", "four", "five", "six", "seven"}));
    ad.undoManager->redo();
    settle();
    EXPECT_EQ(r2->start, 4000);
    EXPECT_EQ(db("speaker_ranges/R2/start").toInt(), 4000);
    ad.undoManager->undo();
    settle();
    EXPECT_EQ(r2->start, 2500);
}

TEST_F(SpeakerRangesTest, AStartMoveLeavesAOneLetterWordBeforeItWithoutAFullStop)
{
    threeRanges({"one", "two", "three", "a", "five", "six", "seven"});
    setCurrentWord(4);
    speakers.changeSpeakerRangeStartToCurrentWord();
    settle();
    EXPECT_EQ(r2->start, 4000);
    EXPECT_EQ(wordNames()[3], "a");
    EXPECT_EQ(wordNames()[4], "Five");
}

TEST_F(SpeakerRangesTest, ButtonsRunTheirCommandsWithOptionFromTheEvent)
{
    threeRanges({"one", "two", "three", "four", "five", "six", "seven"});
    setCurrentWord(5);
    host.optionDown = true;
    speakers.ranges().buttonPressedAddSpeakerRange();
    settle();
    EXPECT_EQ(ad.undoManager->undoActionName(), "Add Speaker Range");
    setCurrentWord(4);
    speakers.ranges().buttonPressedStartNextSpeakerRange();
    settle();
    EXPECT_EQ(ad.undoManager->undoActionName(), "Speaker Range Start Time");
}

}  // namespace
}  // namespace qv::speakers::testing
