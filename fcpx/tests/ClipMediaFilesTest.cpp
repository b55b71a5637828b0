// Clips of a library as media files: timing of the used parts, channels, roles and their on/off
// state, the components of compound, multicam and synchronized clips, and timecode.
#include "fcpx/ClipMediaFiles.h"
#include "model/QVFilePending.h"
#include "fcpx/tests/LibraryFixture.h"

#include <gtest/gtest.h>

using namespace fcpx_test;
using qv::MediaTime;

namespace {

// tone.wav: one stereo track. video.mov: a picture, a stereo and a mono track.
QString resources()
{
    return assetXML("tone", mediaPath("tone.wav"), "start=\"0s\" duration=\"3s\"") +
           assetXML("video", mediaPath("video.mov"), "hasVideo=\"1\" duration=\"2s\"") +
           assetXML("late", mediaPath("tone.wav"), "start=\"10s\"") + assetXML("twoch", twoChannelWithoutLayout()) +
           "<asset id=\"nobookmark\" src=\"file:///gone.wav\"/>";
}

bool sameTime(const MediaTime& a, const MediaTime& b) { return MediaTime::compare(a, b) == 0; }

}  // namespace

class ClipMediaFilesTest : public ::testing::Test {
public:
    void load(const QString& clips, const QString& extraResources = {})
    {
        library = std::make_unique<FCPXLibrary>(parsed(libraryXML(resources() + extraResources, clips)));
        builder = std::make_unique<ClipMediaFiles>(*library, inspectingServices());
    }
    std::shared_ptr<QVXMLElement> clip(const char* name)
    {
        auto found = library->root()->firstElementForXPath(".//*[@name=$n]", {{"n", name}});
        EXPECT_TRUE(found) << name;
        return found;
    }
    std::shared_ptr<QVXMLElement> media(const char* clipName)
    {
        return library->getMediaElementFromCompoundOrMulticamClip(*clip(clipName));
    }

    std::unique_ptr<FCPXLibrary> library;
    std::unique_ptr<ClipMediaFiles> builder;
};


