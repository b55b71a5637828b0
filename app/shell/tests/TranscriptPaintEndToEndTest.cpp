// What the transcript screen paints, read back from the program's window on an X display: the
// program runs against a service of the test's own holding two transcripts in the worker's
// layout, one of a thousand words in one speaker range and one of 600 words in ranges of 15,
// two speakers taking turns. Each is scrolled by the wheel, Page Down and the scroll bar down to
// its end and reopened where it was left; the short ranges are also typed into and the window
// resized. After each step every text line of the words rows in view must be drawn whole, as the
// same row's text laid out at once on the row grid draws it; no bar runs under the transcript,
// nothing of the words shows through the speaker header floating at the top, the word the user
// left is in view when the file opens again, and search results show their abstracts cut on
// whole words.
#include "app/shell/ApplicationShell.h"
#include "app/shell/tests/EndToEndSupport.h"
#include "model/LocalFileData.h"
#include "model/QVFile.h"
#include "model/QVMediaFile.h"
#include "model/QVSpeakerRange.h"
#include "model/QVWord.h"
#include "platform/media/tests/TestMedia.h"
#include "platform/rtdb/PushIdGenerator.h"
#include "platform/ui/ViewTable.h"
#include "search/QVSearchViewController.h"
#include "search/QVTableViewSearch.h"
#include "speakers/SpeakerRangeHeaderView.h"
#include "speakers/SpeakerRanges.h"
#include "speakers/SpeakerRecords.h"
#include "speakers/SpeakersController.h"
#include "transcript-view/QVAttributedText.h"
#include "transcript-view/TranscriptWordsCell.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTextLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

namespace qv::shell {
namespace {

constexpr const char* kLongFile = "PAINTLONG00000000000000000000001";
constexpr const char* kShortFile = "PAINTSHORT0000000000000000000002";
// The window's size, pixels.
constexpr int kWindowWidth = 1400;
constexpr int kWindowHeight = 860;

// A transcript in the worker's layout: `count` words, a paragraph every `paragraph` words (0:
// none), in speaker ranges of `perRange` words (0: one range) whose two speakers take turns.
DatabaseValue transcript(int count, int paragraph, int perRange, std::int64_t spacingMs)
{
    static const char* const vocabulary[] = {"so",   "the",    "first",  "thing",   "we",     "did",  "was",
                                             "look", "at",     "footage", "again",  "and",    "then", "decided",
                                             "to",   "cut",    "whole",  "interview", "short", "light"};
    PushIdGenerator ids;
    const std::int64_t now = 1'765'000'100'000;
    std::vector<DatabaseValue::Entry> words;
    for (int i = 0; i < count; ++i)
        words.emplace_back(ids.next(now),
                           DatabaseValue::object({{"name", vocabulary[(static_cast<std::uint32_t>(i) * 2654435761u >> 16) %
                                                                      std::size(vocabulary)]},
                                                  {"start", i * spacingMs},
                                                  {"end", i * spacingMs + spacingMs - 2},
                                                  {"status", 0},
                                                  {"favorite", false},
                                                  {"deleted", false},
                                                  {"new_paragraph", paragraph > 0 && i > 0 && i % paragraph == 0}}));
    const std::string speakers[] = {ids.next(now), ids.next(now)};
    std::vector<DatabaseValue::Entry> ranges;
    for (int first = 0; first < count; first += perRange > 0 ? perRange : count)
        ranges.emplace_back(ids.next(now),
                            DatabaseValue::object({{"speaker", speakers[perRange > 0 ? (first / perRange) % 2 : 0]},
                                                   {"start", first * spacingMs},
                                                   {"deleted", false}}));
    return DatabaseValue::object({
        {"words", DatabaseValue::map(std::move(words))},
        {"speakers", DatabaseValue::object({{speakers[0], DatabaseValue::object({{"name", "Speaker 1"},
                                                                                 {"color", "purple"},
                                                                                 {"deleted", false}})},
                                            {speakers[1], DatabaseValue::object({{"name", "Speaker 2"},
                                                                                 {"color", "blue"},
                                                                                 {"deleted", false}})}})},
        {"speaker_ranges", DatabaseValue::map(std::move(ranges))},
    });
}

// The text of a words row laid out at once, the lines one grid line apart, drawn in the
// transcript's text colour on white.
struct ReferenceRow {
    QImage image;
    std::vector<double> caretX;  // by character position
    int lines = 0;
};

ReferenceRow referenceRow(const QString& text, const QFont& font, double width, double pitch, const QColor& colour)
{
    QString laid = text;
    laid.replace(QChar('\n'), QChar::LineSeparator);
    QTextLayout layout(laid, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    ReferenceRow row;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, row.lines * pitch));
        ++row.lines;
    }
    layout.endLayout();
    row.image = QImage(static_cast<int>(width), static_cast<int>(std::ceil(row.lines * pitch)) + 1, QImage::Format_RGB32);
    row.image.fill(Qt::white);
    QPainter painter(&row.image);
    painter.setPen(colour);
    layout.draw(&painter, QPointF());
    return row;
}

bool isInk(QRgb pixel)
{
    return std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)}) < 160;
}

// The rows of pixels of `image` from `top` (`count` of them) that hold ink between `left` and
// `left + width`, leaving out the columns [skipFrom, skipTo); and the first and last ink across.
struct Ink {
    std::vector<bool> rows;
    int first = -1;
    int last = -1;
};

Ink inkOf(const QImage& image, int left, int top, int width, int count, int skipFrom, int skipTo)
{
    Ink ink;
    ink.rows.assign(static_cast<std::size_t>(count), false);
    for (int y = 0; y < count; ++y) {
        if (top + y < 0 || top + y >= image.height())
            continue;
        for (int x = 0; x < width; ++x) {
            if ((x >= skipFrom && x < skipTo) || left + x < 0 || left + x >= image.width())
                continue;
            if (isInk(image.pixel(left + x, top + y))) {
                ink.rows[static_cast<std::size_t>(y)] = true;
                ink.first = ink.first < 0 ? x : std::min(ink.first, x);
                ink.last = std::max(ink.last, x);
            }
        }
    }
    return ink;
}

