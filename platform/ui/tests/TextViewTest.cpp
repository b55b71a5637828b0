#include "platform/ui/TextView.h"
#include "platform/ui/ViewTable.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include <functional>

namespace qv {
namespace {

TEST(TextViewTest, CleansPastedText)
{
    const struct {
        const char* pasted;
        const char* cleaned;
    } cases[] = {
        {"two\nlines", "two lines"},  // the words of two lines stay apart
        {"one\n\n\ntwo", "one two"},
        {"  a \t\t b   c ", "a b c"},
        {"\n\nword\n", "word"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextView::cleanPastedText(c.pasted), c.cleaned) << c.pasted;
}

TEST(TextViewTest, PasteGoesThroughTheRefusalHook)
{
    TextView view;
    view.model().setString("one two");
    view.model().setEditable(true);
    view.model().setSelectedRange({4, 3});
    QString offered;
    view.model().setShouldChangeText([&](TextRange, const QString& text) {
        offered = text;
        return text != "no";
    });
    EXPECT_FALSE(view.paste(" no\n"));
    EXPECT_EQ(view.model().string(), "one two");
    EXPECT_TRUE(view.paste(" three\n  four"));
    EXPECT_EQ(offered, "three four");
    EXPECT_EQ(view.model().string(), "one three four");
}

TEST(TextViewTest, PointsMapToCharactersAndBack)
{
    TextView view;
    view.resize(400, 200);
    view.setLineSpacing(8);
    view.model().setString("alpha beta\n\ngamma");
    const double height = view.usedHeight();
    // Three lines (text, empty paragraph line, text), each with the spacing below it.
    const QRectF first = view.boundingRectForRange({0, 5});
    EXPECT_NEAR(height, 3 * first.height(), 0.01);
    const QRectF gamma = view.boundingRectForRange({12, 5});
    EXPECT_EQ(view.characterIndexForPoint(first.center()), 2);
    EXPECT_EQ(view.characterIndexForPoint(gamma.topLeft() + QPointF(1, 1)), 12);
    // The empty line of the paragraph break lands on the second line feed.
    EXPECT_EQ(view.characterIndexForPoint({1, first.height() * 1.5}), 11);
    // Past the end of the text, and below it.
    EXPECT_EQ(view.characterIndexForPoint({390, gamma.center().y()}), 17);
    EXPECT_EQ(view.characterIndexForPoint({1, height + 50}), 17);
    EXPECT_TRUE(view.boundingRectForRange({15, 5}).isNull());
}

TEST(TextViewTest, MouseAndKeysReachTheHooksFirst)
{
    TextView view;
    view.resize(300, 100);
    view.model().setString("abc");
    std::vector<QString> events;
    view.setMouseDownHook([&](const QPointF&) { events.push_back("down"); });
    view.setMouseDraggedHook([&](const QPointF&) { events.push_back("drag"); });
    view.setMouseUpHook([&](const QPointF&, int clicks) {
        events.push_back(QString("up%1").arg(clicks));
        return true;
    });
    view.setKeyHook([&](QKeyEvent* event) { return event->key() == Qt::Key_Return; });
    view.model().setEditable(true);
    QMouseEvent press(QEvent::MouseButtonPress, {2, 2}, {2, 2}, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent drag(QEvent::MouseMove, {5, 2}, {5, 2}, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, {5, 2}, {5, 2}, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    QApplication::sendEvent(&view, &drag);
    QApplication::sendEvent(&view, &release);
    EXPECT_EQ(events, (std::vector<QString>{"down", "drag", "up1"}));

    view.model().setSelectedRange({3, 0});
    QKeyEvent returnKey(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_D, Qt::NoModifier, "d");
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(&view, &returnKey);
    QApplication::sendEvent(&view, &letter);
    EXPECT_EQ(view.model().string(), "abcd");
    QApplication::sendEvent(&view, &backspace);
    QApplication::sendEvent(&view, &backspace);
    EXPECT_EQ(view.model().string(), "ab");
}

TEST(TextViewTest, BackgroundsPassTheShaperAndTemporaryColoursPaint)
{
    TextView view;
    view.resize(200, 40);
    view.model().setString("word word");
    view.model().setBackground({0, 4}, QColor(Qt::yellow));
    view.model().setTemporaryForeground({5, 4}, QColor(Qt::red));
    int shaped = 0;
    view.setBackgroundShaper([&](const std::vector<QRectF>& rects, const QColor& colour) {
        ++shaped;
        EXPECT_EQ(colour, QColor(Qt::yellow));
        return rects;
    });
    const QImage image = view.grab().toImage();
    EXPECT_EQ(shaped, 1);
    const QRectF second = view.boundingRectForRange({5, 4});
    bool red = false;
    for (int x = int(second.left()); x < int(second.right()) && !red; ++x) {
        for (int y = int(second.top()); y < int(second.bottom()) && !red; ++y)
            red = image.pixelColor(x, y).red() > 200 && image.pixelColor(x, y).green() < 80;
    }
    EXPECT_TRUE(red);
}

// Rows of given heights with labels; counts how many widgets were ever made.
class Rows : public ViewTableDataSource {
public:
    explicit Rows(std::vector<double> heights) : heights(std::move(heights)) {}
    qsizetype numberOfRows() override { return static_cast<qsizetype>(heights.size()); }
    double heightOfRow(qsizetype row) override
    {
        ++heightRequests;
        return heights[static_cast<std::size_t>(row)];
    }
    QWidget* viewForRow(qsizetype row) override
    {
        auto* label = static_cast<QLabel*>(table->dequeueReusableView("row"));
        if (!label) {
            label = new QLabel;
            table->setIdentifier(label, "row");
            ++made;
        }
        label->setText(QString::number(row));
        return label;
    }
    void prepareForReuse(QWidget*) override { ++reused; }
    bool isGroupRow(qsizetype row) override { return row % 2 == 0; }

    ViewTable* table = nullptr;
    std::vector<double> heights;
    int made = 0;
    int reused = 0;
    int heightRequests = 0;
};

TEST(ViewTableTest, VariableHeightsAndGeometry)
{
    ViewTable table;
    table.resize(300, 100);
    Rows rows({25, 50, 25, 75});
    rows.table = &table;
    table.setDataSource(&rows);
    EXPECT_EQ(table.numberOfRows(), 4);
    EXPECT_EQ(table.documentHeight(), 175);
    EXPECT_EQ(table.rectOfRow(2).y(), 75);
    EXPECT_TRUE(table.rectOfRow(4).isNull());
    EXPECT_EQ(table.rowAtY(74.9), 1);
    EXPECT_EQ(table.rowAtY(75), 2);
    EXPECT_EQ(table.rowAtY(175), -1);
    EXPECT_EQ(table.rowsInRect({0, 30, 100, 50}), (std::pair<qsizetype, qsizetype>{1, 2}));

    rows.heights[1] = 100;
    table.noteHeightOfRowChanged(1);
    EXPECT_EQ(table.rectOfRow(3).y(), 150);
    EXPECT_EQ(table.documentHeight(), 225);
}

TEST(ViewTableTest, WidgetsAreReusedAsRowsScroll)
{
    ViewTable table;
    table.resize(300, 100);
    table.show();
    Rows rows(std::vector<double>(200, 25));
    rows.table = &table;
    table.setDataSource(&rows);
    const int shownAtTop = rows.made;
    EXPECT_LE(shownAtTop, 5);
    for (int y = 0; y < 200 * 25; y += 100)
        table.scrollToPoint({0, double(y)});
    EXPECT_LE(rows.made, shownAtTop + 5);
    EXPECT_GT(rows.reused, 150);
    EXPECT_EQ(table.verticalScrollBar()->value(), 200 * 25 - 100);
    auto* last = static_cast<QLabel*>(table.viewAtRow(199, false));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->text(), "199");
    EXPECT_EQ(table.rowForView(last), 199);
    EXPECT_EQ(table.viewAtRow(0, false), nullptr);

    // A single-row reload makes the row's widget anew; a full reload asks every height again.
    const int reusedBefore = rows.reused;
    table.reloadRow(199);
    EXPECT_EQ(rows.reused, reusedBefore + 1);
    table.reloadRow(500);
    rows.heightRequests = 0;
    rows.heights.resize(3);
    table.reloadData();
    EXPECT_EQ(rows.heightRequests, 3);
    EXPECT_EQ(table.verticalScrollBar()->value(), 0);
}

TEST(ViewTableTest, AGroupRowFloatsOverItsRowsUntilTheNextPushesItUp)
{
    ViewTable table;
    table.resize(300, 100);
    table.show();
    // Headers of 20 over rows of 200: headers at 0, 220, 440.
    Rows rows({20, 200, 20, 200, 20, 200});
    rows.table = &table;
    table.setDataSource(&rows);
    const auto headerY = [&](qsizetype row) {
        QWidget* view = table.viewAtRow(row, false);
        return view && view->isVisible() ? view->y() : -1000;
    };

    table.scrollToPoint({0, 50});
    EXPECT_EQ(table.floatingGroupRow(), -1) << "off by default";
    EXPECT_EQ(table.viewAtRow(0, false), nullptr);

    table.setFloatsGroupRows(true);
    const struct {
        double top;
        qsizetype floating;
        int y;
    } cases[] = {
        {0, -1, 0},      // the header at its own place
        {50, 0, 0},      // its rows scrolled under it: it stays at the edge
        {210, 0, -10},   // the next header is 10 below the edge and pushes it up
        {220, -1, 0},    // the next header reached the edge in its own place
        {300, 2, 0},
        {540, 4, 0},     // the last range scrolled to the document's end
    };
    for (const auto& c : cases) {
        table.scrollToPoint({0, c.top});
        EXPECT_EQ(table.floatingGroupRow(), c.floating) << c.top;
        if (c.floating >= 0) {
            EXPECT_EQ(headerY(c.floating), c.y) << c.top;
            // Drawn over the rows it heads, filled so that they do not show through.
            const QObjectList& children = table.viewport()->children();
            EXPECT_EQ(children.last(), table.viewAtRow(c.floating, false)) << c.top;
        }
        // Only the floating header is filled; those in their own place stay transparent.
        for (const qsizetype header : {0, 2, 4})
            if (QWidget* view = table.viewAtRow(header, false))
                EXPECT_EQ(view->autoFillBackground(), header == c.floating) << c.top << " header " << header;
    }
    // A header that floated and left goes back to the pool like any row.
    table.scrollToPoint({0, 0});
    EXPECT_EQ(table.viewAtRow(4, false), nullptr);
    EXPECT_EQ(headerY(0), 0);
}


// Fields that take the focus on a click, as the transcript's rows do.
class Fields : public ViewTableDataSource {
public:
    qsizetype numberOfRows() override { return static_cast<qsizetype>(heights.size()); }
    double heightOfRow(qsizetype row) override { return heights[static_cast<std::size_t>(row)]; }
    QWidget* viewForRow(qsizetype row) override
    {
        auto* field = static_cast<QLineEdit*>(table->dequeueReusableView("field"));
        if (!field) {
            field = new QLineEdit;
            field->setFocusPolicy(Qt::ClickFocus);
            table->setIdentifier(field, "field");
        }
        field->setText(QString::number(row));
        return field;
    }

    ViewTable* table = nullptr;
    std::vector<double> heights = std::vector<double>(100, 25);
};

// The rows in view are shown with their own text and no widget outside them is; the focus stays
// in a row's widget while that row stays, and leaves with it, never to be found in a widget
// handed to another row.
TEST(ViewTableTest, TheFocusStaysWithItsRowThroughLayoutPassesAndLeavesWithIt)
{
    const qsizetype focused = 6;
    const struct {
        const char* what;
        std::function<void(ViewTable&, Fields&)> change;
        bool stays;
    } cases[] = {
        {"scrolled by less than a row", [](ViewTable& t, Fields&) { t.scrollToPoint({0, 110}); }, true},
        {"a row above grew", [](ViewTable& t, Fields& f) { f.heights[2] = 60; t.noteHeightOfRowChanged(2); }, true},
        {"the row below reloaded", [](ViewTable& t, Fields&) { t.reloadRow(focused + 1); }, true},
        {"the table made shorter", [](ViewTable& t, Fields&) { t.resize(300, 120); }, true},
        {"its own row reloaded", [](ViewTable& t, Fields&) { t.reloadRow(focused); }, false},
        {"scrolled out of view", [](ViewTable& t, Fields&) { t.scrollToPoint({0, 400}); }, false},
        {"every row reloaded", [](ViewTable& t, Fields&) { t.reloadData(); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ViewTable table;
        table.resize(300, 250);
        Fields fields;
        fields.table = &table;
        table.setDataSource(&fields);
        table.scrollToPoint({0, 100});
        table.show();
        table.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&table));
        auto* field = static_cast<QLineEdit*>(table.viewAtRow(focused, false));
        ASSERT_NE(field, nullptr);
        field->setFocus(Qt::MouseFocusReason);
        field->setCursorPosition(1);
        ASSERT_EQ(QApplication::focusWidget(), field);

        c.change(table, fields);
        if (c.stays) {
            EXPECT_EQ(QApplication::focusWidget(), field);
            EXPECT_EQ(table.viewAtRow(focused, false), field);
            EXPECT_EQ(field->cursorPosition(), 1);
        } else {
            const qsizetype holding = table.rowForView(QApplication::focusWidget());
            EXPECT_EQ(holding, -1) << "the focus is in the widget of row " << holding;
        }
        const auto [first, count] = table.rowsInRect(table.visibleRect());
        for (QObject* child : table.viewport()->children()) {
            auto* shown = qobject_cast<QLineEdit*>(child);
            if (!shown)
                continue;
            const qsizetype row = table.rowForView(shown);
            EXPECT_EQ(shown->isVisible(), row >= first && row < first + count) << "the widget of row " << row;
            if (row >= 0) {
                EXPECT_EQ(shown->text(), QString::number(row));
            }
        }
    }
}

}  // namespace
}  // namespace qv
