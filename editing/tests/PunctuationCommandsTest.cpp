#include "EditingFixture.h"

namespace {

class Punctuation : public EditingFixture {
protected:
    // Puts `mark` on the first of two words of one range and answers both texts.
    QString mark(const QString& language, const QString& words, const QString& mark)
    {
        reset();
        addRange("Ann");
        addWords(words);
        open(language);
        editing.punctuation.editWordsWithPunctuation(set({"W1"}), mark);
        return text();
    }
};

TEST_F(Punctuation, OneMarkOnOneWordFollowsTheLanguageRules)
{
    struct Row {
        const char* language;
        QString words;
        QString mark;
        QString expected;
    };
    const QString nbsp(QChar(0x00A0));
    const Row rows[] = {
        {"en-US", "word. Next", ",", "word, next"},             // a removed stop lowers the next word
        {"en-US", "word. I", ",", "word, I"},                   // ... but not the English "I"
        {"en-US", "word, next", ".", "word. Next"},             // a new stop capitalises it
        {"en-US", "word.\u201D Next", "?", "word?\u201D Next"},  // the replaced mark is not the last
        {"en-US", "word\u201D next", ".", "word.\u201D next"},   // before closing quotes
        {"en-US", "word next", "-", "word \u2014 next"},
        {"en-US", "word. Next", "\u2013", "word \u2014 next"},
        {"en-US", "word.\u201D Next", "\u2014", "word.\u201D \u2014 Next"},
        {"en-US", "$5, more", ".", "$5. More"},                  // a leading symbol is kept once
        {"fr", "mot suite", "?", "mot" + nbsp + "? Suite"},
        {"fr", "mot" + nbsp + "! Suite", "?", "mot" + nbsp + "? Suite"},
        {"de", "Wort weiter", "\u2026", "Wort \u2026 weiter"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE((row.words + " + " + row.mark).toStdString());
        EXPECT_EQ(mark(row.language, row.words, row.mark), row.expected);
        EXPECT_EQ(QString::fromStdString(stored("words/W1/name").toString()), row.expected.section(' ', 0, -2));
    }
}

TEST_F(Punctuation, RefusedMarksBeepAndChangeNothing)
{
    const std::pair<QString, QString> rows[] = {
        {"word~\u2014", "-"},
        {"word\u201D", ";"},
        {"word\u201D", ":"},
    };
    for (const auto& [word, refused] : rows) {
        SCOPED_TRACE((word + " + " + refused).toStdString());
        const int beeps = alerts.beepCount();
        view.take();
        EXPECT_EQ(mark("en-US", word + " next", refused), QString(word).replace('~', ' ') + " next");
        settle();
        EXPECT_EQ(alerts.beepCount(), beeps + 1);
        EXPECT_FALSE(ad.undoManager->canUndo());
        EXPECT_FALSE(view.calls.contains("resumePlayback"));
    }
}

TEST_F(Punctuation, UndoAndRedoGiveTheSameTextsInMemoryAndStored)
{
    const QString nbsp(QChar(0x00A0));
    reset();
    addRange("Ann");
    addWords("mot" + nbsp + "! suite");
    open("fr");
    const auto before = transcript();
    editing.punctuation.editWordsWithPunctuation(set({"W1"}), "?");
    EXPECT_EQ(text(), "mot" + nbsp + "? suite");
    settle();
    EXPECT_EQ(ad.undoManager->undoActionName(), "Edit Punctuation");
    expectUndoRedoRoundTrip(before, "mot" + nbsp + "! suite");
}

TEST_F(Punctuation, SeveralWordsAreJoinedByAHyphenOrLeftAlone)
{
    addRange("Ann");
    addWords("well known fact");
    open();
    editing.punctuation.editWordsWithPunctuation(set({"W1", "W2"}), ",");
    EXPECT_EQ(text(), "well known fact");
    editing.punctuation.editWordsWithPunctuation(set({"W1", "W2"}), "-");
    EXPECT_EQ(text(), "well-known fact");
    editing.punctuation.editWordsWithPunctuation(set({"W3"}), "(");
    EXPECT_EQ(text(), "well-known (fact)");
}

TEST_F(Punctuation, ANextWordInAnotherRangeIsNeverChanged)
{
    addRange("Ann");
    addWords("word.");
    addRange("Bo");
    addWords("Next");
    open();
    editing.punctuation.editWordsWithPunctuation(set({"W1"}), ",");
    EXPECT_EQ(text(), "word, Next");
}

TEST_F(Punctuation, DeletePunctuationLowersWhatNoLongerFollowsAStop)
{
    struct Row {
        QString words;
        QStringList selected;
        QString expected;
    };
    const Row rows[] = {
        {"Hello. I", {"W1", "W2"}, "Hello i"},   // inside the selection, no exemption
        {"Hello. I", {"W1"}, "Hello I"},         // the next word keeps the English "I"
        {"Hello. Paris", {"W1"}, "Hello paris"},
        {"\u201CHi!\u201D ... there", {"W1", "W2"}, "Hi  there"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.words.toStdString());
        reset();
        addRange("Ann");
        addWords(row.words);
        open();
        const auto before = transcript();
        editing.punctuation.deletePunctuationForWords(set(row.selected));
        EXPECT_EQ(text(), row.expected);
        settle();
        EXPECT_EQ(ad.undoManager->undoActionName(), "Delete Punctuation");
        expectUndoRedoRoundTrip(before, row.words);
    }
}

TEST_F(Punctuation, DeletePunctuationOverCleanWordsRegistersNothing)
{
    addRange("Ann");
    addWords("plain words");
    open();
    editing.punctuation.deletePunctuationForWords(set({"W1", "W2"}));
    settle();
    EXPECT_FALSE(ad.undoManager->canUndo());
}

}  // namespace