class TranscriptPaint : public ProgramOnService {
protected:
    void SetUp() override
    {
        ProgramOnService::SetUp();
        if (HasFatalFailure())
            return;
        std::string uid;
        service->signUp("reader@example.com", &uid);
        const QString media = QString::fromStdString(test::testMedia("sine10.mp3"));
        auto store = [&](const char* uuid, const char* name, const DatabaseValue& words) {
            service->serviceWrite(std::string("files/") + uuid,
                                  DatabaseValue::object({{"owner", uid},
                                                         {"name", name},
                                                         {"status", 30},
                                                         {"duration", 10'000},
                                                         {"created", 1'765'000'000'000},
                                                         {"file_type", 0},
                                                         {"language", "en-US"},
                                                         {"media_files", DatabaseValue::object({{"file_00", DatabaseValue::object({
                                                             {"file_path", media.toStdString()}, {"has_video", false}})}})}}));
            service->serviceWrite(std::string("transcripts/") + uuid, words);
            service->serviceWrite("users/" + uid + "/files/" + uuid, DatabaseValue(true));
        };
        store(kLongFile, "One long range", transcript(1000, 60, 0, 9));
        store(kShortFile, "Short ranges", transcript(600, 0, 15, 15));

        shell->window().resize(kWindowWidth, kWindowHeight);
        shell->applicationDidFinishLaunching();
        ASSERT_TRUE(waitFor([&] { return shell->auth() != nullptr; }));
        shell->auth()->signIn("reader@example.com", "secret-password", {});
        ASSERT_TRUE(waitFor([&] { return shell->ad().currentMode == 1 && shell->filesList().filesSearchResults().size() == 2; }));
        auto located = std::make_shared<QVMediaFile>();
        located->url = QUrl::fromLocalFile(media);
        for (const char* uuid : {kLongFile, kShortFile})
            LocalFileData(shell->ad(), *preferences).saveLocalDataForFileUUID(uuid, false, true, -1, -1, {located}, -1);
    }

    ViewTable& table() { return *static_cast<ViewTable*>(shell->transcriptScreen().tableWidget()); }

    // The text view of the words row `row` when that row is in view.
    QVTextView* textOfRow(qsizetype row)
    {
        auto* cell = dynamic_cast<transcript::TranscriptWordsCell*>(table().viewAtRow(row, false));
        return cell ? cell->textView() : nullptr;
    }

    // Opens the file from the files list and waits until its rows are in view and still.
    void open(const char* uuid, std::size_t words)
    {
        AppDelegate& ad = shell->ad();
        if (ad.currentMode == 2) {
            shell->performAction("showFiles:", 0);
            ASSERT_TRUE(waitFor([&] { return ad.currentMode == 1; }));
        }
        const auto& files = shell->filesList().filesSearchResults();
        const auto found = std::find_if(files.begin(), files.end(), [&](const auto& file) { return file->uuid == uuid; });
        ASSERT_NE(found, files.end());
        shell->filesList().selectRow(found - files.begin());
        shell->openSelectedFile();
        ASSERT_TRUE(waitFor([&] {
            return ad.currentMode == 2 && !shell->window().isCoverShown() && ad.words.size() == words &&
                   ad.currentFile && ad.currentFile->uuid == uuid;
        }));
        settle();
    }

    // Lets the program handle what is pending until the view stops moving.
    void settle()
    {
        int last = -1;
        waitFor([&] {
            const int now = table().verticalScrollBar()->value();
            const bool still = now == last;
            last = now;
            return still;
        }, 1.0);
        QApplication::processEvents();
    }

    void screenshot(const QString& name)
    {
        QGuiApplication::primaryScreen()->grabWindow(shell->window().winId()).save(shots + "/" + name + ".png");
    }

    QImage grabWindow() { return QGuiApplication::primaryScreen()->grabWindow(shell->window().winId()).toImage(); }

    // Reads the window until `faults` finds none or a deadline passes: the program may still be
    // painting. Answers the last faults found.
    std::string faultsOnceStill(const std::function<std::string()>& faults)
    {
        std::string found;
        waitFor([&] {
            QApplication::processEvents();
            found = faults();
            return found.empty();
        });
        return found;
    }

    // A bar across the transcript's column at its bottom (a scroll bar, or anything drawn like
    // one): a row of pixels there of which nine in ten are not the transcript's white. Lines of
    // text and a speaker's rule, no wider than the text, darken far fewer.
    std::string barUnderTheTranscript()
    {
        if (table().horizontalScrollBar()->isVisible())
            return "the horizontal scroll bar is shown";
        const QImage window = grabWindow();
        QWidget* column = table().parentWidget();
        const QRect area(column->mapTo(&shell->window(), QPoint(0, 0)), column->size());
        const int right = table().viewport()->mapTo(&shell->window(), QPoint(table().viewport()->width(), 0)).x();
        std::ostringstream faults;
        for (int y = std::max(area.top(), area.bottom() - 40); y <= area.bottom(); ++y) {
            int dark = 0;
            for (int x = area.left(); x < right; ++x)
                dark += std::min({qRed(window.pixel(x, y)), qGreen(window.pixel(x, y)), qBlue(window.pixel(x, y))}) < 235;
            if (dark * 10 > (right - area.left()) * 9)
                faults << "a bar at y " << y << " (" << dark << " of " << right - area.left() << " pixels); ";
        }
        return faults.str();
    }

    // Where the speaker header floating at the top shows other than its own drawing on the
    // transcript's white: the words scrolled under it showing through.
    std::string wordsThroughTheFloatingHeader()
    {
        ViewTable& view = table();
        const qsizetype floating = view.floatingGroupRow();
        QWidget* header = floating >= 0 ? view.viewAtRow(floating, false) : nullptr;
        if (!header)
            return "no header floats";
        QImage own(header->size(), QImage::Format_ARGB32_Premultiplied);
        own.fill(Qt::transparent);
        header->render(&own, QPoint(), QRegion(), {});
        const QImage window = grabWindow();
        const QPoint origin = header->mapTo(&shell->window(), QPoint(0, 0));
        std::ostringstream faults;
        int differing = 0;
        QPoint first;
        for (int y = std::max(0, -header->y()); y < header->height(); ++y) {
            for (int x = 0; x < header->width(); ++x) {
                const QRgb drawn = qPremultiply(own.pixel(x, y));
                const int alpha = qAlpha(drawn);
                const auto expected = [&](int channel) { return channel + (255 - alpha); };
                const QRgb shown = window.pixel(origin.x() + x, origin.y() + y);
                if (std::max({std::abs(qRed(shown) - expected(qRed(drawn))), std::abs(qGreen(shown) - expected(qGreen(drawn))),
                              std::abs(qBlue(shown) - expected(qBlue(drawn)))}) > 60) {
                    if (differing++ == 0)
                        first = QPoint(x, y);
                }
            }
        }
        if (differing > 0)
            faults << differing << " pixels of the header of row " << floating << " are not its own drawing on white, the first at "
                   << first.x() << "," << first.y();
        return faults.str();
    }

    // Whether the current word is drawn in the transcript's view, in its highlight, below any
    // floating header.
    std::string currentWordOutOfView()
    {
        AppDelegate& ad = shell->ad();
        const auto& word = ad.currentWord;
        QVTextView* text = word && word->speakerRange ? word->speakerRange->textView : nullptr;
        if (!text || !text->isVisible())
            return "the current word's row is not in view";
        QWidget* viewport = table().viewport();
        const QRectF glyphs = text->boundingRectForRange({word->characterStart, word->name().size()});
        const QRect inView(text->mapTo(viewport, glyphs.topLeft().toPoint()), glyphs.size().toSize());
        int top = 0;
        if (const qsizetype floating = table().floatingGroupRow(); floating >= 0)
            if (QWidget* header = table().viewAtRow(floating, false))
                top = header->geometry().bottom() + 1;
        std::ostringstream faults;
        if (inView.top() < top || inView.bottom() >= viewport->height())
            faults << "the current word is drawn at y " << inView.top() << ".." << inView.bottom() << ", the view shows "
                   << top << ".." << viewport->height() - 1 << "; ";
        // Drawn in the highlight's colour.
        const QImage window = grabWindow();
        const QPoint at = viewport->mapTo(&shell->window(), inView.topLeft());
        const QColor brand = ad.brandColor;
        int highlighted = 0;
        for (int y = std::max(0, at.y()); y < std::min(window.height(), at.y() + inView.height()); ++y)
            for (int x = at.x(); x < at.x() + inView.width(); ++x) {
                const QColor pixel = window.pixelColor(x, y);
                highlighted += std::abs(pixel.red() - brand.red()) < 40 && std::abs(pixel.green() - brand.green()) < 40 &&
                               std::abs(pixel.blue() - brand.blue()) < 40;
            }
        if (highlighted < 5)
            faults << "the current word is not drawn highlighted; ";
        return faults.str();
    }

    // The faults of the painted words rows in view, none when every line there is drawn whole;
    // `checked` counts the lines compared. The window is read again while the program may still
    // be painting.
    std::string faultsOfPaintedLines(int* checked = nullptr)
    {
        std::string faults;
        waitFor([&] {
            QApplication::processEvents();
            faults = readPaintedLines(checked);
            return faults.empty();
        }, 2.0);
        return faults;
    }

    std::string readPaintedLines(int* checked)
    {
        AppDelegate& ad = shell->ad();
        ViewTable& view = table();
        QWidget* viewport = view.viewport();
        const QImage window = QGuiApplication::primaryScreen()->grabWindow(shell->window().winId()).toImage();
        const QPoint origin = viewport->mapTo(&shell->window(), QPoint(0, 0));
        const double pitch = ad.lineHeightDisplay;
        // Lines under the floating speaker header are hidden there on purpose.
        int top = 0;
        if (const qsizetype floating = view.floatingGroupRow(); floating >= 0) {
            if (QWidget* header = view.viewAtRow(floating, false))
                top = header->geometry().bottom() + 1;
        }
        std::ostringstream faults;
        int lines = 0;
        const auto [first, count] = view.rowsInRect(view.visibleRect());
        for (qsizetype row = first; row < first + count; ++row) {
            auto* cell = dynamic_cast<transcript::TranscriptWordsCell*>(view.viewAtRow(row, false));
            if (!cell)
                continue;
            QVTextView* text = cell->textView();
            const ReferenceRow reference = referenceRow(text->model().string(), text->defaultFont(),
                                                        transcript::TranscriptWordsCell::kTextWidth, pitch, ad.defaultTextColor);
            const QRectF rowRect = view.rectOfRow(row);
            const QPoint at = text->mapTo(viewport, QPoint(0, 0));
            const double rowTop = rowRect.y() - view.visibleRect().y();
            if (rowRect.height() < transcript::TranscriptWordsCell::kInsetY + reference.lines * pitch - pitch / 2)
                faults << "row " << row << " is " << rowRect.height() << " high for " << reference.lines << " lines; ";
            // The caret is no part of the text.
            int skipFrom = 0;
            int skipTo = 0;
            if (text->hasFocus() && text->model().isEditable() && text->model().selectedRange().length == 0) {
                const QRectF caret = text->boundingRectForRange({std::max<qsizetype>(0, text->model().selectedRange().location - 1), 1});
                skipFrom = static_cast<int>(caret.right()) - 3;
                skipTo = static_cast<int>(caret.right()) + 4;
            }
            for (int line = 0; line < reference.lines; ++line) {
                const int lineTop = at.y() + static_cast<int>(std::lround(line * pitch));
                const int height = static_cast<int>(pitch);
                if (lineTop < top || lineTop + height > viewport->height())
                    continue;
                ++lines;
                const Ink wanted = inkOf(reference.image, 0, static_cast<int>(std::lround(line * pitch)), reference.image.width(),
                                         height, skipFrom, skipTo);
                const Ink shown = inkOf(window, origin.x() + at.x(), origin.y() + lineTop, reference.image.width(), height,
                                        skipFrom, skipTo);
                int missing = 0;
                int extra = 0;
                for (int y = 0; y < height; ++y) {
                    const bool inRow = lineTop + y < rowTop + rowRect.height();
                    missing += wanted.rows[static_cast<std::size_t>(y)] && !shown.rows[static_cast<std::size_t>(y)];
                    extra += inRow && shown.rows[static_cast<std::size_t>(y)] && !wanted.rows[static_cast<std::size_t>(y)];
                }
                if (missing > 1 || extra > 1 || std::abs(wanted.first - shown.first) > 2 || std::abs(wanted.last - shown.last) > 2)
                    faults << "row " << row << " line " << line << ": " << missing << " rows of ink missing, " << extra
                           << " too many, ink across " << shown.first << "-" << shown.last << " for " << wanted.first << "-"
                           << wanted.last << "; ";
            }
        }
        if (checked)
            *checked = lines;
        return faults.str();
    }

    void wheel(int notches)
    {
        QWidget* viewport = table().viewport();
        const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
        // A notch down is -120 degrees eighths.
        for (int i = 0; i < std::abs(notches); ++i) {
            QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, notches > 0 ? -120 : 120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &event);
        }
        settle();
    }

