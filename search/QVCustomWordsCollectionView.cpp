#include "search/QVCustomWordsCollectionView.h"

#include "search/QVCustomWordsLeftFlowLayout.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace qv::search {

QVCustomWordsCollectionView::QVCustomWordsCollectionView(Delegate delegate, QWidget* parent)
    : QWidget(parent), delegate_(std::move(delegate))
{
    setObjectName(QStringLiteral("customWordsCollectionView"));
}

QVCustomWordsItem* QVCustomWordsCollectionView::makeItem(int index)
{
    auto* item = new QVCustomWordsItem(delegate_.wordAtIndex(index), &delegate_.item, this);
    item->show();
    return item;
}

void QVCustomWordsCollectionView::reloadData()
{
    for (QVCustomWordsItem* item : items_)
        delete item;
    items_.clear();
    const int count = delegate_.numberOfItems();
    for (int i = 0; i < count; ++i)
        items_.push_back(makeItem(i));
    layoutItems();
}

void QVCustomWordsCollectionView::insertItems(const std::set<int>& indexes)
{
    for (int index : indexes)
        items_.insert(items_.begin() + std::min<std::ptrdiff_t>(index, std::ptrdiff_t(items_.size())), makeItem(index));
    layoutItems();
}

void QVCustomWordsCollectionView::deleteItems(const std::set<int>& indexes)
{
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it)
        if (*it >= 0 && *it < int(items_.size())) {
            delete items_[std::size_t(*it)];
            items_.erase(items_.begin() + *it);
        }
    layoutItems();
}

std::set<int> QVCustomWordsCollectionView::selectionIndexes() const
{
    std::set<int> selected;
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->isSelected())
            selected.insert(int(i));
    return selected;
}

void QVCustomWordsCollectionView::deselectAll()
{
    for (QVCustomWordsItem* item : items_)
        if (item->isSelected())
            item->setSelected(false);
}

void QVCustomWordsCollectionView::setBackgroundColor(const QColor& color)
{
    background_ = color;
    update();
}

void QVCustomWordsCollectionView::layoutItems()
{
    std::vector<QSize> sizes;
    const int widest = std::max(1, width() - QVCustomWordsLeftFlowLayout::kSectionInset.left() -
                                       QVCustomWordsLeftFlowLayout::kSectionInset.right());
    for (QVCustomWordsItem* item : items_) {
        QSize size = QVCustomWordsItem::sizeForWord(item->word());
        size.setWidth(std::min(size.width(), widest));
        sizes.push_back(size);
    }
    const std::vector<QRect> frames =
        QVCustomWordsLeftFlowLayout::layoutAttributesForElements(QVCustomWordsLeftFlowLayout::flowFrames(sizes, width()));
    for (std::size_t i = 0; i < items_.size(); ++i)
        items_[i]->setGeometry(frames[i]);
    setMinimumHeight(QVCustomWordsLeftFlowLayout::contentHeight(frames));
}

void QVCustomWordsCollectionView::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), background_);
}

void QVCustomWordsCollectionView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutItems();
}

int QVCustomWordsCollectionView::indexAt(const QPoint& point) const
{
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->geometry().contains(point))
            return int(i);
    return -1;
}

void QVCustomWordsCollectionView::mousePressEvent(QMouseEvent* event)
{
    pressedIndex_ = event->button() == Qt::LeftButton ? indexAt(event->position().toPoint()) : -1;
    pressPosition_ = event->position().toPoint();
}

void QVCustomWordsCollectionView::mouseMoveEvent(QMouseEvent* event)
{
    if (pressedIndex_ < 0 || !(event->buttons() & Qt::LeftButton) ||
        (event->position().toPoint() - pressPosition_).manhattanLength() < QApplication::startDragDistance())
        return;
    const int pressed = pressedIndex_;
    pressedIndex_ = -1;
    startDrag(pressed);
}

void QVCustomWordsCollectionView::mouseReleaseEvent(QMouseEvent* event)
{
    const int pressed = pressedIndex_;
    pressedIndex_ = -1;
    if (pressed >= 0 && pressed == indexAt(event->position().toPoint()))
        clickItem(pressed);
}

void QVCustomWordsCollectionView::clickItem(int index)
{
    if (index < 0 || index >= int(items_.size()) || (delegate_.shouldSelectItems && !delegate_.shouldSelectItems()))
        return;
    QVCustomWordsItem* item = items_[std::size_t(index)];
    if (multiple_ && item->isSelected()) {
        item->setSelected(false);
        delegate_.didDeselectItems({index});
        return;
    }
    if (!multiple_)
        deselectAll();
    item->setSelected(true);
    delegate_.didSelectItems({index});
}

void QVCustomWordsCollectionView::startDrag(int pressed)
{
    // A selected tile takes the other selected tiles with it.
    std::set<int> dragged = items_[std::size_t(pressed)]->isSelected() ? selectionIndexes() : std::set<int>{};
    dragged.insert(pressed);
    QStringList words;
    for (int index : dragged)
        words << items_[std::size_t(index)]->word();
    QVCustomWordsItem* item = items_[std::size_t(pressed)];
    QPixmap image = item->grab();
    item->setToolTip({});
    auto* drag = new QDrag(this);
    auto* data = new QMimeData;
    data->setText(words.join('\n'));
    drag->setMimeData(data);
    drag->setPixmap(image);
    drag->setHotSpot(pressPosition_ - item->pos());
    delegate_.draggingSessionWillBegin(dragged);
    drag->exec(Qt::CopyAction);
    delegate_.draggingSessionEnded();
}

}  // namespace qv::search
