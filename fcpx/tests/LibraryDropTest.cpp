// A library handed over by the editor: what is refused and how, which clips are offered for
// import and export with which texts, and the library sent back with its keywords.
#include "fcpx/tests/LibraryDropFixture.h"
#include "model/QVFilePending.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace fcpx_test;
using V = qv::DatabaseValue;

TEST_F(LibraryDropTest, LibrariesThatCannotBeReadEndTheDropWithTheirAlert)
{
    const QString libraryFailed = "Final Cut Pro X library could not be imported. The relevant data has been sent "
                                  "automatically to help fix this issue in a future version. Please try dragging the "
                                  "library again.";
    const QString huge = "<fcpxml><library/><resources/>" + QString(int(QVXMLDocument::kMaximumTextBytes), ' ') + "</fcpxml>";
    // One clean pending clip, which would go to the pending list without a sheet, and an element
    // nested 20,000 deep.
    const QString deep = libraryXML(assetXML("a1", mediaPath("tone.wav"), "duration=\"3s\""),
                                    "<asset-clip name=\"Take\" ref=\"a1\"><keyword value=\"QV Pending\"/></asset-clip>" +
                                        QString("<x>").repeated(20000) + QString("</x>").repeated(20000));
    const QString notReadable = "error on drag and drop: could not create NSXMLDocument from string\n";
    struct Case {
        const char* what;
        std::function<void(qv::MemoryPasteboard&)> fill;
        bool modalAlert;
        QString message;
        QString informative;
        QString traceLines;
    };
    const std::vector<Case> cases = {
        {"plain text only",
         [](auto& p) { p.addType(kStringPasteboardType, "hello"); }, true, "Library Import Error", libraryFailed,
         "error on drag and drop with missing com.apple.finalcutpro.xml data\nNSStringPboardTypeLength: 5\n"
         "PlainTextTypeLength: 0\n"},
        {"no string anywhere",
         [](auto& p) {
             p.addType(kFCPXPasteboardType, std::nullopt);
             p.addType(kStringPasteboardType, std::nullopt);
         },
         true, "Library Import Error", libraryFailed,
         "error on drag and drop with missing string for com.apple.finalcutpro.xml type\npublic.utf8-plain-text not "
         "found\nNSStringPboardType string is nil\n"},
        {"not XML", [](auto& p) { p.addType(kFCPXPasteboardType, "{\"library\": 1}"); }, true, "Library Import Error",
         libraryFailed, notReadable},
        {"too large", [&](auto& p) { p.addType(kFCPXPasteboardType, huge); }, true, "Library Import Error", libraryFailed,
         notReadable},
        {"nested too deep", [&](auto& p) { p.addType(kFCPXPasteboardType, deep); }, true, "Library Import Error",
         libraryFailed, notReadable},
        // What XML forbids though the parser lets it through: it could not be written back.
        {"two roots", [](auto& p) { p.addType(kFCPXPasteboardType, libraryXML("", "") + "<fcpxml/>"); }, true,
         "Library Import Error", libraryFailed, notReadable},
        {"an attribute twice",
         [](auto& p) { p.addType(kFCPXPasteboardType, libraryXML("", "<clip name=\"a\" name=\"b\"/>")); }, true,
         "Library Import Error", libraryFailed, notReadable},
        {"a name XML does not take",
         [](auto& p) { p.addType(kFCPXPasteboardType, libraryXML("", QString::fromUtf8("<clip\xc3\x97/>"))); }, true,
         "Library Import Error", libraryFailed, notReadable},
        {"no library", [](auto& p) { p.addType(kFCPXPasteboardType, "<fcpxml><resources/><event/></fcpxml>"); }, false,
         "Quorvantelle can only import clips from Final Cut Pro X if a library is dragged.",
         "Dragging other items does not provide enough information for Quorvantelle to add transcript keywords to the "
         "clip.",
         ""},
        {"no resources", [](auto& p) { p.addType(kFCPXPasteboardType, "<fcpxml><library/></fcpxml>"); }, true,
         "Library Import Error",
         "Final Cut Pro X library could not be imported due to lack of resources data in XML. The relevant data has been "
         "sent automatically to help fix this issue in a future version. Please try dragging the library again.",
         "error on drag and drop: resources node does not exist\n"},
    };
    for (const Case& c : cases) {
        traces.clear();
        qv::MemoryPasteboard drag;
        c.fill(drag);
        drop.dropFromFCPX(drag);
        const qv::ScriptedAlertPresenter& shown = c.modalAlert ? modal : sheets;
        ASSERT_FALSE(shown.shownAlerts().empty()) << c.what;
        EXPECT_EQ(shown.shownAlerts().back().messageText, c.message) << c.what;
        EXPECT_EQ(shown.shownAlerts().back().informativeText, c.informative) << c.what;
        if (c.traceLines.isEmpty()) {
            EXPECT_TRUE(traces.isEmpty()) << c.what;
        } else {
            ASSERT_EQ(traces.size(), 1) << c.what;
            EXPECT_EQ(traces[0], "*****\nApp Version: 1.0\nOS Version: 0.0.0\n" + c.traceLines) << c.what;
        }
        EXPECT_FALSE(ad.droppedXMLDoc) << c.what;
        EXPECT_TRUE(added.empty()) << c.what;
    }

    // An empty library string falls back on the plain text, which then carries the library.
    qv::MemoryPasteboard fallback;
    fallback.addType(kFCPXPasteboardType, QString());
    fallback.addType(kUTF8PlainTextPasteboardType, libraryXML("", ""));
    traces.clear();
    drop.dropFromFCPX(fallback);
    ASSERT_EQ(traces.size(), 1);
    EXPECT_TRUE(traces[0].endsWith("public.utf8-plain-text length = " + QString::number(libraryXML("", "").size()) +
                                   "\nNSStringPboardType not found\n"));
    EXPECT_TRUE(lastSheet().informativeText.startsWith("No clips were identified"));
}

