#include "EditingFixture.h"

namespace {

class Case : public EditingFixture {
protected:
    QStringList names() const
    {
        QStringList result;
        for (const auto& word : ad.words)
            result << word->name();
        return result;
    }
};

TEST_F(Case, LowercaseSparesTheEnglishIOnly)
{
    struct Row {
        const char* language;
        QString words;
        QString expected;
    };
    const Row rows[] = {
        {"en-US", "I I'm I, NASA", "I i'm i, nasa"},
        {"fr", "I Paris", "i paris"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.language);
        reset();
        addRange("Ann");
        addWords(row.words);
        open(row.language);
        QStringList all;
        for (const auto& word : ad.words)
            all << word->uuid;
        const auto before = transcript();
        editing.caseCommands.editWordsToLowercase(set(all), true);
        EXPECT_EQ(text(), row.expected);
        EXPECT_EQ(stored("words/" + all.last()).child("name").toString(), row.expected.split(' ').last().toStdString());
        expectUndoRedoRoundTrip(before, row.words);
        EXPECT_EQ(ad.undoManager->undoActionName(), "Lowercase All");
    }
}

TEST_F(Case, UppercaseFirstKeepsTheLeadInAndLowersTheRest)
{
    const std::pair<QString, std::optional<QString>> rows[] = {
        {"hello", "Hello"}, {"\u201Chello", "\u201CHello"}, {"NASA", "Nasa"}, {"iPhone", "Iphone"},
        {"a", "A"},         {"9am", std::nullopt},          {"Hello", std::nullopt}, {"...", std::nullopt},
    };
    for (const auto& [name, expected] : rows)
        EXPECT_EQ(CaseCommands::uppercaseFirst(name), expected) << name.toStdString();
}

TEST_F(Case, CommandsThatChangeNothingRegisterNothingButUppercaseAll)
{
    addRange("Ann");
    addWords("I hello");
    open();
    services.calls.clear();
    editing.caseCommands.editWordsToLowercase(set({"W1"}), true);
    EXPECT_FALSE(editing.caseCommands.editWordsToUppercaseFirst(set({"W1"}), true));
    settle();
    EXPECT_FALSE(ad.undoManager->canUndo());
    EXPECT_EQ(services.count("updateCurrentFileTimestamp"), 0);
    EXPECT_TRUE(editing.caseCommands.canLowercaseWords(set({"W1"})));

    editing.caseCommands.editWordsToUppercaseAll({}, true);
    settle();
    EXPECT_EQ(ad.undoManager->undoActionName(), "Uppercase All");
    EXPECT_EQ(services.count("updateCurrentFileTimestamp"), 1);
    // Its undo and redo have no first word to show.
    view.take();
    undo();
    redo();
    EXPECT_FALSE(view.calls.contains("locateMediaFileToWord:none")) << view.calls.join(' ').toStdString();
}

TEST_F(Case, UndoRestoresOnlyTheChangedWordsAndSeeksToTheFirst)
{
    addRange("Ann");
    addWords("Hello world Again");
    open();
    editing.caseCommands.editWordsToUppercaseAll(set({"W1", "W2", "W3"}), true);
    settle();
    EXPECT_EQ(text(), "HELLO WORLD AGAIN");
    view.take();
    // Another computer changes a word the command did not need to restore: undo leaves it.
    editing.caseCommands.editWordsToLowercase(set({"W2"}), true);
    settle();
    otherComputer.reference("transcripts/T/words/W1/name").setValue("Changed");
    settle();
    view.take();
    undo();
    EXPECT_EQ(stored("words/W1/name").toString(), "Changed");
    EXPECT_EQ(w("W2")->name(), "WORLD");
    EXPECT_TRUE(view.calls.contains("locateMediaFileToWord:WORLD"));
}

TEST_F(Case, ASubStepJoinsTheCallersUndoStepWithoutReloading)
{
    addRange("Ann");
    addWords("word. next");
    open();
    view.take();
    EXPECT_TRUE(editing.caseCommands.editWordsToUppercaseFirst(set({"W2"}), false));
    EXPECT_TRUE(view.calls.isEmpty());
    editing.punctuation.editWordsWithPunctuation(set({"W1"}), ",");
    settle();
    undo();
    EXPECT_EQ(text(), "word. next");
    EXPECT_FALSE(ad.undoManager->canUndo());
}

TEST_F(Case, CanLowercaseWordAsksAboutTheWordAfterARemovedStop)
{
    addRange("Ann");
    addWords("USA I A Paris");
    open("en-GB");
    EXPECT_FALSE(editing.caseCommands.canLowercaseWord(w("W1")));
    EXPECT_FALSE(editing.caseCommands.canLowercaseWord(w("W2")));
    EXPECT_TRUE(editing.caseCommands.canLowercaseWord(w("W3")));
    EXPECT_TRUE(editing.caseCommands.canLowercaseWord(w("W4")));
    EXPECT_FALSE(editing.caseCommands.canLowercaseWord(nullptr));
    ad.currentFile->language = "de";
    EXPECT_TRUE(editing.caseCommands.canLowercaseWord(w("W2")));
}

}  // namespace
