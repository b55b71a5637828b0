#include "export/QVCaptionPagesCreate.h"

#include "export/tests/QStringPrinting.h"
#include "export/tests/TranscriptBuilder.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

namespace qv {
namespace {

using test::TranscriptBuilder;
using Lines = std::vector<std::pair<QString, QString>>;

std::vector<QVCaptionPage> build(const ExportTranscript& transcript, const QString& pageMode = "auto",
                                 const QString& speakerMode = "none") {
    QVCaptionPagesCreate creator(transcript);
    return creator.createCaptionPagesWithOptions({pageMode, speakerMode}, kCaptionMaxCharsPerLine,
                                                 kCaptionMaxLinesPerPage);
}

Lines linesOf(const std::vector<QVCaptionPage>& pages) {
    Lines lines;
    for (const auto& page : pages) lines.emplace_back(page.line1, page.line2);
    return lines;
}

TEST(CaptionPageTest, WordCountCountsSpacePiecesOfBothLines) {
    QVCaptionPage page;
    page.line1 = "Hello there.";
    EXPECT_EQ(page.wordCount(), 3);  // the empty second line counts one
    page.line1 = ">> HOST: Yes.";
    page.line2 = "Come in.";
    EXPECT_EQ(page.wordCount(), 5);
}

struct LayoutCase {
    const char* name;
    ExportTranscript transcript;
    QString pageMode;
    QString speakerMode;
    Lines expected;
};

std::vector<LayoutCase> layoutCases() {
    return {
        {"two fragments share one line",
         TranscriptBuilder().words("Hello there. How are you?").build(), "auto", "none",
         {{"Hello there. How are you?", ""}}},
        {"single-line sentence longer than a line stays whole",
         TranscriptBuilder().words("This sentence is a good deal longer than thirty-two characters. Short.").build(),
         "singleLineSentences", "none",
         {{"This sentence is a good deal longer than thirty-two characters.", ""}, {"Short.", ""}}},
        {"arrows label", TranscriptBuilder().range("Host", 0).words("Yes.").build(), "auto", "arrowsName",
         {{">> HOST: Yes.", ""}}},
        {"name label", TranscriptBuilder().range("Host", 0).words("Yes.").build(), "auto", "name",
         {{"Host: Yes.", ""}}},
        {"no label", TranscriptBuilder().range("Host", 0).words("Yes.").build(), "auto", "none", {{"Yes.", ""}}},
        {"unset speaker mode gives arrows", TranscriptBuilder().range("Host", 0).words("Yes.").build(), "auto", "",
         {{">> HOST: Yes.", ""}}},
        {"label only on the first fragment of a range",
         TranscriptBuilder().range("Ann", 0).words("Yes. No.").range("Bob").words("Maybe.").build(), "auto",
         "name", {{"Ann: Yes. No.", ""}, {"Bob: Maybe.", ""}}},
        {"label in single-line mode",
         TranscriptBuilder().range("Ann", 0).words("Yes. No.").build(), "singleLineSentences", "arrowsName",
         {{">> ANN: Yes.", ""}, {"No.", ""}}},
        {"a pause between fragments starts a page",
         TranscriptBuilder().words("Hello.").pause(2500).words("There.").build(), "auto", "none",
         {{"Hello.", ""}, {"There.", ""}}},
        {"a fragment that must start a page puts each of its lines on a page of its own",
         TranscriptBuilder().words("Hello.").pause(2500).words("we could go down to the river and swim there.").build(),
         "auto", "none", {{"Hello.", ""}, {"we could go down to", ""}, {"the river and swim there.", ""}}},
        {"a pause inside a fragment does not start a page",
         TranscriptBuilder().words("Hello").pause(2500).words("there.").build(), "auto", "none",
         {{"Hello there.", ""}}},
        {"a pause just under two seconds starts nothing",
         TranscriptBuilder().words("Hello.").pause(1999).words("There.").build(), "auto", "none",
         {{"Hello. There.", ""}}},
        {"a paragraph inside a fragment starts a page",
         TranscriptBuilder().words("Hello there").words("again").paragraph().build(), "auto", "none",
         {{"Hello there", ""}, {"again", ""}}},
        {"a paragraph after a full stop does not start a page",
         TranscriptBuilder().words("Hello there.").words("Again").paragraph().build(), "auto", "none",
         {{"Hello there. Again", ""}}},
        {"single-line mode ignores pauses and paragraphs",
         TranscriptBuilder().words("Hello").pause(3000).words("there").paragraph().words("friend.").build(),
         "singleLineSentences", "none", {{"Hello there friend.", ""}}},
        {"a fragment that does not fit goes to line 2",
         TranscriptBuilder().words("Well, we could go down to the river.").build(), "auto", "none",
         {{"Well, we could go down to", "the river."}}},
        {"a start word keeps the balance from moving it alone",
         TranscriptBuilder().words("Well, we could go down to the river.").startWords({"to"}).build(), "auto",
         "none", {{"Well, we could go down", "to the river."}}},
        {"a lone short first line takes a word even when only one would stay below",
         TranscriptBuilder().words("Okay. extraordinarily wonderfulness.").build(), "auto", "none",
         {{"Okay. extraordinarily", "wonderfulness."}}},
        {"balanced split of a long fragment",
         TranscriptBuilder().words("aaaa bbbb cccc dddd eeee ffff gggg hhhh").build(), "auto", "none",
         {{"aaaa bbbb cccc dddd", "eeee ffff gggg hhhh"}}},
        {"a start word stays with the word after it",
         TranscriptBuilder().words("aaaa bbbb cccc the dddddd eeeeee ffff").startWords({"THE"}).build(), "auto",
         "none", {{"aaaa bbbb cccc the dddddd", "eeeeee ffff"}}},
        {"without start words the line breaks after it",
         TranscriptBuilder().words("aaaa bbbb cccc the dddddd eeeeee ffff").build(), "auto", "none",
         {{"aaaa bbbb cccc the", "dddddd eeeeee ffff"}}},
        {"a name group is not broken by the line split",
         TranscriptBuilder().words("one went up there to see Jo Al Bo and then we all left").build(), "auto", "none",
         {{"one went up there to see", "Jo Al Bo and then we all left"}}},
        {"the same words without capitals break before the group",
         TranscriptBuilder().words("one went up there to see jo al bo and then we all left").build(), "auto", "none",
         {{"one went up there to see jo", "al bo and then we all left"}}},
        {"a lone last word makes the fragment fill its lines",
         TranscriptBuilder().words("So oh my what incomprehensibilities.").build(), "auto", "none",
         {{"So oh my", "what incomprehensibilities."}}},
        {"the fill-mode restart keeps the words placed before the fragment",
         TranscriptBuilder().words("Yes. So oh my what incomprehensibilities.").build(), "auto", "none",
         {{"Yes. So oh my", "what incomprehensibilities."}}},
        {"a word longer than a line takes a line of its own",
         TranscriptBuilder().words("Hi there friend, pneumonoultramicroscopicsilicovolcanoconiosis is long.")
             .build(),
         "auto", "none",
         {{"Hi there friend,", ""}, {"pneumonoultramicroscopicsilicovolcanoconiosis", "is long."}}},
        {"every range starts on a fresh line",
         TranscriptBuilder().range("A", 0).words("One.").range("B").words("Two.").build(), "auto", "none",
         {{"One.", ""}, {"Two.", ""}}},
        {"empty transcript", TranscriptBuilder().build(), "auto", "arrowsName", {}},
    };
}

TEST(CaptionPagesCreateTest, LaysOutPages) {
    for (const auto& c : layoutCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(linesOf(build(c.transcript, c.pageMode, c.speakerMode)), c.expected);
    }
}

TEST(CaptionPagesCreateTest, StartWordsCompareIgnoringCase) {
    const auto withList = TranscriptBuilder().startWords({"the", "and"}).build();
    QVCaptionPagesCreate creator(withList);
    EXPECT_TRUE(creator.stringIsStartWord("The"));
    EXPECT_TRUE(creator.stringIsStartWord("AND"));
    EXPECT_FALSE(creator.stringIsStartWord("theory"));

    const auto withoutList = TranscriptBuilder().build();
    QVCaptionPagesCreate plain(withoutList);
    EXPECT_FALSE(plain.stringIsStartWord("the"));
}

TEST(CaptionPagesCreateTest, PagesTakeTheirWordsTimes) {
    const auto transcript = TranscriptBuilder().words("Hello.", 1500).pause(2500).words("There you go.", 600).build();
    const auto pages = build(transcript);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].start, 0);
    EXPECT_EQ(pages[0].end, 1500);
    EXPECT_EQ(pages[1].start, 4000);
    EXPECT_EQ(pages[1].end, 5800);
    EXPECT_EQ(pages[0].transcriptWordsCount, 1);
    EXPECT_EQ(pages[1].transcriptWordsCount, 3);
    EXPECT_EQ(pages[1].wpm, 4 * (60000 / 1800));
}

