#include "export/tests/ExportFixture.h"
#include "export/tests/QStringPrinting.h"
#include "export/tests/SubRipReadBack.h"

#include <pugixml.hpp>

namespace qv {
namespace {

class ExportControllerTest : public test::ExportFixture {
protected:
    // A 25 fps non-drop file starting at 10:00:00:00.
    void giveTimecodeAt25() {
        file->timecodeStart = MediaTime(10 * 3600 * 25, 25);
        file->timecodeFrameDuration = MediaTime(1, 25);
        file->timecodeFrameQuanta = 25;
    }
};

TEST_F(ExportControllerTest, SubRipWritesMarksExportedAndCounts) {
    addHelloThere();
    const QString path = saveTo("out.srt");
    controller.exportToSubRip();
    EXPECT_EQ(contents(path), "1\n00:00:01,000 --> 00:00:03,500\n>> HOST: Hello there.\n");
    test::expectFfmpegReadsTheSameCues(path);
    EXPECT_EQ(shell.calls, (QStringList{"status 50 updateUI", "count 8", "caption auto"}));
    ASSERT_EQ(panels.shownPanels().size(), 1u);
    const SavePanel& panel = panels.shownPanels()[0];
    EXPECT_EQ(panel.nameFieldStringValue, "Interview");
    EXPECT_EQ(panel.allowedFileTypes, QStringList{"srt"});
    EXPECT_EQ(panel.accessory.size(), 3u);
}

TEST_F(ExportControllerTest, SubRipSentencesModeIsLoggedAsSentences) {
    addHelloThere();
    const QString path = saveTo("out.srt", {{&controller.exportSubRipCaptionPages, "Single Line Sentences"},
                                            {&controller.exportSubRipSpeakers, "None"}});
    controller.exportToSubRip();
    EXPECT_EQ(contents(path), "1\n00:00:01,000 --> 00:00:03,500\nHello there.\n");
    test::expectFfmpegReadsTheSameCues(path);
    EXPECT_EQ(shell.calls.last(), "caption sentences");
}

TEST_F(ExportControllerTest, CancelledPanelChangesNothingButKeepsTheOptionChosen) {
    addHelloThere();
    panels.script({{{&controller.exportSubRipSpeakers, "Name:"}}, ModalResponse::Cancel, {}});
    controller.exportToSubRip();
    EXPECT_TRUE(shell.calls.isEmpty());
    EXPECT_EQ(preferences.stringForKey(kQVExportSubRipSpeakers), "name");

    controller.exportSubRipSpeakers.selectItemAtIndex(0);
    controller.exportToSubRip();  // left open
    EXPECT_EQ(controller.exportSubRipSpeakers.titleOfSelectedItem(), "Name:");
}

TEST_F(ExportControllerTest, SubRipTimestampSource) {
    addHelloThere();
    preferences.setObject(kQVExportSubRipTimestampSource, "timecode");

    // Without a start timecode the choice is disabled and absolute times are written.
    QString path = saveTo("absolute.srt");
    controller.exportToSubRip();
    EXPECT_FALSE(controller.exportSubRipTimestampSource.isEnabled());
    EXPECT_EQ(controller.exportSubRipTimestampSource.titleOfSelectedItem(), "Absolute Time");
    EXPECT_TRUE(contents(path).startsWith("1\n00:00:01,000 --> 00:00:03,500\n"));
    test::expectFfmpegReadsTheSameCues(path);

    file->timecodeStart = MediaTime(3600 * 1000, 1000);
    path = saveTo("timecode.srt");
    controller.exportToSubRip();
    EXPECT_TRUE(controller.exportSubRipTimestampSource.isEnabled());
    EXPECT_EQ(controller.exportSubRipTimestampSource.titleOfSelectedItem(), "Timecode");
    EXPECT_TRUE(contents(path).startsWith("1\n01:00:01,000 --> 01:00:03,500\n"));
    test::expectFfmpegReadsTheSameCues(path);
}

TEST_F(ExportControllerTest, TimedTextUsesTheFilesRate) {
    addHelloThere();
    giveTimecodeAt25();
    const QString path = saveTo("out.itt");
    controller.exportToiTunesTimedText();
    ASSERT_EQ(panels.shownPanels().size(), 1u);
    EXPECT_EQ(panels.shownPanels()[0].accessoryHeight, kTimedTextOptionsHeight);
    EXPECT_TRUE(controller.exportiTunesTimedTextTimecode.isHidden());

    const QByteArray bytes = contents(path);
    pugi::xml_document xml;
    ASSERT_TRUE(xml.load_buffer(bytes.constData(), bytes.size()));
    const auto tt = xml.child("tt");
    EXPECT_STREQ(tt.attribute("ttp:dropMode").value(), "nonDrop");
    EXPECT_STREQ(tt.attribute("ttp:frameRate").value(), "25");
    EXPECT_STREQ(tt.attribute("ttp:frameRateMultiplier").value(), "1 1");
    EXPECT_STREQ(tt.attribute("xml:lang").value(), "en-US");
    const auto p = tt.child("body").child("div").child("p");
    EXPECT_STREQ(p.attribute("begin").value(), "00:00:01:00");
    EXPECT_STREQ(p.attribute("end").value(), "00:00:03:12");
    EXPECT_EQ(shell.calls, (QStringList{"status 50 updateUI", "count 4"}));
}

TEST_F(ExportControllerTest, TimedTextNotSetAlertsAndReopens) {
    addHelloThere();
    const QString path = saveTo("out.itt");
    controller.exportToiTunesTimedText();
    EXPECT_EQ(controller.exportiTunesTimedTextTimecode.titleOfSelectedItem(), "Not Set");
    EXPECT_EQ(panels.shownPanels()[0].accessoryHeight, kTimedTextOptionsHeightWithRate);
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts()[0].messageText, "Export error");
    EXPECT_EQ(alerts.shownAlerts()[0].informativeText,
              "Source file does not contain full timecode information so you must manually set the timecode type "
              "for export to iTunes Timed Text.");
    EXPECT_EQ(alerts.beepCount(), 1);
    EXPECT_EQ(panels.orderOutCount(), 1);
    EXPECT_TRUE(shell.calls.isEmpty());
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(panels.hasOpenSheet());  // dismissing the alert opened the export again

