#include "InlineEditFixture.h"

namespace {

class Filter : public InlineEditFixture {
protected:
    // A change as the text view makes it, at a position counted from the window's start.
    bool change(qsizetype at, qsizetype length, const QString& replacement)
    {
        return textView.model().insertText(replacement, {lower() + at, length});
    }
    QString windowText() const { return textView.model().string().mid(lower(), ad.editingText.size()); }
};

TEST_F(Filter, ABlankTypedIntoAWordSplitsIt)
{
    addRange("Ann");
    addWords("one sixsix two");
    open();
    const struct {
        const char* name;
        QString word;  // the middle word's name
        qsizetype at;
        QStringList pending;
        int liveIndex;  // which piece the live word keeps
    } cases[] = {
        {"after the second letter: the live word keeps the longer right side", "abcdef", 2, {"ab", "cdef"}, 1},
        {"after the fourth letter: the live word keeps the left side", "abcdef", 4, {"abcd", "ef"}, 0},
        {"the side whose clean text is the word's stays live", "abc,def", 4, {"abc,", "def"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w("W2")->setName(c.word);
        start("W2", "W2");
        ASSERT_TRUE(change(c.at, 0, " "));
        EXPECT_EQ(pendingTexts(), c.pending);
        ASSERT_EQ(ad.wordsEditing.size(), 2u);
        EXPECT_EQ(ad.wordsEditing.items()[c.liveIndex], w("W2"));
        EXPECT_EQ(ad.wordsEditing.items()[1 - c.liveIndex]->status, 3);
        EXPECT_EQ(w("W2")->status, 2);
        expectRangesMatchText();
        editing.session.editWordsCancel();
        settle();
    }
}

TEST_F(Filter, ABlankOverABlankChangesNothing)
{
    addRange("Ann");
    addWords("one two three");
    open();
    start("W1", "W3");
    ad.debugCharacterEditing.clear();
    ASSERT_TRUE(change(3, 1, " "));
    EXPECT_EQ(ad.editingText, "one two three");
    EXPECT_EQ(pendingTexts(), (QStringList{"one", "two", "three"}));
    EXPECT_EQ(ad.debugCharacterEditing,
              "calling willEditTextView from QVTextView shouldChangeTextInRange\n\nwillEditTextView called with isEditing = 1\n");
}

TEST_F(Filter, DeletingTheBlankJoinsTwoWords)
{
    addRange("Ann");
    addWords("one two three \u2014 four");
    open();
    start("W2", "W3");
    ASSERT_TRUE(change(3, 1, ""));
    EXPECT_EQ(pendingTexts(), QStringList{"twothree"});
    EXPECT_EQ(ad.wordsEditing.first(), w("W2"));
    expectRangesMatchText();
    editing.session.editWordsCancel();

    // A lone mark leaves; the word after it takes the mark in front.
    start("W4", "W5");
    ASSERT_TRUE(change(1, 1, ""));
    EXPECT_EQ(pendingTexts(), QStringList{"\u2014four"});
    EXPECT_EQ(ad.wordsEditing.first(), w("W5"));
}

TEST_F(Filter, TypingOverAWholeWord)
{
    addRange("Ann");
    addWords("one two three four");
    open();
    // Between two blanks inside the span, the word keeps its identity.
    start("W1", "W3");
    ASSERT_TRUE(change(4, 3, "2"));
    EXPECT_EQ(pendingTexts(), (QStringList{"one", "2", "three"}));
    EXPECT_EQ(ad.wordsEditing.items()[1], w("W2"));
    EXPECT_EQ(w("W2")->status, 2);
    expectRangesMatchText();
    editing.session.editWordsCancel();

    // At an end of the span, it gives way to a new word.
    start("W1", "W3");
    ASSERT_TRUE(change(0, 3, "1"));
    EXPECT_EQ(pendingTexts(), (QStringList{"1", "two", "three"}));
    EXPECT_FALSE(ad.wordsEditing.contains(w("W1")));
    EXPECT_EQ(ad.wordsEditing.first()->status, 3);
    expectRangesMatchText();
}

TEST_F(Filter, ReplacingAlmostAllOfSeveralWordsUnlocksTheirTiming)
{
    addRange("Ann");
    addWords("one two three");
    open();
    const struct {
        qsizetype at;
        qsizetype length;
        bool disallow;
    } cases[] = {{0, 7, true}, {1, 6, true}, {2, 5, false}};
    for (const auto& c : cases) {
        start("W1", "W2");
        ASSERT_TRUE(change(c.at, c.length, "x"));
        EXPECT_EQ(ad.disallowLockTimingOnEditedWords, c.disallow) << c.at;
        editing.session.editWordsCancel();
    }
    // One word alone never does.
    start("W1", "W1");
    ASSERT_TRUE(change(0, 3, "x"));
    EXPECT_FALSE(ad.disallowLockTimingOnEditedWords);
}

TEST_F(Filter, RangesFollowEveryChange)
{
    addRange("Ann");
    addWords("alpha bravo charlie");
    open();
    start("W1", "W3");
    const struct {
        qsizetype at;
        qsizetype length;
        const char* text;
    } steps[] = {
        {2, 0, "x"}, {0, 0, "q"}, {10, 0, " "}, {4, 3, ""}, {7, 0, "new words"}, {3, 0, "y"}, {0, 2, ""},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.text);
        ASSERT_TRUE(change(s.at, s.length, QString::fromUtf8(s.text)));
        EXPECT_EQ(windowText(), ad.editingText);
        EXPECT_EQ(pendingTexts().join(' '), ad.editingText);
        expectRangesMatchText();
    }
}

TEST_F(Filter, FrenchBlankBeforeAMarkIsNotDoubled)
{
    addRange("Ann");
    addWords("un deux trois");
    open("fr");
    start("W2", "W3");
    ASSERT_TRUE(change(5, 0, " :"));
    EXPECT_EQ(ad.editingText, "deux :trois");
}

TEST_F(Filter, TypingIntoAParagraphGapMakesANewWord)
{
    addRange("Ann");
    addWords("one two three");
    open();
    w("W3")->newParagraph = true;
    start("W2", "W3");
    ASSERT_EQ(ad.editingText, "two\n\nthree");
    ASSERT_TRUE(change(4, 0, "new"));
    EXPECT_EQ(pendingTexts(), (QStringList{"two", "new", "three"}));
}

TEST_F(Filter, AnImpossibleRangeCancelsAndUploadsTheTrace)
{
    addRange("Ann");
    addWords("one two");
    open();
    start("W2", "W2");
    // A stale word range that no longer fits its text.
    w("W2")->characterEnd = w("W2")->characterStart + 10;
    w("W2")->namePending = "t";
    editing.filter.willEditTextView(textView.model(), {lower() + 3, 0}, "o");
    settle();
    EXPECT_FALSE(ad.isEditing);
    ASSERT_FALSE(alerts.shownAlerts().empty());
    EXPECT_EQ(alerts.shownAlerts().back().messageText, "Word Editing Error");
    EXPECT_FALSE(backend.value("debug_character_editing/U1").isNull());
}

}  // namespace