TEST_F(LibraryDropTest, PendingFilesOrADropUnderWayRefuseTheLibrary)
{
    ad.filesPending.push_back(std::make_shared<QVFilePending>());
    ad.currentMode = 2;
    dropText(libraryXML("", ""));
    EXPECT_EQ(ad.currentMode, 1);
    EXPECT_EQ(lastSheet().messageText,
              "Quorvantelle can only import clips from Final Cut Pro X if the imported files list is empty.");
    EXPECT_FALSE(ad.droppedXMLDoc);

    // A sheet of the first library still open: the second is refused and the first goes on.
    ad.filesPending.clear();
    sheets.setHoldUnscripted(true);
    const QString resources = assetXML("a1", mediaPath("tone.wav"), "duration=\"3s\"");
    QString clips;
    for (const char* name : {"A", "B", "C", "D", "E"})
        clips += QStringLiteral("<asset-clip name=\"%1\" ref=\"a1\"><keyword start=\"0s\" value=\"QV Pending\"/></asset-clip>")
                     .arg(name);
    dropText(libraryXML(resources, clips));
    ASSERT_TRUE(sheets.hasOpenAlert());
    const auto first = ad.droppedXMLDoc;
    dropText(libraryXML(resources, clips));
    EXPECT_EQ(ad.droppedXMLDoc, first);
    ASSERT_FALSE(modal.shownAlerts().empty());
    EXPECT_TRUE(modal.shownAlerts().back().informativeText.startsWith("Another Final Cut Pro X library is still being handled."));
    EXPECT_EQ(ad.droppedClipsToImport.size(), 5u);
    // Cancel ends the drop.
    sheets.answerOpenAlert(qv::kAlertFirstButtonReturn + 1);
    EXPECT_FALSE(ad.droppedXMLDoc);
    EXPECT_TRUE(ad.droppedClipsToImport.empty());
    EXPECT_TRUE(added.empty());
}

