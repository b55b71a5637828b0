#include "platform/media/AudioMixStage.h"
#include "platform/media/AudioReader.h"
#include "platform/media/Composition.h"
#include "platform/media/CompositionAudioReader.h"

#include "TestMedia.h"

#include "platform/foundation/tests/LogCapture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qv {
namespace {

using test::inspected;
using test::testMedia;

MediaTime ms(std::int64_t milliseconds) { return MediaTime(milliseconds, 1000); }
MediaTimeRange msRange(std::int64_t start, std::int64_t duration) { return {ms(start), ms(duration)}; }

int audioTrackID(const Asset& asset) { return asset.tracksWithMediaType(MediaType::Audio).at(0).trackID; }

template <class Reader>
std::vector<float> readFloats(Reader& reader)
{
    std::vector<float> all;
    while (auto buffer = reader.copyNextSampleBuffer())
        all.insert(all.end(), buffer->float32.begin(), buffer->float32.end());
    return all;
}

// Where each segment of a track plays, in milliseconds, as (start, duration) pairs.
std::vector<std::pair<double, double>> placements(const CompositionTrack& track)
{
    std::vector<std::pair<double, double>> found;
    for (const auto& segment : track.segments())
        found.emplace_back(segment.targetRange.start.seconds() * 1000, segment.targetRange.duration.seconds() * 1000);
    return found;
}

TEST(Composition, InsertSplitsAndMovesLaterSegmentsScaleStretchesRemoveDrops)
{
    auto tone = std::make_shared<const Asset>(inspected(testMedia("tone.wav")));
    Composition composition;
    CompositionTrack& track = composition.addMutableTrack(MediaType::Audio);
    ASSERT_FALSE(track.insertTimeRange(msRange(0, 2000), tone, audioTrackID(*tone), ms(0)));
    ASSERT_FALSE(track.insertTimeRange(msRange(0, 500), tone, audioTrackID(*tone), ms(1000)));
    using P = std::vector<std::pair<double, double>>;
    EXPECT_EQ(placements(track), (P{{0, 1000}, {1000, 500}, {1500, 1000}}));
    EXPECT_DOUBLE_EQ(track.segments()[2].sourceRange.start.seconds(), 1.0);
    EXPECT_DOUBLE_EQ(composition.duration().seconds(), 2.5);

    composition.scaleTimeRange(msRange(1000, 500), ms(1000));
    const CompositionTrack& scaled = *composition.trackWithID(track.trackID());
    EXPECT_EQ(placements(scaled), (P{{0, 1000}, {1000, 1000}, {2000, 1000}}));
    EXPECT_DOUBLE_EQ(scaled.segments()[1].sourceRange.duration.seconds(), 0.5);

    Composition copy = composition;
    CompositionTrack& second = copy.addMutableTrack(MediaType::Audio);
    ASSERT_FALSE(second.insertTimeRange(msRange(0, 500), tone, audioTrackID(*tone), ms(4000)));
    EXPECT_DOUBLE_EQ(copy.duration().seconds(), 4.5);
    copy.removeTrack(second.trackID());
    EXPECT_DOUBLE_EQ(copy.duration().seconds(), 3.0);
    EXPECT_EQ(composition.tracks().size(), 1u);
}

TEST(Composition, RefusesRangesAndTracksThatCannotBeInserted)
{
    auto tone = std::make_shared<const Asset>(inspected(testMedia("tone.wav")));
    Composition composition;
    CompositionTrack& audio = composition.addMutableTrack(MediaType::Audio);
    CompositionTrack& video = composition.addMutableTrack(MediaType::Video);
    EXPECT_TRUE(audio.insertTimeRange(msRange(0, 0), tone, audioTrackID(*tone), ms(0)));
    EXPECT_TRUE(audio.insertTimeRange({MediaTime::invalid(), ms(10)}, tone, audioTrackID(*tone), ms(0)));
    EXPECT_TRUE(audio.insertTimeRange(msRange(0, 10), tone, 99, ms(0)));
    auto wrongKind = video.insertTimeRange(msRange(0, 10), tone, audioTrackID(*tone), ms(0));
    ASSERT_TRUE(wrongKind);
    EXPECT_TRUE(wrongKind->is(MediaErrorCode::NoVideoTrack));
    EXPECT_TRUE(audio.segments().empty());
}

// Sources read at their offsets, silence where nothing is placed, frame for frame.
TEST(CompositionAudioReader, ReadsEachSourceAtItsOffsetAndSilenceInTheGaps)
{
    auto levels = std::make_shared<const Asset>(inspected(testMedia("levels.wav")));
    auto tone = std::make_shared<const Asset>(inspected(testMedia("tone.wav")));
    Composition composition;
    CompositionTrack& track = composition.addMutableTrack(MediaType::Audio);
    ASSERT_FALSE(track.insertTimeRange(msRange(0, 500), levels, audioTrackID(*levels), ms(1000)));
    ASSERT_FALSE(track.insertTimeRange(msRange(1000, 500), tone, audioTrackID(*tone), ms(2000)));

    auto reader = CompositionAudioReader::forTrack(composition, track.trackID(), {PcmFormat::Float32, 0});
    ASSERT_TRUE(reader) << reader.error().description;
    EXPECT_EQ(reader.value()->sampleRate(), 48000);
    EXPECT_EQ(reader.value()->channelCount(), 2);
    std::vector<float> all = readFloats(*reader.value());
    EXPECT_EQ(reader.value()->status(), CompositionAudioReader::Status::Completed);
    ASSERT_EQ(all.size(), 2u * 120000);

    auto toneReader = AudioReader::forTrack(*tone, audioTrackID(*tone), {PcmFormat::Float32, 0}, msRange(1000, 500));
    ASSERT_TRUE(toneReader);
    std::vector<float> toneSamples = readFloats(*toneReader.value());
    ASSERT_EQ(toneSamples.size(), 2u * 24000);

    for (std::size_t frame = 0; frame < 120000; ++frame) {
        float left = all[frame * 2];
        float right = all[frame * 2 + 1];
        if (frame >= 48000 && frame < 72000) {
            ASSERT_EQ(left, 0.5f) << frame;
            ASSERT_EQ(right, -0.25f) << frame;
        } else if (frame >= 96000) {
            ASSERT_EQ(left, toneSamples[(frame - 96000) * 2]) << frame;
            ASSERT_EQ(right, toneSamples[(frame - 96000) * 2 + 1]) << frame;
        } else {
            ASSERT_EQ(left, 0.0f) << frame;
            ASSERT_EQ(right, 0.0f) << frame;
        }
    }
}

TEST(CompositionAudioReader, ReadsFromInsideASegmentAndStretchesAScaledOne)
{
    auto levels = std::make_shared<const Asset>(inspected(testMedia("levels.wav")));
    Composition composition;
    CompositionTrack& track = composition.addMutableTrack(MediaType::Audio);
    ASSERT_FALSE(track.insertTimeRange(msRange(0, 1000), levels, audioTrackID(*levels), ms(0)));
    track.scaleTimeRange(msRange(0, 1000), ms(2000));

    auto reader = CompositionAudioReader::forTrack(composition, track.trackID(), {PcmFormat::Int16, 8000},
                                                   msRange(1500, 500));
    ASSERT_TRUE(reader) << reader.error().description;
    std::vector<std::int16_t> all;
    while (auto buffer = reader.value()->copyNextSampleBuffer())
        all.insert(all.end(), buffer->int16.begin(), buffer->int16.end());
    ASSERT_EQ(all.size(), 2u * 4000);
    EXPECT_EQ(all[100], 16384);
    EXPECT_EQ(all[101], -8192);
    EXPECT_EQ(all[7998], 16384);
}

TEST(CompositionAudioReader, ATimeHalfWayBetweenTwoSamplesAlwaysStartsAtTheLaterOne)
{
    // Times half-way between two samples at 48 kHz: each rounds to the later sample, as every
    // time rounds to its nearest, however its seconds would round. Both where a file is read
    // from and where a segment starts on the time line. sawtooth.wav's sample n is
    // (n mod 1000) / 1000.
    auto sawtooth = std::make_shared<const Asset>(inspected(testMedia("sawtooth.wav")));
    for (std::int64_t halves : {1, 27, 49, 61, 101, 199}) {
        const MediaTime time(halves, 96000);
        const std::size_t later = static_cast<std::size_t>(halves + 1) / 2;

        auto file = AudioReader::forTrack(*sawtooth, audioTrackID(*sawtooth), {PcmFormat::Float32, 0},
                                          {time, ms(100)});
        ASSERT_TRUE(file) << halves;
        std::vector<float> read = readFloats(*file.value());
        ASSERT_FALSE(read.empty()) << halves;
        EXPECT_NEAR(read[0], static_cast<float>(later) / 1000, 1e-4f) << "the file read from " << halves << "/96000 s";

        // A segment from sample 4800 (0.8) on, placed at the time.
        Composition composition;
        CompositionTrack& track = composition.addMutableTrack(MediaType::Audio);
        ASSERT_FALSE(track.insertTimeRange(msRange(100, 100), sawtooth, audioTrackID(*sawtooth), time));
        auto placed = CompositionAudioReader::forTrack(composition, track.trackID(), {PcmFormat::Float32, 0});
        ASSERT_TRUE(placed) << halves;
        std::vector<float> all = readFloats(*placed.value());
        ASSERT_GT(all.size(), later) << halves;
        EXPECT_EQ(all[later - 1], 0.0f) << "the segment placed at " << halves << "/96000 s";
        EXPECT_NEAR(all[later], 0.8f, 1e-4f) << "the segment placed at " << halves << "/96000 s";
    }
}

TEST(CompositionAudioReader, MixAppliesChannelAndOutputGains)
{
    Asset asset = inspected(testMedia("levels.wav"));
    Composition composition = Composition::fromAsset(asset);
    int id = audioTrackID(asset);
    struct Case {
        std::vector<float> channelGains;
        float outputGain;
        float expected;
    };
    const Case cases[] = {
        {{1.0f, 0.0f}, 0.5f, 0.25f},          // left alone, halved
        {{0.5f, 0.5f}, 0.5f, 0.0625f},        // (0.5 - 0.25) / 2 / 2
        {{0.0f, 0.0f}, 0.5f, 0.0f},           // nothing enabled
        {{1.0f / 0.0f, 1.0f}, 1.0f, -0.25f},  // an infinite gain silences its channel
    };
    for (const auto& c : cases) {
        AudioMix mix;
        mix.inputParameters.push_back({id, c.channelGains, 1.0f, c.outputGain});
        auto reader = CompositionAudioReader::forMix(composition, std::make_shared<AudioMixStage>(mix), 2,
                                                     {PcmFormat::Float32, 0});
        ASSERT_TRUE(reader) << reader.error().description;
        std::vector<float> all = readFloats(*reader.value());
        ASSERT_EQ(all.size(), 96000u);
        EXPECT_FLOAT_EQ(all[0], c.expected);
        EXPECT_FLOAT_EQ(all[1], c.expected);
        EXPECT_FLOAT_EQ(all[95999], c.expected);
    }
}

TEST(CompositionAudioReader, ASourceThatVanishedFailsNamingIt)
{
    std::string path = test::scratchFolder() + "/gone.wav";
    std::filesystem::copy_file(testMedia("levels.wav"), path);
    Asset asset = inspected(path);
    Composition composition = Composition::fromAsset(asset);
    std::filesystem::remove(path);
    auto reader = CompositionAudioReader::forTrack(composition, audioTrackID(asset), {PcmFormat::Float32, 0});
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader.value()->copyNextSampleBuffer());
    EXPECT_EQ(reader.value()->status(), CompositionAudioReader::Status::Failed);
    ASSERT_TRUE(reader.value()->error());
    EXPECT_NE(reader.value()->error()->description.find("gone.wav"), std::string::npos);
}

