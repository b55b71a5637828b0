#include "platform/ui/ViewTable.h"

#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace qv {

ViewTable::ViewTable(QWidget* parent) : QAbstractScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
}

void ViewTable::setDataSource(ViewTableDataSource* dataSource)
{
    dataSource_ = dataSource;
    reloadData();
}

QWidget* ViewTable::dequeueReusableView(const QString& identifier)
{
    auto found = pool_.find(identifier);
    if (found == pool_.end() || found->empty())
        return nullptr;
    QWidget* view = found->back();
    found->pop_back();
    return view;
}

void ViewTable::setIdentifier(QWidget* view, const QString& identifier)
{
    identifiers_[view] = identifier;
}

void ViewTable::enqueue(qsizetype row)
{
    const auto found = views_.find(row);
    if (found == views_.end())
        return;
    QWidget* view = found->second;
    views_.erase(found);
    // Hiding a widget moves the keyboard focus out of it, and it would stay behind in a widget
    // handed to another row: the focus leaves with its row at once. The others are hidden once
    // the layout pass has handed out what it needs, so that one given out again is not hidden
    // and shown, each of which costs the display server a round trip.
    QWidget* focus = view->window()->focusWidget();
    if (focus && (focus == view || view->isAncestorOf(focus)))
        view->hide();
    if (dataSource_)
        dataSource_->prepareForReuse(view);
    pool_[identifiers_.value(view)].push_back(view);
}

void ViewTable::reloadData()
{
    while (!views_.empty())
        enqueue(views_.begin()->first);
    if (dataSource_)
        dataSource_->willReloadData();
    const qsizetype count = dataSource_ ? std::max<qsizetype>(0, dataSource_->numberOfRows()) : 0;
    heights_.assign(static_cast<std::size_t>(count), 0);
    for (qsizetype row = 0; row < count; ++row)
        heights_[static_cast<std::size_t>(row)] = std::max(0.0, dataSource_->heightOfRow(row));
    if (dataSource_)
        dataSource_->didReloadData();
    recomputeOffsets(0);
    updateScrollRange();
    layoutRows();
}

void ViewTable::reloadRow(qsizetype row)
{
    if (row < 0 || row >= numberOfRows())
        return;
    if (views_.count(row) == 0)
        return;
    enqueue(row);
    layoutRows();
}

void ViewTable::noteHeightOfRowChanged(qsizetype row)
{
    if (!dataSource_ || row < 0 || row >= numberOfRows())
        return;
    heights_[static_cast<std::size_t>(row)] = std::max(0.0, dataSource_->heightOfRow(row));
    recomputeOffsets(row);
    updateScrollRange();
    layoutRows();
}

void ViewTable::recomputeOffsets(qsizetype fromRow)
{
    offsets_.resize(heights_.size() + 1);
    offsets_[0] = 0;
    for (std::size_t i = static_cast<std::size_t>(std::max<qsizetype>(fromRow, 0)); i < heights_.size(); ++i)
        offsets_[i + 1] = offsets_[i] + heights_[i];
}

QRectF ViewTable::rectOfRow(qsizetype row) const
{
    if (row < 0 || row >= numberOfRows())
        return {};
    const auto index = static_cast<std::size_t>(row);
    return QRectF(0, offsets_[index], viewport()->width(), heights_[index]);
}

qsizetype ViewTable::rowAtY(double y) const
{
    if (heights_.empty() || y < 0 || y >= documentHeight())
        return -1;
    const auto above = std::upper_bound(offsets_.begin(), offsets_.end(), y);
    return static_cast<qsizetype>(above - offsets_.begin()) - 1;
}

std::pair<qsizetype, qsizetype> ViewTable::rowsInRect(const QRectF& rect) const
{
    if (heights_.empty() || rect.bottom() <= 0 || rect.top() >= documentHeight())
        return {0, 0};
    const qsizetype first = std::max<qsizetype>(0, rowAtY(std::max(0.0, rect.top())));
    qsizetype last = rowAtY(std::min(rect.bottom(), documentHeight()) - 1e-9);
    if (last < 0)
        last = numberOfRows() - 1;
    return {first, last - first + 1};
}

QRectF ViewTable::visibleRect() const
{
    return QRectF(0, verticalScrollBar()->value(), viewport()->width(), viewport()->height());
}