TEST_F(LibraryDropTest, PendingClipsAreOfferedWithWhatCannotBeImported)
{
    const QString resources = assetXML("tone", mediaPath("tone.wav"), "duration=\"3s\"") +
                              assetXML("gone", "/media/missing/take'\"<1>.wav", "duration=\"3s\"") +
                              "<asset id=\"bare\"/><media id=\"m1\"><sequence><spine/></sequence></media>";
    const QString clips =
        "<asset-clip name=\"Interview\" ref=\"tone\" start=\"1s\" duration=\"2s\">"
        "<keyword start=\"1s\" value=\"QV Pending interview\"/><keyword start=\"2s\" value=\"QV Pending\"/></asset-clip>"
        "<asset-clip name=\"Too early\" ref=\"tone\" start=\"1s\" duration=\"2s\"><keyword start=\"0s\" value=\"QV Pending\"/></asset-clip>"
        "<asset-clip name=\"At the end\" ref=\"tone\" duration=\"2s\"><keyword start=\"1999/1000s\" value=\"QV Pending\"/></asset-clip>"
        "<asset-clip name=\"Past the end\" ref=\"tone\" duration=\"2s\"><keyword start=\"2s\" value=\"QV Pending\"/></asset-clip>"
        "<clip name=\"b-roll\" duration=\"1s\"><audio ref=\"tone\"/><keyword value=\"QV Pending\"/></clip>"
        "<asset-clip name=\"Offline\" ref=\"gone\"><keyword value=\"QV Pending\"/></asset-clip>"
        "<asset-clip name=\"Offline again\" ref=\"gone\"><keyword value=\"QV Pending\"/></asset-clip>"
        "<asset-clip name=\"No bookmark\" ref=\"bare\" duration=\"1s\"><keyword value=\"QV Pending\"/></asset-clip>"
        "<asset-clip name=\"No asset\" duration=\"1s\"><keyword value=\"QV Pending\"/></asset-clip>"
        "<sync-clip name=\"Silent sync\" duration=\"1s\"><asset-clip ref=\"tone\" lane=\"1\"/><keyword value=\"QV Pending\"/></sync-clip>"
        "<ref-clip name=\"Compound\" ref=\"m1\" duration=\"1s\"><keyword value=\"QV Pending\"/></ref-clip>"
        "<asset-clip ref=\"tone\" duration=\"1s\"><keyword value=\"QV Pending\"/></asset-clip>";
    sheets.script(qv::kAlertFirstButtonReturn);
    dropText(libraryXML(resources, clips));
    const QString missing = "/media/missing/take'\"<1>.wav";
    EXPECT_EQ(lastSheet().messageText, "Final Cut Pro X Integration");
    EXPECT_EQ(lastSheet().buttons, (QStringList{"Import", "Cancel"}));
    EXPECT_EQ(lastSheet().informativeText,
              "4 clips are pending and can be imported:\n• At the end\n• b-roll\n• Compound\n• Interview"
              "\n\n2 files are missing or unreadable and could not be imported:\n• " +
                  missing + "\n• " + missing +
                  "\n\n2 clips do not contain any audio tracks and could not be imported:\n• No bookmark\n• Silent sync");
    EXPECT_EQ(clipNames(added), (QStringList{"At the end", "Compound", "Interview", "b-roll"}));
    EXPECT_TRUE(ad.droppedXMLDoc);

    // Up to four usable clips and nothing wrong: straight to the pending list.
    ad.droppedXMLDoc.reset();
    added.clear();
    const std::size_t sheetsBefore = sheets.shownAlerts().size();
    dropText(libraryXML(resources, clips.section("<asset-clip name=\"Offline\"", 0, 0)));
    EXPECT_EQ(sheets.shownAlerts().size(), sheetsBefore);
    EXPECT_EQ(added.size(), 3u);
}

