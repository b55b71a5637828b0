#include "platform/ui/BlockTextLayout.h"

#include <QCoreApplication>
#include <QHash>
#include <QPainter>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_map>

namespace qv {

namespace {

// The formats that meet [from, to), relative to `from` and cut to the range.
QList<QTextLayout::FormatRange> clipFormats(const QList<QTextLayout::FormatRange>& formats, qsizetype from, qsizetype to)
{
    QList<QTextLayout::FormatRange> clipped;
    for (const QTextLayout::FormatRange& range : formats) {
        const qsizetype start = std::max<qsizetype>(range.start, from);
        const qsizetype end = std::min<qsizetype>(qsizetype(range.start) + range.length, to);
        if (start >= end)
            continue;
        QTextLayout::FormatRange part = range;
        part.start = static_cast<int>(start - from);
        part.length = static_cast<int>(end - start);
        clipped.append(part);
    }
    return clipped;
}

// Whether `c` is written in the paragraph's direction: a block starts only between two such
// characters, so that it never splits a run of the other direction, whose order and caret
// positions depend on the text around it.
bool inParagraphDirection(QChar c, Qt::LayoutDirection direction)
{
    const QChar::Direction own = c.direction();
    return direction == Qt::LeftToRight ? own == QChar::DirL : (own == QChar::DirR || own == QChar::DirAL);
}

// A block may start at `at`: after a blank or a line break, with letters of the paragraph's
// direction on both sides (a word broken across two lines is shaped as one).
bool cleanBlockStart(const QString& text, qsizetype at, Qt::LayoutDirection direction)
{
    if (at <= 0 || at >= text.size() || !text.at(at - 1).isSpace())
        return false;
    qsizetype before = at - 1;
    while (before > 0 && text.at(before).isSpace())
        --before;
    return inParagraphDirection(text.at(at), direction) && inParagraphDirection(text.at(before), direction);
}

// Blocks are found again by this many characters from their start.
constexpr qsizetype kKeyCharacters = 32;

std::size_t keyAt(const QString& text, qsizetype at)
{
    return qHash(QStringView(text).mid(at, std::min(kKeyCharacters, text.size() - at)));
}

}  // namespace

// The blocks laid out by every layout of the thread, found by the text they were given. A block
// stays while a layout holds it, and of the others the kSharedBlocks used last.
class BlockTextLayout::SharedBlocks {
public:
    static SharedBlocks& instance()
    {
        // Never destroyed with the program's statics: its layouts hold fonts, which must go
        // before the application does; it is emptied then instead.
        static SharedBlocks* blocks = [] {
            auto* made = new SharedBlocks;
            qAddPostRoutine([] { instance().entries_.clear(); });
            return made;
        }();
        return *blocks;
    }

    // The block that laying out `text` from `at` with `formats` and `look` would make, when one
    // was made before.
    std::optional<Block> find(const QString& text, const QList<QTextLayout::FormatRange>& formats, qsizetype at,
                              const Look& look)
    {
        if (at >= text.size())
            return std::nullopt;
        auto [it, end] = entries_.equal_range(keyAt(text, at));
        for (; it != end; ++it) {
            Entry& entry = it->second;
            const Block& block = entry.block;
            const qsizetype givenEnd = at + block.givenLength;
            // A block given the rest of its text ends where that text ended: another text must
            // end there too, or its last line may break otherwise.
            if (givenEnd > text.size() || (entry.givenToEnd && givenEnd != text.size()) || !(entry.look == look))
                continue;
            if (QStringView(text).mid(at, block.givenLength) != block.layout->text())
                continue;
            if (block.formats != clipFormats(formats, at, givenEnd))
                continue;
            entry.used = ++clock_;
            return block;
        }
        return std::nullopt;
    }

    void add(const Block& block, const QString& text, const Look& look)
    {
        entries_.emplace(keyAt(text, block.start), Entry{look, block, block.start + block.givenLength == text.size(), ++clock_});
        if (entries_.size() >= sweepAt_)
            sweep();
    }

private:
    struct Entry {
        Look look;
        Block block;
        bool givenToEnd = false;
        std::uint64_t used = 0;
    };

    // Drops the blocks no layout holds but the kSharedBlocks used last.
    void sweep()
    {
        std::vector<std::uint64_t> loose;
        for (const auto& [key, entry] : entries_) {
            if (entry.block.layout.use_count() == 1)
                loose.push_back(entry.used);
        }
        if (loose.size() > kSharedBlocks) {
            const auto cut = loose.end() - static_cast<std::ptrdiff_t>(kSharedBlocks);
            std::nth_element(loose.begin(), cut, loose.end());
            const std::uint64_t keepFrom = *cut;
            std::erase_if(entries_, [keepFrom](const auto& item) {
                return item.second.block.layout.use_count() == 1 && item.second.used < keepFrom;
            });
        }
        sweepAt_ = entries_.size() + kSharedBlocks;
    }

