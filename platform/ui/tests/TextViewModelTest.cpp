#include "platform/ui/TextViewModel.h"

#include <gtest/gtest.h>

#include <functional>

namespace qv {
namespace {

// A model with an edit window [lower, length - upper) and hooks in the shape the transcript
// text view gives them: changes only inside the window, selections clamped into it.
class Windowed : public ::testing::Test {
protected:
    Windowed()
    {
        model.setString("0123456789abcdefg");
        model.setEditable(true);
        model.setCharacterLocks(5, 5);  // window [5, 12)
        model.setShouldChangeText([this](TextRange range, const QString& replacement) {
            asked.push_back(replacement);
            const TextRange window = model.editWindow();
            return range.location >= window.location && range.location + range.length <= window.location + window.length;
        });
    }

    TextViewModel model;
    std::vector<QString> asked;
};

TEST_F(Windowed, ChangesPassTheHookAndRefusedOnesChangeNothing)
{
    EXPECT_FALSE(model.insertText("X", {2, 1}));
    EXPECT_EQ(model.string(), "0123456789abcdefg");
    EXPECT_TRUE(model.insertText("XY", {6, 2}));
    EXPECT_EQ(model.string(), "012345XY89abcdefg");
    EXPECT_EQ(model.selectedRange(), (TextRange{8, 0}));
    EXPECT_EQ(asked, (std::vector<QString>{"X", "XY"}));
    // The upper lock counts from the end, so the window follows a change of length.
    EXPECT_TRUE(model.insertText("ZZZ", {7, 0}));
    EXPECT_EQ(model.editWindow(), (TextRange{5, 10}));

    model.setEditable(false);
    EXPECT_FALSE(model.insertText("Q", {6, 0}));
    EXPECT_FALSE(model.insertText("Q", {40, 0}));
}

TEST_F(Windowed, SelectionHooksClampAndReport)
{
    int reports = 0;
    model.setDidChangeSelection([&] { ++reports; });
    model.setWillChangeSelection([this](TextRange, TextRange proposed) {
        const TextRange window = model.editWindow();
        const qsizetype start = std::clamp(proposed.location, window.location, window.location + window.length);
        const qsizetype end = std::clamp(proposed.location + proposed.length, start, window.location + window.length);
        return TextRange{start, end - start};
    });
    model.setSelectedRange({0, 100});
    EXPECT_EQ(model.selectedRange(), (TextRange{5, 7}));
    model.setSelectedRange({0, 100});
    EXPECT_EQ(reports, 1);  // no move, no report
    model.selectAll();
    EXPECT_EQ(model.selectedRange(), (TextRange{5, 7}));
    model.setCharacterLocks(-1, 3);
    EXPECT_FALSE(model.hasEditWindow());
    model.setWillChangeSelection({});
    model.selectAll();
    EXPECT_EQ(model.selectedRange(), (TextRange{0, 17}));
}

TEST(TextViewModel, AttributeRunsFollowEditsAndTemporaryColoursStayApart)
{
    TextViewModel model;
    model.setString("hello world");
    model.setForeground({0, 5}, QColor(Qt::red));
    model.setBackground({3, 5}, QColor(Qt::yellow));
    auto runs = model.attributeRuns();
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].range, (TextRange{0, 3}));
    EXPECT_EQ(runs[1].range, (TextRange{3, 2}));
    EXPECT_EQ(runs[1].attributes.foreground, QColor(Qt::red));
    EXPECT_EQ(runs[1].attributes.background, QColor(Qt::yellow));

    // A programmatic replacement takes the attributes of the first replaced character.
    model.replaceCharacters({0, 1}, "HH");
    EXPECT_EQ(model.attributesAt(1).foreground, QColor(Qt::red));
    EXPECT_EQ(model.attributeRuns().front().range, (TextRange{0, 4}));
    EXPECT_EQ(model.attributeRuns().at(1).range, (TextRange{4, 2}));
    // Typed text takes the typing attributes.
    model.setEditable(true);
    model.setTypingAttributes({QColor(Qt::blue), std::nullopt, std::nullopt});
    model.insertText("!", {model.length(), 0});
    EXPECT_EQ(model.attributesAt(model.length() - 1).foreground, QColor(Qt::blue));
    EXPECT_EQ(model.attributeRuns().back().range, (TextRange{model.length() - 1, 1}));
    model.setBackground({0, model.length()}, std::nullopt);
    EXPECT_EQ(model.attributeRuns().front().range, (TextRange{0, 6}));
    EXPECT_EQ(model.attributeRuns().at(1).range, (TextRange{6, 6}));

    model.setTemporaryForeground({0, 2}, QColor(Qt::green));
    EXPECT_EQ(model.temporaryForegroundAt(1), QColor(Qt::green));
    EXPECT_EQ(model.attributesAt(1).foreground, QColor(Qt::red));
    model.removeTemporaryForeground({0, 2});
    EXPECT_FALSE(model.temporaryForegroundAt(1).has_value());
    model.setTemporaryForeground({0, 200}, QColor(Qt::green));  // outside the text: ignored
    EXPECT_FALSE(model.temporaryForegroundAt(0).has_value());
}