TEST(AudioMixStage, AGainChangeGlidesAcrossOneBufferWithoutAStep)
{
    AudioMix mix;
    mix.inputParameters.push_back({7, {1.0f}, 1.0f, 1.0f});
    AudioMixStage stage(mix);
    const int frames = 256;
    std::vector<float> ones(frames, 1.0f);
    std::vector<float> out(frames * 2, 0.0f);
    stage.mixTrack(7, ones.data(), 1, frames, out.data(), 2);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[2 * frames - 1], 1.0f);

    stage.setChannelGain(7, 0, 0.0f);
    EXPECT_EQ(stage.channelGain(7, 0), 0.0f);
    std::fill(out.begin(), out.end(), 0.0f);
    stage.mixTrack(7, ones.data(), 1, frames, out.data(), 2);
    for (int f = 1; f < frames; ++f)
        ASSERT_LE(std::abs(out[f * 2] - out[(f - 1) * 2]), 1.0f / frames + 1e-6f) << f;
    EXPECT_EQ(out[2 * frames - 2], 0.0f);

    std::fill(out.begin(), out.end(), 0.0f);
    stage.mixTrack(7, ones.data(), 1, frames, out.data(), 2);
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 0.0f);
    stage.mixTrack(99, ones.data(), 1, frames, out.data(), 2);
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 0.0f);
}