TEST_F(LibraryDropTest, VerifiedClipsAreMatchedByUidOrByEventAndClipName)
{
    auto simple = verifiedFile("F1", "interview transcript");
    simple->fcpxUID = "UID-1";
    for (const char* uuid : {"F2", "F3"}) {
        auto twin = verifiedFile(uuid, "Twin");
        twin->fcpxEventName = "Day 1";
        twin->fcpxClipName = "Multi";
        twin->fileType = 3;
    }
    auto sync = verifiedFile("F4", "Sync transcript");
    sync->fcpxEventName = "Day 1";
    sync->fcpxClipName = "Synced";
    auto deleted = verifiedFile("F5", "Deleted");
    deleted->fcpxUID = "UID-2";
    deleted->deleted = 1;
    const QString resources = assetXML("a1", mediaPath("tone.wav"), "uid=\"UID-1\" duration=\"3s\"") +
                              assetXML("a2", mediaPath("tone.wav"), "uid=\"UID-2\" duration=\"3s\"");
    const QString clips = "<asset-clip name=\"Interview\" ref=\"a1\"><keyword value=\"QV Processing\"/></asset-clip>"
                          "<asset-clip name=\"Old\" ref=\"a2\"><keyword value=\"QV Processing\"/></asset-clip>"
                          "<mc-clip name=\"Multi\" ref=\"x\" duration=\"1s\"><keyword value=\"QV Processing\"/></mc-clip>"
                          "<sync-clip name=\"Synced\" duration=\"1s\"><keyword value=\"QV Processing, b\"/></sync-clip>";
    ad.externalServiceStatus = -1;
    sheets.setHoldUnscripted(true);
    dropText(libraryXML(resources, clips));
    EXPECT_EQ(lastSheet().buttons, (QStringList{"Export", "Cancel"}));
    EXPECT_EQ(lastSheet().informativeText,
              "2 clips are verified and can be exported:\n• interview transcript\n• Sync transcript");
    EXPECT_EQ(clipNames(ad.droppedClipsToRelink), (QStringList{"Multi", "Old"}));
    sheets.answerOpenAlert(qv::kAlertFirstButtonReturn + 1);
    EXPECT_FALSE(ad.droppedXMLDoc);
    sheets.setHoldUnscripted(false);

    // Nothing to import or export, transcripts of complex clips to relink: the relink sheet.
    sheets.script(qv::kAlertFirstButtonReturn + 1);
    dropText(libraryXML(resources, "<mc-clip name=\"Multi\" ref=\"x\" duration=\"1s\"><keyword value=\"QV Processing\"/></mc-clip>"));
    EXPECT_EQ(lastSheet().buttons, (QStringList{"OK", "Relink Clips"}));
    EXPECT_TRUE(lastSheet().informativeText.contains("it may be necessary to relink manually"));
    EXPECT_EQ(ad.filesToRelink.size(), 2u);
    EXPECT_EQ(relinkSheets, 1);

    // A matched clip marked for import as well stops the drop (the relink sheet closed first).
    ad.droppedXMLDoc.reset();
    ad.externalServiceStatus = 1;
    dropText(libraryXML(resources, "<asset-clip name=\"Interview\" ref=\"a1\" duration=\"3s\"><keyword value=\"QV Pending\"/>"
                                   "<keyword value=\"QV Processing\"/></asset-clip>"));
    EXPECT_EQ(lastSheet().informativeText,
              "The dragged Library could not be handled because the following clips(s) contain both \"QV Pending\" and "
              "\"QV Processing\" keywords:\n\n• Interview\n\nRemove one of the keywords in Final Cut Pro X then drag the "
              "library to Quorvantelle again.");
    EXPECT_FALSE(ad.droppedXMLDoc);
    EXPECT_TRUE(added.empty());
}

class SendBackTest : public LibraryDropTest {
public:
    SendBackTest()
    {
        auto file = verifiedFile("F1", "Interview transcript");
        file->fcpxUID = "UID-1";
        client.reference("transcripts/F1")
            .setValue(V::object({
                {"words", V::object({{"w1", V::object({{"name", "Hello"}, {"start", 100}, {"end", 500}})},
                                     {"w2", V::object({{"name", "world."}, {"start", 600}, {"end", 900}, {"favorite", true}})},
                                     {"w3", V::object({{"name", "Bye."}, {"start", 2000}, {"end", 2400}})}})},
                {"speakers", V::object({{"s1", V::object({{"name", "Ann"}})}, {"s2", V::object({{"name", "Bob"}})}})},
                {"speaker_ranges", V::object({{"r1", V::object({{"speaker", "s1"}, {"start", 0}})},
                                              {"r2", V::object({{"speaker", "s2"}, {"start", 2000}})}})},
            }));
        main.drain();
    }