    std::unordered_multimap<std::size_t, Entry> entries_;
    std::uint64_t clock_ = 0;
    std::size_t sweepAt_ = 2 * kSharedBlocks;
};

void BlockTextLayout::clear()
{
    blocks_.clear();
    text_.clear();
}

template <class Reusable>
BlockTextLayout::Block BlockTextLayout::layBlock(const QString& text, const QList<QTextLayout::FormatRange>& formats,
                                                 qsizetype start, const Reusable& reusable) const
{
    // The layout is given some text past the block, so that its last line breaks where the
    // whole text's would; a line that reaches the end of the given text may have been cut
    // there, and the block is laid out again with more.
    qsizetype margin = std::max<qsizetype>(16, look_.blockCharacters / 2);
    for (;;) {
        const qsizetype end = std::min(text.size(), start + look_.blockCharacters + margin);
        Block block;
        block.start = start;
        block.givenLength = end - start;
        block.formats = clipFormats(formats, start, end);
        block.layout = std::make_shared<QTextLayout>(text.mid(start, end - start), look_.font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        // The direction is the whole text's, not that of the block's first word.
        option.setTextDirection(look_.direction);
        block.layout->setTextOption(option);
        block.layout->setFormats(block.formats);
        // No glyphs are kept between uses: a long text's would hold much memory, and a paint or
        // a hit test shapes again only the blocks it reaches.
        block.layout->setCacheEnabled(false);
        block.layout->beginLayout();
        double y = 0;
        qsizetype used = 0;
        bool cut = false;
        for (;;) {
            const qsizetype at = start + used;
            if (used > 0 && cleanBlockStart(text, at, look_.direction) && (used >= look_.blockCharacters || reusable(at))) {
                // The next block's first line is laid out here too, out of sight and never
                // answered, so that the block's last line is not its layout's last: the layout
                // places a click past the end of a line before its closing blank on every line
                // but the last.
                QTextLine next = block.layout->createLine();
                if (next.isValid()) {
                    next.setLineWidth(std::max(1.0, look_.width));
                    next.setPosition(QPointF(0, -1e7));
                }
                break;
            }
            QTextLine line = block.layout->createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(std::max(1.0, look_.width));
            line.setPosition(QPointF(0, y));
            used = line.textStart() + line.textLength();
            if (end < text.size() && used >= end - start) {
                cut = true;
                break;
            }
            y += pitch(line);
            ++block.lineCount;
        }
        block.layout->endLayout();
        if (cut) {
            margin *= 4;
            continue;
        }
        block.length = used;
        block.height = y;
        return block;
    }
}

void BlockTextLayout::update(const QString& text, const QList<QTextLayout::FormatRange>& formats, const QFont& font,
                             double width, double lineSpacing, double lineHeight)
{
    const Qt::LayoutDirection direction = text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    const Look look{font, width, lineSpacing, lineHeight, direction, look_.blockCharacters};
    if (!(look == look_))
        clear();
    look_ = look;

    // The text before `prefix` and the last `suffix` characters are as they were.
    const qsizetype oldLength = text_.size();
    const qsizetype newLength = text.size();
    const qsizetype shorter = std::min(oldLength, newLength);
    qsizetype prefix = 0;
    while (prefix < shorter && text_.at(prefix) == text.at(prefix))
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && text_.at(oldLength - 1 - suffix) == text.at(newLength - 1 - suffix))
        ++suffix;
    const qsizetype delta = newLength - oldLength;

    std::vector<Block> old = std::move(blocks_);
    blocks_.clear();
    SharedBlocks& shared = SharedBlocks::instance();
    // The block that would be laid out just the same from `position` of the new text: an old one
    // whose given text and formats are unchanged and whose start is where it was relative to
    // them, or one another layout made of the same text.
    auto reusableAt = [&](qsizetype position) -> std::optional<Block> {
        auto found = [&](qsizetype oldStart) -> const Block* {
            const auto it = std::lower_bound(old.begin(), old.end(), oldStart,
                                             [](const Block& block, qsizetype at) { return block.start < at; });
            return it != old.end() && it->start == oldStart ? &*it : nullptr;
        };
        const Block* block = found(position);
        if (block) {
            const qsizetype givenEnd = block->start + block->givenLength;
            // The text it was given ended with the whole text: it must still.
            const bool same = givenEnd <= prefix && (givenEnd < oldLength || oldLength == newLength);
            if (!same)
                block = nullptr;
        }
        if (!block && position - delta >= oldLength - suffix && position - delta >= 0)
            block = found(position - delta);
        if (block && block->formats == clipFormats(formats, position, position + block->givenLength))
            return *block;
        if (sharing_ == Sharing::Own)
            return std::nullopt;
        return shared.find(text, formats, position, look_);
    };

    laidOut_ = 0;
    double y = 0;
    qsizetype position = 0;
    do {
        Block block;
        if (std::optional<Block> kept = reusableAt(position)) {
            block = std::move(*kept);
            block.start = position;
        } else {
            block = layBlock(text, formats, position, [&](qsizetype at) { return reusableAt(at).has_value(); });
            if (sharing_ == Sharing::Shared)
                shared.add(block, text, look_);
            ++laidOut_;
        }
        block.y = y;
        position += block.length;
        y += block.height;
        const bool stuck = block.length == 0;
        blocks_.push_back(std::move(block));
        if (stuck)
            break;
    } while (position < newLength);
    text_ = text;
}

std::vector<BlockTextLayout::Line> BlockTextLayout::lines() const
{
    std::vector<Line> lines;
    for (const Block& block : blocks_) {
        for (int i = 0; i < block.lineCount; ++i) {
            const QTextLine line = block.layout->lineAt(i);
            lines.push_back({block.start + line.textStart(), line.textLength(), block.y + line.y(), line.height(),
                             line.naturalTextWidth()});
        }
    }
    return lines;
}

std::size_t BlockTextLayout::blockAtCharacter(qsizetype position) const
{
    const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), position,
                                         [](qsizetype at, const Block& block) { return at < block.start; });
    return after == blocks_.begin() ? 0 : static_cast<std::size_t>(after - blocks_.begin() - 1);
}

