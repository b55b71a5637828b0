#include "export/QVPrintingView.h"

#include "model/StringPunctuation.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

// Inset of the text above the first line of a chunk, and the padding left and right of each
// line in the words column, points.
constexpr double kTextInsetHeight = 4;
constexpr double kWordsPadding = 8;
// A line is closed once it would come closer than this to the words column's right edge.
constexpr double kWordsRightSlack = 16;
// Favourite backgrounds stand out this far on each side and stop this far above the next line.
constexpr double kFavoritePad = 2;
constexpr double kFavoriteShortening = 5;
// Room a sized-to-fit name label takes beyond its text, points.
constexpr double kTabTextPadding = 4;
// The lowest lines-per-page value that still lets a range make progress.
constexpr int64_t kMinimumLinesPerPage = 2;

QFont systemFont(double pixelSize, bool bold) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    // Pixel sizes: on a 72-per-inch page a pixel is a point, so the grid stays exact.
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
    font.setBold(bold);
    // Measured and drawn the same way on screen, printer and PDF.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QColor greyText() {
    return QColor(128, 128, 128);
}

// A single line of `text` laid out without wrapping.
void layOutOneLine(QTextLayout& layout) {
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) line.setLineWidth(1e9);
    layout.endLayout();
}

}  // namespace

QVPrintingView::QVPrintingView(ExportTranscript transcript, QString fileName, StampText stamp,
                               ColorForColorName colorForName, double textSize, double lineHeight)
    : transcript_(std::move(transcript)),
      fileName_(std::move(fileName)),
      stamp_(std::move(stamp)),
      colorForName_(std::move(colorForName)),
      textSize_(textSize),
      lineHeight_(lineHeight),
      wordsFont_(systemFont(textSize, false)),
      boldFont_(systemFont(textSize, true)),
      footerFont_(systemFont(12, true)) {}

void QVPrintingView::setPageSize(double pageWidth, double pageHeight) {
    pageWidth_ = pageWidth;
    pageHeight_ = pageHeight;
}

void QVPrintingView::printTranscript() {
    currentPageNumber_ = 0;
    nextLine_ = 0;
    tabs_.clear();
    chunks_.clear();
    timestampColumnWidth_ = std::ceil(static_cast<float>(textSize_) * 5.8f);
    wordsViewWidth_ = pageWidth_ - timestampColumnWidth_;
    const auto lines = static_cast<int64_t>(
        std::floor(static_cast<float>(pageHeight_ - kPrintFooterHeight - 8) / static_cast<float>(lineHeight_)));
    linesPerPage_ = std::max(kMinimumLinesPerPage, lines);
    for (const ExportRange& range : transcript_.ranges) placeRange(range, linesOfRange(range));
}

double QVPrintingView::lineWidth(const QString& text) const {
    return QFontMetricsF(wordsFont_).horizontalAdvance(text);
}

// A word wider than the column on its own is cut between characters into pieces that fit, so
// that no part of it runs off the page.
std::vector<QString> QVPrintingView::piecesThatFit(const QString& word) const {
    const double limit = wordsViewWidth_ - kWordsRightSlack;
    if (lineWidth(word) <= limit) return {word};
    std::vector<QString> pieces;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, word);
    qsizetype pieceStart = 0;
    qsizetype lastBoundary = 0;
    for (qsizetype boundary = finder.toNextBoundary(); boundary != -1; boundary = finder.toNextBoundary()) {
        if (lineWidth(word.mid(pieceStart, boundary - pieceStart)) > limit && lastBoundary > pieceStart) {
            pieces.push_back(word.mid(pieceStart, lastBoundary - pieceStart));
            pieceStart = lastBoundary;
        }
        lastBoundary = boundary;
    }
    if (pieceStart < word.size()) pieces.push_back(word.mid(pieceStart));
    return pieces;
}

