#pragma once
// The transcript laid out on pages for printing and PDF: per page the speaker-name tabs, the
// words column, the narrow grey time column and a footer with the file name and page number.
// The whole layout is made before anything is drawn; drawing then paints one page at a time in
// points, on a printer or a PDF writer alike.
#include "export/ExportTranscript.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class QPagedPaintDevice;
class QPainter;

namespace qv {

// Page margins on all four sides, points.
inline constexpr double kPrintMargin = 54;
// Height of the footer at the bottom of every page, points.
inline constexpr double kPrintFooterHeight = 34;

class QVPrintingView {
public:
    using StampText = std::function<QString(int64_t ms)>;
    using ColorForColorName = std::function<QColor(const QString& name)>;

    // One printed line of a speaker range: its words, the character runs of favourite words,
    // and the time shown beside it (often empty).
    struct Line {
        QString words;
        std::vector<std::pair<int, int>> favoriteRanges;  // (start, length) in `words`
        QString time;
    };
    struct SpeakerTab {
        int64_t page = 0;  // from 1
        int64_t line = 0;  // on its page, from 0
        QString name;      // " (continued)" already appended where it applies
        QColor color;
    };
    // Consecutive lines of one range placed on one page.
    struct Chunk {
        int64_t page = 0;
        int64_t startLine = 0;
        std::vector<Line> lines;
    };

    // `textSize` is the export text size (points, used as pixels at 72 per inch) and
    // `lineHeight` the fixed distance between printed lines.
    QVPrintingView(ExportTranscript transcript, QString fileName, StampText stamp, ColorForColorName colorForName,
                   double textSize, double lineHeight);

    // The printable area: paper less the margins, points.
    void setPageSize(double pageWidth, double pageHeight);
    // Lays every speaker range out on pages; replaces any earlier layout.
    void printTranscript();

    double pageWidth() const { return pageWidth_; }
    double pageHeight() const { return pageHeight_; }
    double timestampColumnWidth() const { return timestampColumnWidth_; }
    double wordsViewWidth() const { return wordsViewWidth_; }
    // Lines a page holds; never below 2, so that a page always takes a name and a line of text.
    int64_t linesPerPage() const { return linesPerPage_; }
    int64_t pageCount() const { return currentPageNumber_; }
    const std::vector<SpeakerTab>& speakerTabs() const { return tabs_; }
    const std::vector<Chunk>& chunks() const { return chunks_; }
    // Page `page` (from 1) in the coordinates of the whole laid-out view.
    QRectF rectForPage(int64_t page) const;

    // Paints page `page` (from 1) with its top-left corner at the painter's origin, in points.
    void drawPage(QPainter& painter, int64_t page) const;
    // Paints every page on `device`, one device page each, inside margins of kPrintMargin.
    // False when the device could not be painted on or refused a new page.
    bool drawPages(QPagedPaintDevice& device) const;

private:
    std::vector<Line> linesOfRange(const ExportRange& range) const;
    void placeRange(const ExportRange& range, std::vector<Line> lines);
    void addNewPage();
    double lineWidth(const QString& text) const;
    std::vector<QString> piecesThatFit(const QString& word) const;
    void drawSpeakerTab(QPainter& painter, const SpeakerTab& tab) const;
    void drawChunk(QPainter& painter, const Chunk& chunk) const;
    void drawFooter(QPainter& painter, int64_t page) const;

    ExportTranscript transcript_;
    QString fileName_;
    StampText stamp_;
    ColorForColorName colorForName_;
    double textSize_;
    double lineHeight_;
    QFont wordsFont_;
    QFont boldFont_;
    QFont footerFont_;

    double pageWidth_ = 0;
    double pageHeight_ = 0;
    double timestampColumnWidth_ = 0;
    double wordsViewWidth_ = 0;
    int64_t linesPerPage_ = 2;
    int64_t currentPageNumber_ = 0;
    int64_t nextLine_ = 0;
    std::vector<SpeakerTab> tabs_;
    std::vector<Chunk> chunks_;
};

}  // namespace qv
