#include "platform/media/Asset.h"

#include "BroadcastWave.h"
#include "TestMedia.h"

#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/WorkQueue.h"
#include "platform/foundation/tests/LogCapture.h"
#include "platform/foundation/tests/UnreadableFile.h"
#include "platform/media/AudioReader.h"
#include "platform/media/ImageGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <thread>

namespace qv {
namespace {

using test::inspected;
using test::testMedia;

TEST(Asset, StereoWave)
{
    Asset asset = inspected(testMedia("tone.wav"));
    EXPECT_TRUE(asset.isPlayable());
    EXPECT_FALSE(asset.hasVideo());
    EXPECT_TRUE(isIdentical(asset.duration(), MediaTime(144000, 48000)));
    auto audio = asset.tracksWithMediaType(MediaType::Audio);
    ASSERT_EQ(audio.size(), 1u);
    ASSERT_TRUE(audio[0].audio);
    EXPECT_EQ(audio[0].audio->channelCount, 2);
    EXPECT_EQ(audio[0].audio->sampleRate, 48000);
    EXPECT_EQ(audio[0].audio->codecName, "pcm_s16le");
    EXPECT_FALSE(audio[0].audio->channelLayoutDescription.empty());
    EXPECT_TRUE(asset.tracksWithMediaType(MediaType::Timecode).empty());
}

TEST(Asset, MovieWithTwoAudioTracksAndATimecodeTrack)
{
    Asset asset = inspected(testMedia("video.mov"));
    EXPECT_TRUE(asset.isPlayable());
    EXPECT_NEAR(asset.duration().seconds(), 2.0, 0.05);

    auto video = asset.tracksWithMediaType(MediaType::Video);
    ASSERT_EQ(video.size(), 1u);
    const VideoTrackFormat& format = *video[0].video;
    EXPECT_EQ(format.encodedWidth, 720);
    EXPECT_EQ(format.naturalWidth, 853);  // 32:27 pixels
    EXPECT_EQ(format.naturalHeight, 480);
    EXPECT_NEAR(format.nominalFrameRate, 29.97, 0.01);
    EXPECT_EQ(format.fieldCount, 2);
    EXPECT_EQ(format.codecName, "prores");

    auto audio = asset.tracksWithMediaType(MediaType::Audio);
    ASSERT_EQ(audio.size(), 2u);
    EXPECT_EQ(audio[0].audio->channelCount, 2);
    EXPECT_EQ(audio[0].audio->sampleRate, 48000);
    EXPECT_EQ(audio[0].audio->channelLayoutDescription, "stereo");
    EXPECT_EQ(audio[0].audio->audioLayout, 2);
    EXPECT_EQ(audio[1].audio->channelCount, 1);
    EXPECT_EQ(audio[1].audio->sampleRate, 44100);
    EXPECT_EQ(audio[1].audio->channelLayoutDescription, "mono");
    EXPECT_EQ(audio[1].audio->audioLayout, 1);
    EXPECT_NE(audio[0].trackID, audio[1].trackID);

    auto timecode = asset.tracksWithMediaType(MediaType::Timecode);
    ASSERT_EQ(timecode.size(), 1u);
    const TimecodeTrack& track = *timecode[0].timecode;
    EXPECT_EQ(track.format.subtype, TimecodeFormat::kTimecode32);
    EXPECT_TRUE(isIdentical(track.format.frameDuration, MediaTime(1001, 30000)));
    EXPECT_EQ(track.format.frameQuanta, 30u);
    EXPECT_FALSE(track.format.isDropFrame());
    EXPECT_EQ(track.format.sourceName, "REEL1");
    // 01:00:00:00 at 30 frames a second, counted without dropped frame numbers.
    EXPECT_EQ(track.format.frameNumberOfSample(track.firstSample), 108000);
}

TEST(Asset, MetadataOfEachKeySpaceAnswersToCommonKeys)
{
    struct Case {
        const char* file;
        MetadataKeySpace keySpace;
        const char* albumKey;
        const char* album;
        const char* artist;
    };
    const Case cases[] = {
        {"tagged.mp3", MetadataKeySpace::ID3, "TALB", "FR=25.000/ND second", "TC=01:00:00:00"},
        {"tagged.m4a", MetadataKeySpace::iTunes, "©alb", "iAlbum", "iArtist"},
        {"video.mov", MetadataKeySpace::QuickTime, "com.apple.quicktime.album", "QTAlbum", nullptr},
    };
    for (const auto& c : cases) {
        Asset asset = inspected(testMedia(c.file));
        EXPECT_EQ(asset.commonMetadataString(MetadataCommonKey::AlbumName), c.album) << c.file;
        if (c.artist)
            EXPECT_EQ(asset.commonMetadataString(MetadataCommonKey::Artist), c.artist) << c.file;
        else
            EXPECT_FALSE(asset.commonMetadataString(MetadataCommonKey::Artist)) << c.file;
        bool found = false;
        for (const auto& item : asset.commonMetadata())
            if (item.commonKey == MetadataCommonKey::AlbumName) {
                found = true;
                EXPECT_EQ(item.keySpace, c.keySpace) << c.file;
                EXPECT_EQ(item.key, c.albumKey) << c.file;
            }
        EXPECT_TRUE(found) << c.file;
    }
}

TEST(Asset, BroadcastWaveChunksDoNotDisturbInspection)
{
    std::string path = test::writeScratchFile(
        "field.wav", test::broadcastWave(48000, 24000, 1000, -1000, 3600ull * 48000,
                                         "<BWFXML><SPEED><TIMECODE_RATE>30000/1001</TIMECODE_RATE></SPEED></BWFXML>"));
    Asset asset = inspected(path);
    EXPECT_TRUE(asset.isPlayable());
    EXPECT_TRUE(isIdentical(asset.duration(), MediaTime(24000, 48000)));
    auto audio = asset.tracksWithMediaType(MediaType::Audio);
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_EQ(audio[0].audio->sampleRate, 48000);
    EXPECT_EQ(audio[0].audio->channelCount, 2);
}

TEST(Asset, LoadsOffTheMainThreadAndAnswersOnIt)
{
    ManualDispatcher main;
    SerialQueue queue("asset loading");
    std::optional<MediaResult<Asset>> good, bad;
    std::thread::id answeredOn;
    Asset::load(testMedia("levels.wav"), queue, main, [&](MediaResult<Asset> result) {
        answeredOn = std::this_thread::get_id();
        good = std::move(result);
    });
    Asset::load("/nonexistent/missing.wav", queue, main, [&](MediaResult<Asset> result) { bad = std::move(result); });
    ASSERT_TRUE(main.runUntil([&] { return good && bad; }));
    EXPECT_EQ(answeredOn, std::this_thread::get_id());
    ASSERT_TRUE(good->ok());
    EXPECT_EQ(good->value().tracks().size(), 1u);
    ASSERT_FALSE(bad->ok());
    EXPECT_TRUE(bad->error().is(MediaErrorCode::FileNotFound));
    EXPECT_NE(bad->error().description.find("missing.wav"), std::string::npos);
}

std::vector<std::uint8_t> firstBytes(const std::string& path, double fraction)
{
    auto bytes = test::readFile(path);
    bytes.resize(static_cast<std::size_t>(bytes.size() * fraction));
    return bytes;
}

TEST(Asset, BadFilesGiveErrorsThatNameThem)
{
    std::mt19937 random(7);
    std::vector<std::uint8_t> noise(64 * 1024);
    for (auto& byte : noise)
        byte = static_cast<std::uint8_t>(random());
    std::string text = "Not a media file at all, just some words.\n";
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"empty.wav", {}},
        {"notes.mov", {text.begin(), text.end()}},
        {"noise.mp3", noise},
        {"noise.wav", noise},
        {"half.mov", firstBytes(testMedia("video.mov"), 0.5)},
        {"header.wav", firstBytes(testMedia("levels.wav"), 0.0001)},
    };
    LogCapture log;
    for (const auto& c : cases) {
        std::string path = test::writeScratchFile(c.name, c.bytes);
        auto result = Asset::inspect(path);
        ASSERT_FALSE(result.ok()) << c.name;
        EXPECT_TRUE(result.error().is(MediaErrorCode::CannotOpen)) << c.name << ": " << result.error().description;
        EXPECT_NE(result.error().description.find(c.name), std::string::npos) << result.error().description;
        // The reason says what a user can act on; the decoder's own words are for the log.
        const std::string& reason = result.error().failureReason;
        EXPECT_TRUE(reason.empty() || reason == "The file is damaged or in a format that cannot be decoded.")
            << c.name << ": " << reason;
    }
    auto lines = log.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("Invalid data found when processing input") != std::string::npos;
    }));
    auto missing = Asset::inspect(test::scratchFolder() + "/gone.wav");
    ASSERT_FALSE(missing.ok());
    EXPECT_TRUE(missing.error().is(MediaErrorCode::FileNotFound));
}