// The placeholder's picture is stretched to the media it stands for only when it is shorter; a
// movie without a picture, or none at all, leaves the track empty and says why in the log.
TEST(Composition, PlaceholderPictureIsStretchedUpToTheMediaDurationNeverDown)
{
    const std::string movie = testMedia("video.mov");
    const AssetTrack picture = inspected(movie).tracksWithMediaType(MediaType::Video).at(0);
    const MediaTime length = picture.timeRange.duration;
    const struct {
        const char* name;
        std::string path;
        MediaTime mediaDuration;
        MediaTime expected;  // of the picture on the time line; zero: no picture
    } cases[] = {
        {"shorter than the media", movie, ms(7250), ms(7250)},
        {"as long as the media", movie, length, length},
        {"longer than the media", movie, ms(500), length},
        {"media of no known length", movie, MediaTime::invalid(), length},
        {"no video track", testMedia("tone.wav"), ms(7250), MediaTime::zero()},
        {"no movie", test::scratchFolder() + "/missing media.mov", ms(7250), MediaTime::zero()},
    };
    for (const auto& c : cases) {
        LogCapture log;
        const Composition composition = Composition::placeholder(c.path, c.mediaDuration);
        ASSERT_EQ(composition.tracks().size(), 1u) << c.name;
        const CompositionTrack& track = composition.tracks().front();
        EXPECT_EQ(track.mediaType(), MediaType::Video) << c.name;
        EXPECT_EQ(composition.duration(), c.expected) << c.name;
        if (c.expected == MediaTime::zero()) {
            EXPECT_TRUE(track.segments().empty()) << c.name;
            ASSERT_EQ(log.lines().size(), 1u) << c.name;
            EXPECT_EQ(log.lines()[0].find("error: Error - The file “"), 0u) << log.lines()[0];
            continue;
        }
        EXPECT_TRUE(log.lines().empty()) << c.name;
        ASSERT_EQ(track.segments().size(), 1u) << c.name;
        const CompositionSegment& segment = track.segments().front();
        EXPECT_EQ(segment.sourceTrackID, picture.trackID) << c.name;
        EXPECT_EQ(segment.sourceRange.duration, length) << c.name;
        EXPECT_EQ(segment.targetRange.start, MediaTime::zero()) << c.name;
    }
}

