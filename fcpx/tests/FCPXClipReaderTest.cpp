// Clips of a dropped library becoming pending files, and the clips that cannot.
#include "fcpx/FCPXClipReader.h"
#include "fcpx/tests/LibraryFixture.h"
#include "model/QVFilePending.h"
#include "model/tests/ModelFixture.h"
#include "platform/foundation/ManualDispatcher.h"

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