std::vector<QVPrintingView::Line> QVPrintingView::linesOfRange(const ExportRange& range) const {
    std::vector<Line> lines;
    Line current;
    QString pendingTime;
    bool lastFavorite = false;
    const double limit = wordsViewWidth_ - kWordsRightSlack;

    const auto closeLine = [&] {
        lines.push_back({current.words, std::move(current.favoriteRanges), pendingTime});
        current = {};
        pendingTime.clear();
    };
    const auto addFavorite = [&](const QString& text, bool favorite, bool afterFavorite) {
        if (!favorite) return;
        if (afterFavorite && !current.favoriteRanges.empty()) {
            current.favoriteRanges.back().second += static_cast<int>(text.size()) + 1;
        } else {
            const int at = current.words.isEmpty() ? 0 : static_cast<int>(current.words.size()) + 1;
            current.favoriteRanges.emplace_back(at, static_cast<int>(text.size()));
        }
    };

    for (size_t i = 0; i < range.words.size(); ++i) {
        const ExportWord& word = range.words[i];
        const std::vector<QString> pieces = piecesThatFit(word.name);
        for (size_t p = 0; p < pieces.size(); ++p) {
            const QString& piece = pieces[p];
            const bool continuesWord = p > 0;
            const QString separator = current.words.isEmpty() ? QString() : QStringLiteral(" ");
            const bool tooWide = lineWidth(current.words + separator + piece) > limit;
            // A paragraph mark on a range's first word starts nothing: the range already begins
            // on a line of its own, under its name.
            const bool paragraph = !continuesWord && word.newParagraph && !current.words.isEmpty();
            if (continuesWord || tooWide || paragraph) {
                if (!current.words.isEmpty()) closeLine();
                if (paragraph) lines.push_back({});
                addFavorite(piece, word.favorite, false);
                current.words = piece;
            } else {
                addFavorite(piece, word.favorite, lastFavorite);
                current.words += separator + piece;
            }
            lastFavorite = word.favorite;
        }
        const bool startsSentence = i == 0 || (hasStoppingPunctuation(range.words[i - 1].name) && pendingTime.isEmpty());
        if (startsSentence && stamp_) pendingTime = stamp_(word.start);
    }
    if (!current.words.isEmpty()) closeLine();
    return lines;
}

void QVPrintingView::placeRange(const ExportRange& range, std::vector<Line> lines) {
    const QColor color = colorForName_ ? colorForName_(range.speakerColor) : QColor();
    size_t completed = 0;
    size_t pending = lines.size();
    while (pending > 0) {
        const int64_t free = linesPerPage_ - nextLine_;
        const bool first = completed == 0;
        if (currentPageNumber_ == 0 || nextLine_ >= linesPerPage_ ||
            (first && (free < 2 || (free == 2 && lines.size() >= 2)))) {
            addNewPage();
        }
        QString name = range.speakerName;
        if (!first) name += QStringLiteral(" (continued)");
        tabs_.push_back({currentPageNumber_, nextLine_, name, color});
        nextLine_ += 1;
        const size_t room = static_cast<size_t>(linesPerPage_ - nextLine_);
        const size_t count = std::min(pending, room);
        Chunk chunk{currentPageNumber_, nextLine_, {}};
        chunk.lines.assign(std::make_move_iterator(lines.begin() + static_cast<std::ptrdiff_t>(completed)),
                           std::make_move_iterator(lines.begin() + static_cast<std::ptrdiff_t>(completed + count)));
        chunks_.push_back(std::move(chunk));
        completed += count;
        nextLine_ += static_cast<int64_t>(count);
        pending -= count;
    }
}

void QVPrintingView::addNewPage() {
    currentPageNumber_ += 1;
    nextLine_ = 0;
}

QRectF QVPrintingView::rectForPage(int64_t page) const {
    return QRectF(0, static_cast<double>(page - 1) * pageHeight_, pageWidth_, pageHeight_);
}