    // A click on a word a few lines into the view, which makes it current and gives the keys to
    // the key handler.
    void clickAWord()
    {
        AppDelegate& ad = shell->ad();
        ViewTable& view = table();
        const auto [first, count] = view.rowsInRect(view.visibleRect().adjusted(0, 2 * ad.lineHeightDisplay, 0, 0));
        for (qsizetype row = first; row < first + count; ++row) {
            if (auto* cell = dynamic_cast<transcript::TranscriptWordsCell*>(view.viewAtRow(row, false))) {
                QVTextView* text = cell->textView();
                const QPoint below = text->mapFrom(view.viewport(), QPoint(0, 3 * static_cast<int>(ad.lineHeightDisplay)));
                qsizetype at = text->characterIndexForPoint(QPointF(5, std::max(0, below.y()) + 5));
                while (at < text->model().length() && text->model().string().at(at).isSpace())
                    ++at;
                QTest::mouseClick(text, Qt::LeftButton, {}, text->boundingRectForRange({at, 1}).center().toPoint());
                break;
            }
        }
        ASSERT_TRUE(waitFor([&] { return shell->window().focusWidget() == shell->editingControls().keyHandler(); }));
    }

    void pageDown(int times)
    {
        clickAWord();
        for (int i = 0; i < times; ++i)
            QTest::keyClick(shell->window().focusWidget(), Qt::Key_PageDown);
        settle();
    }