std::size_t BlockTextLayout::blockAtY(double y) const
{
    const auto it = std::upper_bound(blocks_.begin(), blocks_.end(), y,
                                     [](double at, const Block& block) { return at < block.y + block.height; });
    return static_cast<std::size_t>(it - blocks_.begin());
}

qsizetype BlockTextLayout::characterIndexForPoint(const QPointF& point) const
{
    for (std::size_t b = blockAtY(point.y()); b < blocks_.size(); ++b) {
        const Block& block = blocks_[b];
        const int count = block.lineCount;
        for (int i = 0; i < count; ++i) {
            const QTextLine line = block.layout->lineAt(i);
            if (point.y() >= block.y + line.y() + pitch(line))
                continue;
            if (point.x() >= line.naturalTextWidth() && b + 1 == blocks_.size() && i == count - 1)
                return text_.size();
            const int local = line.xToCursor(std::max(0.0, point.x()), QTextLine::CursorOnCharacter);
            // Right of a right-to-left line that is not the text's first, the whole text's
            // layout answers the position before the line's start (the blank ending the line
            // above); a block's own layout has nothing before its first line.
            if (local == 0 && i == 0 && b > 0 && point.x() >= line.naturalTextWidth())
                return block.start - 1;
            return block.start + local;
        }
    }
    return text_.size();
}

std::vector<QRectF> BlockTextLayout::lineRectsForRange(qsizetype from, qsizetype to) const
{
    std::vector<QRectF> rects;
    for (std::size_t b = blockAtCharacter(from); b < blocks_.size() && blocks_[b].start < to; ++b) {
        const Block& block = blocks_[b];
        for (int i = 0; i < block.lineCount; ++i) {
            const QTextLine line = block.layout->lineAt(i);
            const qsizetype lineStart = block.start + line.textStart();
            const qsizetype start = std::max(from, lineStart);
            const qsizetype end = std::min(to, lineStart + line.textLength());
            if (start >= end)
                continue;
            const double x1 = line.cursorToX(static_cast<int>(start - block.start));
            const double x2 = line.cursorToX(static_cast<int>(end - block.start));
            rects.emplace_back(std::min(x1, x2), block.y + line.y(), std::abs(x2 - x1), pitch(line));
        }
    }
    return rects;
}

QRectF BlockTextLayout::caretRect(qsizetype position) const
{
    if (blocks_.empty())
        return {};
    const Block& block = blocks_[blockAtCharacter(position)];
    const int local = static_cast<int>(position - block.start);
    const QTextLine line = block.layout->lineForTextPosition(local);
    if (!line.isValid())
        return {};
    return QRectF(line.cursorToX(local), block.y + line.y(), 1, line.height());
}

void BlockTextLayout::draw(QPainter* painter, const QRectF& clip) const
{
    // Line by line: a block's layout holds, past its last line, the first line of the next
    // block out of sight, and a clipped draw of the whole layout would go by that line.
    for (std::size_t b = clip.isEmpty() ? 0 : blockAtY(clip.top()); b < blocks_.size(); ++b) {
        const Block& block = blocks_[b];
        if (!clip.isEmpty() && block.y > clip.bottom())
            break;
        for (int i = 0; i < block.lineCount; ++i) {
            const QTextLine line = block.layout->lineAt(i);
            const double top = block.y + line.y();
            if (!clip.isEmpty() && (top + std::max(pitch(line), line.height()) < clip.top() || top > clip.bottom()))
                continue;
            line.draw(painter, QPointF(0, block.y));
        }
    }
}

}  // namespace qv