    panels.answerOpenSheet({{{&controller.exportiTunesTimedTextTimecode, "29.97DF"}}, ModalResponse::OK, path});
    const QByteArray bytes = contents(path);
    pugi::xml_document xml;
    ASSERT_TRUE(xml.load_buffer(bytes.constData(), bytes.size()));
    EXPECT_STREQ(xml.child("tt").attribute("ttp:dropMode").value(), "dropNTSC");
    EXPECT_STREQ(xml.child("tt").attribute("ttp:frameRate").value(), "30");
    EXPECT_STREQ(xml.child("tt").attribute("ttp:frameRateMultiplier").value(), "1000 1001");
    EXPECT_EQ(preferences.stringForKey(kQVExportiTunesTimedTextTimecode), "29.97DF");

    controller.exportToiTunesTimedText();
    EXPECT_EQ(controller.exportiTunesTimedTextTimecode.titleOfSelectedItem(), "29.97DF");
}

TEST_F(ExportControllerTest, TimedTextFailedWriteIsCountedButNotMarked) {
    addHelloThere();
    giveTimecodeAt25();
    panels.script({{}, ModalResponse::OK, folder.filePath("missing/out.itt")});
    controller.exportToiTunesTimedText();
    EXPECT_EQ(shell.calls, QStringList{"count 4"});
    EXPECT_EQ(alerts.beepCount(), 1);
    EXPECT_EQ(file->status, 40);
}

TEST_F(ExportControllerTest, AvidDSRefusesFilesWithoutTimecode) {
    addHelloThere();
    controller.exportToAvidDS();
    EXPECT_TRUE(panels.shownPanels().empty());
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts()[0].messageText, "File could not be exported");
    EXPECT_EQ(alerts.shownAlerts()[0].informativeText, "Avid DS caption format requires timecode in the imported file.");
    EXPECT_TRUE(shell.calls.isEmpty());
}

TEST_F(ExportControllerTest, AvidDSWritesSourceTimecode) {
    addHelloThere();
    giveTimecodeAt25();
    const QString path = saveTo("out.txt");
    controller.exportToAvidDS();
    EXPECT_EQ(panels.shownPanels()[0].accessoryHeight, kAvidDSOptionsHeight);
    EXPECT_EQ(contents(path),
              "@This file was created by Quorvantelle - quorvantelle.com\n\n<begin subtitles>\n\n"
              "10:00:01:00 10:00:03:12\n>> HOST: Hello there.\n\n<end subtitles>\n");
    EXPECT_EQ(shell.calls, (QStringList{"status 50 updateUI", "count 0", "caption auto"}));
}