TEST_F(ClipMediaFilesTest, SimpleClipChannelsRolesAndSources)
{
    load("<asset-clip name=\"plain\" ref=\"video\" offset=\"5s\" start=\"1/2s\" duration=\"1s\" audioRole=\"dialogue\">"
         "<audio-channel-source srcCh=\"1, 3\" role=\"dialogue.dialogue-1\" active=\"0\"/>"
         "<audio-channel-source srcCh=\"2, 9, x\" role=\"music\"/></asset-clip>"
         "<asset-clip name=\"mapped\" ref=\"tone\"><audio ref=\"tone\" role=\"dialogue.dialogue-1\" srcCh=\"1, 2\"/>"
         "<audio ref=\"tone\" role=\"music\" srcCh=\"2\"/><audio ref=\"other\" role=\"effects\" srcCh=\"1\"/></asset-clip>"
         "<asset-clip name=\"early\" ref=\"late\" start=\"5s\"/><asset-clip name=\"orphan\" ref=\"nobookmark\"/>");
    auto plain = builder->createMediaFileFromClip(*clip("plain"), nullptr, *clip("plain"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->filePath, mediaPath("video.mov"));
    EXPECT_TRUE(plain->hasVideo);
    EXPECT_TRUE(plain->requiresSecurityAccess);
    EXPECT_EQ(plain->fcpxAudioRole, "dialogue");
    EXPECT_TRUE(sameTime(plain->sourceDelay, MediaTime(1, 2)));
    EXPECT_TRUE(sameTime(plain->sourceDuration, MediaTime(1, 1)));
    EXPECT_TRUE(sameTime(plain->compositeDelay, MediaTime(5, 1)));
    EXPECT_TRUE(sameTime(plain->duration, MediaTime(2, 1)));
    // Channel numbers count over the tracks: 3 is the mono track's only channel.
    EXPECT_EQ(channelStates(*plain), (std::vector<std::vector<bool>>{{false, true}, {false}}));
    EXPECT_EQ(plain->audioTracks[0]->audioLayout, 2);
    EXPECT_EQ(plain->audioTracks[0]->audioChannels[1]->fcpxRole, "music");
    EXPECT_EQ(plain->audioTracks[1]->audioChannels[0]->fcpxRole, "dialogue.dialogue-1");

    auto mapped = builder->createMediaFileFromClip(*clip("mapped"), nullptr, *clip("mapped"));
    ASSERT_TRUE(mapped);
    EXPECT_EQ(mapped->audioTracks[0]->audioChannels[0]->fcpxRole, "dialogue.dialogue-1");
    EXPECT_EQ(mapped->audioTracks[0]->audioChannels[1]->fcpxRole, "music");
    EXPECT_EQ(*builder->getMultichannelSourceRoleMappingFromClip(*clip("mapped"), "tone"),
              (QMap<QString, QString>{{"1", "dialogue.dialogue-1"}, {"2", "music"}}));
    EXPECT_FALSE(builder->getMultichannelSourceRoleMappingFromClip(*clip("plain"), "video"));

    // Starts before its source (asset start 10s), and an asset without bookmark.
    EXPECT_FALSE(builder->createMediaFileFromClip(*clip("early"), nullptr, *clip("early")));
    EXPECT_FALSE(builder->createMediaFileFromClip(*clip("orphan"), nullptr, *clip("orphan")));
}

TEST_F(ClipMediaFilesTest, CompoundClipCutsConnectedClipsAtItsStartAndOrdersLanes)
{
    load("<ref-clip name=\"compound\" ref=\"m1\" start=\"1s\" duration=\"1s\"/>"
         "<ref-clip name=\"nested\" ref=\"m2\"/><ref-clip name=\"disabledNested\" ref=\"m3\"/>",
         "<media id=\"m1\"><sequence format=\"r1\"><spine>"
         "<asset-clip name=\"spine\" ref=\"video\" offset=\"1s\" start=\"1s\" duration=\"1s\">"
         "<asset-clip name=\"above1\" ref=\"tone\" lane=\"1\" offset=\"1/2s\" start=\"1s\" duration=\"1s\"/>"
         "<asset-clip name=\"below\" ref=\"tone\" lane=\"-1\" offset=\"1s\" duration=\"1s\"/>"
         "<clip name=\"above2\" lane=\"2\" offset=\"3/2s\" duration=\"1/2s\"><audio ref=\"tone\"/></clip>"
         "</asset-clip></spine></sequence></media>"
         "<media id=\"m2\"><sequence><spine><gap><mc-clip name=\"inner\" ref=\"m1\"/></gap></spine></sequence></media>"
         "<media id=\"m3\"><sequence><spine><asset-clip name=\"a\" ref=\"tone\" duration=\"1s\"/>"
         "<gap><sync-clip name=\"off\" enabled=\"0\"/></gap></spine></sequence></media>");
    std::optional<QVMediaFileList> files = builder->createMediaFilesFromFCPXCompoundClip(*clip("compound"), *media("compound"));
    ASSERT_TRUE(files);
    ASSERT_EQ(files->size(), 4u);
    const auto& above2 = *files->at(0);
    const auto& above1 = *files->at(1);
    const auto& spine = *files->at(2);
    const auto& below = *files->at(3);
    EXPECT_EQ(above2.filePath, mediaPath("tone.wav"));
    EXPECT_TRUE(sameTime(above2.compositeDelay, MediaTime(1, 2)));
    // Begins half a second before the compound clip's start: that half is cut off.
    EXPECT_TRUE(sameTime(above1.compositeDelay, MediaTime::zero()));
    EXPECT_TRUE(sameTime(above1.sourceDelay, MediaTime(3, 2)));
    EXPECT_TRUE(sameTime(above1.sourceDuration, MediaTime(1, 2)));
    EXPECT_EQ(spine.filePath, mediaPath("video.mov"));
    EXPECT_TRUE(spine.showVideo);
    EXPECT_TRUE(sameTime(spine.compositeDelay, MediaTime::zero()));
    EXPECT_FALSE(above1.showVideo);
    EXPECT_FALSE(below.showVideo);
    EXPECT_TRUE(sameTime(below.compositeDelay, MediaTime::zero()));

    EXPECT_FALSE(builder->createMediaFilesFromFCPXCompoundClip(*clip("nested"), *media("nested")));
    EXPECT_TRUE(builder->createMediaFilesFromFCPXCompoundClip(*clip("disabledNested"), *media("disabledNested")));
}

TEST_F(ClipMediaFilesTest, MulticamAnglesGiveVideoAndSound)
{
    const QString angles = "<multicam format=\"r1\" tcStart=\"3600s\">"
                           "<mc-angle name=\"Cam A\" angleID=\"A\"><asset-clip name=\"a1\" ref=\"video\" duration=\"2s\"/></mc-angle>"
                           "<mc-angle name=\"Sound\" angleID=\"B\"><asset-clip name=\"b1\" ref=\"tone\" duration=\"3s\"/>"
                           "<asset-clip name=\"b2\" ref=\"tone\" lane=\"1\" offset=\"1s\" duration=\"1s\"/></mc-angle>"
                           "</multicam>";
    load("<mc-clip name=\"multi\" ref=\"mc\" start=\"5s\"><mc-source angleID=\"A\" srcEnable=\"video\"/>"
         "<mc-source angleID=\"B\" srcEnable=\"audio\"/></mc-clip>"
         "<mc-clip name=\"missingAngle\" ref=\"mc\"><mc-source angleID=\"A\" srcEnable=\"all\"/>"
         "<mc-source angleID=\"C' or '1'='1\" srcEnable=\"audio\"/></mc-clip>"
         "<mc-clip name=\"withCompound\" ref=\"mc2\"><mc-source angleID=\"A\" srcEnable=\"all\"/></mc-clip>",
         "<media id=\"mc\">" + angles + "</media>" +
             "<media id=\"mc2\"><multicam><mc-angle angleID=\"A\"><ref-clip ref=\"mc\"/></mc-angle></multicam></media>");
    std::optional<QVMediaFileList> files = builder->createMediaFilesFromFCPXMulticamClip(*clip("multi"), *media("multi"));
    ASSERT_TRUE(files);
    ASSERT_EQ(files->size(), 3u);
    const auto& camera = *files->at(0);
    EXPECT_TRUE(camera.showVideo);
    EXPECT_EQ(camera.fcpxMulticamAngleName, "Cam A");
    EXPECT_EQ(camera.fcpxMulticamAngleUID, "A");
    EXPECT_EQ(channelStates(camera), (std::vector<std::vector<bool>>{{false, false}, {false}}));
    for (std::size_t i : {1u, 2u}) {
        EXPECT_FALSE(files->at(i)->showVideo);
        EXPECT_EQ(files->at(i)->fcpxMulticamAngleUID, "B");
        EXPECT_EQ(channelStates(*files->at(i)), (std::vector<std::vector<bool>>{{true, true}}));
    }
    // No lane rule under a multicam clip: the plain offset.
    EXPECT_TRUE(sameTime(files->at(2)->compositeDelay, MediaTime(1, 1)));

    EXPECT_FALSE(builder->createMediaFilesFromFCPXMulticamClip(*clip("missingAngle"), *media("missingAngle")));
    EXPECT_FALSE(builder->createMediaFilesFromFCPXMulticamClip(*clip("withCompound"), *media("withCompound")));
}

TEST_F(ClipMediaFilesTest, SyncClipRolesTurnOffChannels)
{
    load("<sync-clip name=\"sync\" start=\"0s\" duration=\"2s\">"
         "<asset-clip name=\"story\" ref=\"twoch\" duration=\"1/10s\"/>"
         "<asset-clip name=\"cam\" ref=\"video\" lane=\"-1\" duration=\"2s\">"
         "<audio-channel-source srcCh=\"2, 3\" role=\"music.music-1\"/></asset-clip>"
         "<sync-source sourceID=\"storyline\"><audio-role-source role=\"dialogue.dialogue-2\" active=\"0\"/>"
         "<audio-role-source role=\"dialogue.dialogue-1\" active=\"1\"/></sync-source>"
         "<sync-source sourceID=\"connected\"><audio-role-source role=\"music.music-1\" active=\"0\"/></sync-source>"
         "</sync-clip>"
         "<sync-clip name=\"nestedSync\"><asset-clip ref=\"tone\"/><mc-clip ref=\"x\" enabled=\"1\"/></sync-clip>");
    std::optional<QVMediaFileList> files = builder->createMediaFilesFromFCPXSyncClip(*clip("sync"));
    ASSERT_TRUE(files);
    ASSERT_EQ(files->size(), 2u);
    // dialogue-2 names the second component: of a track of two channels in a mono layout, the second.
    EXPECT_EQ(channelStates(*files->at(0)), (std::vector<std::vector<bool>>{{true, false}}));
    EXPECT_EQ(files->at(0)->audioTracks[0]->audioLayout, 1);
    EXPECT_EQ(channelStates(*files->at(1)), (std::vector<std::vector<bool>>{{true, false}, {false}}));
    EXPECT_FALSE(files->at(1)->showVideo);

    EXPECT_FALSE(builder->createMediaFilesFromFCPXSyncClip(*clip("nestedSync")));
}

TEST_F(ClipMediaFilesTest, TimecodeFromTheClipAndItsFormat)
{
    struct Case {
        const char* attributes;
        const char* frameDuration;
        MediaTime start;
        std::uint32_t quanta;
        bool dropFrame;
    };
    const Case cases[] = {
        {"start=\"3600s\" tcFormat=\"DF\"", "1001/30000s", MediaTime(3600, 1), 30, true},
        {"tcStart=\"36000/10s\" tcFormat=\"NDF\"", "100/2500s", MediaTime(36000, 10), 25, false},
        {"start=\"0s\"", "1001/24000s", MediaTime::zero(), 24, false},
        {"start=\"1s\"", "0s", MediaTime(1, 1), 0, false},
        {"start=\"1s\"", "-1/25s", MediaTime(1, 1), 0, false},
        {"start=\"1s\"", "fast", MediaTime(1, 1), 0, false},
    };
    for (const Case& c : cases) {
        load(QStringLiteral("<clip name=\"c\" format=\"f\" %1/>").arg(c.attributes),
             QStringLiteral("<format id=\"f\" frameDuration=\"%1\"/>").arg(c.frameDuration));
        QVFilePending file;
        builder->createTimecodeDataFromClip(*clip("c"), file);
        EXPECT_TRUE(sameTime(file.timecodeStart, c.start)) << c.attributes;
        EXPECT_EQ(file.timecodeFrameQuanta, c.quanta) << c.frameDuration;
        EXPECT_EQ(file.timecodeFrameDuration.isValid(), c.quanta != 0) << c.frameDuration;
        EXPECT_EQ(file.timecodeIsDropFrame, c.dropFrame) << c.attributes;
    }
    load("<clip name=\"c\" format=\"absent\"/>");
    QVFilePending file;
    builder->createTimecodeDataFromClip(*clip("c"), file);
    EXPECT_FALSE(file.timecodeStart.isValid());
    EXPECT_EQ(file.timecodeFrameQuanta, 0u);
}
