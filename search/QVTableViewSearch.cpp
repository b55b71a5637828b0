#include "search/QVTableViewSearch.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>
#include <QTextLayout>

#include <algorithm>

namespace qv::search {

namespace {

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
        QFont font = option.font;
        font.setPointSize(12);
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
            drawWords(painter, cell, font, bounds.adjusted(6, 0, -4, 0));
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
        QTextLayout layout(cell.text, font);
        layout.setFormats(formats);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        if (line.isValid())
            line.setLineWidth(1e6);
        layout.endLayout();
        if (!line.isValid())
            return;
        // An abstract wider than its column is moved left so that its first found word shows,
        // with an ellipsis where words are cut off; the tooltip gives it whole.
        const double found = cell.bold.empty() ? 0 : line.cursorToX(int(cell.bold.front().location));
        const double shift = std::clamp(found - r.width() / 4, 0.0, std::max(0.0, line.naturalTextWidth() - r.width()));
        const QFontMetricsF metrics(font);
        const double ellipsis = metrics.horizontalAdvance(QChar(0x2026));
        const bool cutLeft = shift > 0;
        const bool cutRight = line.naturalTextWidth() - shift > r.width();
        const QRectF shown = r.adjusted(cutLeft ? ellipsis : 0, 0, cutRight ? -ellipsis : 0, 0);
        const double baselineTop = r.top() + (r.height() - line.height()) / 2;
        painter->setPen(Qt::black);
        painter->save();
        painter->setClipRect(shown);
        layout.draw(painter, QPointF(r.left() - shift + (cutLeft ? ellipsis : 0), baselineTop));
        painter->restore();
        painter->setFont(font);
        if (cutLeft)
            painter->drawText(QRectF(r.left(), r.top(), ellipsis, r.height()), Qt::AlignVCenter | Qt::AlignLeft, QString(QChar(0x2026)));
        if (cutRight)
            painter->drawText(QRectF(r.right() - ellipsis, r.top(), ellipsis, r.height()), Qt::AlignVCenter | Qt::AlignRight,
                              QString(QChar(0x2026)));
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
