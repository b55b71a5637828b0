// Lays a long text out in blocks of whole lines, each a QTextLayout of its own, so that an edit
// lays out again only the blocks whose text or formats changed, up to where the line breaks meet
// the old ones again, and a paint draws only the blocks in view. Blocks are shared by every
// layout of the thread: a text that holds a stretch of another's (a row split in two, two rows
// made one, the same row measured and shown) lays out only what differs. The lines, hit tests
// and rectangles it answers are those of the whole text laid out at once. Main thread only.
#pragma once

#include <QFont>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QTextLayout>

#include <memory>
#include <vector>

class QPainter;

namespace qv {

class BlockTextLayout {
public:
    // Blocks end at the first clean line start (after a blank or a line break) this many
    // characters or more past their start.
    // An own layout neither takes nor offers blocks: a reference to compare shared ones with.
    enum class Sharing { Shared, Own };
    explicit BlockTextLayout(qsizetype blockCharacters = 1024, Sharing sharing = Sharing::Shared)
        : sharing_(sharing)
    {
        look_.blockCharacters = blockCharacters;
    }

    // Lays `text` out (line feeds already turned into line separators) at `width`. Each line
    // takes `lineHeight` when that is above 0 (its glyphs at the top, whatever their fonts), so
    // that the text's height is a whole number of lines; otherwise its own height and
    // `lineSpacing` below it. Blocks whose text, formats and place are unchanged are kept; a new
    // font, width, spacing or line height lays everything out again.
    void update(const QString& text, const QList<QTextLayout::FormatRange>& formats, const QFont& font, double width,
                double lineSpacing, double lineHeight = 0);
    // Drops every block: the next update lays the whole text out.
    void clear();

    double height() const { return blocks_.empty() ? 0 : blocks_.back().y + blocks_.back().height; }
    qsizetype blockCount() const { return static_cast<qsizetype>(blocks_.size()); }
    // How many blocks the last update laid out anew.
    qsizetype blocksLaidOutLastUpdate() const { return laidOut_; }
    // Most blocks kept for other layouts once no layout of their own holds them.
    static constexpr std::size_t kSharedBlocks = 512;

    // One laid-out line in the coordinates of the whole text.
    struct Line {
        qsizetype start = 0;
        qsizetype length = 0;
        double y = 0;
        double height = 0;
        double naturalWidth = 0;
    };
    std::vector<Line> lines() const;

    // The character under `point`; the text's length when it lies past the end.
    qsizetype characterIndexForPoint(const QPointF& point) const;
    // Rectangles of the characters [from, to), one per line they cover.
    std::vector<QRectF> lineRectsForRange(qsizetype from, qsizetype to) const;
    // The caret before `position`: its x, and its line's top and height; empty without lines.
    QRectF caretRect(qsizetype position) const;
    // Draws the lines that meet `clip` (the whole text when it is empty).
    void draw(QPainter* painter, const QRectF& clip) const;

private:
    struct Block {
        qsizetype start = 0;
        qsizetype length = 0;
        // The text the layout was given, from `start`: the block and some lines past it.
        qsizetype givenLength = 0;
        double y = 0;
        double height = 0;
        // The block's lines, the first of its layout's.
        int lineCount = 0;
        // Never changed once laid out: other layouts may hold it too.
        std::shared_ptr<QTextLayout> layout;
        // The formats the layout was given, relative to `start`.
        QList<QTextLayout::FormatRange> formats;
    };

    // What besides its text and formats a block's lines depend on.
    struct Look {
        QFont font;
        double width = -1;
        double lineSpacing = 0;
        double lineHeight = 0;
        Qt::LayoutDirection direction = Qt::LeftToRight;
        qsizetype blockCharacters = 0;
        bool operator==(const Look&) const = default;
    };
    class SharedBlocks;

    // The distance from the top of `line` to the top of the next.
    double pitch(const QTextLine& line) const
    {
        return look_.lineHeight > 0 ? look_.lineHeight : line.height() + look_.lineSpacing;
    }
    // Lays out a block from `start` of `text`; it ends at the block size or where `reusable`
    // answers true for a clean line start.
    template <class Reusable>
    Block layBlock(const QString& text, const QList<QTextLayout::FormatRange>& formats, qsizetype start,
                   const Reusable& reusable) const;
    // The blocks that meet [from, to) (by character) or [top, bottom) (by height).
    std::size_t blockAtCharacter(qsizetype position) const;
    std::size_t blockAtY(double y) const;

    Look look_;
    Sharing sharing_;
    std::vector<Block> blocks_;
    QString text_;
    qsizetype laidOut_ = 0;
};

}  // namespace qv
