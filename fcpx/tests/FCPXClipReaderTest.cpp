// Clips of a dropped library becoming pending files, and the clips that cannot.
#include "fcpx/FCPXClipReader.h"
#include "fcpx/FCPXLibraryDrop.h"
#include "fcpx/QVCreateAssetFromComplexClip.h"
#include "fcpx/tests/LibraryFixture.h"
#include "model/QVFilePending.h"
#include "model/tests/ModelFixture.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/media/Composition.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ScriptedPresenters.h"

#include <gtest/gtest.h>

using namespace fcpx_test;
using qv::MediaTime;


class FCPXClipReaderTest : public ::testing::Test {
public:
    FCPXClipReaderTest() : services(ad, main)
    {
        ad.modelServices = &services;
        FCPXClipReader::Services readerServices;
        readerServices.media = inspectingServices();
        readerServices.audioLayoutType = [](const QVMediaFileList& files) { return QStringLiteral("F%1").arg(files.size()); };
        readerServices.defaultDiarisation = [] { return true; };
        readerServices.defaultLanguage = [] { return QStringLiteral("en-GB"); };
        reader = std::make_unique<FCPXClipReader>(ad, readerServices);
    }

    FCPXClipResult read(const QString& clips, const char* name, const QString& extraResources = {})
    {
        document = parsed(libraryXML(resources() + extraResources, clips));
        auto clip = document->rootElement()->firstElementForXPath(".//event//*[@name=$n]", {{"n", name}});
        EXPECT_TRUE(clip) << name;
        return reader->read(clip);
    }

    static QString resources()
    {
        return assetXML("tone", mediaPath("tone.wav"), "uid=\"UID-TONE\" duration=\"3s\"") +
               assetXML("video", mediaPath("video.mov"), "uid=\"UID-VIDEO\" hasVideo=\"1\" duration=\"2s\"") +
               assetXML("red", "/media/A001.R3D", "hasVideo=\"1\"");
    }

    qv::ManualDispatcher main;
    AppDelegate ad;
    FakeServices services;
    std::unique_ptr<FCPXClipReader> reader;
    std::shared_ptr<QVXMLDocument> document;
};


TEST_F(FCPXClipReaderTest, SimpleClipsBecomePendingFiles)
{
    struct Case {
        const char* clipKind;
        const char* ref;
        std::int64_t fileType;
        const char* uid;
    };
    for (const Case c : {Case{"asset-clip", "tone", 2, "UID-TONE"}, Case{"clip", "video", 5, "UID-VIDEO"}}) {
        const QString clip = QStringLiteral("<%1 name=\"Take 1\" ref=\"%2\" duration=\"3/2s\" start=\"3600s\" format=\"r1\"/>")
                                 .arg(c.clipKind, c.ref);
        FCPXClipResult result = read(clip, "Take 1");
        ASSERT_TRUE(result.file) << c.clipKind;
        EXPECT_FALSE(result.refused);
        const QVFilePending& file = *result.file;
        EXPECT_EQ(file.fileType, c.fileType);
        EXPECT_EQ(file.hasVideo, c.fileType == 5);
        EXPECT_EQ(file.fcpxUID, c.uid);
        EXPECT_EQ(file.name, "Take 1");
        EXPECT_EQ(file.duration, 1500);
        EXPECT_TRUE(file.diarisation);
        EXPECT_EQ(file.language, "en-GB");
        EXPECT_EQ(file.audioLayoutType, "F1");
        EXPECT_FALSE(file.uuid.isEmpty());
        EXPECT_TRUE(file.clip);
        ASSERT_EQ(file.mediaFiles.size(), 1u);
        EXPECT_TRUE(file.mediaFiles[0]->mediaOnline);
        EXPECT_TRUE(file.mediaFiles[0]->hasAccessToURL);
        EXPECT_TRUE(file.asset);
        EXPECT_EQ(MediaTime::compare(file.timecodeStart, MediaTime(3600, 1)), 0);
        EXPECT_EQ(file.timecodeFrameQuanta, 30u);
    }
}

