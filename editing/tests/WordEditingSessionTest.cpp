#include "InlineEditFixture.h"

namespace {

class Session : public InlineEditFixture {};

TEST_F(Session, StartOpensTheWindowOverTheSelection)
{
    addRange("Ann");
    addWords("alpha bravo charlie delta");
    open();
    start("W2", "W3");
    EXPECT_TRUE(ad.isEditing);
    EXPECT_TRUE(textView.model().isEditable());
    EXPECT_EQ(lower(), 6);
    EXPECT_EQ(textView.model().editWindow(), (qv::TextRange{6, 13}));
    EXPECT_EQ(ad.editingTextOriginal, "bravo charlie");
    EXPECT_EQ(pendingTexts(), (QStringList{"bravo", "charlie"}));
    EXPECT_EQ(ad.wordsEditing.first(), w("W2"));
    // Caret after the last edited character; the neighbours are kept for a cancel.
    EXPECT_EQ(textView.model().selectedRange(), (qv::TextRange{19, 0}));
    EXPECT_EQ(ad.wordsEditingOriginalData.size(), 4u);
    EXPECT_EQ(textView.model().attributesAt(8).foreground, ad.editingTextColor);
    EXPECT_TRUE(ad.debugCharacterEditing.startsWith("*****\nApp Version: "));
}

TEST_F(Session, TheStartingKeyIsApplied)
{
    addRange("Ann");
    addWords("one end. word~\u2014 two");
    open();
    const struct {
        const char* name;
        QString word;
        std::int64_t mode;
        QString character;
        QString editingText;
        qsizetype caret;  // from the window's start; -1: not placed
    } cases[] = {
        {"a letter keeps the full stop", "W2", 0, "x", "x.", 1},
        {"a letter keeps a detached dash", "W3", 0, "x", "x \u2014", 1},
        {"delete takes the last character", "W2", 1, {}, "end", 3},
        {"forward delete takes the first", "W2", -1, {}, "nd.", 0},
        {"an unknown mode applies nothing", "W2", 7, {}, "end.", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.word, c.word, c.mode, c.character);
        EXPECT_EQ(ad.editingText, c.editingText);
        EXPECT_EQ(textView.model().string().mid(lower(), c.editingText.size()), c.editingText);
        if (c.caret >= 0) {
            EXPECT_EQ(textView.model().selectedRange(), (qv::TextRange{lower() + c.caret, 0}));
        }
        editing.session.editWordsCancel();
        settle();
    }
}

TEST_F(Session, DetachedDashWithParagraphMarkBecomesTwoWorkingWords)
{
    addRange("Ann");
    addWords("one \u2014~two three");
    open();
    w("W2")->newParagraph = true;
    start("W2", "W2");
    ASSERT_EQ(pendingTexts(), (QStringList{"\u2014", "two"}));
    const auto dash = ad.wordsEditing.first();
    EXPECT_NE(dash, w("W2"));
    EXPECT_TRUE(dash->newParagraph);
    EXPECT_EQ(w("W2")->newParagraphPendingChange, -1);
    expectRangesMatchText();
}

TEST_F(Session, CancelRestoresTheWordsAndTheirNeighbours)
{
    addRange("Ann");
    addWords("alpha bravo charlie delta");
    open();
    const auto before = transcript();
    start("W2", "W3");
    w("W1")->lockTiming = true;
    w("W4")->lockTiming = true;
    textView.model().insertText("x", {lower() + 2, 0});
    textView.model().insertText("", {lower() + 5, 2});
    editing.session.editWordsCancel();
    settle();
    EXPECT_FALSE(ad.isEditing);
    EXPECT_EQ(textView.lowerCharacterLock(), -1);
    EXPECT_FALSE(textView.model().isEditable());
    EXPECT_EQ(text(), "alpha bravo charlie delta");
    for (const char* uuid : {"W1", "W2", "W3", "W4"})
        EXPECT_FALSE(w(uuid)->lockTiming) << uuid;
    EXPECT_EQ(w("W2")->status, 1);
    EXPECT_EQ(w("W3")->characterStart, 12);
    EXPECT_EQ(w("W3")->characterEnd, 18);
    EXPECT_TRUE(ad.wordsEditing.empty());
    EXPECT_EQ(describe(transcript()), describe(before));
    EXPECT_FALSE(ad.undoManager->canUndo());
}

// Two ranges, "alpha bravo" and "charlie delta", each row laid out in a text view of its own.
class SessionInTwoRows : public InlineEditFixture {
protected:
    void SetUp() override
    {
        addRange("Ann");
        addWords("alpha bravo");
        addRange("Bo");
        addWords("charlie delta");
        open();
        // The row text view the transcript view makes current, as the program wires it.
        editing.setCurrentTextViewModel([this] { return ad.currentTextView ? &ad.currentTextView->model() : nullptr; });
        QVTextView* views[] = {&textView, &second};
        for (std::size_t i = 0; i < 2; ++i) {
            const auto& range = ad.speakerRanges.at(i);
            const std::int64_t end = i + 1 < ad.speakerRanges.size() ? ad.speakerRanges.at(i + 1)->start : INT64_MAX;
            views[i]->model().setString(qv::transcript::buildRowText(ad, range, end)->string);
            range->textView = views[i];
        }
        ad.currentTextView = &textView;
    }

