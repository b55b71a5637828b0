#include "export/CaptionWriters.h"

#include "export/QVCaptionPagesCreate.h"
#include "platform/foundation/XmlText.h"
#include "export/tests/QStringPrinting.h"
#include "export/tests/SubRipReadBack.h"
#include "export/tests/TranscriptBuilder.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <QTemporaryDir>

namespace qv {
namespace {

QVCaptionPage page(int64_t start, int64_t end, const QString& line1, const QString& line2 = {}) {
    QVCaptionPage p;
    p.start = start;
    p.end = end;
    p.line1 = line1;
    p.line2 = line2;
    return p;
}

std::vector<QVCaptionPage> examplePages() {
    return {page(1000, 3500, "Hello there."), page(4000, 6000, "Yes.", "Come in.")};
}

// Writes a SubRip text to a file and checks that ffmpeg reads the same cues from it.
void expectReadBack(const QString& subRip) {
    QTemporaryDir dir;
    const QString path = dir.filePath("captions.srt");
    ASSERT_TRUE(test::writeFile(path, subRip.toUtf8()));
    test::expectFfmpegReadsTheSameCues(path);
}

TEST(SubRipTest, WritesCuesByteExactly) {
    auto pages = examplePages();
    const QString text = subRipText(pages, std::nullopt);
    EXPECT_EQ(text,
              "1\n00:00:01,000 --> 00:00:03,500\nHello there.\n\n"
              "2\n00:00:04,000 --> 00:00:06,000\nYes.\nCome in.\n");
    expectReadBack(text);
}

TEST(SubRipTest, TimecodeOffsetShiftsPagesAndWrapsPastMidnight) {
    auto pages = examplePages();
    const QString text = subRipText(pages, 3600000);
    EXPECT_TRUE(text.startsWith("1\n01:00:01,000 --> 01:00:03,500\n"));
    EXPECT_EQ(pages[0].start, 3601000);

    auto late = examplePages();
    const QString wrapped = subRipText(late, 86399000);
    EXPECT_TRUE(wrapped.contains("2\n00:00:03,000 --> 00:00:05,000\n")) << wrapped.toStdString();
    expectReadBack(text);
    expectReadBack(wrapped);
}

TEST(SubRipTest, NoPagesGiveASingleLineBreak) {
    std::vector<QVCaptionPage> pages;
    EXPECT_EQ(subRipText(pages, std::nullopt), "\n");
    expectReadBack("\n");
}

TEST(SubRipTest, BuiltCaptionsReadBackThroughFfmpeg) {
    const auto transcript = test::TranscriptBuilder()
                                .range("Host", 0)
                                .words("Welcome back to the show, everyone. Today we talk about rivers & lakes.", 350)
                                .range("Guest")
                                .pause(3000)
                                .words("Thank you for having me. It is a pleasure to be here again.", 300)
                                .build();
    for (const QString mode : {"auto", "singleLineSentences"}) {
        QVCaptionPagesCreate creator(transcript);
        auto pages = creator.createCaptionPagesWithOptions({mode, "arrowsName"}, 32, 2);
        const QString text = subRipText(pages, std::nullopt);
        SCOPED_TRACE(text.toStdString());
        expectReadBack(text);
    }
}

QString framesAt25(int64_t ms) {
    const int64_t frames = ms * 25 / 1000;
    return QString::asprintf("%02lld:%02lld:%02lld:%02lld", (long long)(frames / 90000 % 24),
                             (long long)(frames / 1500 % 60), (long long)(frames / 25 % 60), (long long)(frames % 25));
}

TEST(TimedTextTest, DocumentIsTimedTextInItsNamespace) {
    auto pages = examplePages();
    pages.push_back(page(7000, 8000, "Salt & pepper <b>"));
    const QString document = timedTextDocument(pages, "en-US", {false, 25, false}, framesAt25);

    pugi::xml_document xml;
    const QByteArray bytes = document.toUtf8();
    ASSERT_TRUE(xml.load_buffer(bytes.constData(), bytes.size()));
    const auto tt = xml.child("tt");
    EXPECT_STREQ(tt.attribute("xmlns").value(), "http://www.w3.org/ns/ttml");
    EXPECT_STREQ(tt.attribute("ttp:dropMode").value(), "nonDrop");
    EXPECT_STREQ(tt.attribute("ttp:frameRate").value(), "25");
    EXPECT_STREQ(tt.attribute("ttp:frameRateMultiplier").value(), "1 1");
    EXPECT_STREQ(tt.attribute("ttp:timeBase").value(), "smpte");
    EXPECT_STREQ(tt.attribute("xml:lang").value(), "en-US");
    EXPECT_STREQ(tt.child("head").child("styling").child("style").attribute("xml:id").value(), "normal");
    EXPECT_STREQ(tt.child("head").child("layout").child("region").attribute("tts:origin").value(), "0% 85%");

    const auto div = tt.child("body").child("div");
    std::vector<pugi::xml_node> paragraphs(div.children("p").begin(), div.children("p").end());
    ASSERT_EQ(paragraphs.size(), 3u);
    EXPECT_STREQ(paragraphs[0].attribute("begin").value(), "00:00:01:00");
    EXPECT_STREQ(paragraphs[0].attribute("end").value(), "00:00:03:12");
    EXPECT_STREQ(paragraphs[0].attribute("region").value(), "bottom");
    const auto span = paragraphs[1].child("span");
    EXPECT_STREQ(span.attribute("tts:backgroundColor").value(), "black");
    EXPECT_STREQ(span.first_child().value(), "Yes.");
    EXPECT_STREQ(span.first_child().next_sibling().name(), "br");
    EXPECT_STREQ(span.last_child().value(), "Come in.");
    EXPECT_STREQ(paragraphs[2].child("span").text().get(), "Salt & pepper <b>");

    // Attributes and namespace declarations in their fixed order.
    EXPECT_TRUE(document.startsWith(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<tt ttp:dropMode=\"nonDrop\" ttp:frameRate=\"25\" ttp:frameRateMultiplier=\"1 1\" ttp:timeBase=\"smpte\" "
        "xml:lang=\"en-US\" xmlns=\"http://www.w3.org/ns/ttml\" xmlns:tt=\"http://www.w3.org/ns/ttml\" "
        "xmlns:tt_extension=\"http://www.w3.org/ns/ttml/extension/\" "
        "xmlns:tt_feature=\"http://www.w3.org/ns/ttml/feature/\" "
        "xmlns:tt_profile=\"http://www.w3.org/ns/ttml/profile/\" xmlns:ttm=\"http://www.w3.org/ns/ttml#metadata\" "
        "xmlns:ttp=\"http://www.w3.org/ns/ttml#parameter\" xmlns:tts=\"http://www.w3.org/ns/ttml#styling\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"));
    EXPECT_TRUE(document.contains(
        "<style tts:color=\"white\" tts:fontFamily=\"sansSerif\" tts:fontSize=\"100%\" tts:fontStyle=\"normal\" "
        "tts:fontWeight=\"normal\" xml:id=\"normal\"/>"));
    EXPECT_TRUE(document.contains(
        "<region tts:displayAlign=\"after\" tts:extent=\"100% 15%\" tts:origin=\"0% 85%\" "
        "tts:textAlign=\"center\" xml:id=\"bottom\"/>"));
    EXPECT_TRUE(document.contains("<body style=\"normal\" region=\"bottom\">"));
    EXPECT_TRUE(document.contains("<p begin=\"00:00:01:00\" end=\"00:00:03:12\" region=\"bottom\">"));
    EXPECT_TRUE(document.contains("<span tts:backgroundColor=\"black\">Yes.<br/>Come in.</span>"));
    EXPECT_TRUE(document.contains("Salt &amp; pepper &lt;b&gt;"));
}

TEST(TimedTextTest, DropFrameAndEmptyDocument) {
    const QString document = timedTextDocument({}, "fr", {true, 30, true}, framesAt25);
    pugi::xml_document xml;
    const QByteArray bytes = document.toUtf8();
    ASSERT_TRUE(xml.load_buffer(bytes.constData(), bytes.size()));
    EXPECT_STREQ(xml.child("tt").attribute("ttp:dropMode").value(), "dropNTSC");
    EXPECT_STREQ(xml.child("tt").attribute("ttp:frameRateMultiplier").value(), "1000 1001");
    EXPECT_TRUE(document.contains("<div/>"));
}

TEST(XmlTextTest, EscapesMarkupAndDropsWhatXmlCannotHold) {
    const struct {
        QString text;
        QString escaped;
    } cases[] = {
        {"plain words", "plain words"},
        {"a & b < c > d", "a &amp; b &lt; c &gt; d"},
        {QString("tab\tand\nline"), QString("tab\tand\nline")},
        {QString("bell\x07 and escape\x1b"), "bell and escape"},
        {QString("non") + QChar(0xfffe) + QString("char") + QChar(0xffff), "nonchar"},
        {QString::fromUtf8("Zo\xc3\xab \xf0\x9f\x8e\xa4"), QString::fromUtf8("Zo\xc3\xab \xf0\x9f\x8e\xa4")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(xmlEscapeText(c.text), c.escaped);
    }
    EXPECT_EQ(xmlEscapeAttribute("say \"hi\" & go"), "say &quot;hi&quot; &amp; go");
}

// Word times from a damaged or shifted transcript: before zero, and running backwards.
std::vector<QVCaptionPage> badlyTimedPages() {
    return {page(-5000, -4000, "Before."), page(-1000, 2000, "Across."), page(5000, 4000, "Backwards.")};
}

TEST(CaptionTimesTest, EveryWriterClampsAtZeroAndEndsNoCueBeforeItStarts) {
    auto pages = badlyTimedPages();
    const QString subRip = subRipText(pages, std::nullopt);
    EXPECT_EQ(subRip,
              "1\n00:00:00,000 --> 00:00:00,000\nBefore.\n\n"
              "2\n00:00:00,000 --> 00:00:02,000\nAcross.\n\n"
              "3\n00:00:05,000 --> 00:00:05,000\nBackwards.\n");
    expectReadBack(subRip);

    EXPECT_EQ(avidDSText(badlyTimedPages(), framesAt25),
              "@This file was created by Quorvantelle - quorvantelle.com\n\n<begin subtitles>\n\n"
              "00:00:00:00 00:00:00:00\nBefore.\n\n00:00:00:00 00:00:02:00\nAcross.\n\n"
              "00:00:05:00 00:00:05:00\nBackwards.\n\n<end subtitles>\n");
    const QString document = timedTextDocument(badlyTimedPages(), "en", {false, 25, false}, framesAt25);
    EXPECT_TRUE(document.contains("<p begin=\"00:00:00:00\" end=\"00:00:00:00\""));
    EXPECT_TRUE(document.contains("<p begin=\"00:00:00:00\" end=\"00:00:02:00\""));
    EXPECT_TRUE(document.contains("<p begin=\"00:00:05:00\" end=\"00:00:05:00\""));
}

TEST(CaptionTimesTest, TranscriptStartingBeforeZeroGivesNoNegativeTimes) {
    ExportTranscript transcript;
    transcript.duration = 10000;
    transcript.ranges.push_back({"Ann", "blue", -5000, {{"Early", -4000, -3500}, {"words.", -3500, -3000}}});
    transcript.ranges.push_back({"Bob", "red", 0, {{"Then", 1000, 1500}, {"later.", 1500, 2000}}});
    QVCaptionPagesCreate creator(transcript);
    auto pages = creator.createCaptionPagesWithOptions({"auto", "none"}, 32, 2);
    const QString subRip = subRipText(pages, std::nullopt);
    const auto cues = test::parseSubRip(subRip);
    ASSERT_EQ(cues.size(), 2u) << subRip.toStdString();
    EXPECT_EQ(cues[0].times, "00:00:00,000 --> 00:00:00,000");
    expectReadBack(subRip);
}

TEST(CaptionTextTest, CaptionWritersDropWhatNoReaderTakes) {
    const QString dirty = QString("Bell\x07 esc\x1b non") + QChar(0xfffe) + "char" + QChar(0xffff);
    auto pages = std::vector<QVCaptionPage>{page(0, 1000, dirty, "tab\there, line\nbreak")};
    const QString clean = "Bell esc nonchar\ntab here, line break";
    EXPECT_EQ(subRipText(pages, std::nullopt), "1\n00:00:00,000 --> 00:00:01,000\n" + clean + "\n");
    EXPECT_EQ(avidDSText(pages, framesAt25),
              "@This file was created by Quorvantelle - quorvantelle.com\n\n<begin subtitles>\n\n"
              "00:00:00:00 00:00:01:00\n" + clean + "\n\n<end subtitles>\n");
}

TEST(AvidDSTest, WritesHeaderPagesAndEndMarker) {
    const QString text = avidDSText(examplePages(), framesAt25);
    EXPECT_EQ(text,
              "@This file was created by Quorvantelle - quorvantelle.com\n\n<begin subtitles>\n\n"
              "00:00:01:00 00:00:03:12\nHello there.\n\n"
              "00:00:04:00 00:00:06:00\nYes.\nCome in.\n\n<end subtitles>\n");
    EXPECT_EQ(avidDSText({}, framesAt25), "\n\n<end subtitles>\n");
}

}  // namespace
}  // namespace qv