    // A click on the scroll bar's track below its handle.
    void clickScrollBarTrack()
    {
        QScrollBar* bar = table().verticalScrollBar();
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = Qt::Vertical;
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        option.sliderValue = bar->value();
        option.singleStep = bar->singleStep();
        option.pageStep = bar->pageStep();
        const QRect track = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarAddPage, bar);
        ASSERT_FALSE(track.isEmpty());
        const int before = bar->value();
        QTest::mouseClick(bar, Qt::LeftButton, {}, track.center());
        EXPECT_GT(bar->value(), before);
        settle();
    }

    void dragScrollBarTo(double fraction)
    {
        QScrollBar* bar = table().verticalScrollBar();
        bar->setValue(static_cast<int>(bar->maximum() * fraction));
        settle();
    }

    // The faults of the search results' abstracts in view. Each must show what the table chose
    // for its cell: whole words of the abstract (whole characters of a found word too wide
    // alone), a whole "…" at each end cut and none at an end not cut, fitting inside the cell; and
    // the window must show that text, no more and no less ink across than it drawn alone.
    // `cutBefore` and `cutAfter` count the abstracts cut at each end.
    std::string faultsOfAbstracts(int* cutBefore, int* cutAfter)
    {
        search::QVSearchViewController& search = shell->transcriptScreen().search();
        const search::QVTableViewSearch* results = search.tableView();
        const QWidget* viewport = results->viewport();
        const QImage window = grabWindow();
        const QFont font = search::QVTableViewSearch::cellFont(results->font());
        const QString ellipsis(QChar(0x2026));
        std::ostringstream faults;
        *cutBefore = 0;
        *cutAfter = 0;
        for (int row = 0; row < results->model()->rowCount(); ++row) {
            const QRect cellRect = results->visualRect(results->model()->index(row, 1));
            if (cellRect.top() < 0 || cellRect.top() + search::QVTableViewSearch::kRowHeight > viewport->height())
                continue;
            const QRectF textRect = search::QVTableViewSearch::wordsTextRect(cellRect);
            const search::QVTableViewSearch::WordsCell cell = search.wordsCellForRow(row);
            const auto shown = search::QVTableViewSearch::shownWords(cell, font, textRect.width());
            QTextLayout layout(shown.text, font);
            layout.setFormats(shown.formats);
            const QTextLine line = search::QVTableViewSearch::layOutOnOneLine(layout);
            std::ostringstream where;
            where << "result " << row << " \"" << shown.text.toStdString() << "\": ";
            if (textRect.right() > viewport->width() || line.naturalTextWidth() > textRect.width())
                faults << where.str() << "wider than its cell; ";
            // Between the marks, whole words of the abstract; inside a word only before a mark.
            const bool before = shown.text.startsWith(ellipsis + ' ');
            const bool after = shown.text.endsWith(ellipsis);
            const QString words = shown.text.mid(before ? 2 : 0, shown.text.size() - (before ? 2 : 0) -
                                                                     (shown.text.endsWith(' ' + ellipsis) ? 2 : after ? 1 : 0));
            const qsizetype from = cell.text.indexOf(words);
            const auto edge = [&](qsizetype at) { return at == 0 || at == cell.text.size() || cell.text.at(at) == ' ' || cell.text.at(at - 1) == ' '; };
            if (words.isEmpty() || from < 0 || !edge(from) || (!edge(from + words.size()) && !after))
                faults << where.str() << "not whole words of \"" << cell.text.toStdString() << "\"; ";
            else if ((from > 0) != before || (from + words.size() < cell.text.size()) != after)
                faults << where.str() << "a cut end without its \"…\", or a \"…\" at an end not cut; ";
            *cutBefore += before;
            *cutAfter += after;

            // Drawn alone in black on white, at the cell's text rectangle.
            QImage alone(static_cast<int>(std::ceil(textRect.width())) + 1, cellRect.height(), QImage::Format_RGB32);
            alone.fill(Qt::white);
            {
                QPainter painter(&alone);
                painter.setPen(Qt::black);
                layout.draw(&painter, QPointF(0, (search::QVTableViewSearch::kRowHeight - line.height()) / 2));
            }
            // The columns with ink, in the window (on the cell's own background, read in its
            // left margin) and alone, over the whole cell's width: a half letter or a missing
            // "…" makes ink where the text alone has none, or none where it has.
            const QPoint origin = viewport->mapTo(&shell->window(), cellRect.topLeft());
            const int left = static_cast<int>(textRect.left()) - cellRect.left();
            const QRgb background = window.pixel(origin.x() + 2, origin.y() + search::QVTableViewSearch::kRowHeight / 2);
            // Ink: a pixel far from the background, the text alone drawn in the same colours.
            const auto differs = [](QRgb a, QRgb b) {
                return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))}) > 60;
            };
            std::vector<bool> inWindow(static_cast<std::size_t>(cellRect.width()), false);
            std::vector<bool> inAlone(inWindow.size(), false);
            for (int x = 0; x < cellRect.width(); ++x) {
                for (int y = 0; y < search::QVTableViewSearch::kRowHeight; ++y) {
                    if (differs(window.pixel(origin.x() + x, origin.y() + y), background))
                        inWindow[std::size_t(x)] = true;
                    if (x >= left && x - left < alone.width() && differs(alone.pixel(x - left, y), qRgb(255, 255, 255)))
                        inAlone[std::size_t(x)] = true;
                }
            }
            const auto near = [](const std::vector<bool>& ink, int x) {
                for (int at = std::max(0, x - 1); at <= std::min<int>(int(ink.size()) - 1, x + 1); ++at)
                    if (ink[std::size_t(at)])
                        return true;
                return false;
            };
            for (int x = 0; x < cellRect.width(); ++x) {
                if (inWindow[std::size_t(x)] != inAlone[std::size_t(x)] &&
                    !near(inWindow[std::size_t(x)] ? inAlone : inWindow, x)) {
                    faults << where.str() << (inWindow[std::size_t(x)] ? "ink" : "no ink") << " at x " << x
                           << " of the cell where the text alone has " << (inWindow[std::size_t(x)] ? "none" : "some") << "; ";
                    break;
                }
            }
        }
        return faults.str();
    }

    // No bar runs under the transcript, and a speaker header floating at the top (there must be
    // one when `floats`) hides the words under it.
    void expectNothingOverOrUnderTheWords(const char* where, bool floats)
    {
        SCOPED_TRACE(where);
        EXPECT_EQ(faultsOnceStill([&] { return barUnderTheTranscript(); }), "");
        if (floats) {
            ASSERT_GE(table().floatingGroupRow(), 0);
        }
        if (table().floatingGroupRow() >= 0) {
            EXPECT_EQ(faultsOnceStill([&] { return wordsThroughTheFloatingHeader(); }), "");
        }
    }

    // Every line in view is drawn whole, and enough of them are in view to tell.
    void expectWholeLines(const char* where, int atLeast)
    {
        SCOPED_TRACE(where);
        int checked = 0;
        EXPECT_EQ(faultsOfPaintedLines(&checked), "");
        EXPECT_GE(checked, atLeast);
    }

};

