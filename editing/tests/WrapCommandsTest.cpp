#include "EditingFixture.h"

namespace {

class Wrap : public EditingFixture {
protected:
    QString wrap(WrapCommands::Kind kind, const QString& language, const QString& words, const QStringList& selected)
    {
        reset();
        addRange("Ann");
        addWords(words);
        open(language);
        editing.wrap.wrapWords(kind, set(selected));
        return text();
    }
};

TEST_F(Wrap, MarksFollowTheLanguageAndTheLastWordsEnding)
{
    using K = WrapCommands::Kind;
    struct Row {
        K kind;
        const char* language;
        QString words;
        QStringList selected;
        QString expected;
    };
    const QString nbsp(QChar(0x00A0));
    const Row rows[] = {
        {K::DoubleQuotes, "en-US", "word", {"W1"}, "\u201Cword\u201D"},
        {K::DoubleQuotes, "fr", "mot", {"W1"}, "\u00AB" + nbsp + "mot" + nbsp + "\u00BB"},
        {K::DoubleQuotes, "de", "Wort", {"W1"}, "\u00BBWort\u00AB"},
        {K::SingleQuotes, "en-GB", "word", {"W1"}, "\u2018word\u2019"},
        {K::DoubleQuotes, "en-US", "the end~\u2014", {"W1", "W2"}, "\u201Cthe end\u201D \u2014"},
        {K::DoubleQuotes, "en-US", "\u2014", {"W1"}, "\u201C\u2014\u201D"},  // a dash alone keeps its mark
        {K::Parentheses, "en-US", "end~\u2014", {"W1"}, "(end \u2014)"},
        {K::Parentheses, "en-US", "word.", {"W1"}, "(word.)"},
        {K::DoubleQuotes, "es", "hola.", {"W1"}, "\u201Chola\u201D."},
        {K::DoubleQuotes, "en-US", "hola.", {"W1"}, "\u201Chola.\u201D"},
        {K::SquareBrackets, "en-US", "a b c", {"W1", "W3"}, "[a b c]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.words.toStdString());
        EXPECT_EQ(wrap(row.kind, row.language, row.words, row.selected), row.expected);
    }
}

TEST_F(Wrap, InvertedMarksReplaceTheEndingAndCapitaliseTheNextWord)
{
    using K = WrapCommands::Kind;
    struct Row {
        K kind;
        QString words;
        QString expected;
    };
    const Row rows[] = {
        {K::ExclamationMarks, "\u00BFqu\u00E9 siguiente", "\u00A1qu\u00E9! Siguiente"},
        {K::ExclamationMarks, "hola, siguiente", "\u00A1hola! Siguiente"},
        {K::ExclamationMarks, "hola. siguiente", "\u00A1hola! siguiente"},
        {K::QuestionMarks, "hola~\u2014 siguiente", "\u00BFhola? siguiente"},
        // Already ending in the closing mark: kept, and the wrap completes like any other.
        {K::QuestionMarks, "hola? siguiente", "\u00BFhola? siguiente"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.words.toStdString());
        const auto before = [&] {
            reset();
            addRange("Ann");
            addWords(row.words);
            open("es");
            return transcript();
        }();
        editing.wrap.wrapWords(row.kind, set({"W1"}));
        EXPECT_EQ(text(), row.expected);
        settle();
        EXPECT_TRUE(ad.undoManager->canUndo());
        expectUndoRedoRoundTrip(before, QString(row.words).replace('~', ' '));
    }
}

TEST_F(Wrap, OnlyFirstAndLastChangeAndUndoSeeksToTheFirst)
{
    addRange("Ann");
    addWords("one two three");
    open();
    ad.selectionWordStart = w("W1");
    ad.selectionWordEnd = w("W3");
    const auto before = transcript();
    editing.wrap.wrapWords(WrapCommands::Kind::DoubleQuotes, set({"W1", "W2", "W3"}));
    EXPECT_EQ(text(), "\u201Cone two three\u201D");
    EXPECT_EQ(ad.selectionWordStart, nullptr);
    settle();
    EXPECT_EQ(ad.undoManager->undoActionName(), "Wrap in Double Quotes");
    view.take();
    expectUndoRedoRoundTrip(before, "one two three");
    EXPECT_TRUE(view.calls.contains("locateMediaFileToWord:one"));
}

}  // namespace
