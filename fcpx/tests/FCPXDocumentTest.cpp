// The fcpxml document of the open transcript, byte for byte, and what unusual transcripts and
// media make of it: always a well-formed document.
#include "fcpx/QVExportFCPX.h"
#include "fcpx/tests/FCPXFixture.h"
#include "model/TimeUtilities.h"
#include "platform/media/tests/TestMedia.h"

#include <QDir>
#include <QFileInfo>

namespace {

using fcpx_test::readAll;
using fcpx_test::wellFormednessProblems;

class FCPXDocument : public fcpx_test::FCPXFixture {
protected:
    QString document()
    {
        QVExportFCPX exporter(ad, preferences, shell);
        return exporter.buildDocument();
    }
};

TEST_F(FCPXDocument, WithoutTimecodeEscapesNamesWordsAndThePath)
{
    setMedia(QString::fromUtf8("/media/Ann's \"big\" café & co.wav"));
    addRange("Ann <host>", 0);
    addWord("Hello,", 0, 400, true);
    addWord("<world>", 500, 900, true);
    addWord("bell\x07", 1000, 1400);
    addWord("R&D.", 1500, 1900);
    addRange("Bob & \"Co\"", 3000);
    addWord(QString::fromUtf8("“Quoted”"), 3000, 3500);
    addWord("ok", 5000, 5200);

    const QString expected = QString::fromUtf8(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
        "<!DOCTYPE fcpxml>\n"
        "<fcpxml version=\"1.6\">\n"
        "    <resources>\n"
        "        <format id=\"r1\" name=\"FFVideoFormatRateUndefined\"/>\n"
        "        <asset duration=\"0s\" id=\"r2\" name=\"Ann's &quot;big&quot; café &amp; co\" "
        "src=\"file:///media/Ann's%20%22big%22%20caf%C3%A9%20&amp;%20co.wav\" start=\"0s\" format=\"r1\"/>\n"
        "    </resources>\n"
        "    <library>\n"
        "        <event name=\"Quorvantelle\">\n"
        "            <asset-clip name=\"Ann's &quot;big&quot; café &amp; co\" format=\"r1\" ref=\"r2\">\n"
        "                <keyword start=\"0s\" duration=\"1900/1000s\" value=\"Ann &lt;host&gt;\" "
        "note=\"Hello, &lt;world&gt; bell R&amp;D.\"/>\n"
        "                <keyword start=\"3s\" duration=\"500/1000s\" value=\"Bob &amp; &quot;Co&quot;\" "
        "note=\"“Quoted”\"/>\n"
        "                <keyword start=\"5s\" duration=\"200/1000s\" value=\"Bob &amp; &quot;Co&quot;\" note=\"ok\"/>\n"
        "                <rating start=\"0s\" duration=\"900/1000s\" note=\"Hello, &lt;world&gt;\" value=\"favorite\"/>\n"
        "            </asset-clip>\n"
        "            <keyword-collection name=\"Ann &lt;host&gt;\"/>\n"
        "            <keyword-collection name=\"Bob &amp; &quot;Co&quot;\"/>\n"
        "        </event>\n"
        "    </library>\n"
        "</fcpxml>\n");
    const QString written = document();
    EXPECT_EQ(written.toStdString(), expected.toStdString());
    EXPECT_EQ(wellFormednessProblems(written.toUtf8()), "");
}

TEST_F(FCPXDocument, WithTimecodeCountsFromTheStartAndSortsCollectionsByNumber)
{
    const QString media = QString::fromStdString(qv::test::testMedia("tone.wav"));
    setMedia(media);
    file->asset = std::make_shared<qv::Asset>(qv::test::inspected(media.toStdString()));
    ASSERT_EQ(convertToStringTime(file->asset->duration()), "3s");
    // 01:00:00:00 at 25 frames a second.
    file->timecodeStart = qv::MediaTime(90000, 25);
    file->timecodeFrameDuration = qv::MediaTime(1, 25);
    preferences.setObject(kQVExportFCPXKeywordType, kKeywordTypeSentence);
    addRange("Speaker 10", 0);
    addWord("Hi.", 500, 800);
    addWord("Yes", 1000, 1300);
    addRange("Speaker 2", 2000);
    addWord("No.", 2000, 2250, true);
    addRange("Speaker 10", 4000);
    addWord("Fine", 4100, 4600, true);

    const QString expected = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
        "<!DOCTYPE fcpxml>\n"
        "<fcpxml version=\"1.6\">\n"
        "    <resources>\n"
        "        <format id=\"r1\" name=\"FFVideoFormat720p25\"/>\n"
        "        <asset duration=\"3s\" id=\"r2\" name=\"%2\" src=\"%1\" start=\"3600s\" format=\"r1\"/>\n"
        "    </resources>\n"
        "    <library>\n"
        "        <event name=\"Quorvantelle\">\n"
        "            <asset-clip name=\"%2\" format=\"r1\" ref=\"r2\">\n"
        "                <keyword start=\"3600500/1000s\" duration=\"300/1000s\" value=\"Speaker 10\" note=\"Hi.\"/>\n"
        "                <keyword start=\"3601s\" duration=\"300/1000s\" value=\"Speaker 10\" note=\"Yes\"/>\n"
        "                <keyword start=\"3602s\" duration=\"250/1000s\" value=\"Speaker 2\" note=\"No.\"/>\n"
        "                <keyword start=\"3604100/1000s\" duration=\"500/1000s\" value=\"Speaker 10\" note=\"Fine\"/>\n"
        "                <rating start=\"3602s\" duration=\"250/1000s\" note=\"No.\" value=\"favorite\"/>\n"
        "                <rating start=\"3604100/1000s\" duration=\"500/1000s\" note=\"Fine\" value=\"favorite\"/>\n"
        "            </asset-clip>\n"
        "            <keyword-collection name=\"Speaker 2\"/>\n"
        "            <keyword-collection name=\"Speaker 10\"/>\n"
        "        </event>\n"
        "    </library>\n"
        "</fcpxml>\n")
                                 .arg(QUrl::fromLocalFile(media).toString(QUrl::FullyEncoded), QFileInfo(media).completeBaseName());
    EXPECT_EQ(document().toStdString(), expected.toStdString());
}