    QString tone = mediaPath("tone.wav");
    QString resources()
    {
        return "<format id=\"r2\" name=\"FFVideoFormat1080p25\"/>" + assetXML("a1", tone, "uid=\"UID-1\" format=\"r1\" duration=\"3s\"") +
               assetXML("a2", tone, "uid=\"UID-2\" duration=\"3s\"") + assetXML("a3", tone, "duration=\"3s\"") +
               "<effect id=\"e1\" name=\"Blur\"/>";
    }
    QString clips()
    {
        return "<asset-clip name=\"Exported\" ref=\"a1\" duration=\"3s\" format=\"r1\">"
               "<keyword start=\"0s\" duration=\"3s\" value=\"QV Processing, Other\"/><keyword start=\"1s\" value=\"QV Processing\"/>"
               "<keyword start=\"2s\" value=\"Kept\"/><marker start=\"2s\" duration=\"1/25s\" value=\"M\"/></asset-clip>"
               "<asset-clip name=\"Imported\" ref=\"a2\" duration=\"3s\"><keyword start=\"0s\" value=\"QV Pending, b-roll\"/>"
               "<audio-channel-source srcCh=\"1\" role=\"dialogue\"/></asset-clip>"
               "<asset-clip name=\"Unmarked\" ref=\"a3\" duration=\"3s\"><filter-video ref=\"e1\"/></asset-clip>"
               "<project name=\"Cut\"/></event><event name=\"Empty\" uid=\"EV2\">"
               "<asset-clip name=\"Other\" ref=\"a3\"/><keyword-collection name=\"k\"/>";
    }
};

TEST_F(SendBackTest, TheLibraryGoesBackWithKeywordsPrunedAndNamed)
{
    sheets.script(qv::kAlertFirstButtonReturn);
    dropText(libraryXML(resources(), clips()));
    EXPECT_EQ(lastSheet().buttons, (QStringList{"Both", "Export", "Import", "Cancel"}));
    EXPECT_EQ(lastSheet().informativeText, "1 clip is pending and can be imported:\n• Imported\n\n"
                                           "1 clip is verified and can be exported:\n• Interview transcript");
    EXPECT_EQ(clipNames(added), (QStringList{"Imported"}));
    // Sent back once the imported clips are processing.
    sendBack.sendBackDroppedXML();
    EXPECT_TRUE(handedOff.isEmpty());
    main.drain();
    ASSERT_EQ(handedOff.size(), 1);
    const QString expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
        "<!DOCTYPE fcpxml>\n"
        "<fcpxml version=\"1.6\">\n"
        "    <import-options>\n"
        "        <option key=\"library location\" value=\"file:///home/editor/Movies/Edit.fcpbundle/\"/>\n"
        "    </import-options>\n"
        "    <resources>\n"
        "        <format id=\"r1\" frameDuration=\"1001/30000s\"/>\n"
        "        <asset id=\"a1\" name=\"a1\" uid=\"UID-1\" format=\"r1\" duration=\"3s\">\n"
        "            <media-rep kind=\"original-media\" src=\"file://" + tone + "\">\n"
        "                <bookmark>" + bookmarkText(tone) + "</bookmark>\n"
        "            </media-rep>\n"
        "        </asset>\n"
        "        <asset id=\"a2\" name=\"a2\" uid=\"UID-2\" duration=\"3s\">\n"
        "            <media-rep kind=\"original-media\" src=\"file://" + tone + "\">\n"
        "                <bookmark>" + bookmarkText(tone) + "</bookmark>\n"
        "            </media-rep>\n"
        "        </asset>\n"
        "    </resources>\n"
        "    <library location=\"file:///home/editor/Movies/Edit.fcpbundle/\">\n"
        "        <event name=\"Day 1\" uid=\"EV1\">\n"
        "            <asset-clip name=\"Exported\" ref=\"a1\" duration=\"3s\" format=\"r1\">\n"
        // Without earlier ratings, before the first keyword; new keywords in reverse order.
        "                <rating start=\"600/1000s\" duration=\"300/1000s\" note=\"world.\" value=\"favorite\"/>\n"
        "                <keyword start=\"0s\" duration=\"3s\" value=\"Other\"/>\n"
        "                <keyword start=\"2s\" value=\"Kept\"/>\n"
        "                <keyword start=\"2s\" duration=\"400/1000s\" value=\"Bob\" note=\"Bye.\"/>\n"
        "                <keyword start=\"100/1000s\" duration=\"800/1000s\" value=\"Ann\" note=\"Hello world.\"/>\n"
        "                <marker start=\"2s\" duration=\"1/25s\" value=\"M\"/>\n"
        "            </asset-clip>\n"
        "            <asset-clip name=\"Imported\" ref=\"a2\" duration=\"3s\">\n"
        "                <keyword start=\"0s\" value=\"QV Processing, b-roll\"/>\n"
        "                <audio-channel-source srcCh=\"1\" role=\"dialogue\"/>\n"
        "            </asset-clip>\n"
        "        </event>\n"
        "    </library>\n"
        "</fcpxml>\n";
    EXPECT_EQ(handedOff[0].toStdString(), expected.toStdString());
    EXPECT_EQ(readAll(sendBack.temporaryDocumentPath()), handedOff[0]);
    EXPECT_EQ(shell.calls, (QStringList{"count 3", "status 50 updateUI"}));
    EXPECT_EQ(ad.keywordCollections.value("EV1"), (QStringList{"QV Pending", "QV Processing", "Ann", "Bob"}));
    EXPECT_FALSE(ad.droppedXMLDoc);
    EXPECT_TRUE(ad.droppedClipsToImport.empty());
    EXPECT_EQ(reloads, 1);
}