TEST(Asset, AHeaderClaimingWhatNoFileHoldsIsADamagedFile)
{
    // A channel count no decoder takes, 2^32 - 1 frames, a chunk table of a billion entries: the
    // file is refused at inspection, before anything is sized from the header, and the reason
    // says it is damaged, not the system's words for FFmpeg's generic error or an allocation it
    // refused.
    struct Case {
        const char* name;
        const char* source;
        const char* tag;
        std::size_t offset;
        std::uint64_t value;
        int size;
    };
    const Case cases[] = {
        {"channels.aiff", "short.aiff", "COMM", 8, 65535, 2},
        {"frames.aiff", "sine2.aiff", "COMM", 10, 0xFFFFFFFF, 4},
        {"chunks.m4a", "sine2.m4a", "stco", 8, 0x3FFFFFFF, 4},
    };
    for (const Case& c : cases) {
        auto result = Asset::inspect(test::patchedCopy(c.name, c.source, c.tag, c.offset, c.value, c.size));
        ASSERT_FALSE(result.ok()) << c.name;
        EXPECT_NE(result.error().description.find(c.name), std::string::npos) << result.error().description;
        EXPECT_EQ(result.error().failureReason, "The file is damaged or in a format that cannot be decoded.")
            << c.name;
    }
}

