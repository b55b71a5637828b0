#include "intake/QVFilesPendingTableView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>

QVFilesPendingTableView::QVFilesPendingTableView(QWidget* parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("pendingTableView"));
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
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
    if (callbacks_.validateDrop && event->mimeData()
        && callbacks_.validateDrop(*event->mimeData(), dropRowAt(event->position().toPoint())))
        event->acceptProposedAction();
    else
        event->ignore();
}

void QVFilesPendingTableView::dragMoveEvent(QDragMoveEvent* event)
{
    if (callbacks_.validateDrop && event->mimeData()
        && callbacks_.validateDrop(*event->mimeData(), dropRowAt(event->position().toPoint())))
        event->acceptProposedAction();
    else
        event->ignore();
}

void QVFilesPendingTableView::dragLeaveEvent(QDragLeaveEvent* event)
{
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
    const int row = dropRowAt(event->position().toPoint());
    event->acceptProposedAction();
    callbacks_.acceptDrop(*event->mimeData(), row);
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
