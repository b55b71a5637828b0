#include "export/QVExportAvidScript.h"
#include "export/TextExport.h"
#include "export/WordDocument.h"
#include "export/ZipWriter.h"

#include "export/tests/QStringPrinting.h"
#include "export/tests/TestFiles.h"
#include "export/tests/TranscriptBuilder.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <QProcess>
#include <QTemporaryDir>

namespace qv {
namespace {

using test::TranscriptBuilder;

QString seconds(int64_t ms) {
    return QString::asprintf("00:00:%02lld", (long long)(ms / 1000));
}

ExportTranscript conversation() {
    return TranscriptBuilder()
        .range("Ann", 0)
        .words("Hello there. How", 1000)
        .words("are you?", 1000)
        .word("Fine", 1000)
        .paragraph()
        .words("thanks.", 1000)
        .range("Bob")
        .words("Good.", 1000)
        .build();
}

TEST(PlainTextExportTest, TimestampModes) {
    const auto transcript = conversation();
    EXPECT_EQ(plainTextExport(transcript, kTimestampsNone, seconds),
              "Ann\nHello there. How are you?\n\nFine thanks.\n\nBob\nGood.");
    EXPECT_EQ(plainTextExport(transcript, kTimestampsChangeOfSpeaker, seconds),
              "Ann [00:00:00]\nHello there. How are you?\n\nFine thanks.\n\nBob [00:00:07]\nGood.");
    // A paragraph break before a stamped word is followed directly by the stamp.
    EXPECT_EQ(plainTextExport(transcript, kTimestampsStartOfSentence, seconds),
              "Ann\n[00:00:00] Hello there. [00:00:02] How are you?\n\n[00:00:05] Fine thanks.\n\n"
              "Bob\n[00:00:07] Good.");
}

TEST(PlainTextExportTest, RangesWithoutWordsAndEmptyTranscripts) {
    const auto transcript = TranscriptBuilder().range("Ann", 0).range("Bob", 10).words("Yes").build();
    EXPECT_EQ(plainTextExport(transcript, kTimestampsNone, seconds), "Ann\n\n\nBob\nYes");
    EXPECT_EQ(plainTextExport(ExportTranscript(), kTimestampsChangeOfSpeaker, seconds), "");
}

QString textOf(const std::vector<TextRun>& runs) {
    QString text;
    for (const auto& run : runs) text += run.text;
    return text;
}

std::vector<QString> boldTexts(const std::vector<TextRun>& runs) {
    std::vector<QString> bold;
    for (const auto& run : runs) {
        if (run.style == TextRun::Style::Favorite) bold.push_back(run.text);
    }
    return bold;
}

TEST(PlainTextExportTest, StampsBeforeZeroAreZeroAndUnwritableCharactersAreDropped) {
    ExportTranscript transcript;
    transcript.ranges.push_back({QString("Ann\x07"), "blue", -5000, {{QString("Early\x1b") + QChar(0xffff), -4000, -3000}}});
    const StampText stamp = [](int64_t ms) { return QString::number(ms); };
    EXPECT_EQ(plainTextExport(transcript, kTimestampsChangeOfSpeaker, stamp), "Ann [0]\nEarly");
    EXPECT_EQ(plainTextExport(transcript, kTimestampsStartOfSentence, stamp), "Ann\n[0] Early");
    const auto runs = wordDocumentRuns(transcript, kTimestampsStartOfSentence, stamp);
    EXPECT_TRUE(textOf(runs).contains("[0] ")) << textOf(runs).toStdString();
    EXPECT_EQ(QVExportAvidScript(transcript).exportCurrentFile(), "ANN\nEarly");
}

TEST(WordExportTest, TextSpacingAndStamps) {
    const auto transcript = conversation();
    EXPECT_EQ(textOf(wordDocumentRuns(transcript, kTimestampsNone, seconds)),
              "Ann\nHello there. How are you? \n\nFine thanks.\n\nBob\nGood.");
    EXPECT_EQ(textOf(wordDocumentRuns(transcript, kTimestampsStartOfSentence, seconds)),
              "Ann\n[00:00:00] Hello there. [00:00:02] How are you? \n\n[00:00:05] Fine thanks.\n\n"
              "Bob\n[00:00:07] Good.");
    const auto runs = wordDocumentRuns(transcript, kTimestampsChangeOfSpeaker, seconds);
    ASSERT_GE(runs.size(), 3u);
    EXPECT_EQ(runs[0].style, TextRun::Style::SpeakerName);
    EXPECT_EQ(runs[0].speakerColor, "blue");
    EXPECT_EQ(runs[1].text, " [00:00:00]");
    EXPECT_EQ(runs[1].style, TextRun::Style::Base);
    EXPECT_EQ(runs[2].text, "\n");
    EXPECT_EQ(runs[2].style, TextRun::Style::Default);
}

TEST(WordExportTest, FavouriteRuns) {
    const auto transcript = TranscriptBuilder()
                                .range("Ann", 0)
                                .words("We")
                                .word("really").favorite()
                                .word("mean").favorite()
                                .word("it.").favorite()
                                .word("Truly").favorite()
                                .words("so.")
                                .build();
    // Consecutive favourites are one run with the spaces between them.
    EXPECT_EQ(boldTexts(wordDocumentRuns(transcript, kTimestampsNone, seconds)),
              (std::vector<QString>{"really mean it. Truly"}));
    // A stamped favourite starts a new run and leaves the stamp regular.
    EXPECT_EQ(boldTexts(wordDocumentRuns(transcript, kTimestampsStartOfSentence, seconds)),
              (std::vector<QString>{"really mean it.", "Truly"}));
}

// Runs `unzip` on a file; returns its standard output.
QByteArray unzip(const QStringList& arguments) {
    QProcess process;
    process.start("unzip", arguments);
    EXPECT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

TEST(WordExportTest, DocxIsAZipOfXmlPartsHoldingTheTranscript) {
    const auto transcript = TranscriptBuilder()
                                .range("Ann & Co", 0)
                                .words("Hello <there>.")
                                .word("Really").favorite()
                                .paragraph()
                                .range("Zoë")
                                .words("Ça va?")
                                .build();
    const auto runs = wordDocumentRuns(transcript, kTimestampsChangeOfSpeaker, seconds);
    const std::optional<QByteArray> docx = wordDocument(runs, 12, QSizeF(612, 792), [](const QString& name) {
        return name == "blue" ? QColor(0, 0x66, 0xcc) : QColor();
    });
    ASSERT_TRUE(docx);

    QTemporaryDir dir;
    const QString path = dir.filePath("transcript.docx");
    ASSERT_TRUE(test::writeFile(path, *docx));
    unzip({"-tq", path});

    for (const QString part : {"[Content_Types].xml", "_rels/.rels", "word/document.xml"}) {
        SCOPED_TRACE(part.toStdString());
        const QByteArray xml = unzip({"-p", path, QString(part).replace("[", "[[]")});
        pugi::xml_document document;
        EXPECT_TRUE(document.load_buffer(xml.constData(), xml.size()));
    }

    const QByteArray xml = unzip({"-p", path, "word/document.xml"});
    pugi::xml_document document;
    ASSERT_TRUE(document.load_buffer(xml.constData(), xml.size()));
    QStringList paragraphs;
    for (const auto& p : document.child("w:document").child("w:body").children("w:p")) {
        QString paragraph;
        for (const auto& t : p.select_nodes(".//w:t")) paragraph += QString::fromUtf8(t.node().text().get());
        paragraphs << paragraph;
    }
    EXPECT_EQ(paragraphs.join('\n'), textOf(runs));
    EXPECT_TRUE(xml.contains("<w:color w:val=\"0066CC\"/>"));
    EXPECT_TRUE(xml.contains("<w:pgSz w:w=\"12240\" w:h=\"15840\"/>"));
    const auto bold = document.select_node("//w:r[w:rPr/w:b and not(w:rPr/w:color)]/w:t");
    EXPECT_STREQ(bold.node().text().get(), "Really");
}

TEST(WordExportTest, EmptyTranscriptGivesADocumentWithoutText) {
    const QByteArray xml = wordDocumentXml({}, 12, QSizeF(595, 842), {});
    pugi::xml_document document;
    ASSERT_TRUE(document.load_buffer(xml.constData(), xml.size()));
    EXPECT_EQ(document.select_nodes("//w:t").size(), 0u);
}

TEST(AvidScriptTest, LinesOfAtMostThirtyCharacters) {
    struct Case {
        const char* name;
        ExportTranscript transcript;
        QString expected;
    };
    const QString ten = "abcdefghi,";
    const QString thirtyTwo = QString(32, 'x');
    const std::vector<Case> cases = {
        {"ten-character words go two to a line",
         TranscriptBuilder().range("Ann", 0).words(QStringList(5, ten).join(' ')).build(),
         "ANN\n" + ten + " " + ten + "\n" + ten + " " + ten + "\n" + ten},
        {"exactly thirty characters fit",
         TranscriptBuilder().range("Ann", 0).words("abcdefghijklmn abcdefghijklmno").build(),
         "ANN\nabcdefghijklmn abcdefghijklmno"},
        {"thirty-one do not",
         TranscriptBuilder().range("Ann", 0).words("abcdefghijklmn abcdefghijklmnop").build(),
         "ANN\nabcdefghijklmn\nabcdefghijklmnop"},
        {"a first word starting a paragraph",
         TranscriptBuilder().range("Ann", 0).word("Yes").paragraph().words("no").build(), "ANN\n\n\nYes no"},
        {"a range without words", TranscriptBuilder().range("Ann", 0).range("Bob", 5).words("Hi").build(),
         "ANN\n\nBOB\nHi"},
        {"a first word of 32 characters",
         TranscriptBuilder().range("Ann", 0).words(thirtyTwo + " end").build(), "ANN\n\n" + thirtyTwo + "\nend"},
        {"names upper-cased with full mapping",
         TranscriptBuilder().range("Zoë Straße", 0).words("Hi").build(), "ZOË STRASSE\nHi"},
        {"empty transcript", ExportTranscript(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(QVExportAvidScript(c.transcript).exportCurrentFile(), c.expected);
    }
}

TEST(ZipWriterTest, EntriesReadBackWithTheirContents) {
    ZipWriter zip;
    zip.addFile("a.txt", "alpha");
    zip.addFile("dir/b.bin", QByteArray(100000, 'b'));
    zip.addFile("empty", QByteArray());
    const std::optional<QByteArray> finished = zip.finish();
    ASSERT_TRUE(finished);
    const QByteArray& archive = *finished;
    EXPECT_LT(archive.size(), 2000);

    QTemporaryDir dir;
    const QString path = dir.filePath("test.zip");
    ASSERT_TRUE(test::writeFile(path, archive));
    unzip({"-tq", path});
    EXPECT_EQ(unzip({"-p", path, "a.txt"}), "alpha");
    EXPECT_EQ(unzip({"-p", path, "dir/b.bin"}), QByteArray(100000, 'b'));
    EXPECT_EQ(unzip({"-p", path, "empty"}), "");
}

}  // namespace
}  // namespace qv