TEST(Composition, AnAssetOfACompositionDescribesItAndPlaysItUnchanged)
{
    const std::string movie = testMedia("video.mov");
    const Asset asset = Asset::fromComposition(Composition::placeholder(movie, ms(7250)));
    ASSERT_TRUE(asset.composition());
    EXPECT_TRUE(asset.path().empty());
    EXPECT_TRUE(asset.isPlayable());
    EXPECT_EQ(asset.duration(), ms(7250));
    ASSERT_EQ(asset.tracks().size(), 1u);
    const AssetTrack& track = asset.tracks().front();
    EXPECT_EQ(track.mediaType, MediaType::Video);
    EXPECT_EQ(track.timeRange.duration, ms(7250));
    ASSERT_TRUE(track.video);
    EXPECT_EQ(track.video->naturalWidth, inspected(movie).tracksWithMediaType(MediaType::Video).at(0).video->naturalWidth);
    EXPECT_TRUE(asset.tracksWithMediaType(MediaType::Audio).empty());

    const Composition played = Composition::fromAsset(asset);
    ASSERT_EQ(played.tracks().size(), 1u);
    EXPECT_EQ(placements(played.tracks().front()), placements(asset.composition()->tracks().front()));

    // An empty placeholder is no playable asset.
    LogCapture log;
    EXPECT_FALSE(Asset::fromComposition(Composition::placeholder(testMedia("tone.wav"), ms(1000))).isPlayable());
    EXPECT_FALSE(Asset::fromComposition(Composition()).isPlayable());
}

}  // namespace
}  // namespace qv
