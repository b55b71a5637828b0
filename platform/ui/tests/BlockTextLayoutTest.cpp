#include "platform/ui/BlockTextLayout.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTextCharFormat>

#include <cmath>
#include <functional>

namespace qv {
namespace {

constexpr double kWidth = 160;
constexpr double kSpacing = 8;
// Small blocks, so that every text below crosses several block boundaries.
constexpr qsizetype kSmallBlocks = 24;
// One block: the whole text laid out at once.
constexpr qsizetype kWhole = 1'000'000;

QFont testFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(14);
    return font;
}

QString repeated(const QString& words, int times)
{
    QStringList all;
    for (int i = 0; i < times; ++i)
        all << words;
    return all.join(QLatin1Char(' '));
}

QTextLayout::FormatRange formatRange(int start, int length, const QTextCharFormat& format)
{
    QTextLayout::FormatRange range;
    range.start = start;
    range.length = length;
    range.format = format;
    return range;
}

QList<QTextLayout::FormatRange> colouredAndEnlarged(qsizetype length)
{
    QTextCharFormat colour;
    colour.setForeground(QColor(200, 30, 30));
    QTextCharFormat larger;
    QFont font = testFont();
    font.setPointSizeF(22);
    larger.setFont(font);
    QList<QTextLayout::FormatRange> formats;
    if (length > 40)
        formats << formatRange(10, 25, colour) << formatRange(static_cast<int>(length / 2), 7, larger);
    return formats;
}

// What besides the text and formats a layout was given.
struct Look {
    QFont font = testFont();
    double width = kWidth;
    double spacing = kSpacing;
    double lineHeight = 0;
};

// Everything the view asks of a layout, compared with a layout of the whole text that shares
// nothing.
void expectSameAsWhole(const BlockTextLayout& blocks, const QString& text, const QList<QTextLayout::FormatRange>& formats,
                       const std::string& what, const Look& look = {})
{
    SCOPED_TRACE(what);
    BlockTextLayout whole(kWhole, BlockTextLayout::Sharing::Own);
    whole.update(text, formats, look.font, look.width, look.spacing, look.lineHeight);
    ASSERT_EQ(whole.blockCount(), 1);

    const auto expected = whole.lines();
    const auto lines = blocks.lines();
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].start, expected[i].start) << "line " << i;
        EXPECT_EQ(lines[i].length, expected[i].length) << "line " << i;
        EXPECT_NEAR(lines[i].y, expected[i].y, 1e-6) << "line " << i;
        EXPECT_NEAR(lines[i].height, expected[i].height, 1e-6) << "line " << i;
        EXPECT_NEAR(lines[i].naturalWidth, expected[i].naturalWidth, 1e-6) << "line " << i;
    }
    EXPECT_NEAR(blocks.height(), whole.height(), 1e-6);

    // Each word's rectangles, as the highlight and the selection draw them.
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !text.at(i).isSpace())
            continue;
        const auto rects = blocks.lineRectsForRange(start, i);
        const auto wanted = whole.lineRectsForRange(start, i);
        ASSERT_EQ(rects.size(), wanted.size()) << "word at " << start;
        for (std::size_t r = 0; r < rects.size(); ++r) {
            EXPECT_NEAR(rects[r].x(), wanted[r].x(), 1e-6) << "word at " << start;
            EXPECT_NEAR(rects[r].y(), wanted[r].y(), 1e-6) << "word at " << start;
            EXPECT_NEAR(rects[r].width(), wanted[r].width(), 1e-6) << "word at " << start;
        }
        start = i + 1;
    }
    // Clicks over the whole text and around it, and the caret at every position.
    for (double y = -5; y < whole.height() + 20; y += 7) {
        for (double x = -5; x < look.width + 20; x += 9)
            ASSERT_EQ(blocks.characterIndexForPoint({x, y}), whole.characterIndexForPoint({x, y})) << x << "," << y;
    }
    for (qsizetype position = 0; position <= text.size(); ++position)
        ASSERT_EQ(blocks.caretRect(position), whole.caretRect(position)) << "caret at " << position;
}