void QVPrintingView::drawSpeakerTab(QPainter& painter, const SpeakerTab& tab) const {
    const double y = lineHeight_ * static_cast<double>(tab.line);
    const double h = lineHeight_;
    const QFontMetricsF metrics(boldFont_);
    // A very long name is cut short with an ellipsis rather than running off the page.
    const QString name = metrics.elidedText(tab.name, Qt::ElideRight, std::max(0.0, pageWidth_ - 14));
    const double w = std::min(pageWidth_, std::ceil(metrics.horizontalAdvance(name)) + kTabTextPadding + 6);
    painter.save();
    painter.translate(0, y);
    // Three corners rounded, the lower right one square.
    QPainterPath path;
    path.moveTo(w, h);
    path.lineTo(10, h);
    path.cubicTo(0, h, 0, h, 0, h - 10);
    path.lineTo(0, 10);
    path.cubicTo(0, 0, 0, 0, 10, 0);
    path.lineTo(w - 10, 0);
    path.cubicTo(w, 0, w, 0, w, 10);
    path.closeSubpath();
    painter.fillPath(path, tab.color);
    painter.fillRect(QRectF(10, h - 2, pageWidth_ - 10, 2), tab.color);
    painter.setFont(boldFont_);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(8, 0, w - 8, h - 4), Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine, name);
    painter.restore();
}

void QVPrintingView::drawChunk(QPainter& painter, const Chunk& chunk) const {
    const double top = lineHeight_ * static_cast<double>(chunk.startLine) + kTextInsetHeight;
    const QFontMetricsF metrics(wordsFont_);
    const double timeX = pageWidth_ - timestampColumnWidth_;
    for (size_t i = 0; i < chunk.lines.size(); ++i) {
        const Line& line = chunk.lines[i];
        const double lineTop = top + lineHeight_ * static_cast<double>(i);
        if (!line.words.isEmpty()) {
            QTextLayout layout(line.words, wordsFont_);
            layOutOneLine(layout);
            const QTextLine textLine = layout.lineAt(0);
            for (const auto& [start, length] : line.favoriteRanges) {
                const double a = textLine.cursorToX(start);
                const double b = textLine.cursorToX(start + length);
                painter.fillRect(QRectF(kWordsPadding + std::min(a, b) - kFavoritePad, lineTop,
                                        std::abs(b - a) + 2 * kFavoritePad, lineHeight_ - kFavoriteShortening),
                                 QColor(Qt::yellow));
            }
            painter.setPen(Qt::black);
            layout.draw(&painter, QPointF(kWordsPadding, lineTop));
        }
        if (!line.time.isEmpty()) {
            painter.setFont(wordsFont_);
            painter.setPen(greyText());
            painter.drawText(QRectF(timeX, lineTop, timestampColumnWidth_, metrics.height()),
                             Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, line.time);
        }
    }
}

void QVPrintingView::drawFooter(QPainter& painter, int64_t page) const {
    const double top = pageHeight_ - kPrintFooterHeight;
    painter.fillRect(QRectF(0, top + 10, pageWidth_, 1), greyText());
    painter.setFont(footerFont_);
    painter.setPen(greyText());
    const QFontMetricsF metrics(footerFont_);
    const double nameWidth = std::max(0.0, pageWidth_ - 50);
    painter.drawText(QRectF(0, top + 14, nameWidth, 20), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     metrics.elidedText(fileName_, Qt::ElideRight, nameWidth));
    painter.drawText(QRectF(pageWidth_ - 50, top + 14, 50, 20), Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                     QString::number(page));
}

void QVPrintingView::drawPage(QPainter& painter, int64_t page) const {
    painter.save();
    painter.setClipRect(QRectF(0, 0, pageWidth_, pageHeight_));
    for (const SpeakerTab& tab : tabs_)
        if (tab.page == page) drawSpeakerTab(painter, tab);
    for (const Chunk& chunk : chunks_)
        if (chunk.page == page) drawChunk(painter, chunk);
    drawFooter(painter, page);
    painter.restore();
}

bool QVPrintingView::drawPages(QPagedPaintDevice& device) const {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    // Whatever the device's resolution, one unit is one point from here on.
    const double scale = device.logicalDpiX() / 72.0;
    // A transcript without words still gives one page, with its footer.
    const int64_t pages = std::max<int64_t>(1, pageCount());
    for (int64_t page = 1; page <= pages; ++page) {
        if (page > 1 && !device.newPage()) return false;
        painter.save();
        painter.scale(scale, scale);
        painter.translate(kPrintMargin, kPrintMargin);
        drawPage(painter, page);
        painter.restore();
    }
    return painter.end();
}

}  // namespace qv
