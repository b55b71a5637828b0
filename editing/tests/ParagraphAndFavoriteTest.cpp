#include "EditingFixture.h"

namespace {

using Paragraphs = EditingFixture;

TEST_F(Paragraphs, AddingAndRemovingInvertEachOther)
{
    addRange("Ann");
    addWords("one two three");
    open();
    const auto before = transcript();
    editing.paragraphs.addNewParagraphForWord(w("W2"));
    EXPECT_TRUE(w("W2")->newParagraph);
    EXPECT_TRUE(stored("words/W2/new_paragraph").toBool());
    settle();
    EXPECT_EQ(ad.undoManager->undoActionName(), "Add Paragraph Break");
    view.take();
    expectUndoRedoRoundTrip(before, "one two three");
    // Undoing the added break moves the player to the word and reloads its row there.
    EXPECT_TRUE(view.calls.contains(QString("locateMediaFileToMilliseconds:%1").arg(w("W2")->start)));
    EXPECT_TRUE(view.calls.contains(QString("reloadRowForWordStartTime:%1").arg(w("W2")->start)));
}

TEST_F(Paragraphs, RemovingABreakIsUndoneWithoutMovingThePlayer)
{
    addRange("Ann");
    addWords("one two");
    w("W2")->newParagraph = true;
    open();
    const auto before = transcript();
    view.take();
    editing.paragraphs.deleteParagraphForWord(w("W2"));
    EXPECT_EQ(view.take(), QStringList{QString("reloadRowForWordStartTime:%1").arg(w("W2")->start)});
    settle();
    EXPECT_EQ(ad.undoManager->undoActionName(), "Delete Paragraph Break");
    undo();
    EXPECT_TRUE(w("W2")->newParagraph);
    EXPECT_FALSE(view.calls.join(' ').contains("locateMediaFileToMilliseconds"));
    view.take();
    redo();
    EXPECT_TRUE(view.calls.contains(QString("locateMediaFileToMilliseconds:%1").arg(w("W2")->start)));
    undo();
    EXPECT_TRUE(transcript() == before);
}

TEST_F(Paragraphs, ABreakThatIsAlreadyThereOrAbsentIsLeftAlone)
{
    addRange("Ann");
    addWords("one two");
    w("W2")->newParagraph = true;
    open();
    editing.paragraphs.addNewParagraphForWord(w("W2"));
    editing.paragraphs.deleteParagraphForWord(w("W1"));
    editing.paragraphs.addNewParagraphForWord(nullptr);
    settle();
    // An undo step here would remove the break the word had before.
    EXPECT_FALSE(ad.undoManager->canUndo());
    EXPECT_TRUE(w("W2")->newParagraph);
}

using Favorites = EditingFixture;

TEST_F(Favorites, ToggleSetsOrClearsAllAndUndoRestoresTheMix)
{
    addRange("Ann");
    addWords("one two three");
    w("W1")->favorite = true;
    open();
    const auto before = transcript();
    editing.favorites.toggleFavoriteForSelectedWords(set({"W1", "W2"}), -1);
    EXPECT_TRUE(w("W1")->favorite && w("W2")->favorite);
    EXPECT_TRUE(stored("words/W2/favorite").toBool());
    settle();
    EXPECT_EQ(ad.undoManager->undoActionName(), "Add Favorite Range");
    expectUndoRedoRoundTrip(before, "one two three");
    EXPECT_EQ(ad.undoManager->undoActionName(), "Add Favorite Range");

    editing.favorites.toggleFavoriteForSelectedWords(set({"W1", "W2"}), -1);
    EXPECT_FALSE(w("W1")->favorite || w("W2")->favorite);
    settle();
    EXPECT_EQ(ad.undoManager->undoActionName(), "Remove Favorite Range");
    undo();
    EXPECT_TRUE(w("W1")->favorite && w("W2")->favorite);
}

TEST_F(Favorites, CleanUpsAskFirstAndCannotBeUndone)
{
    addRange("Ann");
    addWords("done. The end. TV A I what? e.g.");
    w("W2")->favorite = true;
    open();
    editing.caseCommands.editWordsToUppercaseAll(set({"W1"}), true);
    settle();
    ASSERT_TRUE(ad.undoManager->canUndo());

    alerts.script(qv::kAlertFirstButtonReturn + 1);  // Cancel
    editing.favorites.removeFavoriteRanges();
    settle();
    EXPECT_TRUE(w("W2")->favorite);

    editing.favorites.removeFavoriteRanges();
    settle();
    EXPECT_FALSE(stored("words/W2/favorite").toBool());
    const auto& alert = alerts.shownAlerts().back();
    EXPECT_EQ(alert.messageText, "Are you sure you want to remove all favorite ranges on this file?");
    EXPECT_EQ(alert.informativeText, "You cannot undo this action.");
    EXPECT_EQ(alert.buttons, (QStringList{"Remove", "Cancel"}));
    // Older steps would act on records the clean-up rewrote.
    EXPECT_FALSE(ad.undoManager->canUndo());
    EXPECT_TRUE(view.calls.contains("reloadTranscriptTable"));

    editing.favorites.removePunctuation();
    settle();
    // Only a removed final stop lowers the next word, and never "I", "TV" or a one-letter word.
    EXPECT_EQ(text(), "DONE the end TV A I what? e.g");
    EXPECT_EQ(stored("words/W2/name").toString(), "the");
    EXPECT_EQ(stored("words/W8/name").toString(), "e.g");
}

TEST_F(Favorites, ViewOnlyRefusesEveryWrite)
{
    addRange("Ann");
    addWords("one two");
    open();
    ad.isViewingOnly = true;
    ad.currentWord = w("W1");
    const auto before = transcript();
    editing.favorites.buttonPressedToggleFavorite();
    editing.favorites.removePunctuation();
    settle();
    EXPECT_EQ(alerts.beepCount(), 2);
    EXPECT_TRUE(alerts.shownAlerts().empty());
    EXPECT_TRUE(transcript() == before);
}

TEST_F(Favorites, ACleanUpConfirmedAfterTheEditRightWentElsewhereWritesNothing)
{
    addRange("Ann");
    addWords("done. The");
    w("W1")->favorite = true;
    open();
    const auto before = transcript();
    alerts.setHoldUnscripted(true);
    for (auto cleanUp : {&FavoriteCommands::removeFavoriteRanges, &FavoriteCommands::removePunctuation}) {
        ad.isViewingOnly = false;
        (editing.favorites.*cleanUp)();
        settle();
        ASSERT_TRUE(alerts.hasOpenAlert());
        // Another computer takes the edit right while the sheet is open.
        ad.isViewingOnly = true;
        alerts.answerOpenAlert(qv::kAlertFirstButtonReturn);
        settle();
    }
    EXPECT_EQ(alerts.beepCount(), 2);
    EXPECT_TRUE(w("W1")->favorite);
    EXPECT_EQ(text(), "done. The");
    EXPECT_TRUE(transcript() == before) << describe(transcript());
}

}  // namespace
