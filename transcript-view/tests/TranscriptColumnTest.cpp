#include "speakers/SpeakerRowGeometry.h"
#include "transcript-view/tests/TranscriptFixture.h"

#include <QCoreApplication>
#include <QDir>

namespace qv::transcript::testing {
namespace {

class TranscriptColumnTest : public TranscriptFixture {
protected:
    // The leftmost x in the rows of `image` between `top` and `bottom` where `match` holds, or -1.
    template <typename Match>
    static int leftmost(const QImage& image, int top, int bottom, Match match)
    {
        for (int x = 0; x < image.width(); ++x) {
            for (int y = std::max(0, top); y < std::min(image.height(), bottom); ++y) {
                if (match(image.pixelColor(x, y)))
                    return x;
            }
        }
        return -1;
    }
};

// The speaker's tab starts where the transcript's column starts, and the words start just inside
// it, whatever the width of the transcript: a tab in the middle over words at the left edge
// reads as belonging to nothing.
TEST_F(TranscriptColumnTest, TheHeaderTabAndTheWordsStartOnTheColumn)
{
    load(shortScript());
    for (const int width : {600, 1001, 1400}) {
        table.tableView().resize(width, 500);
        QCoreApplication::processEvents();
        const int viewport = table.tableView().viewport()->width();
        const int column = static_cast<int>(speakers::transcriptColumnLeft(viewport));
        const QImage image = table.tableView().grab().toImage();
        image.save(QDir(QCoreApplication::applicationDirPath()).filePath(QString("transcript-column-%1.png").arg(width)));

        const QRectF header = table.tableView().rectOfRow(0);
        const QRectF words = table.tableView().rectOfRow(1);
        const int tab = leftmost(image, int(header.top()) + 8, int(header.bottom()) - 8, [](const QColor& c) {
            return c.red() > 190 && c.green() < 110 && c.blue() < 110;
        });
        // Words not heard yet are drawn dimmed: any grey well off the white ground is a glyph.
        const int glyphs = leftmost(image, int(words.top()), int(words.bottom()), [](const QColor& c) {
            return c.red() < 200 && c.green() < 200 && c.blue() < 200;
        });
        EXPECT_EQ(tab, column) << width;
        EXPECT_GE(glyphs, column + TranscriptWordsCell::kTextPadding) << width;
        EXPECT_LE(glyphs, column + TranscriptWordsCell::kTextPadding + 3) << width;

        QVTextView* text = rowView(0);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->x(), column + TranscriptWordsCell::kTextPadding) << width;
        EXPECT_EQ(text->width(), TranscriptTable::kMeasureWidth) << width;
    }
}

// Rows are measured once at the column's width; a row shown wider or narrower than that would
// show its words on more or fewer lines than its height allows.
TEST_F(TranscriptColumnTest, AWideTranscriptShowsRowsAsTallAsTheirText)
{
    load(evenScript(240, 120));
    table.tableView().resize(1400, 500);
    QCoreApplication::processEvents();
    QVTextView* text = rowView(0);
    ASSERT_NE(text, nullptr);
    const double rowHeight = table.tableView().rectOfRow(1).height();
    EXPECT_GT(rowHeight, 4 * ad.lineHeightDisplay);
    EXPECT_EQ(table.rowHeightToGrid(text->usedHeight()), rowHeight);
}

}  // namespace
}  // namespace qv::transcript::testing
