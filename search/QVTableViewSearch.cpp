#include "search/QVTableViewSearch.h"

#include <QAbstractTableModel>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

namespace qv::search {

namespace {

const QString kCutBefore = QStringLiteral("\u2026 ");
const QString kCutAfter = QStringLiteral(" \u2026");
const QString kCutInside = QStringLiteral("\u2026");

// The found words bold and the coloured ranges in their colours, later ones over earlier ones.
QList<QTextLayout::FormatRange> cellFormats(const QVTableViewSearch::WordsCell& cell)
{
    QList<QTextLayout::FormatRange> formats;
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    for (const QVSearchRange& range : cell.bold)
        formats.append({int(range.location), int(range.length), bold});
    for (const auto& colored : cell.colors) {
        QTextCharFormat format;
        format.setForeground(colored.color);
        formats.append({int(colored.range.location), int(colored.range.length), format});
    }
    return formats;
}

// The colour of the character at `at`, when a coloured range holds it.
std::optional<QColor> colorAt(const QVTableViewSearch::WordsCell& cell, qsizetype at)
{
    std::optional<QColor> color;
    for (const auto& colored : cell.colors)
        if (colored.range.location <= at && at < colored.range.location + colored.range.length)
            color = colored.color;
    return color;
}

// The text from `start` to `end` with the marks of what was cut before and after it.
QVTableViewSearch::ShownWords cutWords(const QVTableViewSearch::WordsCell& cell,
                                       const QList<QTextLayout::FormatRange>& formats, qsizetype start, qsizetype end,
                                       const QString& before, const QString& after)
{
    QVTableViewSearch::ShownWords shown;
    shown.text = before + cell.text.mid(start, end - start) + after;
    const qsizetype shift = before.size() - start;
    for (const QTextLayout::FormatRange& format : formats) {
        const qsizetype from = std::max<qsizetype>(format.start, start);
        const qsizetype to = std::min<qsizetype>(format.start + format.length, end);
        if (to > from)
            shown.formats.append({int(from + shift), int(to - from), format.format});
    }
    const auto markIn = [&](qsizetype at, qsizetype mark) {
        if (const auto color = colorAt(cell, at)) {
            QTextCharFormat format;
            format.setForeground(*color);
            shown.formats.append({int(mark), 1, format});
        }
    };
    if (!before.isEmpty())
        markIn(start, 0);
    if (!after.isEmpty())
        markIn(end - 1, shown.text.size() - 1);
    return shown;
}

class ResultsModel final : public QAbstractTableModel {
public:
    explicit ResultsModel(const QVTableViewSearch::Source& source) : source_(source) {}
    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() || !source_.rowCount ? 0 : source_.rowCount();
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole && role != Qt::ToolTipRole)
            return {};
        if (index.column() == 0)
            return source_.speakerCell(index.row()).name;
        return source_.wordsCell(index.row()).text;
    }
    void reset()
    {
        beginResetModel();
        endResetModel();
    }
    void rowChanged(int row) { emit dataChanged(index(row, 0), index(row, 1)); }

private:
    const QVTableViewSearch::Source& source_;
};