TEST_F(TranscriptPaint, EveryLineOfALongRangeAndOfShortRangesIsDrawnWherevertheViewIsScrolled)
{
    AppDelegate& ad = shell->ad();
    // A screen holds this many lines of the long range, less a few for its header.
    const auto screenLines = [&] { return static_cast<int>(table().viewport()->height() / ad.lineHeightDisplay) - 3; };

    open(kLongFile, 1000);
    ASSERT_EQ(ad.speakerRanges.size(), 1u);
    screenshot("paint-long-range-top");
    expectWholeLines("the long range opened", screenLines());
    expectNothingOverOrUnderTheWords("the long range opened", false);
    wheel(6);
    EXPECT_GT(table().verticalScrollBar()->value(), 0);
    expectWholeLines("six notches of the wheel", screenLines());
    clickScrollBarTrack();
    expectWholeLines("a click on the scroll bar's track", screenLines());
    pageDown(1);
    expectWholeLines("Page Down", screenLines());
    pageDown(2);
    expectWholeLines("two more Page Downs", screenLines());
    dragScrollBarTo(0.5);
    screenshot("paint-long-range-middle");
    expectWholeLines("the scroll bar in the middle", screenLines());
    expectNothingOverOrUnderTheWords("the scroll bar in the middle", true);
    dragScrollBarTo(1.0);
    screenshot("paint-long-range-end");
    expectWholeLines("the scroll bar at the end", screenLines() - 2);
    expectNothingOverOrUnderTheWords("the scroll bar at the end", true);
    wheel(-12);
    expectWholeLines("the wheel back up", screenLines());
    // Where the user leaves it, a word in the middle, is where it opens again.
    dragScrollBarTo(0.6);
    clickAWord();
    const std::int64_t left = ad.currentWord ? ad.currentWord->start : -1;
    ASSERT_GT(left, 3000);
    ASSERT_TRUE(waitFor([&] { return std::abs(shell->transcriptScreen().mainPlayer().currentMilliseconds() - left) < 20; }));

    open(kShortFile, 600);
    ASSERT_EQ(ad.speakerRanges.size(), 40u);
    screenshot("paint-short-ranges-top");
    expectWholeLines("the short ranges opened", 12);
    expectNothingOverOrUnderTheWords("the short ranges opened", false);
    wheel(6);
    expectWholeLines("the short ranges after six notches", 12);
    expectNothingOverOrUnderTheWords("the short ranges after six notches", false);
    pageDown(2);
    expectWholeLines("the short ranges after Page Down", 12);
    clickScrollBarTrack();
    expectWholeLines("the short ranges after a click on the track", 12);
    dragScrollBarTo(0.5);
    screenshot("paint-short-ranges-middle");
    expectNothingOverOrUnderTheWords("the short ranges in the middle", false);
    dragScrollBarTo(1.0);
    screenshot("paint-short-ranges-end");
    expectWholeLines("the short ranges at the end", 12);
    expectNothingOverOrUnderTheWords("the short ranges at the end", false);

    // Opened again, the word left is current and in view, well under the floating header.
    open(kLongFile, 1000);
    screenshot("paint-long-range-reopened");
    EXPECT_NEAR(ad.currentFile->lastMediaTime, left, 20);
    ASSERT_TRUE(ad.currentWord);
    EXPECT_EQ(ad.currentWord->start, left);
    EXPECT_EQ(faultsOnceStill([&] { return currentWordOutOfView(); }), "");
    EXPECT_GT(table().verticalScrollBar()->value(), table().verticalScrollBar()->maximum() / 3);
    expectWholeLines("the long range reopened where it was left", screenLines());
    expectNothingOverOrUnderTheWords("the long range reopened", true);
}