QWidget* ViewTable::viewAtRow(qsizetype row, bool makeIfNecessary)
{
    if (const auto found = views_.find(row); found != views_.end())
        return found->second;
    if (!makeIfNecessary || !dataSource_ || row < 0 || row >= numberOfRows())
        return nullptr;
    QWidget* view = dataSource_->viewForRow(row);
    if (view)
        placeView(row, view);
    return view;
}

qsizetype ViewTable::rowForView(const QWidget* view) const
{
    for (; view; view = view->parentWidget()) {
        for (const auto& [row, shown] : views_) {
            if (shown == view)
                return row;
        }
        if (view == viewport())
            break;
    }
    return -1;
}

void ViewTable::placeView(qsizetype row, QWidget* view)
{
    views_[row] = view;
    if (view->parentWidget() != viewport())
        view->setParent(viewport());
    const QRectF rect = rectOfRow(row);
    view->setGeometry(0, static_cast<int>(std::lround(rect.y() - verticalScrollBar()->value())), viewport()->width(),
                      static_cast<int>(std::lround(rect.height())));
    view->show();
}

void ViewTable::scrollToPoint(const QPointF& point)
{
    verticalScrollBar()->setValue(static_cast<int>(std::lround(point.y())));
    layoutRows();
}

void ViewTable::updateScrollRange()
{
    const int maximum = std::max(0, static_cast<int>(std::ceil(documentHeight())) - viewport()->height());
    verticalScrollBar()->setRange(0, maximum);
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(20);
}

void ViewTable::setFloatsGroupRows(bool floats)
{
    floatsGroupRows_ = floats;
    layoutRows();
}

qsizetype ViewTable::groupRowAbove(qsizetype row) const
{
    for (; row >= 0; --row) {
        if (dataSource_->isGroupRow(row))
            return row;
    }
    return -1;
}

void ViewTable::layoutRows()
{
    const auto [first, count] = rowsInRect(visibleRect());
    // The group row heading the top row floats once its own top has scrolled above the edge.
    floating_ = -1;
    if (floatsGroupRows_ && dataSource_ && count > 0) {
        const qsizetype group = groupRowAbove(first);
        if (group >= 0 && rectOfRow(group).y() < visibleRect().y())
            floating_ = group;
    }
    std::vector<qsizetype> leaving;
    for (const auto& [row, view] : views_) {
        if ((row < first || row >= first + count) && row != floating_)
            leaving.push_back(row);
    }
    for (qsizetype row : leaving)
        enqueue(row);
    for (qsizetype row = first; row < first + count; ++row) {
        if (QWidget* view = viewAtRow(row, true))
            placeView(row, view);
    }
    if (floating_ >= 0)
        placeFloatingGroupRow(floating_, first, count);
    // The floating row is filled with its window colour, so that the rows under it do not show
    // through; it is left transparent again once it stops floating.
    QWidget* floatingView = floating_ >= 0 ? viewAtRow(floating_, false) : nullptr;
    if (floatingView != floatingView_) {
        if (floatingView_)
            floatingView_->setAutoFillBackground(false);
        if (floatingView)
            floatingView->setAutoFillBackground(true);
        floatingView_ = floatingView;
    }
    hidePooledViews();
}

void ViewTable::hidePooledViews()
{
    for (auto& pooled : pool_) {
        for (QWidget* view : pooled) {
            if (!view->isHidden())
                view->hide();
        }
    }
}

void ViewTable::placeFloatingGroupRow(qsizetype row, qsizetype first, qsizetype count)
{
    QWidget* view = viewAtRow(row, true);
    if (!view)
        return;
    const double top = visibleRect().y();
    const double height = rectOfRow(row).height();
    double y = 0;
    for (qsizetype next = std::max(row + 1, first); next < first + count; ++next) {
        if (dataSource_->isGroupRow(next)) {
            y = std::min(0.0, rectOfRow(next).y() - top - height);
            break;
        }
    }
    view->setGeometry(0, static_cast<int>(std::lround(y)), viewport()->width(), static_cast<int>(std::lround(height)));
    view->raise();
}

void ViewTable::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
    layoutRows();
}

void ViewTable::wheelEvent(QWheelEvent* event)
{
    if (wheelScrollAllowed_ && !wheelScrollAllowed_()) {
        event->ignore();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

void ViewTable::scrollContentsBy(int, int)
{
    layoutRows();
}

}  // namespace qv
