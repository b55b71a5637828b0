#include "transcript-view/tests/TranscriptFixture.h"

#include <QKeyEvent>

namespace qv::transcript::testing {
namespace {

using Refusal = QVTextView::Refusal;

TEST(QVTextViewRulesTest, ChangesInsideTheEditWindow)
{
    // "ab cd efgh ij" with the window [3, 10) over "cd efgh".
    const QString text = "ab cd efgh ij";
    const struct {
        const char* name;
        qsizetype lower;
        qsizetype upper;
        TextRange range;
        const char* replacement;
        Refusal refusal;
    } cases[] = {
        {"no window", -1, -1, {4, 0}, "x", Refusal::Silent},
        {"before the window", 3, 3, {2, 1}, "x", Refusal::Silent},
        {"past the window", 3, 3, {8, 3}, "x", Refusal::Silent},
        {"blank opening the window", 3, 3, {3, 0}, " ", Refusal::Beep},
        {"blank between letters", 3, 3, {4, 0}, " ", Refusal::None},
        {"blank after a blank", 3, 3, {6, 0}, " ", Refusal::Beep},
        {"blank before a blank", 3, 3, {5, 0}, " ", Refusal::Beep},
        {"line feed", 3, 3, {4, 0}, "a\nb", Refusal::Beep},
        {"tab", 3, 3, {4, 0}, "\t", Refusal::Beep},
        {"five words", 3, 3, {4, 1}, "a b c d e", Refusal::None},
        {"six words", 3, 3, {4, 1}, "a b c d e f", Refusal::PasteLimit},
        {"dash later in the row", 3, 3, {4, 0}, "\u2014x", Refusal::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QVTextView::refusalForChange(text, c.lower, c.upper, true, c.range, QString::fromUtf8(c.replacement)),
                  c.refusal)
            << c.name;
    EXPECT_EQ(QVTextView::refusalForChange(text, 0, 3, true, {0, 0}, QString::fromUtf8("\u2014x")), Refusal::Beep);
    EXPECT_EQ(QVTextView::refusalForChange(text, 3, 3, false, {4, 0}, "x"), Refusal::Silent);
}

TEST(QVTextViewRulesTest, SelectionsAreClampedIntoTheWindow)
{
    // The window [5, 12) of a 20-character row.
    const std::pair<TextRange, TextRange> cases[] = {
        {{0, 100}, {5, 7}}, {{2, 4}, {5, 1}}, {{8, 10}, {8, 4}}, {{20, 0}, {12, 0}}, {{6, 3}, {6, 3}}, {{1, 2}, {5, 0}},
    };
    for (const auto& [proposed, clamped] : cases)
        EXPECT_EQ(QVTextView::clampSelection(20, 5, 8, proposed), clamped) << proposed.location << "," << proposed.length;
    EXPECT_EQ(QVTextView::clampSelection(20, -1, -1, {0, 100}), (TextRange{0, 100}));
}

class QVTextViewTest : public TranscriptFixture {};

TEST_F(QVTextViewTest, EditsStayInTheWindowAndReturnIsGuarded)
{
    QVTextView view(ad, main);
    view.model().setString("ab cd efgh ij");
    view.model().setEditable(true);
    view.model().setSelectable(true);
    int beeps = 0;
    int returns = 0;
    view.setBeepHandler([&] { ++beeps; });
    view.setReturnHandler([&] { ++returns; });
    view.model().selectAll();
    EXPECT_FALSE(view.model().insertText("x"));  // no window: refused without a sound
    EXPECT_EQ(beeps, 0);

    view.setCharacterLocks(3, 3);
    ad.currentTextView = &view;
    view.model().selectAll();
    EXPECT_EQ(view.model().selectedRange(), (TextRange{3, 7}));
    view.model().setSelectedRange({4, 0});
    EXPECT_TRUE(view.model().insertText("z"));
    EXPECT_EQ(view.model().string(), "ab czd efgh ij");
    EXPECT_FALSE(view.paste("a b c d e f"));
    EXPECT_EQ(beeps, 1);

    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(&view, &press);
    QApplication::sendEvent(&view, &press);
    QApplication::sendEvent(&view, &repeat);
    EXPECT_EQ(returns, 1);
    main.advance(QVTextView::kReturnGuardSeconds);
    QApplication::sendEvent(&view, &press);
    EXPECT_EQ(returns, 2);
    EXPECT_EQ(view.model().string(), "ab czd efgh ij");
    ad.currentTextView = nullptr;
}

}  // namespace
}  // namespace qv::transcript::testing