TEST(BlockTextLayoutTest, BlocksLayTextOutAsTheWholeTextAtOnce)
{
    const QString separator(QChar::LineSeparator);
    const struct {
        const char* what;
        QString text;
        qsizetype blocksAtLeast;
    } cases[] = {
        {"one long paragraph", repeated(QStringLiteral("so the first thing we did was look at the footage again"), 6), 8},
        {"paragraph breaks", repeated(QStringLiteral("okay") + separator + separator + QStringLiteral("then we went on and on"), 5), 5},
        {"right to left", repeated(QStringLiteral("שלום עולם זה טקסט ארוך מאוד"), 8), 5},
        {"right-to-left words in left-to-right text",
         repeated(QStringLiteral("the word مرحبا بالعالم means hello world in"), 6), 5},
        {"combining marks", repeated(QStringLiteral("cafe\u0301 nai\u0308ve re\u0301sume\u0301 a\u0300 la carte"), 8), 5},
        {"a word longer than a line", QStringLiteral("short ") + QString(90, QLatin1Char('m')) + QStringLiteral(" after it ends"), 2},
        {"a break at the very end", repeated(QStringLiteral("last line then a break"), 4) + separator, 3},
        {"nothing", QString(), 1},
    };
    for (const auto& c : cases) {
        const auto formats = colouredAndEnlarged(c.text.size());
        BlockTextLayout blocks(kSmallBlocks);
        blocks.update(c.text, formats, testFont(), kWidth, kSpacing);
        EXPECT_GE(blocks.blockCount(), c.blocksAtLeast) << c.what;
        expectSameAsWhole(blocks, c.text, formats, c.what);
    }
}

// Edits, applied one after the other to the same layout, that move line breaks across block
// boundaries or leave them: each keeps the blocks it can and answers as a fresh layout would.
TEST(BlockTextLayoutTest, EditsLayOutOnlyWhatTheyChangeAndStayExact)
{
    QString text = repeated(QStringLiteral("we looked at the footage again and then we decided"), 12);
    QList<QTextLayout::FormatRange> formats;
    BlockTextLayout blocks(kSmallBlocks);
    blocks.update(text, formats, testFont(), kWidth, kSpacing);
    const qsizetype count = blocks.blockCount();
    ASSERT_GT(count, 10);

    QTextCharFormat highlight;
    highlight.setForeground(QColor(0, 120, 255));
    const struct {
        const char* what;
        std::function<void()> edit;
        bool local;  // lays out a few blocks only
    } edits[] = {
        {"a letter typed in the middle", [&] { text.insert(text.size() / 2, QLatin1Char('x')); }, true},
        {"a long word that pushes words down across blocks",
         [&] { text.insert(text.size() / 3, QStringLiteral("extraordinarily ")); }, true},
        {"a word taken out so the next ones move up", [&] { text.remove(text.size() / 3, 16); }, true},
        {"the first word lengthened", [&] { text.insert(0, QStringLiteral("well ")); }, true},
        {"the last word deleted", [&] { text.chop(8); }, true},
        {"a right-to-left word typed in", [&] { text.insert(text.size() / 4, QStringLiteral("שלום ")); }, true},
        {"a combining mark added", [&] { text.insert(text.indexOf(QLatin1Char('e'), text.size() / 2) + 1, QChar(0x0301)); },
         true},
        {"a word's colour", [&] { formats = {formatRange(static_cast<int>(text.size() / 2), 7, highlight)}; }, true},
        {"the colour moves on", [&] { formats = {formatRange(static_cast<int>(text.size() / 2) + 8, 5, highlight)}; }, true},
        {"a paragraph break", [&] { text.insert(text.size() / 5, QString(2, QChar::LineSeparator)); }, true},
        {"everything replaced", [&] { text = repeated(QStringLiteral("new words"), 40); }, false},
    };
    for (const auto& e : edits) {
        e.edit();
        blocks.update(text, formats, testFont(), kWidth, kSpacing);
        if (e.local) {
            EXPECT_LE(blocks.blocksLaidOutLastUpdate(), blocks.blockCount() / 3) << e.what << " of " << blocks.blockCount();
        }
        expectSameAsWhole(blocks, text, formats, e.what);
    }

    // Unchanged text and formats lay out nothing; another width lays out again (the text repeats
    // itself, so that a block may be found again further on in it).
    blocks.update(text, formats, testFont(), kWidth, kSpacing);
    EXPECT_EQ(blocks.blocksLaidOutLastUpdate(), 0);
    blocks.update(text, formats, testFont(), kWidth + 40, kSpacing);
    EXPECT_GT(blocks.blocksLaidOutLastUpdate(), 0);
    expectSameAsWhole(blocks, text, formats, "another width", {.width = kWidth + 40});
}

