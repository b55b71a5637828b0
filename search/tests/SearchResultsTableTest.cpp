// How the results table cuts an abstract too wide for its cell: on whole words (whole characters
// for a found word too wide alone), a whole "…" at each end that was cut, the found word shown,
// and the bold and colours kept on their words.
#include "search/QVTableViewSearch.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetricsF>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace qv::search {
namespace {

const QString kCutBefore = QStringLiteral("\u2026 ");
const QString kCutAfter = QStringLiteral(" \u2026");

double naturalWidth(const QVTableViewSearch::ShownWords& shown, const QFont& font)
{
    QTextLayout layout(shown.text, font);
    layout.setFormats(shown.formats);
    return QVTableViewSearch::layOutOnOneLine(layout).naturalTextWidth();
}

// The format of `shown` over [at, at + length) that sets `property`, if one covers it whole.
const QTextLayout::FormatRange* formatOver(const QVTableViewSearch::ShownWords& shown, qsizetype at, qsizetype length,
                                           int property)
{
    const QTextLayout::FormatRange* found = nullptr;
    for (const auto& format : shown.formats)
        if (format.start <= at && at + length <= format.start + format.length && format.format.hasProperty(property))
            found = &format;
    return found;
}

bool isWordEdge(const QString& text, qsizetype at)
{
    return at == 0 || at == text.size() || text.at(at) == QLatin1Char(' ') || text.at(at - 1) == QLatin1Char(' ');
}

TEST(SearchResultsTable, AnAbstractTooWideIsCutOnWholeWordsWithAWholeEllipsisAtEachCut)
{
    const QFont font = QVTableViewSearch::cellFont(QApplication::font());
    const QFontMetricsF metrics(font);
    const QColor dimmed(0, 0, 0, 128);
    const struct {
        const char* what;
        QString text;
        QString found;
        // The cell's width in widths of the text's first `widthOf` characters (all: the whole text).
        QString widthOf;
        bool cutBefore;
        bool cutAfter;
    } cases[] = {
        {"it fits", "so the first thing", "first", "so the first thing", false, false},
        {"found in the middle", "one two three four five six footage seven eight nine ten eleven", "footage",
         "five six footage seven eight", true, true},
        {"found first", "footage then so thing and look again whole light", "footage", "footage then so", false, true},
        {"found last", "then so thing and look again whole light footage", "footage", "whole light footage", true, false},
        {"found near the start: no room wasted before it", "so footage then decided to cut the whole interview short",
         "footage", "so footage then decided", false, true},
        {"right to left, found in the middle",
         QStringLiteral("\u05d0\u05d7\u05ea \u05e9\u05ea\u05d9\u05d9\u05dd \u05e9\u05dc\u05d5\u05e9 \u05d0\u05e8\u05d1\u05e2 "
                        "\u05d7\u05de\u05e9 \u05e9\u05e9 \u05e6\u05d9\u05dc\u05d5\u05de\u05d9\u05dd \u05e9\u05d1\u05e2 "
                        "\u05e9\u05de\u05d5\u05e0\u05d4 \u05ea\u05e9\u05e2 \u05e2\u05e9\u05e8"),
         QStringLiteral("\u05e6\u05d9\u05dc\u05d5\u05de\u05d9\u05dd"),
         QStringLiteral("\u05d7\u05de\u05e9 \u05e9\u05e9 \u05e6\u05d9\u05dc\u05d5\u05de\u05d9\u05dd \u05e9\u05d1\u05e2 "
                        "\u05e9\u05de\u05d5\u05e0\u05d4"),
         true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QVTableViewSearch::WordsCell cell;
        cell.text = c.text;
        const qsizetype foundAt = c.text.indexOf(c.found);
        cell.bold = {{foundAt, c.found.size()}};
        // The words after the found one are not heard yet.
        const qsizetype unheard = std::min(foundAt + c.found.size() + 1, c.text.size());
        if (unheard < c.text.size())
            cell.colors = {{{unheard, c.text.size() - unheard}, dimmed}};
        QFont bold = font;
        bold.setBold(true);
        const double width = metrics.horizontalAdvance(c.widthOf) + QFontMetricsF(bold).horizontalAdvance(c.found) -
                             metrics.horizontalAdvance(c.found) + 2;
        const QVTableViewSearch::ShownWords shown = QVTableViewSearch::shownWords(cell, font, width);

        EXPECT_LE(naturalWidth(shown, font), width) << shown.text.toStdString();
        EXPECT_EQ(shown.text.startsWith(kCutBefore), c.cutBefore) << shown.text.toStdString();
        EXPECT_EQ(shown.text.endsWith(kCutAfter), c.cutAfter) << shown.text.toStdString();
        // Between the marks, whole words of the abstract, the found one among them, bold.
        const QString words = shown.text.mid(c.cutBefore ? kCutBefore.size() : 0,
                                             shown.text.size() - (c.cutBefore ? kCutBefore.size() : 0) -
                                                 (c.cutAfter ? kCutAfter.size() : 0));
        const qsizetype from = c.text.indexOf(words);
        ASSERT_GE(from, 0) << words.toStdString();
        EXPECT_TRUE(isWordEdge(c.text, from) && isWordEdge(c.text, from + words.size())) << words.toStdString();
        EXPECT_EQ(from > 0, c.cutBefore);
        EXPECT_EQ(from + words.size() < c.text.size(), c.cutAfter);
        const qsizetype foundShown = shown.text.indexOf(c.found);
        ASSERT_GE(foundShown, 0) << shown.text.toStdString();
        const auto* weight = formatOver(shown, foundShown, c.found.size(), QTextFormat::FontWeight);
        ASSERT_TRUE(weight);
        EXPECT_EQ(weight->format.fontWeight(), QFont::Bold);
        // The found word is drawn as heard; the words after it and the mark beside them dimmed.
        EXPECT_FALSE(formatOver(shown, foundShown, 1, QTextFormat::ForegroundBrush));
        const qsizetype after = foundShown + c.found.size() + 1;
        if (after < shown.text.size()) {
            for (const qsizetype at : {after, shown.text.size() - 1}) {
                const auto* colour = formatOver(shown, at, 1, QTextFormat::ForegroundBrush);
                ASSERT_TRUE(colour) << at;
                EXPECT_EQ(colour->format.foreground().color(), dimmed);
            }
        }
        if (!c.cutBefore && !c.cutAfter) {
            EXPECT_EQ(shown.text, c.text);
        }
    }
}

TEST(SearchResultsTable, AFoundWordTooWideAloneIsCutOnWholeCharacters)
{
    const QFont font = QVTableViewSearch::cellFont(QApplication::font());
    QVTableViewSearch::WordsCell cell;
    // Accents written as combining marks: a letter and its mark are one character.
    cell.text = QStringLiteral("so cafe\u0301cafe\u0301cafe\u0301cafe\u0301cafe\u0301cafe\u0301 then");
    cell.bold = {{3, cell.text.indexOf(QStringLiteral(" then")) - 3}};
    const QString found = cell.text.mid(3, cell.bold.front().length);
    for (const double width : {60.0, 90.0, 120.0, 150.0}) {
        SCOPED_TRACE(width);
        const QVTableViewSearch::ShownWords shown = QVTableViewSearch::shownWords(cell, font, width);
        EXPECT_LE(naturalWidth(shown, font), width) << shown.text.toStdString();
        ASSERT_TRUE(shown.text.startsWith(kCutBefore)) << shown.text.toStdString();
        ASSERT_TRUE(shown.text.endsWith(QChar(0x2026))) << shown.text.toStdString();
        const QString kept = shown.text.mid(kCutBefore.size(), shown.text.size() - kCutBefore.size() - 1);
        EXPECT_FALSE(kept.isEmpty());
        EXPECT_TRUE(found.startsWith(kept)) << kept.toStdString();
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, found);
        characters.setPosition(int(kept.size()));
        EXPECT_TRUE(characters.isAtBoundary()) << kept.toStdString();
    }
}

}  // namespace
}  // namespace qv::search
