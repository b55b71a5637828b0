#include "EditingFixture.h"

#include "platform/ui/TextViewModel.h"

namespace {

class Tokenizing : public EditingFixture {
protected:
    // An inline edit of `selected` whose typed words are `typed` (one working word each, the
    // selected words reused first), with the row's edit window set.
    std::optional<ProcessedEdit> process(const QStringList& selected, const QStringList& typed)
    {
        ad.selectionWordStart = w(selected.first());
        ad.selectionWordEnd = w(selected.last());
        ad.currentWord = w(selected.first());
        QStringList original;
        for (const QString& uuid : selected)
            original << w(uuid)->name();
        ad.editingTextOriginal = original.join(' ');
        ad.editingText = typed.join(' ');
        ad.wordsEditing.clear();
        for (qsizetype i = 0; i < typed.size(); ++i) {
            auto word = i < selected.size() ? w(selected[i]) : std::make_shared<QVWord>();
            word->namePending = typed[i];
            ad.wordsEditing.add(word);
        }
        textView.setString(ad.editingTextOriginal);
        textView.setCharacterLocks(0, 0);
        return editing.tokenizer.processEditedWords(&textView);
    }
    static QStringList pending(const QVOrderedSet<QVWord>& words)
    {
        QStringList texts;
        for (const auto& word : words)
            texts << word->namePending;
        return texts;
    }

    qv::TextViewModel textView;
};

TEST_F(Tokenizing, DashesAreNormalised)
{
    addRange("Ann");
    addWords("one two three four");
    open();
    struct Case {
        QStringList typed;
        QStringList expected;
    };
    const Case cases[] = {
        {{"well--yes"}, {"well\u2014yes"}},            // a doubled hyphen is an em dash
        {{"well-", "yes"}, {"well \u2014", "yes"}},     // glued to the end: a spaced em dash
        {{"-well", "yes"}, {"\u2014well", "yes"}},      // glued to the start of the first token
        {{"well", "-yes"}, {"well \u2014", "yes"}},     // glued to a later token: moved to the word before
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.join(' ').toStdString());
        const auto result = process({"W2", "W3"}, c.typed);
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->shape, ProcessedEdit::Shape::Success);
        EXPECT_EQ(pending(result->editedWords), c.expected);
    }
}

TEST_F(Tokenizing, GermanKeepsADashGluedToTheEnd)
{
    addRange("Ann");
    addWords("eins zwei");
    open("de");
    const auto result = process({"W2"}, {"zwei-"});
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(pending(result->editedWords), QStringList{"zwei-"});
}

TEST_F(Tokenizing, FrenchMarksGetTheirNoBreakSpaces)
{
    addRange("Ann");
    addWords("un deux trois");
    open("fr");
    auto result = process({"W2", "W3"}, {"deux", "?"});
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(pending(result->editedWords), QStringList{"deux\u00A0?"});

    result = process({"W2", "W3"}, {"\u00AB", "deux"});
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(pending(result->editedWords), QStringList{"\u00AB\u00A0deux"});
}

TEST_F(Tokenizing, ALoneStopFirstGoesToTheWordBeforeKeepingItsOpeningQuote)
{
    addRange("Ann");
    addWords("\u201CHello, there friend");
    open();
    const auto result = process({"W2", "W3"}, {".", "There", "friend"});
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->selectionExtendedToPreviousWord);
    EXPECT_EQ(result->selectedWords.first(), w("W1"));
    EXPECT_EQ(result->selectedWords.size(), 3u);
    EXPECT_EQ(pending(result->editedWords), (QStringList{"\u201CHello.", "There", "friend"}));
    EXPECT_TRUE(w("W1")->lockTiming);
}

TEST_F(Tokenizing, ALoneStopFirstAtTheStartOfTheTranscriptIsDropped)
{
    addRange("Ann");
    addWords("hello there");
    open();
    const auto result = process({"W1"}, {".", "Hello"});
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(result->selectionExtendedToPreviousWord);
    EXPECT_EQ(pending(result->editedWords), QStringList{"Hello"});
}

TEST_F(Tokenizing, DeletedTextSucceedsWithNoWordsAndStateErrorsAreShaped)
{
    addRange("Ann");
    addWords("hello there");
    open();
    auto result = process({"W2"}, {});
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->shape, ProcessedEdit::Shape::Success);
    EXPECT_TRUE(result->editedWords.empty());

    result = process({"W2"}, {"there"});
    EXPECT_EQ(result->shape, ProcessedEdit::Shape::NoChange);

    textView.setCharacterLocks(-1, -1);
    result = editing.tokenizer.processEditedWords(&textView);
    EXPECT_EQ(result->shape, ProcessedEdit::Shape::Failure);
    EXPECT_TRUE(ad.debugCharacterEditing.contains("error returned in processEditedWords due to state"));
    EXPECT_EQ(editing.tokenizer.processEditedWords(nullptr)->shape, ProcessedEdit::Shape::Failure);
}

TEST_F(Tokenizing, WordsThatDoNotMatchTheEditedTextFailTheCheck)
{
    addRange("Ann");
    addWords("hello there");
    open();
    ad.selectionWordStart = ad.selectionWordEnd = nullptr;
    ad.currentWord = w("W2");
    ad.editingTextOriginal = "there";
    ad.editingText = "where now";
    ad.wordsEditing.clear();
    w("W2")->namePending = "where";
    ad.wordsEditing.add(w("W2"));
    textView.setCharacterLocks(0, 0);
    EXPECT_FALSE(editing.tokenizer.processEditedWords(&textView).has_value());
    EXPECT_TRUE(ad.debugCharacterEditing.contains("combinedFromEditedString = wherenow"));
    EXPECT_TRUE(ad.debugCharacterEditing.contains("combinedFromEditedWords = where"));
}

TEST_F(Tokenizing, AStringReplacesWordsPositionByPosition)
{
    addRange("Ann");
    addWords("one two three");
    addRange("Bo");
    addWords("four five", 300, 3000);
    open();
    ad.currentSpeakerRangeIndex = 1;
    editing.editWords(set({"W4", "W5"}), "Four. Five six");
    EXPECT_EQ(text(), "one two three Four. Five six");
    EXPECT_EQ(w("W4")->status, 2);
    EXPECT_EQ(w("W5")->status, 2);
    const auto added = ad.words.last();
    EXPECT_EQ(added->name(), "six");
    EXPECT_EQ(added->status, 3);
    EXPECT_EQ(added->speakerRange, ad.speakerRanges.at(1));
}

TEST_F(Tokenizing, AStringStartingWithAMarkExtendsToTheWordBefore)
{
    addRange("Ann");
    addWords("one two three", 300, 1000);
    open();
    ad.currentSpeakerRangeIndex = 0;
    const auto before = transcript();
    editing.editWords(set({"W2"}), ". Two");
    EXPECT_EQ(text(), "one. Two three");
    expectUndoRedoRoundTrip(before, "one two three");
}

TEST_F(Tokenizing, NothingHappensWithoutWordsOrACurrentRange)
{
    addRange("Ann");
    addWords("one two");
    open();
    const auto before = transcript();
    editing.editWords({}, "x");
    ad.currentSpeakerRangeIndex = 5;
    editing.editWords(set({"W1"}), "x");
    settle();
    EXPECT_TRUE(transcript() == before);
    EXPECT_EQ(text(), "one two");
}

}  // namespace