// Layouts share their blocks: a row split in two, two rows made one again and a text measured in
// one view and shown in another lay out only what differs, and a block is taken only where it
// would be laid out just so: not at another width, font, spacing or line height, not with other
// formats, and not where it ran to its text's end and the other text goes on.
TEST(BlockTextLayoutTest, LayoutsShareWhatTheirTextsHaveInCommon)
{
    // Words of their own and no two alike, so that no block is found but those of this text.
    QStringList words;
    const QStringList phrase = QStringLiteral("the quarry road was closed so we took the ferry over at dawn").split(' ');
    for (int i = 0; i < 30 * phrase.size(); ++i) {
        // The count in letters: a block starts only between letters.
        QString count;
        for (int n = i + 1; n > 0; n /= 26)
            count += QChar('a' + n % 26);
        words << phrase[i % phrase.size()] + count;
    }
    const QString whole = words.join(QLatin1Char(' '));
    const QList<QTextLayout::FormatRange> none;
    // A row's width, some words to a line.
    const Look row{.width = 400};
    auto lay = [](BlockTextLayout& layout, const QString& text, const QList<QTextLayout::FormatRange>& formats,
                  const Look& look) { layout.update(text, formats, look.font, look.width, look.spacing, look.lineHeight); };

    BlockTextLayout before(kSmallBlocks);
    lay(before, whole, none, row);
    ASSERT_GT(before.blockCount(), 20);
    // Split at a line's start, the second part keeps the whole's blocks; split inside a line, its
    // lines break otherwise until they meet the whole's again.
    const auto lines = before.lines();
    const qsizetype lineStart = lines[lines.size() / 3].start;
    const qsizetype insideLine = whole.indexOf(QLatin1Char(' '), lines[lines.size() / 2].start + 1) + 1;
    for (const qsizetype cut : {lineStart, insideLine}) {
        const QString first = whole.left(cut - 1);
        const QString second = whole.mid(cut);
        BlockTextLayout firstPart(kSmallBlocks);
        lay(firstPart, first, none, row);
        BlockTextLayout secondPart(kSmallBlocks);
        lay(secondPart, second, none, row);
        if (cut == lineStart) {
            EXPECT_LE(secondPart.blocksLaidOutLastUpdate(), 1);
        }
        expectSameAsWhole(firstPart, first, none, "the first part of a split", row);
        expectSameAsWhole(secondPart, second, none, "the second part of a split", row);
    }
    // Undone, the split leaves the whole's blocks.
    BlockTextLayout joined(kSmallBlocks);
    lay(joined, whole, none, row);
    EXPECT_EQ(joined.blocksLaidOutLastUpdate(), 0);
    expectSameAsWhole(joined, whole, none, "the parts joined again", row);
    const QString second = whole.mid(lineStart);

    // The same text in another look lays out every block.
    QFont larger = testFont();
    larger.setPointSizeF(15);
    const struct {
        const char* what;
        Look look;
    } looks[] = {
        {"another width", {.width = row.width + 30}},
        {"another font", {.font = larger, .width = row.width}},
        {"another spacing", {.width = row.width, .spacing = kSpacing + 2}},
        {"a line height", {.width = row.width, .lineHeight = 25}},
    };
    for (const auto& [what, look] : looks) {
        BlockTextLayout other(kSmallBlocks);
        lay(other, second, none, look);
        EXPECT_EQ(other.blocksLaidOutLastUpdate(), other.blockCount()) << what;
        expectSameAsWhole(other, second, none, what, look);
    }

    // Other formats (a larger word moves the line breaks) and a text that goes on past the end of
    // the laid-out one answer as their own whole layouts.
    const auto formats = colouredAndEnlarged(second.size());
    BlockTextLayout formatted(kSmallBlocks);
    lay(formatted, second, formats, row);
    expectSameAsWhole(formatted, second, formats, "the second part with other formats", row);
    const QString longer = whole + QStringLiteral(" and on");
    BlockTextLayout goesOn(kSmallBlocks);
    lay(goesOn, longer, none, row);
    expectSameAsWhole(goesOn, longer, none, "the text with words after its end", row);
}