TEST_F(FCPXDocument, FormatNameOfTheMedia)
{
    // No video and no timecode: no format the editor knows.
    EXPECT_TRUE(document().contains("<format id=\"r1\" name=\"FFVideoFormatRateUndefined\"/>"));
    // Sound alone with a timecode takes a 720p picture at the timecode's rate; one whose frame
    // duration is no number takes 30.
    file->timecodeStart = qv::MediaTime(0, 30000);
    file->timecodeFrameDuration = qv::MediaTime(1001, 30000);
    EXPECT_TRUE(document().contains("name=\"FFVideoFormat720p2997\""));
    file->timecodeFrameDuration = qv::MediaTime(0, 25);
    EXPECT_TRUE(document().contains("name=\"FFVideoFormat720p30\""));
    // Video is named by its first video track: anamorphic interlaced 720x480 at 29.97.
    const std::string video = qv::test::testMedia("video.mov");
    file->hasVideo = true;
    file->timecodeStart = qv::MediaTime::invalid();
    EXPECT_TRUE(document().contains("name=\"FFVideoFormatRateUndefined\""));  // no asset yet
    file->asset = std::make_shared<qv::Asset>(qv::test::inspected(video));
    EXPECT_TRUE(document().contains("name=\"FFVideoFormatDV720x480i5994_16x9\""));
}