// The speaker's colour as a tag rounded on its left corners; the words on light grey. A row not
// selected shows its tag and background half transparent; its words stay opaque, so that words
// not yet heard, drawn in the dimmed colour, are still read against the background.
class ResultsDelegate final : public QStyledItemDelegate {
public:
    ResultsDelegate(const QVTableViewSearch::Source& source, QObject* parent) : QStyledItemDelegate(parent), source_(source) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const double rowOpacity = option.state & QStyle::State_Selected ? 1.0 : 0.5;
        const QRectF bounds(option.rect.x(), option.rect.y(), option.rect.width(), QVTableViewSearch::kRowHeight);
        const QFont font = QVTableViewSearch::cellFont(option.font);
        painter->setFont(font);
        if (index.column() == 0) {
            const QVTableViewSearch::SpeakerCell cell = source_.speakerCell(index.row());
            painter->setOpacity(rowOpacity);
            painter->setPen(Qt::NoPen);
            painter->setBrush(cell.color);
            painter->drawPath(QVTableViewSearch::leftRoundedTag(bounds));
            painter->setOpacity(1.0);
            painter->setPen(Qt::white);
            painter->drawText(bounds.adjusted(8, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft,
                              painter->fontMetrics().elidedText(cell.name, Qt::ElideRight, int(bounds.width()) - 12));
        } else {
            const QVTableViewSearch::WordsCell cell = source_.wordsCell(index.row());
            painter->setOpacity(rowOpacity);
            painter->fillRect(bounds, QColor::fromRgbF(0.925f, 0.925f, 0.925f));
            painter->setOpacity(1.0);
            drawWords(painter, cell, font, QVTableViewSearch::wordsTextRect(option.rect));
        }
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return {100, QVTableViewSearch::kRowPitch};
    }

private:
    static void drawWords(QPainter* painter, const QVTableViewSearch::WordsCell& cell, const QFont& font, const QRectF& r)
    {
        const QVTableViewSearch::ShownWords shown = QVTableViewSearch::shownWords(cell, font, r.width());
        QTextLayout layout(shown.text, font);
        layout.setFormats(shown.formats);
        const QTextLine line = QVTableViewSearch::layOutOnOneLine(layout);
        if (!line.isValid())
            return;
        painter->setPen(Qt::black);
        layout.draw(painter, QPointF(r.left(), r.top() + (r.height() - line.height()) / 2));
    }

    const QVTableViewSearch::Source& source_;
};

}  // namespace

QVTableViewSearch::QVTableViewSearch(Source source, QWidget* parent)
    : QTableView(parent), source_(std::move(source)), model_(new ResultsModel(source_))
{
    setObjectName(QStringLiteral("searchResultsTable"));
    model_->setParent(this);
    setModel(model_);
    setItemDelegate(new ResultsDelegate(source_, this));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(kRowPitch);
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    horizontalHeader()->resizeSection(0, speakerColumnWidth(width()));
    horizontalHeader()->setStretchLastSection(true);
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    // Selection shows as opacity alone.
    QPalette colors = palette();
    colors.setColor(QPalette::Highlight, Qt::transparent);
    setPalette(colors);
    QObject::connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (selectionChanged_)
            selectionChanged_(selectedRow());
    });
}

QVTableViewSearch::~QVTableViewSearch() = default;

QFont QVTableViewSearch::cellFont(QFont base)
{
    base.setPointSize(12);
    return base;
}

QRectF QVTableViewSearch::wordsTextRect(const QRect& cellRect)
{
    return QRectF(cellRect.x(), cellRect.y(), cellRect.width(), kRowHeight).adjusted(6, 0, -4, 0);
}

QTextLine QVTableViewSearch::layOutOnOneLine(QTextLayout& layout)
{
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(1e6);
    layout.endLayout();
    return line;
}

