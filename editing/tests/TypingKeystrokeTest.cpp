#include "InlineEditFixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QTest>

namespace {

// One user action in the row's text view. Positions count from the start of the edit window.
struct Step {
    enum Kind { Type, Key, Caret, Select, Compose };
    Kind kind;
    QString text = {};
    Qt::Key key = Qt::Key_unknown;
    qsizetype at = 0;
    qsizetype length = 0;
};

Step type(const QString& text) { return {Step::Type, text}; }
Step key(Qt::Key k) { return {Step::Key, {}, k}; }
Step caret(qsizetype at) { return {Step::Caret, {}, Qt::Key_unknown, at}; }
Step selectRange(qsizetype at, qsizetype length) { return {Step::Select, {}, Qt::Key_unknown, at, length}; }
// Composed text: a dead-key preedit shown while the input method works, then its commit.
Step compose(const QString& commit) { return {Step::Compose, commit}; }

class Typing : public InlineEditFixture {
protected:
    void run(const Step& step)
    {
        switch (step.kind) {
        case Step::Type:
            QTest::keyClicks(&textView, step.text);
            break;
        case Step::Key:
            QTest::keyClick(&textView, step.key);
            break;
        case Step::Caret:
            textView.model().setSelectedRange({lower() + step.at, 0});
            break;
        case Step::Select:
            textView.model().setSelectedRange({lower() + step.at, step.length});
            break;
        case Step::Compose: {
            QInputMethodEvent preedit(QStringLiteral("\u00B4"), {});
            QApplication::sendEvent(&textView, &preedit);
            QInputMethodEvent commit;
            commit.setCommitString(step.text);
            QApplication::sendEvent(&textView, &commit);
            break;
        }
        }
    }
};

TEST_F(Typing, SequencesEndInTheDatabaseAndOneUndoStep)
{
    const struct {
        const char* name;
        const char* words;
        QString first;
        QString last;
        std::vector<Step> steps;
        const char* expected;
        QString changedUuid;  // a word whose stored name is checked
        const char* storedName;
    } cases[] = {
        {"typing inside a word", "alpha bravo charlie", "W2", "W2", {caret(3), type("x")}, "alpha braxvo charlie", "W2",
         "braxvo"},
        {"a blank splits a word", "alpha bravoz charlie", "W2", "W2", {caret(5), type(" ")},
         "alpha bravo z charlie", "W2", "bravo"},
        {"typing across two words", "alpha bravo charlie delta", "W2", "W3", {selectRange(3, 5), type("x")},
         "alpha braxarlie delta", "W2", "braxarlie"},
        {"deleting the blank joins", "alpha bravo charlie", "W2", "W3", {caret(5), key(Qt::Key_Delete)},
         "alpha bravocharlie", "W2", "bravocharlie"},
        {"backspace stops at the window's start", "alpha bravo charlie", "W2", "W2",
         {caret(0), key(Qt::Key_Backspace), type("x")}, "alpha xbravo charlie", "W2", "xbravo"},
        {"deleting past the window's end stays inside", "alpha bravo charlie", "W2", "W2",
         {caret(5), key(Qt::Key_Delete), key(Qt::Key_Backspace)}, "alpha brav charlie", "W2", "brav"},
        {"typing over the whole selection", "alpha bravo charlie delta", "W2", "W3",
         {selectRange(0, 13), type("zulu")}, "alpha zulu delta", {}, nullptr},
        {"a composed accent stays in its word", "alpha cafe charlie", "W2", "W2",
         {selectRange(3, 1), compose("\u00E9")}, "alpha caf\u00E9 charlie", "W2", "caf\u00E9"},
        {"a typed phrase becomes words", "alpha bravo", "W2", "W2", {caret(5), type(" and more")},
         "alpha bravo and more", "W2", "bravo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        addRange("Ann");
        addWords(c.words);
        open();
        const auto before = transcript();
        start(c.first, c.last);
        ASSERT_TRUE(ad.isEditing);
        for (const Step& step : c.steps)
            run(step);
        QTest::keyClick(&textView, Qt::Key_Return);
        settle();
        EXPECT_FALSE(ad.isEditing);
        EXPECT_EQ(text(), QString::fromUtf8(c.expected));
        if (c.storedName) {
            EXPECT_EQ(stored("words/" + c.changedUuid + "/name"), qv::DatabaseValue(c.storedName));
        }
        ASSERT_TRUE(ad.undoManager->canUndo());
        undo();
        EXPECT_EQ(text(), QString::fromUtf8(c.words));
        EXPECT_FALSE(ad.undoManager->canUndo());
        // Words the edit created stay stored as deleted; every word that was there is back.
        for (const qv::DatabaseValue words = before.child("words"); const auto& entry : words.children())
            EXPECT_EQ(describe(stored("words/" + QString::fromStdString(entry.key))), describe(entry.value));
        main.advance(QVTextView::kReturnGuardSeconds);
    }
}

TEST_F(Typing, EscapeCancels)
{
    addRange("Ann");
    addWords("alpha bravo charlie");
    open();
    const auto before = transcript();
    start("W2", "W2");
    QTest::keyClicks(&textView, "xyz");
    QTest::keyClick(&textView, Qt::Key_Escape);
    settle();
    EXPECT_FALSE(ad.isEditing);
    EXPECT_EQ(text(), "alpha bravo charlie");
    EXPECT_EQ(describe(transcript()), describe(before));
    EXPECT_FALSE(ad.undoManager->canUndo());
}

TEST_F(Typing, HeldReturnFinishesOnce)
{
    addRange("Ann");
    addWords("alpha bravo");
    open();
    start("W2", "W2");
    QTest::keyClicks(&textView, "s");
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, {}, true);
    QApplication::sendEvent(&textView, &press);
    settle();
    EXPECT_EQ(text(), "alpha bravos");
    // A new edit at once: the guard still holds Return back.
    start("W1", "W1");
    QTest::keyClicks(&textView, "s");
    QApplication::sendEvent(&textView, &repeat);
    QApplication::sendEvent(&textView, &press);
    EXPECT_TRUE(ad.isEditing);
}

// Text an input method commits in one piece, the way two-character French punctuation and
// longer composed text arrive.
TEST_F(Typing, CommittedTextKeepsTheRowAndTheWordsInStep)
{
    const struct {
        const char* name;
        QString language;
        QString words;
        qsizetype caret;
        QString commit;
        QString row;      // the row right after the commit
        QString result;   // the transcript after Return
    } cases[] = {
        {"a French blank next to a blank is dropped", "fr", "un deux", 3, " ;", "un ;deux", "un ;deux"},
        {"a French blank before a blank is dropped", "fr", "un deux", 2, "; ", "un; deux", "un; deux"},
        {"a French blank between letters stays", "fr", "un deux", 2, " ;", "un ; deux", "un\u00A0; deux"},
        {"other languages keep what was typed", "en-US", "one two", 4, " ;", "one  ;two", "one ;two"},
        {"longer text loses its outer blanks", "en-US", "one two", 3, " xyz ", "onexyz two", "onexyz two"},
        {"two characters are kept as they are", "en-US", "one two", 3, " x", "one x two", "one x two"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        addRange("Ann");
        addWords(c.words);
        open(c.language);
        start("W1", "W2");
        run(caret(c.caret));
        QInputMethodEvent commit;
        commit.setCommitString(c.commit);
        QApplication::sendEvent(&textView, &commit);
        EXPECT_EQ(textView.model().string(), c.row);
        EXPECT_EQ(ad.editingText, c.row.mid(lower(), ad.editingText.size()));
        expectRangesMatchText();
        QTest::keyClick(&textView, Qt::Key_Return);
        settle();
        EXPECT_EQ(text(), c.result);
        main.advance(QVTextView::kReturnGuardSeconds);
    }
}

TEST_F(Typing, TextTypedNextToHighlightedTextIsHighlighted)
{
    addRange("Ann");
    addWords("alpha bravo charlie");
    open();
    start("W1", "W3");
    auto& model = textView.model();
    model.setBackground({6, 5}, QColor(Qt::green));
    const struct {
        qsizetype location;
        qsizetype length;
        bool highlighted;
    } cases[] = {{11, 0, true}, {6, 0, true}, {5, 0, false}, {12, 0, false}, {0, 6, true}, {13, 2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        model.setSelectedRange({c.location, c.length});
        EXPECT_EQ(model.typingAttributes().background.has_value(), c.highlighted);
        EXPECT_EQ(model.typingAttributes().foreground, ad.editingTextColor);
    }
    model.setSelectedRange({11, 0});
    QTest::keyClicks(&textView, "s");
    EXPECT_EQ(model.attributesAt(11).background, QColor(Qt::yellow));
}

TEST_F(Typing, APasteOnTwoLinesKeepsItsWordsApart)
{
    addRange("Ann");
    addWords("alpha bravo");
    open();
    start("W2", "W2");
    QGuiApplication::clipboard()->setText(QStringLiteral("  charlie\ndelta  "));
    QTest::keyClick(&textView, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(textView.model().string(), "alpha bravocharlie delta");
    EXPECT_EQ(pendingTexts(), (QStringList{"bravocharlie", "delta"}));
    QTest::keyClick(&textView, Qt::Key_Return);
    settle();
    EXPECT_EQ(text(), "alpha bravocharlie delta");
}

}  // namespace
