// The custom words panel's tiles in a left-aligned flow: one tile per word of its data source,
// reloaded whole or changed at given positions, with the selection and the dragging of tiles as
// copies. A click selects on release, so that a press that becomes a drag selects nothing.
#pragma once

#include "search/QVCustomWordsItem.h"

#include <QColor>
#include <QPoint>
#include <QWidget>

#include <functional>
#include <set>
#include <vector>

namespace qv::search {

class QVCustomWordsCollectionView final : public QWidget {
public:
    struct Delegate {
        std::function<int()> numberOfItems;
        std::function<QString(int index)> wordAtIndex;
        // The proposed selection, or none (the transcript is view-only).
        std::function<bool()> shouldSelectItems;
        std::function<void(const std::set<int>& indexes)> didSelectItems;
        std::function<void(const std::set<int>& indexes)> didDeselectItems;
        std::function<void(const std::set<int>& indexes)> draggingSessionWillBegin;
        std::function<void()> draggingSessionEnded;
        QVCustomWordsItem::Host item;
    };

    QVCustomWordsCollectionView(Delegate delegate, QWidget* parent);

    void reloadData();
    // Adds tiles at the given positions of the data source as it is now, or removes the tiles
    // at the given positions of the data source as it was.
    void insertItems(const std::set<int>& indexes);
    void deleteItems(const std::set<int>& indexes);

    const std::vector<QVCustomWordsItem*>& items() const { return items_; }
    std::set<int> selectionIndexes() const;
    void deselectAll();
    // Clicks add and remove tiles from the selection (edit mode) instead of choosing one.
    void setAllowsMultipleSelection(bool allows) { multiple_ = allows; }
    void setBackgroundColor(const QColor& color);
    QColor backgroundColor() const { return background_; }
    // Selects the tile at `index` as a click does.
    void clickItem(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QVCustomWordsItem* makeItem(int index);
    void layoutItems();
    int indexAt(const QPoint& point) const;
    void startDrag(int pressed);

    Delegate delegate_;
    std::vector<QVCustomWordsItem*> items_;
    QColor background_{60, 60, 60};
    bool multiple_ = false;
    int pressedIndex_ = -1;
    QPoint pressPosition_;
};

}  // namespace qv::search
