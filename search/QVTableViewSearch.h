// The search results table: two columns (the speaker as a coloured tag, the abstract with its
// found words bold and its unheard words dimmed, cut on whole words when too wide and whole in
// its tooltip), rows 20 points high on a
// 25-point pitch, the selected row's tag and background drawn opaque and the others' half
// transparent. A click on the row that is already selected reports it again, so that it plays
// again.
#pragma once

#include "search/QVSearchResult.h"

#include <QColor>
#include <QTableView>
#include <QTextLayout>

#include <functional>
#include <vector>

class QAbstractTableModel;
class QPainterPath;
class QRectF;

namespace qv::search {

class QVTableViewSearch : public QTableView {
public:
    static constexpr int kRowHeight = 20;
    static constexpr int kRowPitch = 25;
    // The speaker column takes a third of the table within these bounds; the abstract the rest.
    static constexpr int kSpeakerColumnMinimum = 56;
    static constexpr int kSpeakerColumnMaximum = 110;
    static int speakerColumnWidth(int tableWidth);

    struct SpeakerCell {
        QString name;
        QColor color;
    };
    struct ColoredRange {
        QVSearchRange range;
        QColor color;
    };
    struct WordsCell {
        QString text;
        std::vector<QVSearchRange> bold;
        // Later entries win where they overlap earlier ones.
        std::vector<ColoredRange> colors;
    };
    struct Source {
        std::function<int()> rowCount;
        std::function<SpeakerCell(int row)> speakerCell;
        std::function<WordsCell(int row)> wordsCell;
    };

    // What a words cell shows in a given width: the whole abstract when it fits; otherwise whole
    // words around the first found word (those before it first given a quarter of the width at
    // most, then what room is left after the words that follow), with "…" where words are left
    // out, and the formats moved with the words (each "…" in the colour of the word beside it).
    // A found word too wide even alone is cut on whole characters.
    struct ShownWords {
        QString text;
        QList<QTextLayout::FormatRange> formats;
    };
    static ShownWords shownWords(const WordsCell& cell, const QFont& font, double width);
    // Lays `layout` (given its text, font and formats) out on one line as wide as its text; the
    // line, invalid for an empty text.
    static QTextLine layOutOnOneLine(QTextLayout& layout);
    // The cells' font: `base` at 12 points.
    static QFont cellFont(QFont base);
    // Where the abstract's text is drawn in a words cell drawn in `cellRect`.
    static QRectF wordsTextRect(const QRect& cellRect);

    explicit QVTableViewSearch(Source source, QWidget* parent = nullptr);

    // A tag filling `bounds`, rounded with radius 10 on its left corners: the speaker's shape.
    static QPainterPath leftRoundedTag(const QRectF& bounds);
    ~QVTableViewSearch() override;

    // Rows and cells are read again from the source.
    void reloadData();
    // One row's cells are read again.
    void reloadRow(int row);
    int selectedRow() const;
    void selectRow(int row);
    void clearSelectedRow();

    // A press on the row that is already selected.
    void setReselected(std::function<void(int row)> reselected) { reselected_ = std::move(reselected); }
    // The selection changed to `row` (-1: none).
    void setSelectionChanged(std::function<void(int row)> changed) { selectionChanged_ = std::move(changed); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    Source source_;
    QAbstractTableModel* model_;
    std::function<void(int)> reselected_;
    std::function<void(int)> selectionChanged_;
};

}  // namespace qv::search