TEST_F(FCPXClipReaderTest, ComplexClipsGetTheirComponentsAndEditorNames)
{
    const QString media = "<media id=\"m1\"><sequence format=\"r1\" tcStart=\"7200s\" tcFormat=\"DF\"><spine>"
                          "<asset-clip ref=\"video\" duration=\"2s\"/><asset-clip ref=\"tone\" duration=\"1s\"/>"
                          "</spine></sequence></media>";
    FCPXClipResult result = read("<ref-clip name=\"Scene 4\" ref=\"m1\" duration=\"3s\"/>", "Scene 4", media);
    ASSERT_TRUE(result.file);
    const QVFilePending& file = *result.file;
    EXPECT_EQ(file.fileType, 6);
    EXPECT_EQ(file.fcpxClipName, "Scene 4");
    EXPECT_EQ(file.fcpxEventName, "Day 1");
    EXPECT_TRUE(file.fcpxUID.isEmpty());
    EXPECT_EQ(file.mediaFiles.size(), 2u);
    EXPECT_EQ(file.audioLayoutType, "F2");
    EXPECT_TRUE(file.hasVideo);
    EXPECT_TRUE(file.asset);
    EXPECT_EQ(MediaTime::compare(file.timecodeStart, MediaTime(7200, 1)), 0);
    EXPECT_TRUE(file.timecodeIsDropFrame);
    EXPECT_NE(std::find(services.calls.begin(), services.calls.end(), "createAssetWithMediaFiles"), services.calls.end());

    FCPXClipResult sync = read("<sync-clip name=\"Synced\" duration=\"2s\"><asset-clip ref=\"tone\" duration=\"2s\"/></sync-clip>",
                               "Synced");
    ASSERT_TRUE(sync.file);
    EXPECT_EQ(sync.file->fileType, 4);
    EXPECT_FALSE(sync.file->hasVideo);
}

TEST_F(FCPXClipReaderTest, UnusableClipsAreRefusedOrNamed)
{
    QString hundredAndOne;
    for (int i = 0; i < 101; ++i)
        hundredAndOne += "<asset-clip ref=\"tone\" duration=\"1s\"/>";
    QString angles;
    for (int i = 0; i < 101; ++i)
        angles += QStringLiteral("<mc-angle angleID=\"A%1\"><asset-clip ref=\"tone\" duration=\"1s\"/></mc-angle>").arg(i);
    const QString resources = "<media id=\"big\"><sequence><spine>" + hundredAndOne + "</spine></sequence></media>" +
                              "<media id=\"nested\"><sequence><spine><ref-clip ref=\"big\"/></spine></sequence></media>" +
                              "<media id=\"angles\"><multicam>" + angles + "</multicam></media>";
    struct Case {
        const char* clip;
        const char* name;
        bool refused;
        const char* unsupported;
    };
    const Case cases[] = {
        {"<asset-clip name=\"Red\" ref=\"red\"/>", "Red", true, ""},
        {"<asset-clip name=\"NoAsset\" ref=\"nothing\"/>", "NoAsset", true, ""},
        {"<mc-clip ref=\"big\"><keyword name=\"x\"/></mc-clip>", "x", true, ""},
        {"<mc-clip name=\"Lost\" ref=\"gone\"/>", "Lost", false, "Lost"},
        {"<ref-clip name=\"Huge\" ref=\"big\"/>", "Huge", false, "Huge"},
        {"<ref-clip name=\"Nest\" ref=\"nested\"/>", "Nest", false, "Nest"},
        {"<mc-clip name=\"Angles\" ref=\"angles\"><mc-source angleID=\"A0\" srcEnable=\"all\"/></mc-clip>", "Angles", false,
         "Angles"},
        {"<sync-clip><keyword name=\"y\"/></sync-clip>", "y", true, ""},
    };
    for (const Case& c : cases) {
        QString clips = c.clip;
        FCPXClipResult result;
        if (QString(c.clip).contains("<keyword")) {
            document = parsed(libraryXML(FCPXClipReaderTest::resources() + resources, clips));
            result = reader->read(document->rootElement()->firstElementForXPath(".//event/*"));
        } else {
            result = read(clips, c.name, resources);
        }
        EXPECT_FALSE(result.file) << c.clip;
        EXPECT_EQ(result.refused, c.refused) << c.clip;
        EXPECT_EQ(result.unsupportedClipName, c.unsupported) << c.clip;
    }
}

// The model's composition of complex clips, with test media standing for the placeholder movies.
class ComposingServices : public FakeServices {
public:
    using FakeServices::FakeServices;
    std::shared_ptr<qv::Asset> createAssetWithMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles,
                                                         const MediaTime& duration) override
    {
        QVCreateAssetFromComplexClip::Services services;
        services.openAsset = inspectingServices().openAsset;
        services.createImageForAsset = [](const qv::Asset&, const MediaTime&) { return QImage(2, 2, QImage::Format_RGB32); };
        services.placeholderMovie = [](const QString& name) -> std::optional<std::string> {
            return qv::test::testMedia(name == kBlackMovie ? "groups.mov" : "video.mov");
        };
        return QVCreateAssetFromComplexClip(services).createAssetWithMediaFiles(mediaFiles, duration);
    }
};

