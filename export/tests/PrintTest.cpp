#include "export/QVPrintingView.h"
#include "export/tests/ExportFixture.h"
#include "export/tests/QStringPrinting.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>

namespace qv {
namespace {

// The printable area of US Letter less the margins, points.
constexpr double kLetterWidth = 612;
constexpr double kLetterHeight = 792;

ExportWord word(const QString& name, int64_t start, bool newParagraph = false, bool favorite = false) {
    return {name, start, start + 100, newParagraph, favorite};
}

ExportRange range(const QString& speaker, std::vector<ExportWord> words) {
    ExportRange r;
    r.speakerName = speaker;
    r.speakerColor = "blue";
    r.words = std::move(words);
    return r;
}

// A range of `lines` printed lines: one word each, separated by paragraph marks, which leave an
// empty line between them (so an odd count).
ExportRange rangeOfLines(const QString& speaker, int lines) {
    std::vector<ExportWord> words;
    for (int i = 0; i < (lines + 1) / 2; ++i) words.push_back(word("w", i * 1000, i > 0));
    return range(speaker, std::move(words));
}

QVPrintingView layOut(std::vector<ExportRange> ranges, double pageWidth, double pageHeight) {
    ExportTranscript transcript;
    transcript.ranges = std::move(ranges);
    QVPrintingView view(
        std::move(transcript), "Interview", [](int64_t ms) { return QStringLiteral("t%1").arg(ms); },
        [](const QString&) { return QColor(Qt::blue); }, 12, 23);
    view.setPageSize(pageWidth, pageHeight);
    view.printTranscript();
    return view;
}

// The page height that holds exactly `lines` lines at 23 points a line.
double heightForLines(int lines) {
    return kPrintFooterHeight + 8 + 23.0 * lines;
}

struct Tab {
    int64_t page;
    int64_t line;
    QString name;
    bool operator==(const Tab&) const = default;
};

std::vector<Tab> tabsOf(const QVPrintingView& view) {
    std::vector<Tab> tabs;
    for (const auto& tab : view.speakerTabs()) tabs.push_back({tab.page, tab.line, tab.name});
    return tabs;
}

void PrintTo(const Tab& tab, std::ostream* os) {
    *os << "{page " << tab.page << ", line " << tab.line << ", " << tab.name.toStdString() << "}";
}

// Every word of the layout in order, as the lines hold them.
QStringList wordsOf(const QVPrintingView& view) {
    QStringList words;
    for (const auto& chunk : view.chunks())
        for (const auto& line : chunk.lines)
            if (!line.words.isEmpty()) words += line.words.split(' ');
    return words;
}

TEST(PrintLayout, LetterAtTwelvePoints) {
    const QVPrintingView view = layOut({}, kLetterWidth - 2 * kPrintMargin, kLetterHeight - 2 * kPrintMargin);
    EXPECT_EQ(view.pageWidth(), 504);
    EXPECT_EQ(view.pageHeight(), 684);
    EXPECT_EQ(view.timestampColumnWidth(), 70);
    EXPECT_EQ(view.wordsViewWidth(), 434);
    EXPECT_EQ(view.linesPerPage(), 27);
    EXPECT_EQ(view.pageCount(), 0);
}

struct PlacementCase {
    const char* name;
    int linesPerPage;
    std::vector<int> rangeLines;
    std::vector<Tab> tabs;
};

class PrintPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PrintPlacement, NamesAndPagesOfRanges) {
    const PlacementCase& c = GetParam();
    std::vector<ExportRange> ranges;
    for (size_t i = 0; i < c.rangeLines.size(); ++i)
        ranges.push_back(rangeOfLines(QString(QChar('A' + static_cast<int>(i))), c.rangeLines[i]));
    const QVPrintingView view = layOut(std::move(ranges), 504, heightForLines(c.linesPerPage));
    ASSERT_EQ(view.linesPerPage(), c.linesPerPage);
    EXPECT_EQ(tabsOf(view), c.tabs);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, PrintPlacement,
    ::testing::Values(
        PlacementCase{"FitsWholeUnderItsName", 27, {3, 5}, {{1, 0, "A"}, {1, 4, "B"}}},
        PlacementCase{"OneFreeLineStartsANewPage", 3, {1, 1}, {{1, 0, "A"}, {2, 0, "B"}}},
        PlacementCase{"TwoFreeLinesTakeAOneLineRange", 4, {1, 1}, {{1, 0, "A"}, {1, 2, "B"}}},
        PlacementCase{"TwoFreeLinesRefuseALongerRange", 4, {1, 3}, {{1, 0, "A"}, {2, 0, "B"}}},
        PlacementCase{"RunsOverAPageEndAndContinues",
                      4,
                      {9},
                      {{1, 0, "A"}, {2, 0, "A (continued)"}, {3, 0, "A (continued)"}}},
        PlacementCase{"TwoLinesAPage", 2, {3}, {{1, 0, "A"}, {2, 0, "A (continued)"}, {3, 0, "A (continued)"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PrintLayout, PageWithRoomForLessThanTwoLinesStillPlacesEveryLine) {
    const QVPrintingView view = layOut({rangeOfLines("A", 5)}, 504, 50);
    EXPECT_EQ(view.linesPerPage(), 2);
    EXPECT_EQ(view.pageCount(), 5);
    EXPECT_EQ(wordsOf(view), QStringList({"w", "w", "w"}));
}

TEST(PrintLayout, TimesMarkTheRangeStartAndTheFirstSentenceOfALine) {
    // Line 1 holds two sentences: only the first one's time shows. A paragraph leaves an empty
    // line in both columns; the sentence after it starts its own line with its time.
    const QVPrintingView view = layOut({range("A", {word("Hello", 1000), word("there.", 1500), word("Next", 2000),
                                                    word("one.", 2500), word("New", 4000, true), word("part", 4500)})},
                                       504, 684);
    ASSERT_EQ(view.chunks().size(), 1u);
    const auto& lines = view.chunks()[0].lines;
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].words, "Hello there. Next one.");
    EXPECT_EQ(lines[0].time, "t1000");
    EXPECT_EQ(lines[1].words, "");
    EXPECT_EQ(lines[1].time, "");
    EXPECT_EQ(lines[2].words, "New part");
    EXPECT_EQ(lines[2].time, "t4000");
}

TEST(PrintLayout, ParagraphMarkOnARangesFirstWordAddsNoEmptyLine) {
    const QVPrintingView view = layOut({range("A", {word("Opening", 0, true), word("words", 500)})}, 504, 684);
    ASSERT_EQ(view.chunks().size(), 1u);
    ASSERT_EQ(view.chunks()[0].lines.size(), 1u);
    EXPECT_EQ(view.chunks()[0].lines[0].words, "Opening words");
}

TEST(PrintLayout, FavouriteRuns) {
    // Two favourites side by side are one run with the blank between them; a favourite that
    // starts a new line starts a new run there.
    const QVPrintingView view = layOut({range("A", {word("one", 0), word("two", 100, false, true),
                                                    word("three", 200, false, true), word("four", 300),
                                                    word("five", 400, true, true), word("six", 500, false, true)})},
                                       504, 684);
    const auto& lines = view.chunks().at(0).lines;
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].words, "one two three four");
    EXPECT_EQ(lines[0].favoriteRanges, (std::vector<std::pair<int, int>>{{4, 9}}));
    EXPECT_EQ(lines[2].words, "five six");
    EXPECT_EQ(lines[2].favoriteRanges, (std::vector<std::pair<int, int>>{{0, 8}}));
}

TEST(PrintLayout, LongParagraphKeepsEveryWordInOrderWithinTheColumn) {
    std::vector<ExportWord> words;
    QStringList expected;
    for (int i = 0; i < 30000; ++i) {
        const QString name = QStringLiteral("word%1").arg(i);
        words.push_back(word(name, i * 300));
        expected << name;
    }
    const QVPrintingView view = layOut({range("A", std::move(words))}, 504, 684);
    EXPECT_EQ(wordsOf(view), expected);
    EXPECT_GT(view.pageCount(), 100);
}

TEST(PrintLayout, WordWiderThanTheColumnIsCutIntoLinesThatFit) {
    const QString longWord(2000, QChar('m'));
    const QVPrintingView view = layOut({range("A", {word("before", 0), word(longWord, 100), word("after", 200)})}, 504, 684);
    QString joined;
    int lines = 0;
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(12);
    font.setHintingPreference(QFont::PreferNoHinting);
    for (const auto& chunk : view.chunks())
        for (const auto& line : chunk.lines) {
            EXPECT_LE(QFontMetricsF(font).horizontalAdvance(line.words), view.wordsViewWidth() - 16);
            joined += line.words + "|";
            ++lines;
        }
    EXPECT_GT(lines, 3);
    EXPECT_TRUE(joined.startsWith("before|m"));
    EXPECT_EQ(joined.remove('|'), "before" + longWord + " after");
}

TEST(PrintLayout, HardTextDrawsWithoutFault) {
    // A 500-character name, right-to-left and combining text: painted within the page.
    const QVPrintingView view = layOut({range(QString(500, QChar('N')), {word(QString::fromUtf8("שלום"), 0),
                                                                        word(QString::fromUtf8("مرحبا"), 100),
                                                                        word(QString::fromUtf8("e\u0301te\u0301"), 200)})},
                                       504, 684);
    QImage image(504, 684, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    view.drawPage(painter, 1);
    painter.end();
    EXPECT_EQ(view.pageCount(), 1);
}

class PrintExportTest : public test::ExportFixture {
protected:
    void SetUp() override {
        controller.setPaperSize(QPageSize(QPageSize::Letter).size(QPageSize::Point));
        addRange("Host", 0);
        addWord("Welcome", 500, 900);
        addWord("back.", 1000, 1400);
        addRange("Guest", 2000, "red");
        addWord("Thank", 2000, 2300)->favorite = true;
        addWord("you.", 2400, 2800);
    }

    static QString run(const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(60000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }
};

TEST_F(PrintExportTest, PdfHoldsTheWordsAsTextOnLetterPages) {
    const QString path = saveTo("out.pdf");
    controller.exportToPDF();
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_EQ(shell.calls, (QStringList{"status 50 updateUI", "count 5"}));
    ASSERT_EQ(panels.shownPanels().size(), 1u);
    EXPECT_EQ(panels.shownPanels()[0].nameFieldStringValue, "Interview");
    EXPECT_EQ(panels.shownPanels()[0].allowedFileTypes, QStringList{"pdf"});

    const QString text = run("pdftotext", {"-layout", path, "-"}).simplified();
    for (const char* expected : {"Host", "Welcome back.", "Guest", "Thank you.", "Interview"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << " in " << text.toStdString();
    EXPECT_LT(text.indexOf("Welcome"), text.indexOf("Thank"));
    const QString info = run("pdfinfo", {path});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains("612 x 792 pts (letter)")) << info.toStdString();
    const QString fonts = run("pdffonts", {path});
    EXPECT_FALSE(fonts.contains(QRegularExpression("\\bno\\s+(yes|no)\\s+(yes|no)\\s+\\d"))) << fonts.toStdString();
}

TEST_F(PrintExportTest, PdfToAFolderThatCannotBeWrittenIsAnErrorAndChangesNothing) {
    panels.script({{}, ModalResponse::OK, folder.filePath("missing/out.pdf")});
    controller.exportToPDF();
    EXPECT_TRUE(shell.calls.isEmpty());
    EXPECT_EQ(file->status, 40);
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.beepCount(), 1);
    EXPECT_FALSE(QFile::exists(folder.filePath("missing/out.pdf")));
}

TEST_F(PrintExportTest, CancelledPdfPanelDoesNothing) {
    panels.script({{}, ModalResponse::Cancel, {}});
    controller.exportToPDF();
    EXPECT_TRUE(shell.calls.isEmpty());
}

TEST_F(PrintExportTest, PrintIsCountedOnlyWhenSentAndNeverChangesTheStatus) {
    controller.printTranscript();  // cancelled
    EXPECT_TRUE(shell.calls.isEmpty());

    const QString path = folder.filePath("printed.pdf");
    printPanels.script(true, path, QPageSize(QPageSize::A4).size(QPageSize::Point));
    controller.printTranscript();
    EXPECT_EQ(shell.calls, QStringList{"count 7"});
    EXPECT_EQ(file->status, 40);
    ASSERT_EQ(printPanels.proposedPapers().size(), 2u);
    EXPECT_EQ(printPanels.proposedPapers()[1], QPageSize(QPageSize::Letter).size(QPageSize::Point));
    // Laid out on the paper the user chose in the panel.
    EXPECT_TRUE(run("pdfinfo", {path}).contains("(A4)"));
    EXPECT_TRUE(run("pdftotext", {path, "-"}).contains("Thank you."));
}

// The PDF is made on the paper last chosen for printing, as the print settings are shared; a
// cancelled panel changes nothing. Without a print the paper is the locale's.
TEST_F(PrintExportTest, PdfIsMadeOnThePaperLastChosenInThePrintPanel) {
    const QString first = saveTo("before.pdf");
    controller.exportToPDF();
    EXPECT_TRUE(run("pdfinfo", {first}).contains("612 x 792 pts (letter)"));

    printPanels.script(true, folder.filePath("printed.pdf"), QPageSize(QPageSize::A4).size(QPageSize::Point));
    controller.printTranscript();
    printPanels.script(false);
    controller.printTranscript();
    const QString after = saveTo("after.pdf");
    controller.exportToPDF();
    const QString info = run("pdfinfo", {after});
    EXPECT_TRUE(info.contains("595 x 842 pts (A4)")) << info.toStdString();
    ASSERT_EQ(printPanels.proposedPapers().size(), 2u);
    EXPECT_EQ(printPanels.proposedPapers()[1], QPageSize(QPageSize::A4).size(QPageSize::Point));

    EXPECT_EQ(defaultPaperSize(QLocale(QLocale::English, QLocale::UnitedStates)), QSizeF(612, 792));
    EXPECT_EQ(defaultPaperSize(QLocale(QLocale::German, QLocale::Germany)), QPageSize(QPageSize::A4).size(QPageSize::Point));
}

TEST_F(PrintExportTest, TranscriptWithoutWordsGivesOnePageWithItsFooter) {
    ad.words.clear();
    const QString path = saveTo("empty.pdf");
    controller.exportToPDF();
    EXPECT_TRUE(run("pdfinfo", {path}).contains(QRegularExpression("Pages:\\s+1\\n")));
    EXPECT_TRUE(run("pdftotext", {path, "-"}).contains("Interview"));
}

}  // namespace
}  // namespace qv
