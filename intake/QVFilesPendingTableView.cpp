#include "intake/QVFilesPendingTableView.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>

#include <algorithm>

QVFilesPendingTableView::QVFilesPendingTableView(QWidget* parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("pendingTableView"));
    setAcceptDrops(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
}

int QVFilesPendingTableView::dropRowAt(const QPoint& position) const
{
    const QModelIndex index = indexAt(position);
    if (!index.isValid())
        return -1;
    const QRect rect = visualRect(index);
    return position.y() < rect.center().y() ? index.row() : index.row() + 1;
}

void QVFilesPendingTableView::dragEnterEvent(QDragEnterEvent* event)
{
    dragMoveEvent(event);
}

void QVFilesPendingTableView::dragMoveEvent(QDragMoveEvent* event)
{
    if (callbacks_.validateDrop && event->mimeData()
        && callbacks_.validateDrop(*event->mimeData(), dropRowAt(event->position().toPoint()))) {
        // Rows of this table move; files from elsewhere are copied in.
        event->setDropAction(event->source() == this ? Qt::MoveAction : Qt::CopyAction);
        event->accept();
        showDropIndicator(count() > 0 ? std::optional<int>(dropRowAt(event->position().toPoint())) : std::nullopt);
    } else {
        event->ignore();
        showDropIndicator(std::nullopt);
    }
}

void QVFilesPendingTableView::showDropIndicator(std::optional<int> row)
{
    if (row == dropIndicatorRow_)
        return;
    dropIndicatorRow_ = row;
    viewport()->update();
}

void QVFilesPendingTableView::paintEvent(QPaintEvent* event)
{
    QListWidget::paintEvent(event);
    if (!dropIndicatorRow_ || count() == 0)
        return;
    const int row = *dropIndicatorRow_;
    const QRect rect = visualRect(model()->index(row < 0 || row >= count() ? count() - 1 : row, 0));
    const int y = row < 0 || row >= count() ? rect.bottom() : rect.top();
    QPainter painter(viewport());
    painter.fillRect(QRect(0, std::max(0, y - 1), viewport()->width(), 3), palette().color(QPalette::Highlight));
}

void QVFilesPendingTableView::dragLeaveEvent(QDragLeaveEvent* event)
{
    showDropIndicator(std::nullopt);
    if (callbacks_.draggingExited)
        callbacks_.draggingExited();
    event->accept();
}

void QVFilesPendingTableView::dropEvent(QDropEvent* event)
{
    if (!callbacks_.acceptDrop || !event->mimeData()) {
        event->ignore();
        return;
    }
    showDropIndicator(std::nullopt);
    const int row = dropRowAt(event->position().toPoint());
    event->setDropAction(event->source() == this ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
    callbacks_.acceptDrop(*event->mimeData(), row);
}

void QVFilesPendingTableView::startDrag(Qt::DropActions)
{
    QList<int> rows;
    for (const QModelIndex& index : selectedIndexes())
        rows << index.row();
    if (rows.isEmpty() || !callbacks_.rowDragBegan)
        return;
    std::sort(rows.begin(), rows.end());
    QMimeData* data = callbacks_.rowDragBegan(rows);
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction);
    showDropIndicator(std::nullopt);
    if (callbacks_.rowDragEnded)
        callbacks_.rowDragEnded();
}

void QVFilesPendingTableView::keyPressEvent(QKeyEvent* event)
{
    // Keys typed into a row's name field never get here: the field takes them first.
    const bool deleteKey = event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace;
    if (deleteKey && !selectedItems().isEmpty() && callbacks_.deleteSelectedRows) {
        callbacks_.deleteSelectedRows();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}