TEST_F(SendBackTest, TabsAndLineBreaksInAttributesComeBackAsTheyWere)
{
    client.reference("transcripts/F1/words/w1/name").setValue("tab\there");
    main.drain();
    // A note with a line break typed in the editor, and the other two blanks XML readers would
    // turn into spaces.
    sheets.script(qv::kAlertFirstButtonReturn);
    dropText(libraryXML(resources(), "<asset-clip name=\"Exported\" ref=\"a1\" duration=\"3s\" format=\"r1\">"
                                     "<keyword start=\"0s\" value=\"QV Processing\"/>"
                                     "<keyword start=\"1s\" value=\"Kept\" note=\"a&#10;b&#9;c&#13;d\"/></asset-clip>"));
    main.drain();
    ASSERT_EQ(handedOff.size(), 1);
    EXPECT_EQ(wellFormednessProblems(handedOff[0]), "");
    EXPECT_TRUE(handedOff[0].contains("note=\"a&#10;b&#9;c&#13;d\"")) << handedOff[0].toStdString();
    std::shared_ptr<QVXMLDocument> back = parsed(QString::fromUtf8(handedOff[0]));
    ASSERT_TRUE(back);
    std::shared_ptr<QVXMLElement> kept = back->rootElement()->firstElementForXPath(".//keyword[@value='Kept']");
    std::shared_ptr<QVXMLElement> spoken = back->rootElement()->firstElementForXPath(".//keyword[@value='Ann']");
    ASSERT_TRUE(kept && spoken);
    EXPECT_EQ(kept->attributeText("note"), "a\nb\tc\rd");
    EXPECT_EQ(spoken->attributeText("note"), "tab\there world.");
}