TEST(CaptionPagesCreateTest, LineLengthBelowOneCharacterStillPlacesEveryWord) {
    const auto transcript = TranscriptBuilder().words("We went down to the river.").build();
    for (const int64_t length : {int64_t(0), int64_t(-5)}) {
        QVCaptionPagesCreate creator(transcript);
        const auto pages = creator.createCaptionPagesWithOptions({"auto", "none"}, length, 2);
        int64_t words = 0;
        for (const auto& page : pages) words += page.transcriptWordsCount;
        EXPECT_EQ(words, 6) << length;
    }
}

TEST(CaptionPagesCreateTest, EmptyWordsTakeNoPlace) {
    const QString nothing;
    const QString control = QString(QChar(0x01));
    struct Case {
        const char* name;
        ExportTranscript transcript;
    };
    const Case cases[] = {
        {"first word empty, the rest longer than a line",
         TranscriptBuilder().word(nothing).words("We went down to the river and then all the way back home").build()},
        {"an empty word between fragments",
         TranscriptBuilder().words("Yes.").word(nothing).words("We went down to the river and all the way home.").build()},
        {"a word of a control character only",
         TranscriptBuilder().word(control).words("We went down to the river and then all the way back home").build()},
        {"empty words only", TranscriptBuilder().word(nothing).word(" ").build()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString mode : {"auto", "singleLineSentences"}) {
            for (const auto& page : build(c.transcript, mode, "none")) {
                EXPECT_FALSE(page.line1.trimmed().isEmpty()) << (page.line1 + " / " + page.line2).toStdString();
                EXPECT_EQ(page.line1, page.line1.trimmed());
                EXPECT_FALSE(page.line1.contains("  ") || page.line2.contains("  "));
            }
        }
    }
    // A paragraph that an empty word starts still starts, at the next word.
    const auto withEmpty = TranscriptBuilder().words("One").word(nothing).paragraph().words("two").build();
    const auto without = TranscriptBuilder().words("One").word("two").paragraph().build();
    EXPECT_EQ(linesOf(build(withEmpty)), linesOf(build(without)));
    EXPECT_EQ(linesOf(build(without)).size(), 2u);
}

