#include "platform/media/AudioReader.h"

#include "BroadcastWave.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace qv {
namespace {

using test::testMedia;

Asset inspected(const std::string& path)
{
    auto asset = Asset::inspect(path);
    if (!asset)
        throw std::runtime_error(asset.error().description);
    return asset.value();
}

int firstAudioTrackID(const Asset& asset) { return asset.tracksWithMediaType(MediaType::Audio).at(0).trackID; }

struct Collected {
    std::vector<std::int16_t> int16;
    std::vector<float> float32;
    std::int64_t frames = 0;
    std::vector<AudioSampleBuffer> buffers;  // without their samples
};

Collected readAll(AudioReader& reader)
{
    Collected all;
    while (auto buffer = reader.copyNextSampleBuffer()) {
        all.int16.insert(all.int16.end(), buffer->int16.begin(), buffer->int16.end());
        all.float32.insert(all.float32.end(), buffer->float32.begin(), buffer->float32.end());
        all.frames += buffer->frameCount;
        buffer->int16.clear();
        buffer->float32.clear();
        all.buffers.push_back(std::move(*buffer));
    }
    return all;
}

TEST(AudioReader, OneTrackAsInterleaved16BitPcm)
{
    Asset asset = inspected(testMedia("levels.wav"));
    auto reader = AudioReader::forTrack(asset, firstAudioTrackID(asset));
    ASSERT_TRUE(reader) << reader.error().description;
    Collected all = readAll(*reader.value());
    EXPECT_EQ(reader.value()->status(), AudioReader::Status::Completed);
    EXPECT_EQ(all.frames, 48000);
    ASSERT_EQ(all.int16.size(), 96000u);
    EXPECT_EQ(all.int16[0], 16384);
    EXPECT_EQ(all.int16[1], -8192);
    EXPECT_EQ(all.int16[95998], 16384);
    EXPECT_EQ(all.int16[95999], -8192);

    // Buffers follow each other without gaps on the asset's time line.
    MediaTime expected = MediaTime::zero();
    for (const auto& buffer : all.buffers) {
        EXPECT_EQ(buffer.presentationTime, expected);
        EXPECT_EQ(buffer.sampleRate, 48000);
        EXPECT_EQ(buffer.channelCount, 2);
        expected = expected + buffer.duration;
    }
    EXPECT_EQ(expected, MediaTime(1, 1));
}

TEST(AudioReader, MixAppliesTheGainsOfEachChannel)
{
    // levels.wav: left 0.5, right -0.25 of full scale.
    struct Case {
        std::vector<float> gains;
        float outputGain;
        int outputChannels;
        std::int16_t expected;
    };
    const Case cases[] = {
        {{1.0f, 0.0f}, 1.0f, 1, 16384},
        {{0.0f, 1.0f}, 1.0f, 1, -8192},
        {{0.5f, 0.5f}, 1.0f, 1, 4096},
        {{0.5f, 0.5f}, 0.5f, 2, 2048},  // equal gains at half output level, on both outputs
        {{1.0f}, 0.5f, 2, 4096},        // channels past the list take the default gain, 1.0
        {{0.0f, 0.0f}, 1.0f, 1, 0},
    };
    Asset asset = inspected(testMedia("levels.wav"));
    for (const auto& c : cases) {
        AudioMix mix;
        mix.inputParameters.push_back({firstAudioTrackID(asset), c.gains, 1.0f, c.outputGain});
        auto reader = AudioReader::forMix(asset, mix, c.outputChannels);
        ASSERT_TRUE(reader) << reader.error().description;
        Collected all = readAll(*reader.value());
        ASSERT_EQ(all.frames, 48000);
        ASSERT_EQ(all.int16.size(), 48000u * c.outputChannels);
        for (std::size_t i : {std::size_t{0}, all.int16.size() / 2, all.int16.size() - 1})
            EXPECT_EQ(all.int16[i], c.expected) << "gain " << c.gains[0] << " sample " << i;
    }
}

TEST(AudioReader, MixOfTracksWithDifferentRatesIsResampledAndSummed)
{
    Asset asset = inspected(testMedia("video.mov"));
    auto audio = asset.tracksWithMediaType(MediaType::Audio);
    AudioMix mix;
    mix.inputParameters.push_back({audio[0].trackID, {0.5f, 0.5f}, 1.0f, 0.5f});
    mix.inputParameters.push_back({audio[1].trackID, {1.0f}, 1.0f, 0.5f});
    auto reader = AudioReader::forMix(asset, mix, 1, {PcmFormat::Float32, 32000});
    ASSERT_TRUE(reader) << reader.error().description;
    Collected all = readAll(*reader.value());
    EXPECT_EQ(reader.value()->status(), AudioReader::Status::Completed);
    EXPECT_NEAR(static_cast<double>(all.frames) / 32000, 2.0, 0.05);
    float peak = 0;
    for (float sample : all.float32)
        peak = std::max(peak, std::fabs(sample));
    // Two sines of amplitude 0.125 at half level each: together never above 0.25 or so.
    EXPECT_GT(peak, 0.1f);
    EXPECT_LT(peak, 0.3f);
}

TEST(AudioReader, ReadsOnlyTheTimeRange)
{
    Asset asset = inspected(testMedia("levels.wav"));
    MediaTimeRange range{MediaTime(250, 1000), MediaTime(500, 1000)};
    auto reader = AudioReader::forTrack(asset, firstAudioTrackID(asset), {}, range);
    ASSERT_TRUE(reader);
    Collected all = readAll(*reader.value());
    EXPECT_EQ(all.frames, 24000);
    ASSERT_FALSE(all.buffers.empty());
    EXPECT_EQ(all.buffers.front().presentationTime, MediaTime(250, 1000));
}

TEST(AudioReader, BroadcastWaveChunksAreNotReadAsAudio)
{
    std::string path = test::writeScratchFile(
        "field.wav", test::broadcastWave(48000, 4800, 1234, -4321, 17, "<BWFXML><NOTE>x</NOTE></BWFXML>"));
    Asset asset = inspected(path);
    auto reader = AudioReader::forTrack(asset, firstAudioTrackID(asset));
    ASSERT_TRUE(reader);
    Collected all = readAll(*reader.value());
    ASSERT_EQ(all.frames, 4800);
    for (std::size_t i = 0; i < all.int16.size(); i += 2) {
        ASSERT_EQ(all.int16[i], 1234) << i;
        ASSERT_EQ(all.int16[i + 1], -4321) << i;
    }
}

TEST(AudioReader, CancelStopsReading)
{
    Asset asset = inspected(testMedia("tone.wav"));
    auto reader = AudioReader::forTrack(asset, firstAudioTrackID(asset));
    ASSERT_TRUE(reader);
    ASSERT_TRUE(reader.value()->copyNextSampleBuffer());
    reader.value()->cancelReading();
    EXPECT_FALSE(reader.value()->copyNextSampleBuffer());
    EXPECT_EQ(reader.value()->status(), AudioReader::Status::Cancelled);
}

TEST(AudioReader, ErrorsNameTheFile)
{
    Asset asset = inspected(testMedia("levels.wav"));
    auto noTrack = AudioReader::forTrack(asset, 99);
    ASSERT_FALSE(noTrack);
    EXPECT_TRUE(noTrack.error().is(MediaErrorCode::NoAudioTrack));
    EXPECT_NE(noTrack.error().description.find("levels.wav"), std::string::npos);

    auto noChannels = AudioReader::forMix(asset, {}, 3);
    ASSERT_FALSE(noChannels);
    EXPECT_TRUE(noChannels.error().is(MediaErrorCode::InvalidArgument));

    // The file went away after it was inspected.
    std::string path = test::writeScratchFile("brief.wav", test::readFile(testMedia("levels.wav")));
    Asset brief = inspected(path);
    std::filesystem::remove(path);
    auto gone = AudioReader::forTrack(brief, firstAudioTrackID(brief));
    ASSERT_FALSE(gone);
    EXPECT_TRUE(gone.error().is(MediaErrorCode::FileNotFound));
    EXPECT_NE(gone.error().description.find("brief.wav"), std::string::npos);
}

TEST(AudioReader, TruncatedWaveEndsWhereTheBytesEnd)
{
    auto bytes = test::readFile(testMedia("levels.wav"));
    bytes.resize(bytes.size() / 2);
    std::string path = test::writeScratchFile("cut.wav", bytes);
    Asset asset = inspected(path);
    auto reader = AudioReader::forTrack(asset, firstAudioTrackID(asset));
    ASSERT_TRUE(reader);
    Collected all = readAll(*reader.value());
    EXPECT_EQ(reader.value()->status(), AudioReader::Status::Completed);
    EXPECT_NEAR(static_cast<double>(all.frames), 24000, 100);
}

}  // namespace
}  // namespace qv