TEST_F(SendBackTest, EveryExportedClipIsCountedOffAndAFailedWriteHandsNothingOff)
{
    // Of three clips to export, one lacks its keyword and one has no transcript: the document is
    // still finished, once.
    verifiedFile("F9", "No transcript")->fcpxUID = "UID-3";
    const QString extra = assetXML("a4", tone, "uid=\"UID-3\" duration=\"3s\"");
    const QString exported = "<asset-clip name=\"Exported\" ref=\"a1\" duration=\"3s\"><keyword value=\"QV Processing\"/></asset-clip>"
                             "<asset-clip name=\"Untranscribed\" ref=\"a4\" duration=\"3s\"><keyword value=\"QV Processing\"/></asset-clip>";
    sheets.setHoldUnscripted(true);
    // A library that went back before is named once.
    dropText(libraryXML(resources() + extra, exported)
                 .replace("<resources>", "<import-options><option key=\"library location\" value=\"old\"/></import-options><resources>"));
    ASSERT_TRUE(sheets.hasOpenAlert());
    ad.droppedClipsToExport.add(ad.droppedXMLDoc->rootElement()->firstElementForXPath(".//asset-clip[@name='Other']"));
    sheets.answerOpenAlert(qv::kAlertFirstButtonReturn);
    main.drain();
    ASSERT_EQ(handedOff.size(), 1);
    EXPECT_TRUE(QString::fromUtf8(handedOff[0]).contains("note=\"Hello world.\""));
    EXPECT_EQ(QString::fromUtf8(handedOff[0]).count("<import-options>"), 1);
    EXPECT_FALSE(QString::fromUtf8(handedOff[0]).contains("value=\"old\""));
    EXPECT_FALSE(ad.droppedXMLDoc);
    EXPECT_EQ(reloads, 1);

    // The temporary folder cannot be made: nothing is handed off, the drop still ends.
    QFile blocker(folder.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    FCPXSendBack::Services services = sendBackServices();
    services.dataFolder = blocker.fileName().toStdString();
    FCPXSendBack failing(ad, services);
    ad.droppedXMLDoc = parsed(libraryXML(resources(), clips()));
    ad.droppedClipsToImport.add(ad.droppedXMLDoc->rootElement()->firstElementForXPath(".//asset-clip[@name='Imported']"));
    failing.sendBackDroppedXML();
    EXPECT_EQ(handedOff.size(), 1);
    EXPECT_EQ(modal.beepCount(), 1);
    EXPECT_EQ(modal.shownAlerts().back().messageText, "Transcript file could not be saved");
    EXPECT_FALSE(ad.droppedXMLDoc);
    EXPECT_EQ(reloads, 2);

    // A document without a library writes and sends nothing, and still ends the drop.
    ad.droppedXMLDoc = parsed("<fcpxml><resources/><event><asset-clip name=\"c\"><keyword value=\"QV Pending\"/></asset-clip></event></fcpxml>");
    ad.droppedClipsToImport.add(ad.droppedXMLDoc->rootElement()->firstElementForXPath(".//asset-clip"));
    sendBack.sendBackDroppedXML();
    EXPECT_EQ(handedOff.size(), 1);
    EXPECT_FALSE(ad.droppedXMLDoc);
    EXPECT_EQ(reloads, 3);
}

TEST_F(LibraryDropTest, CancelOnEverySheetEndsTheDrop)
{
    verifiedFile("F1", "Interview transcript")->fcpxUID = "UID-1";
    const QString resources = assetXML("a1", mediaPath("tone.wav"), "uid=\"UID-1\" duration=\"3s\"") +
                              assetXML("a2", mediaPath("tone.wav"), "uid=\"UID-2\" duration=\"3s\"");
    const QString exported = "<asset-clip name=\"Verified\" ref=\"a1\"><keyword value=\"QV Processing\"/></asset-clip>";
    QString pending;
    for (const char* name : {"P1", "P2", "P3", "P4", "P5"})
        pending += QStringLiteral("<asset-clip name=\"%1\" ref=\"a2\"><keyword value=\"QV Pending\"/></asset-clip>").arg(name);
    const std::pair<QString, QStringList> cases[] = {
        {pending + exported, {"Both", "Export", "Import", "Cancel"}},
        {pending, {"Import", "Cancel"}},
        {exported, {"Export", "Cancel"}},
        {"", {"OK"}},
    };
    for (const auto& [clips, buttons] : cases) {
        sheets.script(qv::kAlertFirstButtonReturn + int(buttons.size()) - 1);
        dropText(libraryXML(resources, clips));
        EXPECT_EQ(lastSheet().buttons, buttons);
        EXPECT_FALSE(ad.droppedXMLDoc) << buttons.join(",").toStdString();
        EXPECT_TRUE(ad.droppedClipsToImport.empty());
        EXPECT_TRUE(ad.droppedClipsToExport.empty());
        main.drain();
        EXPECT_TRUE(added.empty());
        EXPECT_TRUE(handedOff.isEmpty());
    }
}