// The temporary colours, kept as runs, follow every edit as a colour per character would: the
// characters after a change keep theirs, new characters have none, and the runs stay in order,
// apart, and one per stretch of a colour.
TEST(TextViewModel, TemporaryColoursFollowEditsAsEachCharacterWould)
{
    TextViewModel model;
    model.setString("the harvest came in late that year");
    model.setEditable(true);
    std::vector<std::optional<QColor>> expected(static_cast<std::size_t>(model.length()));
    const QColor green(Qt::green);
    const QColor blue(Qt::blue);
    auto colour = [&](TextRange range, const std::optional<QColor>& c) {
        if (c)
            model.setTemporaryForeground(range, *c);
        else
            model.removeTemporaryForeground(range);
        std::fill_n(expected.begin() + range.location, range.length, c);
    };
    auto replace = [&](TextRange range, const QString& text) {
        model.replaceCharacters(range, text);
        const auto at = expected.begin() + range.location;
        expected.erase(at, at + range.length);
        expected.insert(expected.begin() + range.location, static_cast<std::size_t>(text.size()), std::nullopt);
    };
    const struct {
        const char* what;
        std::function<void()> step;
    } steps[] = {
        {"a word coloured", [&] { colour({4, 7}, green); }},
        {"text typed before it", [&] { replace({0, 0}, QStringLiteral("so ")); }},
        {"a letter typed inside it", [&] { replace({10, 0}, QStringLiteral("x")); }},
        {"a replacement across its start", [&] { replace({5, 4}, QStringLiteral("ab")); }},
        {"the next word in the same colour, touching", [&] { colour({14, 5}, green); }},
        {"another colour inside", [&] { colour({15, 2}, blue); }},
        {"part of it taken off", [&] { colour({8, 3}, std::nullopt); }},
        {"the coloured text deleted", [&] { replace({6, 10}, QString()); }},
        {"a run after one of its colour", [&] { colour({0, 2}, green), colour({2, 2}, green); }},
        {"a run before one of its colour", [&] { colour({6, 2}, blue), colour({4, 2}, blue); }},
        {"all of it coloured at once", [&] { colour({0, model.length()}, blue); }},
    };
    for (const auto& [what, step] : steps) {
        step();
        ASSERT_EQ(static_cast<qsizetype>(expected.size()), model.length()) << what;
        for (qsizetype i = 0; i < model.length(); ++i)
            ASSERT_EQ(model.temporaryForegroundAt(i), expected[static_cast<std::size_t>(i)]) << what << ", character " << i;
        const ColorRun* previous = nullptr;
        for (const ColorRun& run : model.temporaryForegroundRuns()) {
            EXPECT_GT(run.range.length, 0) << what;
            if (previous) {
                const qsizetype end = previous->range.location + previous->range.length;
                EXPECT_GE(run.range.location, end) << what;
                EXPECT_FALSE(run.range.location == end && run.color == previous->color) << what << ": two runs of a stretch";
            }
            previous = &run;
        }
    }
    EXPECT_EQ(model.temporaryForegroundRuns().size(), 1u);
    model.setString("new text");
    EXPECT_TRUE(model.temporaryForegroundRuns().empty());
}

TEST(TextViewModel, TheProcessingHookSeesEachEditOnceAndMayDeleteCharacters)
{
    TextViewModel model;
    model.setString("a  b");
    model.setEditable(true);
    std::vector<std::pair<TextRange, qsizetype>> seen;
    // Removes the first character of an inserted pair when it doubles a blank before it.
    model.setWillProcessEditing([&](TextRange edited, qsizetype change) {
        seen.emplace_back(edited, change);
        if (edited.length == 2 && edited.location > 0 && model.string()[edited.location - 1] == ' ' &&
            model.string()[edited.location] == ' ')
            model.deleteCharactersWhileProcessing({edited.location, 1});
    });
    EXPECT_TRUE(model.insertText(" ;", {2, 0}));
    EXPECT_EQ(model.string(), "a ; b");
    EXPECT_EQ(model.selectedRange(), (TextRange{3, 0}));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, (TextRange{2, 2}));
    EXPECT_EQ(seen[0].second, 2);

    // A batch reports once, over everything it touched.
    seen.clear();
    model.beginEditing();
    model.replaceCharacters({0, 1}, "AA");
    model.replaceCharacters({5, 1}, "BB");
    model.endEditing();
    EXPECT_EQ(model.string(), "AA ; BB");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, (TextRange{0, 7}));
    EXPECT_EQ(seen[0].second, 2);
    // Outside the hook nothing may be deleted behind the view's back.
    model.deleteCharactersWhileProcessing({0, 1});
    EXPECT_EQ(model.string(), "AA ; BB");
}

}  // namespace
}  // namespace qv
