// The pending list's table: one row widget per pending file, the drop target for media files
// dragged in from elsewhere, and the source of rows dragged into another order. What a drag may
// do, and what the Delete key does, is the controller's decision, asked through the callbacks.
// Main thread only.
#pragma once

#include <QListWidget>

#include <optional>

#include <functional>

class QMimeData;

class QVFilesPendingTableView : public QListWidget {
public:
    struct Callbacks {
        // May `data` be dropped above `row` (-1: the end of the list)? Shows what it would import.
        std::function<bool(const QMimeData& data, int row)> validateDrop;
        std::function<void(const QMimeData& data, int row)> acceptDrop;
        // The drag left the table without a drop.
        std::function<void()> draggingExited;
        // The Delete key, with rows selected and no name being edited.
        std::function<void()> deleteSelectedRows;
        // A drag of the rows `rows` (ascending) begins: what it carries; it ends with rowDragEnded.
        std::function<QMimeData*(const QList<int>& rows)> rowDragBegan;
        std::function<void()> rowDragEnded;
    };

    explicit QVFilesPendingTableView(QWidget* parent = nullptr);
    void setCallbacks(Callbacks callbacks) { callbacks_ = std::move(callbacks); }

    // The row a drop at `position` goes above; -1 for the end of the list.
    int dropRowAt(const QPoint& position) const;
    // Where the line marking the drop position is drawn while a drag it would take is over the
    // list: the top of that row, or the bottom of the last row for -1; nothing when not dragging.
    std::optional<int> dropIndicatorRow() const { return dropIndicatorRow_; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void showDropIndicator(std::optional<int> row);

    Callbacks callbacks_;
    std::optional<int> dropIndicatorRow_;
};