// Words of the pages in order, speaker labels removed.
QStringList wordsOnPages(const std::vector<QVCaptionPage>& pages, const QStringList& labels) {
    QStringList words;
    for (const auto& page : pages) {
        for (QString line : {page.line1, page.line2}) {
            for (const auto& label : labels) {
                if (line.startsWith(label)) line.remove(0, label.size());
            }
            words += line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        }
    }
    return words;
}

// Random transcripts: every word lands on exactly one page, in order, and no line but a lone
// overlong word exceeds the line length.
TEST(CaptionPagesCreateTest, EveryWordIsPlacedExactlyOnce) {
    const QStringList vocabulary = {"a", "I", "to", "the", "and", "New", "York", "Mary", "Ann", "river,",
                                    "extraordinary", "went.", "why?", "yes!", "so", "incomprehensibilities",
                                    "we", "could", "go", "down", "really", "there;", "Smith", "over"};
    QRandomGenerator random(12345);
    for (int round = 0; round < 300; ++round) {
        TranscriptBuilder builder;
        builder.startWords({"the", "and", "to", "a"});
        const int ranges = 1 + random.bounded(3);
        for (int r = 0; r < ranges; ++r) {
            builder.range(r % 2 ? "Bob" : "Ann");
            const int count = 1 + random.bounded(25);
            for (int w = 0; w < count; ++w) {
                builder.word(vocabulary[random.bounded(vocabulary.size())], 100 + random.bounded(400),
                             random.bounded(10) == 0 ? 2500 : random.bounded(200));
                if (random.bounded(12) == 0) builder.paragraph();
            }
        }
        const auto transcript = builder.build();
        QStringList expected;
        for (const auto& range : transcript.ranges) {
            for (const auto& word : range.words) expected += word.name;
        }
        for (const QString mode : {"auto", "singleLineSentences"}) {
            SCOPED_TRACE(QString("round %1 mode %2").arg(round).arg(mode).toStdString());
            const auto pages = build(transcript, mode, "arrowsName");
            EXPECT_EQ(wordsOnPages(pages, {">> ANN: ", ">> BOB: "}), expected);
            if (mode != "auto") continue;
            for (const auto& page : pages) {
                for (const auto& line : {page.line1, page.line2}) {
                    if (line.size() > kCaptionMaxCharsPerLine) {
                        EXPECT_TRUE(line.contains("incomprehensibilities")) << line.toStdString();
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace qv