// A paint of any part of a long text, as a view repaints what scrolled into it, shows the lines
// of that part just as a paint of the text laid out at once shows them there; with a line height
// given, every line takes exactly that much.
TEST(BlockTextLayoutTest, PaintsAnyPartAsTheWholeText)
{
    const QString text = repeated(QStringLiteral("so the first thing we did was look at the footage again"), 30);
    QTextCharFormat colour;
    colour.setForeground(QColor(200, 30, 30));
    const QList<QTextLayout::FormatRange> formats{formatRange(300, 400, colour)};
    for (const double lineHeight : {0.0, 25.0}) {
        SCOPED_TRACE(lineHeight);
        BlockTextLayout blocks(kSmallBlocks);
        blocks.update(text, formats, testFont(), kWidth, kSpacing, lineHeight);
        BlockTextLayout whole(kWhole, BlockTextLayout::Sharing::Own);
        whole.update(text, formats, testFont(), kWidth, kSpacing, lineHeight);
        ASSERT_GT(blocks.blockCount(), 20);
        const auto lines = whole.lines();
        if (lineHeight > 0) {
            for (std::size_t i = 0; i < lines.size(); ++i)
                ASSERT_EQ(lines[i].y, static_cast<double>(i) * lineHeight) << "line " << i;
            EXPECT_EQ(whole.height(), static_cast<double>(lines.size()) * lineHeight);
        }
        const int height = static_cast<int>(std::ceil(whole.height()));
        QImage expected(static_cast<int>(kWidth), height, QImage::Format_RGB32);
        expected.fill(Qt::white);
        {
            QPainter painter(&expected);
            whole.draw(&painter, {});
        }
        // The top, a part a line and a half into the text, parts deep in it and the end.
        for (const double top : {0.0, 37.0, whole.height() / 2 + 11, whole.height() * 0.8, whole.height() - 120}) {
            const QRect part(0, static_cast<int>(top), static_cast<int>(kWidth), 120);
            QImage painted(expected.size(), QImage::Format_RGB32);
            painted.fill(Qt::white);
            {
                QPainter painter(&painted);
                painter.setClipRect(part);
                blocks.draw(&painter, part);
            }
            const QImage wanted = expected.copy(part);
            QImage blank(wanted.size(), QImage::Format_RGB32);
            blank.fill(Qt::white);
            ASSERT_NE(wanted, blank) << "the part from " << top << " holds text";
            EXPECT_TRUE(painted.copy(part) == wanted) << "the part from " << top;
        }
    }
}

}  // namespace
}  // namespace qv