TEST(LibraryThroughTheDrop, EveryClipKindBecomesAPendingFile)
{
    qv::ManualDispatcher main;
    AppDelegate ad;
    ComposingServices model(ad, main);
    ad.modelServices = &model;
    ad.currentMode = 1;
    ad.externalServiceStatus = 1;
    qv::ScriptedAlertPresenter alerts;
    std::vector<std::shared_ptr<QVXMLElement>> added;
    FCPXLibraryDrop::Services dropServices;
    dropServices.sheetAlerts = &alerts;
    dropServices.modalAlerts = &alerts;
    dropServices.addClipsToPendingList = [&](const auto& clips) { added = clips; };
    FCPXLibraryDrop drop(ad, dropServices);
    FCPXClipReader::Services readerServices;
    readerServices.media = inspectingServices();
    FCPXClipReader reader(ad, readerServices);

    const QString pending = "<keyword start=\"0s\" value=\"QV Pending\"/>";
    const QString library = libraryXML(
        assetXML("tone", mediaPath("tone.wav"), "uid=\"U-TONE\" duration=\"3s\"") +
            assetXML("video", mediaPath("video.mov"), "uid=\"U-VIDEO\" hasVideo=\"1\" duration=\"2s\" format=\"r1\"") +
            "<media id=\"compound\"><sequence format=\"r1\" tcStart=\"3600s\"><spine>"
            "<asset-clip ref=\"video\" duration=\"2s\"><asset-clip ref=\"tone\" lane=\"-1\" duration=\"3s\"/></asset-clip>"
            "</spine></sequence></media>"
            "<media id=\"multi\"><multicam format=\"r1\"><mc-angle angleID=\"A\"><asset-clip ref=\"video\" duration=\"2s\"/></mc-angle>"
            "<mc-angle angleID=\"B\"><asset-clip ref=\"tone\" duration=\"3s\"/></mc-angle></multicam></media>",
        "<asset-clip name=\"Plain\" ref=\"video\" duration=\"2s\" start=\"0s\" format=\"r1\">" + pending + "</asset-clip>" +
            "<ref-clip name=\"Compound\" ref=\"compound\" duration=\"4s\">" + pending + "</ref-clip>" +
            "<mc-clip name=\"Multicam\" ref=\"multi\" duration=\"3s\"><mc-source angleID=\"A\" srcEnable=\"video\"/>"
            "<mc-source angleID=\"B\" srcEnable=\"audio\"/>" + pending + "</mc-clip>" +
            "<sync-clip name=\"Synced\" duration=\"3s\"><asset-clip ref=\"video\" duration=\"2s\"/>"
            "<asset-clip ref=\"tone\" lane=\"-1\" duration=\"3s\"/><sync-source sourceID=\"connected\">"
            "<audio-role-source role=\"dialogue.dialogue-2\" active=\"0\"/></sync-source>" + pending + "</sync-clip>");
    qv::MemoryPasteboard drag;
    drag.addType(kFCPXPasteboardType, library);
    drop.dropFromFCPX(drag);
    EXPECT_TRUE(alerts.shownAlerts().empty());
    ASSERT_EQ(added.size(), 4u);

    struct Expected {
        std::int64_t fileType;
        std::size_t mediaFiles;
        MediaTime length;
        bool timecode;
    };
    const std::map<QString, Expected> expected = {
        {"Plain", {5, 1, MediaTime(2, 1), true}},
        {"Compound", {6, 2, MediaTime(4, 1), true}},
        {"Multicam", {3, 2, MediaTime(3, 1), false}},
        {"Synced", {4, 2, MediaTime(3, 1), false}},
    };
    for (const auto& clip : added) {
        const QString name = clip->attributeText("name");
        FCPXClipResult result = reader.read(clip);
        ASSERT_TRUE(result.file) << name.toStdString();
        const QVFilePending& file = *result.file;
        const Expected& want = expected.at(name);
        EXPECT_EQ(file.fileType, want.fileType) << name.toStdString();
        EXPECT_EQ(file.mediaFiles.size(), want.mediaFiles) << name.toStdString();
        ASSERT_TRUE(file.asset) << name.toStdString();
        EXPECT_GE(MediaTime::compare(file.asset->duration(), want.length), 0) << name.toStdString();
        EXPECT_EQ(file.timecodeStart.isValid(), want.timecode) << name.toStdString();
        EXPECT_EQ(file.timecodeFrameQuanta, name == "Multicam" || name == "Compound" || name == "Plain" ? 30u : 0u)
            << name.toStdString();
        if (want.fileType != 5)
            EXPECT_TRUE(file.asset->composition()) << name.toStdString();
        if (name == "Synced") {
            // The connected sound's WAV file states no layout: its second channel is the inactive dialogue-2.
            EXPECT_EQ(channelStates(*file.mediaFiles[1]), (std::vector<std::vector<bool>>{{true, false}}));
        }
    }
}
