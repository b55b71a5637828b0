// A scrolling table of widgets, one per row, with variable row heights: only the rows in view
// (and those asked for) have widgets, and a widget that scrolls out goes back to a pool for its
// identifier, to be handed out again for another row. Heights are asked of the data source once
// per row and kept until that row or the whole table is reloaded. Main thread only.
#pragma once

#include <QAbstractScrollArea>
#include <QHash>
#include <QPointer>
#include <QString>

#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace qv {

class ViewTableDataSource {
public:
    virtual ~ViewTableDataSource() = default;
    virtual qsizetype numberOfRows() = 0;
    // Height of `row` in points; asked before the row's widget.
    virtual double heightOfRow(qsizetype row) = 0;
    // The widget of `row` (made or taken with dequeueReusableView), or none for an empty row.
    virtual QWidget* viewForRow(qsizetype row) = 0;
    // A group row heads the rows after it; with floating group rows on, the one whose rows are
    // in view stays at the top edge while they scroll.
    virtual bool isGroupRow(qsizetype row) { (void)row; return false; }
    // `view` left its row and waits in the pool for reuse.
    virtual void prepareForReuse(QWidget* view) { (void)view; }
    // Around a full reload, which asks every row's height in turn.
    virtual void willReloadData() {}
    virtual void didReloadData() {}
};

class ViewTable : public QAbstractScrollArea {
public:
    explicit ViewTable(QWidget* parent = nullptr);
    ViewTable(const ViewTable&) = delete;
    ViewTable& operator=(const ViewTable&) = delete;

    void setDataSource(ViewTableDataSource* dataSource);

    // A pooled widget of `identifier`, or none when the pool is empty. A new widget is given its
    // identifier with setIdentifier.
    QWidget* dequeueReusableView(const QString& identifier);
    void setIdentifier(QWidget* view, const QString& identifier);

    // Asks the row count and every height again and rebuilds the rows in view.
    void reloadData();
    // Rebuilds the widget of `row`; rows outside the table are ignored.
    void reloadRow(qsizetype row);
    // Asks the height of `row` again and moves the rows below it.
    void noteHeightOfRowChanged(qsizetype row);

    qsizetype numberOfRows() const { return static_cast<qsizetype>(heights_.size()); }
    // The row's rectangle in the table's (document) coordinates; empty outside the table.
    QRectF rectOfRow(qsizetype row) const;
    // The row at document y, or -1.
    qsizetype rowAtY(double y) const;
    // First row and count of the rows that intersect `rect` (document coordinates).
    std::pair<qsizetype, qsizetype> rowsInRect(const QRectF& rect) const;
    // The part of the document in view.
    QRectF visibleRect() const;
    double documentHeight() const { return offsets_.empty() ? 0 : offsets_.back(); }

    // The widget of `row`; made (and kept until the row leaves view) when asked to.
    QWidget* viewAtRow(qsizetype row, bool makeIfNecessary);
    // The row whose widget is or contains `view`, or -1.
    qsizetype rowForView(const QWidget* view) const;

    // Group rows float at the top edge over the rows they head, filled with their window colour,
    // and are pushed up by the next group row. Off by default.
    void setFloatsGroupRows(bool floats);
    // The group row now floating over the top edge, or -1.
    qsizetype floatingGroupRow() const { return floating_; }

    // Puts the document's `point` at the top-left of the view, as far as the document allows.
    void scrollToPoint(const QPointF& point);
    // Asked before each wheel event; false ignores it. Absent: the wheel always scrolls.
    void setWheelScrollAllowed(std::function<bool()> allowed) { wheelScrollAllowed_ = std::move(allowed); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void recomputeOffsets(qsizetype fromRow);
    void updateScrollRange();
    // Places the rows in view; every widget left in the pool is hidden at its end.
    void layoutRows();
    void enqueue(qsizetype row);
    void hidePooledViews();
    void placeView(qsizetype row, QWidget* view);
    qsizetype groupRowAbove(qsizetype row) const;
    void placeFloatingGroupRow(qsizetype row, qsizetype first, qsizetype count);

    ViewTableDataSource* dataSource_ = nullptr;
    std::vector<double> heights_;
    // offsets_[i] is the top of row i; one more entry holds the document's height.
    std::vector<double> offsets_{0};
    std::map<qsizetype, QWidget*> views_;
    QHash<QString, std::vector<QWidget*>> pool_;
    QHash<const QWidget*, QString> identifiers_;
    std::function<bool()> wheelScrollAllowed_;
    bool floatsGroupRows_ = false;
    qsizetype floating_ = -1;
    // The widget of the floating row, filled while it floats.
    QPointer<QWidget> floatingView_;
};

}  // namespace qv