TEST_F(ExportControllerTest, AvidDSDropFrameWritesSemicolons) {
    addHelloThere();
    file->timecodeStart = MediaTime(0, 30000);
    file->timecodeFrameDuration = MediaTime(1001, 30000);
    file->timecodeFrameQuanta = 30;
    for (const bool drop : {true, false}) {
        file->timecodeIsDropFrame = drop;
        const QString path = saveTo(drop ? "df.txt" : "ndf.txt");
        controller.exportToAvidDS();
        EXPECT_TRUE(contents(path).contains(drop ? "\n00:00:00;29 00:00:03;14\n" : "\n00:00:00:29 00:00:03:14\n"))
            << contents(path).toStdString();
    }
}

TEST_F(ExportControllerTest, AvidDSNotSetMarksNothingAndTheChosenRateIsRemembered) {
    addHelloThere();
    file->timecodeStart = MediaTime(0, 1000);
    file->timecodeFrameDuration = MediaTime(1, 1000);
    const QString path = saveTo("out.txt");
    controller.exportToAvidDS();
    EXPECT_EQ(panels.shownPanels()[0].accessoryHeight, kAvidDSOptionsHeightWithRate);
    EXPECT_FALSE(controller.exportAvidDSTimecode.isHidden());
    EXPECT_TRUE(shell.calls.isEmpty());
    EXPECT_EQ(file->status, 40);
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts()[0].informativeText,
              "Source file does not contain full timecode information so you must manually set the timecode type "
              "for export to Avid DS Captions.");
    ASSERT_TRUE(panels.hasOpenSheet());

    panels.answerOpenSheet({{{&controller.exportAvidDSTimecode, "47.952"}}, ModalResponse::OK, path});
    EXPECT_TRUE(contents(path).contains("\n00:00:00:47 00:00:03:23\n")) << contents(path).toStdString();
    EXPECT_EQ(preferences.stringForKey(kQVExportAvidDSTimecode), "47.952");
    controller.exportToAvidDS();
    EXPECT_EQ(controller.exportAvidDSTimecode.titleOfSelectedItem(), "47.952");
}

TEST_F(ExportControllerTest, TextExports) {
    addHelloThere();
    QString path = saveTo("plain.txt");
    controller.exportToPlainText();
    EXPECT_EQ(contents(path), "Host [00:00:00]\nHello there.");
    EXPECT_EQ(panels.shownPanels().back().allowedFileTypes, QStringList{"txt"});

    path = saveTo("words.docx", {{&controller.exportTextTimeStamps, "None"}});
    controller.exportToWord();
    EXPECT_TRUE(contents(path).startsWith("PK\x03\x04"));
    EXPECT_EQ(preferences.stringForKey(kQVExportPlainTextTimestamps), "none");

    path = saveTo("script.txt");
    controller.exportToAvidScript();
    EXPECT_EQ(contents(path), "HOST\nHello there.");
    EXPECT_TRUE(panels.shownPanels().back().accessory.empty());

    EXPECT_EQ(shell.calls, (QStringList{"status 50 updateUI", "count 6", "status 50 updateUI", "count 9",
                                        "status 50 updateUI", "count 1"}));
}

TEST_F(ExportControllerTest, FailedWriteIsReportedAndNeitherMarksNorCounts) {
    addHelloThere();
    giveTimecodeAt25();
    const std::vector<std::pair<const char*, void (ExportController::*)()>> actions = {
        {"SubRip", &ExportController::exportToSubRip},         {"Avid DS", &ExportController::exportToAvidDS},
        {"plain text", &ExportController::exportToPlainText}, {"Word", &ExportController::exportToWord},
        {"Avid script", &ExportController::exportToAvidScript},
    };
    int alertCount = 0;
    for (const auto& [name, action] : actions) {
        SCOPED_TRACE(name);
        panels.script({{}, ModalResponse::OK, folder.filePath("missing/folder/out")});
        (controller.*action)();
        EXPECT_TRUE(shell.calls.isEmpty());
        EXPECT_EQ(file->status, 40);
        ASSERT_EQ(int(alerts.shownAlerts().size()), ++alertCount);
        EXPECT_EQ(alerts.shownAlerts().back().messageText, "File could not be exported");
        EXPECT_EQ(alerts.shownAlerts().back().style, AlertStyle::Critical);
    }
}

TEST_F(ExportControllerTest, NoOpenFileShowsNoPanel) {
    ad.currentFile.reset();
    controller.exportToSubRip();
    controller.exportToiTunesTimedText();
    controller.exportToPlainText();
    controller.exportToWord();
    controller.exportToAvidScript();
    EXPECT_TRUE(panels.shownPanels().empty());
}

}  // namespace
}  // namespace qv