TEST_F(FCPXDocument, UnusualTranscriptsStillMakeWellFormedDocuments)
{
    const struct {
        const char* title;
        std::function<void(FCPXDocument&)> build;
        std::vector<const char*> holds;
        std::vector<const char*> lacks;
    } cases[] = {
        {"no words",
         [](FCPXDocument& t) { t.addRange("Ann", 0); },
         {"<asset-clip name=\"Interview\" format=\"r1\" ref=\"r2\"/>", "<keyword-collection name=\"Ann\"/>"},
         {"<keyword ", "<rating"}},
        {"no speaker ranges",
         [](FCPXDocument& t) { t.addWord("lonely", 0, 100); },
         {"<asset-clip name=\"Interview\" format=\"r1\" ref=\"r2\"/>\n        </event>"},
         {"<keyword"}},
        {"unnamed speaker and a range without one",
         [](FCPXDocument& t) {
             t.addRange("", 0);
             t.addWord("said", 0, 100);
             auto orphan = std::make_shared<QVSpeakerRange>();
             orphan->start = 1000;
             t.ad.speakerRanges.add(orphan);
             t.addWord("unheard", 1000, 1100);
         },
         {"value=\"Unknown\" note=\"said\"", "<keyword-collection name=\"Unknown\"/>"},
         {"unheard", "value=\"\""}},
        {"words without times",
         [](FCPXDocument& t) {
             t.addRange("Ann", 0);
             t.addWord("one", 0, 0);
             t.addWord("two", 0, 0);
         },
         {"<keyword start=\"0s\" duration=\"0s\" value=\"Ann\" note=\"one two\"/>"},
         {}},
        {"control characters and line breaks",
         [](FCPXDocument& t) {
             t.addRange(QString("A\x01nn"), 0);
             t.addWord(QString("x\x1f\xef\xbf\xbf""y\n"), 0, 100);
         },
         {"value=\"Ann\""},
         {}},
        {"tabs and line breaks in words",
         [](FCPXDocument& t) {
             t.addRange("Ann", 0);
             t.addWord("tab\there", 0, 100);
             t.addWord("line\nbreak", 100, 200);
             t.addWord("carriage\rreturn", 200, 300);
         },
         {"note=\"tab&#9;here line&#10;break carriage&#13;return\""},
         {}},
        {"negative times",
         [](FCPXDocument& t) {
             t.addRange("Ann", -500);
             t.addWord("early", -400, -100);
         },
         {"<keyword start=\"-400/1000s\" duration=\"300/1000s\" value=\"Ann\" note=\"early\"/>"},
         {}},
        {"negative start timecode",
         [](FCPXDocument& t) {
             t.file->timecodeStart = qv::MediaTime(-90000, 25);
             t.addRange("Ann", 0);
             t.addWord("hi", 500, 700);
         },
         {"start=\"-3600s\" format=\"r1\"/>", "<keyword start=\"-3599500/1000s\" duration=\"200/1000s\""},
         {}},
    };
    for (const auto& c : cases) {
        ad.words.clear();
        ad.speakerRanges.clear();
        file->timecodeStart = qv::MediaTime::invalid();
        c.build(*this);
        const QString written = document();
        EXPECT_EQ(wellFormednessProblems(written.toUtf8()), "") << c.title;
        for (const char* text : c.holds)
            EXPECT_TRUE(written.contains(QString::fromUtf8(text))) << c.title << ": " << text << "\n"
                                                                   << written.toStdString();
        for (const char* text : c.lacks)
            EXPECT_FALSE(written.contains(QString::fromUtf8(text))) << c.title << ": " << text;
    }
}

TEST_F(FCPXDocument, ThirtyThousandWordsInEveryKeywordType)
{
    for (int r = 0; r < 300; ++r) {
        addRange(QStringLiteral("Speaker %1").arg(r % 7), r * 100'000);
        for (int w = 0; w < 100; ++w) {
            const std::int64_t start = r * 100'000 + w * 900;
            addWord(w % 9 == 8 ? QStringLiteral("end.") : QStringLiteral("word,"), start, start + 600, w % 5 == 0);
        }
    }
    for (const QString& type : {kKeywordTypeAuto, kKeywordTypeSentence, kKeywordTypeSpeakerRange}) {
        preferences.setObject(kQVExportFCPXKeywordType, type);
        QVExportFCPX exporter(ad, preferences, shell);
        const QString written = exporter.buildDocument();
        EXPECT_EQ(exporter.keywordCollection.size(), 7);
        EXPECT_EQ(written.count("<keyword-collection "), 7);
        EXPECT_EQ(written.count("<rating "), 300 * 20) << type.toStdString();
        EXPECT_EQ(wellFormednessProblems(written.toUtf8()), "") << type.toStdString();
        if (type == kKeywordTypeSpeakerRange) {
            EXPECT_EQ(exporter.keywordRanges.size(), 300u);
        }
        if (type == kKeywordTypeSentence) {
            EXPECT_EQ(exporter.keywordRanges.size(), 300u * 12);
        }
    }
}

TEST_F(FCPXDocument, ExportWritesWholeDocumentsAndMarksOnlyWhatWasWritten)
{
    addRange("Ann", 0);
    addWord("hello", 0, 100);
    const QString path = folder.filePath("out.fcpxml");
    QVExportFCPX exporter(ad, preferences, shell);
    EXPECT_FALSE(exporter.exportFileToURL(path));
    EXPECT_EQ(readAll(path), document().toUtf8());
    EXPECT_EQ(shell.calls, QStringList{"status 50 updateUI"});

    shell.calls.clear();
    file->status = 40;
    QVExportFCPX failing(ad, preferences, shell);
    EXPECT_TRUE(failing.exportFileToURL(folder.filePath("missing folder/out.fcpxml")));
    EXPECT_TRUE(shell.calls.isEmpty());
    EXPECT_EQ(file->status, 40);
}

}  // namespace