TEST_F(TranscriptPaint, ARowGrowsWithTheWordTypedIntoItAndAfterAResize)
{
    AppDelegate& ad = shell->ad();
    open(kShortFile, 600);
    ViewTable& view = table();
    // The words row of the fourth range, and the view that shows it now: a reload may give the
    // row another of the table's views, as one that arrives while the file settles can.
    const qsizetype row = 7;
    const auto rowText = [&]() -> QVTextView* {
        auto* cell = dynamic_cast<transcript::TranscriptWordsCell*>(view.viewAtRow(row, false));
        return cell ? cell->textView() : nullptr;
    };
    ASSERT_NE(rowText(), nullptr);
    // The lines its text takes now.
    const auto lines = [&] {
        const QVTextView* text = rowText();
        return referenceRow(text->model().string(), text->defaultFont(), transcript::TranscriptWordsCell::kTextWidth,
                            ad.lineHeightDisplay, Qt::black)
            .lines;
    };
    const int before = lines();
    ASSERT_GE(before, 2);
    EXPECT_EQ(view.rectOfRow(row).height(), before * ad.lineHeightDisplay);

    // A click on the row's first word makes it current; typing replaces it with a word long
    // enough to push the words after it onto another line.
    QTest::mouseClick(rowText(), Qt::LeftButton, {}, rowText()->boundingRectForRange({0, 2}).center().toPoint());
    ASSERT_TRUE(waitFor([&] { return ad.currentWord && ad.currentWord->speakerRange == ad.speakerRanges.at(3); }));
    const std::int64_t clicked = ad.currentWord->start;
    ASSERT_TRUE(waitFor([&] {
        return std::abs(shell->transcriptScreen().mainPlayer().currentMilliseconds() - clicked) < 20 &&
               !ad.isBeforeFirstWord && ad.currentTextView && ad.currentTextView == rowText();
    }));
    QVTextView* text = ad.currentTextView;
    ASSERT_TRUE(waitFor([&] { return shell->window().focusWidget() == shell->editingControls().keyHandler(); }));
    // The key goes to the key handler once it holds the focus.
    ASSERT_TRUE(waitFor([&] {
        if (!ad.isEditing && shell->window().focusWidget() == shell->editingControls().keyHandler())
            QTest::keyClicks(shell->window().focusWidget(), "u");
        return ad.isEditing && shell->window().focusWidget() == text;
    }));
    const QString rest = QStringLiteral("nquestionablyextraordinarily");
    QTest::keyClicks(text, rest);
    ASSERT_GT(lines(), before);
    EXPECT_TRUE(waitFor([&] { return view.rectOfRow(row).height() == lines() * ad.lineHeightDisplay; }));
    screenshot("paint-short-ranges-typing");
    expectWholeLines("a long word typed", 12);

    // Taken back to a short word while the edit runs: the row gives the line back.
    for (qsizetype i = 0; i < rest.size() - 2; ++i)
        QTest::keyClick(text, Qt::Key_Backspace);
    ASSERT_EQ(lines(), before);
    EXPECT_TRUE(waitFor([&] { return view.rectOfRow(row).height() == before * ad.lineHeightDisplay; }));
    expectWholeLines("the word shortened again", 12);
    // Escape takes the edit back: the row is built again from the words, on its old lines.
    QTest::keyClicks(text, "extraordinarily");
    QTest::keyClick(text, Qt::Key_Escape);
    ASSERT_TRUE(waitFor([&] { return !ad.isEditing; }));
    settle();
    EXPECT_TRUE(waitFor([&] { return view.rectOfRow(row).height() == before * ad.lineHeightDisplay; }));
    expectWholeLines("the edit taken back", 12);

    shell->window().resize(1000, 640);
    ASSERT_TRUE(waitFor([&] { return shell->window().height() == 640; }));
    settle();
    screenshot("paint-short-ranges-resized");
    expectWholeLines("a smaller window", 6);
    shell->window().resize(kWindowWidth, kWindowHeight);
    ASSERT_TRUE(waitFor([&] { return shell->window().height() == kWindowHeight; }));
    settle();
    expectWholeLines("the window as large again", 12);
}

// A key typed at once after a click on a word in another row, before the player has reached the
// word, opens the edit on that word in its own row; Escape then leaves every row as stored.
TEST_F(TranscriptPaint, AKeyTypedRightAfterAClickEditsTheClickedWordAndEscapeTakesItBack)
{
    AppDelegate& ad = shell->ad();
    open(kShortFile, 600);
    ViewTable& view = table();
    const std::string stored = storedTranscript(*service, kShortFile);
    const auto storedText = [&](qsizetype row) { return ad.speakerRanges.at(static_cast<std::size_t>(row / 2))->text->string; };
    // Every words row in view shows its range's text as the model holds it.
    const auto rowsAsStored = [&] {
        std::ostringstream differing;
        const auto [first, count] = view.rowsInRect(view.visibleRect());
        for (qsizetype row = first | 1; row < first + count; row += 2)
            if (QVTextView* text = textOfRow(row); text && text->model().string() != storedText(row))
                differing << "row " << row << " shows \"" << text->model().string().left(40).toStdString() << "\"; ";
        return differing.str();
    };

    // Opened, the current word's row is out of view and no row is current; then one row is
    // current and the click is on another.
    for (const qsizetype row : {7, 9}) {
        SCOPED_TRACE(row);
        QVTextView* clicked = textOfRow(row);
        ASSERT_TRUE(clicked);
        QVTextView* before = ad.currentTextView;
        ASSERT_NE(before, clicked);
        const QString beforeText = before ? before->model().string() : QString();
        const auto word = ad.words.at(static_cast<std::size_t>(row / 2 * 15));
        const QString name = word->name();
        QTest::mouseClick(clicked, Qt::LeftButton, {}, clicked->boundingRectForRange({0, 1}).center().toPoint());
        ASSERT_EQ(ad.currentWord, word);
        QTest::keyClick(shell->editingControls().keyHandler(), Qt::Key_X);
        ASSERT_TRUE(ad.isEditing);
        EXPECT_EQ(ad.currentTextView, clicked);
        EXPECT_TRUE(clicked->model().string().startsWith("x ")) << clicked->model().string().left(40).toStdString();
        if (before) {
            EXPECT_EQ(before->model().string(), beforeText);
        }
        EXPECT_TRUE(waitFor([&] { return shell->window().focusWidget() == clicked; }));
        QTest::keyClicks(shell->window().focusWidget(), "yz");
        EXPECT_TRUE(clicked->model().string().startsWith("xyz ")) << clicked->model().string().left(40).toStdString();

        QTest::keyClick(shell->window().focusWidget(), Qt::Key_Escape);
        ASSERT_TRUE(waitFor([&] { return !ad.isEditing; }));
        settle();
        EXPECT_EQ(word->name(), name);
        std::string differing;
        EXPECT_TRUE(waitFor([&] { return (differing = rowsAsStored()).empty(); })) << differing;
        expectWholeLines("the edit taken back", 12);
        // Once the player has reached the word, its row is current.
        ASSERT_TRUE(waitFor([&] { return ad.currentTextView && ad.currentTextView == textOfRow(row); }));
    }
    EXPECT_EQ(storedTranscript(*service, kShortFile), stored);
}