TEST(Asset, FolderOrUnreadableFileSaysWhatIsWrong)
{
    std::string folder = test::scratchFolder() + "/Footage.mov";
    std::filesystem::create_directory(folder);
    auto isFolder = Asset::inspect(folder);
    ASSERT_FALSE(isFolder.ok());
    EXPECT_TRUE(isFolder.error().is(MediaErrorCode::CannotOpen));
    EXPECT_NE(isFolder.error().description.find("“Footage.mov” is a folder"), std::string::npos)
        << isFolder.error().description;

    std::string locked = test::writeScratchFile("locked.wav", test::readFile(testMedia("levels.wav")));
    test::UnreadableFile unreadable(locked);
    auto notRead = Asset::inspect(locked);
    ASSERT_FALSE(notRead.ok());
    EXPECT_TRUE(notRead.error().is(MediaErrorCode::CannotOpen));
    EXPECT_NE(notRead.error().description.find("“locked.wav” could not be read"), std::string::npos)
        << notRead.error().description;
}

TEST(Asset, NamesThatLookLikeUrlsAreLocalFiles)
{
    // FFmpeg would read this name as the two small files joined, were it taken as a URL.
    std::string folder = test::scratchFolder();
    for (const char* part : {"a.wav", "b.wav"})
        test::writeScratchFile(part, test::readFile(testMedia("levels.wav")));
    test::writeScratchFile("concat:a.wav|b.wav", test::readFile(testMedia("video.mov")));
    test::InFolder inside(folder);

    Asset asset = inspected("concat:a.wav|b.wav");
    EXPECT_TRUE(asset.hasVideo());
    EXPECT_NEAR(asset.duration().seconds(), 2.0, 0.05);
    auto reader = AudioReader::forTrack(asset, asset.tracksWithMediaType(MediaType::Audio).at(0).trackID);
    ASSERT_TRUE(reader);
    std::int64_t frames = 0;
    while (auto buffer = reader.value()->copyNextSampleBuffer())
        frames += buffer->frameCount;
    EXPECT_EQ(reader.value()->status(), AudioReader::Status::Completed);
    EXPECT_NEAR(frames / 48000.0, 2.0, 0.05);
    EXPECT_TRUE(ImageGenerator(asset).copyImage(MediaTime(1, 1)));
}

}  // namespace
}  // namespace qv