QVTableViewSearch::ShownWords QVTableViewSearch::shownWords(const WordsCell& cell, const QFont& font, double width)
{
    const QList<QTextLayout::FormatRange> formats = cellFormats(cell);
    QTextLayout layout(cell.text, font);
    layout.setFormats(formats);
    const QTextLine line = layOutOnOneLine(layout);
    if (!line.isValid() || line.naturalTextWidth() <= width)
        return {cell.text, formats};
    // The width between two positions, whichever way the text runs.
    const auto span = [&](qsizetype from, qsizetype to) { return std::abs(line.cursorToX(int(to)) - line.cursorToX(int(from))); };

    // The words, [start, end) each, between the blanks.
    std::vector<std::pair<qsizetype, qsizetype>> words;
    for (qsizetype start = 0; start <= cell.text.size();) {
        qsizetype end = cell.text.indexOf(QLatin1Char(' '), start);
        if (end < 0)
            end = cell.text.size();
        if (end > start)
            words.emplace_back(start, end);
        start = end + 1;
    }
    if (words.empty())
        return {cell.text, formats};
    const auto count = static_cast<qsizetype>(words.size());
    qsizetype found = 0;
    if (!cell.bold.empty()) {
        while (found < count - 1 && words[std::size_t(found)].second <= cell.bold.front().location)
            ++found;
    }
    const QFontMetricsF metrics(font);
    const double before = metrics.horizontalAdvance(kCutBefore);
    const double after = metrics.horizontalAdvance(kCutAfter);
    // The words [first, last) with the marks of what they leave out.
    const auto widthOf = [&](qsizetype first, qsizetype last) {
        return span(words[std::size_t(first)].first, words[std::size_t(last - 1)].second) + (first > 0 ? before : 0) +
               (last < count ? after : 0);
    };
    const auto start = [&](qsizetype word) { return words[std::size_t(word)].first; };
    const auto end = [&](qsizetype word) { return words[std::size_t(word)].second; };

    if (widthOf(found, found + 1) > width) {
        // The found word alone is too wide: as many of its whole characters as fit.
        const double room = width - (found > 0 ? before : 0) - metrics.horizontalAdvance(kCutInside);
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, cell.text);
        characters.setPosition(int(start(found)));
        qsizetype cut = start(found);
        for (qsizetype next = characters.toNextBoundary(); next > 0 && next < end(found) && span(start(found), next) <= room;
             next = characters.toNextBoundary())
            cut = next;
        return cutWords(cell, formats, start(found), cut, found > 0 ? kCutBefore : QString(), kCutInside);
    }
    // A little of what leads to the found word, then what follows it, then more before it.
    qsizetype first = found;
    qsizetype last = found + 1;
    while (first > 0 && span(start(first - 1), start(found)) <= width / 4 && widthOf(first - 1, last) <= width)
        --first;
    while (last < count && widthOf(first, last + 1) <= width)
        ++last;
    while (first > 0 && widthOf(first - 1, last) <= width)
        --first;
    return cutWords(cell, formats, start(first), end(last - 1), first > 0 ? kCutBefore : QString(),
                    last < count ? kCutAfter : QString());
}

int QVTableViewSearch::speakerColumnWidth(int tableWidth)
{
    return std::clamp(tableWidth / 3, kSpeakerColumnMinimum, kSpeakerColumnMaximum);
}

void QVTableViewSearch::resizeEvent(QResizeEvent* event)
{
    horizontalHeader()->resizeSection(0, speakerColumnWidth(viewport()->width()));
    QTableView::resizeEvent(event);
}

QPainterPath QVTableViewSearch::leftRoundedTag(const QRectF& r)
{
    QPainterPath path(QPointF(r.right(), r.top()));
    path.lineTo(r.left() + 10, r.top());
    path.cubicTo(r.topLeft(), r.topLeft(), QPointF(r.left(), r.top() + 10));
    path.lineTo(r.left(), r.bottom() - 10);
    path.cubicTo(r.bottomLeft(), r.bottomLeft(), QPointF(r.left() + 10, r.bottom()));
    path.lineTo(r.bottomRight());
    path.closeSubpath();
    return path;
}

void QVTableViewSearch::reloadData() { static_cast<ResultsModel*>(model_)->reset(); }

void QVTableViewSearch::reloadRow(int row)
{
    if (row >= 0 && row < model_->rowCount())
        static_cast<ResultsModel*>(model_)->rowChanged(row);
}

int QVTableViewSearch::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void QVTableViewSearch::selectRow(int row)
{
    if (row < 0 || row >= model_->rowCount())
        return;
    selectionModel()->setCurrentIndex(model_->index(row, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void QVTableViewSearch::clearSelectedRow() { selectionModel()->clearSelection(); }

void QVTableViewSearch::mousePressEvent(QMouseEvent* event)
{
    const int before = selectedRow();
    QTableView::mousePressEvent(event);
    const int row = indexAt(event->position().toPoint()).row();
    if (row >= 0 && row == before && selectedRow() == row && reselected_)
        reselected_(row);
}

}  // namespace qv::search