// The keys stay where a person left them while the rows are placed again: on the key handler
// through range commands, which rebuild every row in view, and in the word being typed, at its
// caret, through reloads of the rows around it, a row that grows, a scroll and a resize.
TEST_F(TranscriptPaint, TheKeysStayWithTheTranscriptThroughRangeCommandsAndInTheEditThroughReloads)
{
    AppDelegate& ad = shell->ad();
    open(kShortFile, 600);
    // Only in the active window does hiding a widget move the focus out of it.
    shell->window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shell->window()));
    ViewTable& view = table();
    QWidget* keys = shell->editingControls().keyHandler();
    speakers::SpeakersController& speakers = shell->transcriptScreen().speakers();
    // The third word of the fourth range, its words row the eighth.
    const qsizetype row = 7;
    const auto word = ad.words.at(3 * 15 + 2);
    QVTextView* clicked = textOfRow(row);
    ASSERT_TRUE(clicked);
    QTest::mouseClick(clicked, Qt::LeftButton, {},
                      clicked->boundingRectForRange({word->characterStart, 1}).center().toPoint());
    ASSERT_EQ(ad.currentWord, word);
    ASSERT_TRUE(waitFor([&] { return shell->window().focusWidget() == keys; }));

    // The range starts at the word; then its speaker is renamed.
    speakers.ranges().buttonPressedStartCurrentSpeakerRange();
    settle();
    ASSERT_EQ(word->speakerRange->start, word->start);
    EXPECT_EQ(shell->window().focusWidget(), keys);
    // The rename reaches the rows after the request, and the header may show it (through the
    // reload the range command queued) while the rest of the rename still waits its turn.
    speakers.records().editSpeakerNameFinish(word->speakerRange->speaker, QStringLiteral("Dr Stone"));
    EXPECT_TRUE(waitFor([&] {
        auto* header = dynamic_cast<speakers::SpeakerRangeHeaderView*>(view.viewAtRow(row - 1, false));
        return header && header->popupTitle() == QStringLiteral("Dr Stone");
    }));
    settle();
    EXPECT_EQ(shell->window().focusWidget(), keys);
    ASSERT_EQ(ad.currentWord, word);

    // A key typed now edits the word in its row.
    QTest::keyClicks(keys, "u");
    ASSERT_TRUE(waitFor([&] { return ad.isEditing && ad.currentTextView && shell->window().focusWidget() == ad.currentTextView; }));
    QVTextView* text = ad.currentTextView;
    EXPECT_EQ(text, textOfRow(row));
    const QString typed = QStringLiteral("unquestionablyextraordinarily");
    QTest::keyClicks(text, typed.mid(1));
    ASSERT_TRUE(text->model().string().startsWith(typed)) << text->model().string().left(40).toStdString();
    const TextRange caret{typed.size(), 0};
    ASSERT_EQ(text->model().selectedRange(), caret);

    const struct {
        const char* what;
        std::function<void()> reload;
    } reloads[] = {
        {"the next range's rows reloaded", [&] { view.reloadRow(row + 1); view.reloadRow(row + 2); }},
        {"the range above reloaded", [&] { view.reloadRow(row - 2); }},
        {"a notch of the wheel", [&] { wheel(1); }},
        {"a smaller window", [&] {
             shell->window().resize(1000, 640);
             ASSERT_TRUE(waitFor([&] { return shell->window().height() == 640; }));
             settle();
         }},
    };
    for (const auto& r : reloads) {
        SCOPED_TRACE(r.what);
        r.reload();
        QApplication::processEvents();
        EXPECT_EQ(shell->window().focusWidget(), text);
        EXPECT_TRUE(ad.isEditing);
        EXPECT_EQ(ad.currentTextView, text);
        EXPECT_EQ(view.rowForView(text), row);
        EXPECT_TRUE(text->model().string().startsWith(typed)) << text->model().string().left(40).toStdString();
        EXPECT_EQ(text->model().selectedRange(), caret);
    }
    // The next key lands at the caret.
    QTest::keyClicks(shell->window().focusWidget(), "s");
    EXPECT_TRUE(text->model().string().startsWith(typed + "s")) << text->model().string().left(40).toStdString();
    QTest::keyClick(text, Qt::Key_Escape);
    ASSERT_TRUE(waitFor([&] { return !ad.isEditing; }));
}