    QVTextView second{ad, main};
};

// A key can come after a click has made a word current but before the player has reached it
// and made its row current: the edit still opens in the word's row, never in the row left
// behind, and in none when the word's row is not shown.
TEST_F(SessionInTwoRows, AnEditOpensInTheRowOfTheWordsItEdits)
{
    select("W3", "W3");
    editing.session.editWordsStartWithMode(0, "x");
    ASSERT_TRUE(ad.isEditing);
    EXPECT_EQ(ad.currentTextView, &second);
    EXPECT_EQ(second.model().string(), "x delta");
    EXPECT_EQ(textView.model().string(), "alpha bravo");
    editing.session.editWordsCancel();
    settle();

    // The word's row has left the view: nothing is typed anywhere.
    ad.speakerRanges.at(1)->textView = nullptr;
    ad.currentTextView = &textView;
    select("W4", "W4");
    editing.session.editWordsStartWithMode(0, "x");
    EXPECT_FALSE(ad.isEditing);
    EXPECT_EQ(textView.model().string(), "alpha bravo");
}

// Escape rebuilds the row the edit was typed in from the model; a row that left the view during
// the edit is rebuilt from the rows of the words put back.
TEST_F(SessionInTwoRows, CancelRebuildsTheRowTheEditWasTypedIn)
{
    select("W3", "W3");
    editing.session.editWordsStartWithMode(0, "x");
    ASSERT_TRUE(ad.isEditing);
    view.take();
    editing.session.editWordsCancel();
    EXPECT_EQ(view.take(), QStringList{"reloadRowForTableViewIndex:3"});
    settle();

    editing.session.editWordsStartWithMode(0, "x");
    ASSERT_TRUE(ad.isEditing);
    ad.speakerRanges.at(1)->textView = nullptr;
    ad.currentTextView = nullptr;
    view.take();
    editing.session.editWordsCancel();
    EXPECT_EQ(view.take(), QStringList{"reloadRowsForWords:W2,W4,W3"});
}

TEST_F(Session, FinishCommitsOneUndoableStep)
{
    addRange("Ann");
    addWords("alpha bravo charlie delta");
    open();
    const auto before = transcript();
    start("W2", "W2");
    textView.model().insertText("e", {lower() + 5, 0});
    editing.session.editWordsFinishWithResumePlayback(true);
    settle();
    EXPECT_FALSE(ad.isEditing);
    EXPECT_EQ(textView.lowerCharacterLock(), -1);
    EXPECT_EQ(text(), "alpha bravoe charlie delta");
    EXPECT_EQ(stored("words/W2/name"), qv::DatabaseValue("bravoe"));
    EXPECT_TRUE(view.calls.contains("resumePlayback"));
    expectUndoRedoRoundTrip(before, "alpha bravo charlie delta");
}

TEST_F(Session, FinishWithoutChangeEndsLikeACancel)
{
    addRange("Ann");
    addWords("alpha bravo");
    open();
    const auto before = transcript();
    start("W2", "W2");
    textView.model().insertText("", {lower() + 4, 1});
    textView.model().insertText("o", {lower() + 4, 0});
    editing.session.editWordsFinishWithResumePlayback(false);
    settle();
    EXPECT_FALSE(ad.isEditing);
    EXPECT_EQ(describe(transcript()), describe(before));
    EXPECT_FALSE(ad.undoManager->canUndo());
}

TEST_F(Session, DeletingAllTextOfTheSelectionDeletesTheWords)
{
    addRange("Ann");
    addWords("alpha bravo charlie");
    open();
    start("W1", "W2");
    textView.model().insertText("", textView.model().editWindow());
    EXPECT_TRUE(ad.disallowLockTimingOnEditedWords);
    editing.session.editWordsFinishWithResumePlayback(true);
    settle();
    EXPECT_EQ(text(), "Charlie");
    EXPECT_EQ(stored("words/W1/deleted"), qv::DatabaseValue(true));
    undo();
    EXPECT_EQ(text(), "alpha bravo charlie");
}

TEST_F(Session, FinishWhileOfflineAsksFirst)
{
    addRange("Ann");
    addWords("alpha bravo");
    open();
    const auto before = transcript();
    alerts.setHoldUnscripted(true);

    start("W2", "W2");
    textView.model().insertText("s", {lower() + 5, 0});
    ad.isViewingOnly = true;
    editing.session.editWordsFinishWithResumePlayback(false);
    ASSERT_TRUE(alerts.hasOpenAlert());
    EXPECT_EQ(alerts.shownAlerts().back().messageText, "Changes could not be saved because there is no internet connection");
    EXPECT_TRUE(ad.isEditing);
    // Still offline: "Try Again" asks again; once back, it commits.
    alerts.answerOpenAlert(qv::kAlertFirstButtonReturn);
    ASSERT_TRUE(alerts.hasOpenAlert());
    ad.isViewingOnly = false;
    alerts.answerOpenAlert(qv::kAlertFirstButtonReturn);
    settle();
    EXPECT_EQ(text(), "alpha bravos");

    start("W2", "W2");
    textView.model().insertText("x", {lower(), 0});
    ad.isViewingOnly = true;
    editing.session.editWordsFinishWithResumePlayback(false);
    alerts.answerOpenAlert(qv::kAlertFirstButtonReturn + 1);
    settle();
    EXPECT_FALSE(ad.isEditing);
    EXPECT_EQ(text(), "alpha bravos");
    EXPECT_TRUE(ad.debugCharacterEditing.contains("user chose Cancel on alert"));
    undo();
    EXPECT_EQ(describe(transcript()), describe(before));
}

TEST_F(Session, FinishEditingIfNecessary)
{
    addRange("Ann");
    addWords("alpha bravo");
    open();
    showRow();
    EXPECT_FALSE(editing.finishEditingIfNecessary());
    EXPECT_TRUE(ad.debugCharacterEditing.isEmpty());
    start("W1", "W1");
    textView.model().insertText("s", {lower() + 5, 0});
    EXPECT_TRUE(editing.finishEditingIfNecessary());
    settle();
    EXPECT_FALSE(ad.isEditing);
    EXPECT_EQ(text(), "alphas bravo");
    EXPECT_FALSE(view.calls.contains("resumePlayback"));
}

TEST_F(Session, NothingStartsWithoutACurrentWordOrView)
{
    addRange("Ann");
    addWords("alpha bravo");
    open();
    editing.session.editWordsStartWithMode(0);
    EXPECT_FALSE(ad.isEditing);
    showRow();
    ad.isBeforeFirstWord = true;
    select("W1", "W1");
    editing.session.editWordsStartWithMode(0);
    EXPECT_FALSE(ad.isEditing);
    EXPECT_TRUE(ad.debugCharacterEditing.isEmpty());
}

}  // namespace