// A key typed in the same turn as a change, before the program has reloaded the rows or ended
// the change (a shortcut and a letter pressed together, or a busy program), edits the word in its
// row as the change left it, and the keys stay in the edit once the change has ended.
TEST_F(TranscriptPaint, AKeyTypedRightAfterAChangeEditsTheWordInItsRowAsTheChangeLeftIt)
{
    AppDelegate& ad = shell->ad();
    open(kShortFile, 600);
    shell->window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shell->window()));
    QWidget* keys = shell->editingControls().keyHandler();
    speakers::SpeakersController& speakers = shell->transcriptScreen().speakers();
    using Word = std::shared_ptr<QVWord>;
    // Each on the third word of a range: the change, and what shows it made.
    const struct {
        const char* what;
        qsizetype row;
        std::function<void(const Word&)> change;
        std::function<bool(const Word&)> made;
    } changes[] = {
        {"its speaker renamed", 15,
         [&](const Word& word) { speakers.records().editSpeakerNameFinish(word->speakerRange->speaker, QStringLiteral("Dr Stone")); },
         [](const Word& word) { return word->speakerRange->speaker->name == QStringLiteral("Dr Stone"); }},
        // The two words before it move to the range above: the row loses them.
        {"the range started at the word", 7, [&](const Word&) { QTest::keyClick(keys, Qt::Key_Up, Qt::ControlModifier); },
         [](const Word& word) { return word->speakerRange->start == word->start; }},
        {"the word capitalised", 11, [&](const Word&) { QTest::keyClick(keys, Qt::Key_Up, Qt::ShiftModifier); },
         [](const Word& word) { return word->name().front().isUpper(); }},
    };
    const QString typed = QStringLiteral("unquestionably");
    for (const auto& c : changes) {
        SCOPED_TRACE(c.what);
        const Word word = ad.words.at(static_cast<std::size_t>(c.row / 2 * 15 + 2));
        QVTextView* clicked = textOfRow(c.row);
        ASSERT_TRUE(clicked);
        QTest::mouseClick(clicked, Qt::LeftButton, {}, clicked->boundingRectForRange({word->characterStart, 1}).center().toPoint());
        ASSERT_EQ(ad.currentWord, word);
        ASSERT_EQ(shell->window().focusWidget(), keys);

        // Nothing of the program's queue runs between the click, the change and the key.
        c.change(word);
        ASSERT_TRUE(c.made(word));
        QTest::keyClicks(keys, typed.left(1));
        ASSERT_TRUE(ad.isEditing);
        QVTextView* text = ad.currentTextView;
        ASSERT_TRUE(text);
        settle();
        EXPECT_TRUE(ad.isEditing);
        EXPECT_EQ(ad.currentTextView, text);
        EXPECT_EQ(text, textOfRow(c.row));
        EXPECT_EQ(shell->window().focusWidget(), text);
        QTest::keyClicks(shell->window().focusWidget(), typed.mid(1));
        const QString edited = text->model().string();

        // Taken back, the row shows the model's words: the edit was that text with the word typed over.
        QTest::keyClick(text, Qt::Key_Escape);
        ASSERT_TRUE(waitFor([&] { return !ad.isEditing; }));
        QVTextView* row = nullptr;
        ASSERT_TRUE(waitFor([&] {
            row = textOfRow(c.row);
            return row && row->model().string() == word->speakerRange->text->string;
        }));
        const QString expected = QString(row->model().string()).replace(word->characterStart, word->name().size(), typed);
        EXPECT_EQ(edited.toStdString(), expected.toStdString());
    }
}

TEST_F(TranscriptPaint, SearchResultsAreReadBesideWholeTranscriptRows)
{
    open(kLongFile, 1000);
    shell->performAction("selectRightPanelTab:", 1);
    search::QVSearchViewController& search = shell->transcriptScreen().search();
    search.searchField()->setText("footage");
    ASSERT_TRUE(waitFor([&] { return search.searchResults().size() > 10; }));
    settle();
    screenshot("paint-search-results");
    // An abstract of five common words fits its column at 12 points, with the speaker beside it.
    const search::QVTableViewSearch* results = search.tableView();
    QFont font = results->font();
    font.setPointSize(12);
    const double fiveWords = QFontMetricsF(font).horizontalAdvance(QStringLiteral("then decided to cut footage"));
    EXPECT_GE(results->columnWidth(1) - 10, fiveWords) << results->columnWidth(1);
    EXPECT_GE(results->columnWidth(0), search::QVTableViewSearch::kSpeakerColumnMaximum);
    // The transcript keeps the width its rows need.
    EXPECT_EQ(table().horizontalScrollBar()->maximum(), 0);

    // Abstracts too wide for the column are cut on whole words: after the found word where it
    // starts them (in the long range, without a sentence's start before it), and before it too in
    // the short ranges, where the word may come in the middle of the words shown.
    const struct {
        const char* file;
        std::size_t words;
        const char* text;
        bool cutBefore;
    } searches[] = {{kLongFile, 1000, "footage", false}, {kShortFile, 600, "interview", true}};
    for (const auto& s : searches) {
        SCOPED_TRACE(s.text);
        if (shell->ad().currentFile->uuid != s.file) {
            open(s.file, s.words);
            shell->performAction("selectRightPanelTab:", 1);
        }
        search.searchField()->setText(s.text);
        ASSERT_TRUE(waitFor([&] { return search.searchResults().size() > 10 && search.searchResults().front().abstract.contains(s.text); }));
        settle();
        screenshot(QStringLiteral("paint-search-results-") + s.text);
        int cutBefore = 0;
        int cutAfter = 0;
        // The results of a file just opened are laid out in the list a while after they are
        // found, longer in a slow build: judge them once the cut ones are in view.
        EXPECT_TRUE(waitFor([&] {
            faultsOfAbstracts(&cutBefore, &cutAfter);
            return cutAfter > 0 && (!s.cutBefore || cutBefore > 0);
        }));
        EXPECT_EQ(faultsOnceStill([&] { return faultsOfAbstracts(&cutBefore, &cutAfter); }), "");
        EXPECT_GT(cutAfter, 0);
        if (s.cutBefore) {
            EXPECT_GT(cutBefore, 0);
        }
    }

    // A narrow window gives the transcript its rows' width first; the panel keeps its least.
    shell->window().resize(1000, 640);
    ASSERT_TRUE(waitFor([&] { return shell->window().width() == 1000; }));
    settle();
    EXPECT_EQ(table().horizontalScrollBar()->maximum(), 0);
    EXPECT_GE(shell->window().findChild<QWidget*>("rightPanelTabView")->width(), 230);
}

}  // namespace
}  // namespace qv::shell
