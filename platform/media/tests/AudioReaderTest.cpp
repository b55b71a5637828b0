#include "platform/media/AudioReader.h"

#include "BroadcastWave.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <sys/resource.h>

namespace qv {
namespace {

using test::inspected;
using test::testMedia;

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

TEST(AudioReader, AudioFilesThatAreNotContainers)
{
    struct Case {
        const char* file;
        int channels;
        int sampleRate;
        double seconds;
        double durationTolerance;  // an MP3's stated length counts the encoder's end padding
    };
    const Case cases[] = {
        {"tone.wav", 2, 48000, 3.0, 0.001},
        {"short.aiff", 2, 44100, 0.5, 0.001},
        {"short.caf", 1, 22050, 0.5, 0.001},
        {"tagged.mp3", 1, 44100, 2.0, 0.05},
    };
    for (const auto& c : cases) {
        Asset asset = inspected(testMedia(c.file));
        EXPECT_TRUE(asset.isPlayable()) << c.file;
        EXPECT_NEAR(asset.duration().seconds(), c.seconds, c.durationTolerance) << c.file;
        auto audio = asset.tracksWithMediaType(MediaType::Audio);
        ASSERT_EQ(audio.size(), 1u) << c.file;
        EXPECT_EQ(audio[0].audio->channelCount, c.channels) << c.file;
        EXPECT_EQ(audio[0].audio->sampleRate, c.sampleRate) << c.file;
        auto reader = AudioReader::forTrack(asset, audio[0].trackID);
        ASSERT_TRUE(reader) << c.file;
        Collected all = readAll(*reader.value());
        EXPECT_EQ(reader.value()->status(), AudioReader::Status::Completed) << c.file;
        EXPECT_NEAR(static_cast<double>(all.frames) / c.sampleRate, c.seconds, 0.001) << c.file;
        ASSERT_EQ(all.int16.size(), static_cast<std::size_t>(all.frames) * c.channels) << c.file;
        // Each file holds a sine that starts at time zero: the sound is there from the first
        // milliseconds, not behind the encoder's delay.
        EXPECT_GT(std::abs(all.int16.at(20 * c.channels)), 1000) << c.file;
    }
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

TEST(AudioReader, GainsThatAreNotNumbersSilenceTheirChannels)
{
    // levels.wav: left 0.5, right -0.25. The infinite gain is what 1/k gives for k = 0 enabled.
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    struct Case {
        std::vector<float> gains;
        float defaultGain;
        float outputGain;
        float expected;
    };
    const Case cases[] = {
        {{}, kInfinity, 1.0f, 0.0f},
        {{std::nanf(""), 1.0f}, 1.0f, 1.0f, -0.25f},
        {{1.0f, -kInfinity}, 1.0f, 1.0f, 0.5f},
        {{1.0f, 1.0f}, 1.0f, kInfinity, 0.0f},
    };
    Asset asset = inspected(testMedia("levels.wav"));
    for (const auto& c : cases) {
        AudioMix mix;
        mix.inputParameters.push_back({firstAudioTrackID(asset), c.gains, c.defaultGain, c.outputGain});
        auto reader = AudioReader::forMix(asset, mix, 1, {PcmFormat::Float32, 0});
        ASSERT_TRUE(reader) << reader.error().description;
        Collected all = readAll(*reader.value());
        ASSERT_EQ(all.float32.size(), 48000u);
        for (std::size_t i : {std::size_t{0}, all.float32.size() - 1})
            EXPECT_NEAR(all.float32[i], c.expected, 1e-4) << "case " << (&c - cases) << " sample " << i;
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

TEST(AudioReader, StreamWhoseFormatChangesPartWayIsReadInTheReadersFormat)
{
    // Raw AAC frames joined from two recordings: the channel count and the rate change where
    // the second begins.
    auto mono = test::readFile(testMedia("mono-part.aac"));
    auto stereo = test::readFile(testMedia("stereo-part.aac"));
    std::vector<std::uint8_t> monoFirst = mono, stereoFirst = stereo;
    monoFirst.insert(monoFirst.end(), stereo.begin(), stereo.end());
    stereoFirst.insert(stereoFirst.end(), mono.begin(), mono.end());
    for (const auto& [name, bytes] : {std::pair{"mono-first.aac", monoFirst}, std::pair{"stereo-first.aac", stereoFirst}}) {
        Asset asset = inspected(test::writeScratchFile(name, bytes));
        AudioMix mix;
        mix.inputParameters.push_back({firstAudioTrackID(asset), {}, 1.0f, 1.0f});
        for (bool mixing : {false, true}) {
            auto reader = mixing ? AudioReader::forMix(asset, mix, 2) : AudioReader::forTrack(asset, firstAudioTrackID(asset));
            ASSERT_TRUE(reader) << name;
            Collected all = readAll(*reader.value());
            EXPECT_EQ(reader.value()->status(), AudioReader::Status::Completed) << name << " mixing " << mixing;
            int channels = reader.value()->channelCount();
            EXPECT_EQ(all.int16.size(), static_cast<std::size_t>(all.frames) * channels) << name;
            EXPECT_NEAR(static_cast<double>(all.frames) / reader.value()->sampleRate(), 2.0, 0.1) << name;
            for (const auto& buffer : all.buffers)
                ASSERT_EQ(buffer.channelCount, channels) << name;
        }
    }
}

long peakResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(AudioReader, TrackThatStartsLateIsPrecededBySilenceMadeABufferAtATime)
{
    // An hour of silence at 8 kHz mono is 57 MB of samples; read as it is handed out, it never
    // stands in memory at once.
    Asset asset = inspected(testMedia("late-audio.mov"));
    EXPECT_NEAR(asset.duration().seconds(), 3600.5, 0.01);
    long peakBefore = peakResidentKilobytes();
    auto reader = AudioReader::forTrack(asset, firstAudioTrackID(asset));
    ASSERT_TRUE(reader);
    std::int64_t frames = 0, firstSound = -1;
    while (auto buffer = reader.value()->copyNextSampleBuffer()) {
        for (int i = 0; i < buffer->frameCount && firstSound < 0; ++i)
            if (buffer->int16[static_cast<std::size_t>(i)] != 0)
                firstSound = frames + i;
        frames += buffer->frameCount;
    }
    EXPECT_EQ(reader.value()->status(), AudioReader::Status::Completed);
    EXPECT_EQ(frames, 3600 * 8000 + 4000);
    EXPECT_NEAR(static_cast<double>(firstSound), 3600.0 * 8000, 2);
#ifndef __SANITIZE_ADDRESS__
    // (The address sanitizer holds freed memory back for a while, so there the peak says nothing.)
    EXPECT_LT(peakResidentKilobytes() - peakBefore, 20 * 1024);
#else
    (void)peakBefore;
#endif
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
    const std::string name = std::filesystem::path(asset.path()).filename().string();
    auto noTrack = AudioReader::forTrack(asset, 99);
    ASSERT_FALSE(noTrack);
    EXPECT_TRUE(noTrack.error().is(MediaErrorCode::NoAudioTrack));
    EXPECT_NE(noTrack.error().description.find(name), std::string::npos);

    auto noChannels = AudioReader::forMix(asset, {}, 3);
    ASSERT_FALSE(noChannels);
    EXPECT_TRUE(noChannels.error().is(MediaErrorCode::InvalidArgument));

    // A range that starts before the media would be read as that much silence first.
    for (MediaTime start : {MediaTime(-36000, 1), MediaTime::negativeInfinity(), MediaTime::positiveInfinity()}) {
        auto early = AudioReader::forTrack(asset, firstAudioTrackID(asset), {}, {start, MediaTime(1, 1)});
        ASSERT_FALSE(early) << start.value;
        EXPECT_TRUE(early.error().is(MediaErrorCode::InvalidArgument));
        EXPECT_NE(early.error().description.find(name), std::string::npos);
    }

    // The file went away after it was inspected.
    std::string path = test::writeScratchFile("brief.wav", test::readFile(testMedia("levels.wav")));
    Asset brief = inspected(path);
    std::filesystem::remove(path);
    auto gone = AudioReader::forTrack(brief, firstAudioTrackID(brief));
    ASSERT_FALSE(gone);
    EXPECT_TRUE(gone.error().is(MediaErrorCode::FileNotFound));
    EXPECT_NE(gone.error().description.find("brief.wav"), std::string::npos);
}

std::string cutShort(const std::string& name)
{
    auto bytes = test::readFile(testMedia(name));
    bytes.resize(bytes.size() * 6 / 10);
    return test::writeScratchFile("cut-" + name, bytes);
}

TEST(AudioReader, FileCutShortOfItsIndexIsAReadError)
{
    // The sample index at the start of the file is whole; the samples it lists stop early.
    Asset asset = inspected(cutShort("tagged.m4a"));
    auto reader = AudioReader::forTrack(asset, firstAudioTrackID(asset));
    ASSERT_TRUE(reader);
    readAll(*reader.value());
    EXPECT_EQ(reader.value()->status(), AudioReader::Status::Failed);
    ASSERT_TRUE(reader.value()->error());
    EXPECT_TRUE(reader.value()->error()->is(MediaErrorCode::ReadFailed));
    EXPECT_NE(reader.value()->error()->description.find("cut-tagged.m4a"), std::string::npos);
}

TEST(AudioReader, FileMissingItsLastFifthOfASecondIsAReadError)
{
    // Both files state a length of 10 s in their headers; cut off the end of the audio, not
    // the index.
    struct Case {
        const char* name;
        double bytesPerSecond;
    };
    for (const Case& c : {Case{"long.mp3", 128000 / 8.0}, Case{"long.m4a", 64000 / 8.0}}) {
        Asset whole = inspected(testMedia(c.name));
        auto complete = AudioReader::forTrack(whole, firstAudioTrackID(whole));
        ASSERT_TRUE(complete);
        readAll(*complete.value());
        EXPECT_EQ(complete.value()->status(), AudioReader::Status::Completed) << c.name;

        auto bytes = test::readFile(testMedia(c.name));
        bytes.resize(bytes.size() - static_cast<std::size_t>(0.2 * c.bytesPerSecond));
        std::string cut = test::writeScratchFile(std::string("cut-") + c.name, bytes);
        Asset asset = inspected(cut);
        auto reader = AudioReader::forTrack(asset, firstAudioTrackID(asset));
        ASSERT_TRUE(reader);
        readAll(*reader.value());
        EXPECT_EQ(reader.value()->status(), AudioReader::Status::Failed) << c.name;
        ASSERT_TRUE(reader.value()->error()) << c.name;
        EXPECT_TRUE(reader.value()->error()->is(MediaErrorCode::ReadFailed));
        EXPECT_NE(reader.value()->error()->description.find(std::string("cut-") + c.name), std::string::npos);
    }
}

TEST(AudioReader, WaveCutShortInItsDataIsAReadErrorWhereTheBytesEnd)
{
    // The data chunk states 1 s; the file keeps the first 0.6 s. FFmpeg gives the asset the
    // length of the bytes there are, so only the header tells the rest is missing.
    for (const char* name : {"levels.wav", "levels-rf64.wav"}) {
        std::string cut = cutShort(name);
        Asset asset = inspected(cut);
        std::string named = std::string("cut-") + name;

        auto whole = AudioReader::forTrack(asset, firstAudioTrackID(asset));
        ASSERT_TRUE(whole) << name;
        Collected all = readAll(*whole.value());
        EXPECT_EQ(whole.value()->status(), AudioReader::Status::Failed) << name;
        ASSERT_TRUE(whole.value()->error()) << name;
        EXPECT_TRUE(whole.value()->error()->is(MediaErrorCode::ReadFailed)) << name;
        EXPECT_NE(whole.value()->error()->description.find(named), std::string::npos) << name;
        // What the bytes hold is still handed out before the failure.
        EXPECT_NEAR(all.frames / 48000.0, 0.6, 0.01) << name;

        // A range that ends before the cut is whole; one that runs up to it is not.
        struct Range {
            double from, to;
            AudioReader::Status status;
        };
        const Range ranges[] = {{0.0, 0.3, AudioReader::Status::Completed},
                                {0.3, asset.duration().seconds(), AudioReader::Status::Failed}};
        for (const Range& r : ranges) {
            MediaTimeRange range{MediaTime(std::llround(r.from * 48000), 48000),
                                 MediaTime(std::llround((r.to - r.from) * 48000), 48000)};
            auto part = AudioReader::forTrack(asset, firstAudioTrackID(asset), {}, range);
            ASSERT_TRUE(part) << name;
            readAll(*part.value());
            EXPECT_EQ(part.value()->status(), r.status) << name << " from " << r.from << " to " << r.to;
        }
    }

    // A writer that could not go back to fill in the length leaves it open: read to the end.
    auto bytes = test::readFile(testMedia("levels.wav"));
    const std::string data = "data";
    auto chunk = std::search(bytes.begin() + 12, bytes.end(), data.begin(), data.end());
    ASSERT_LE(chunk + 8, bytes.end());
    std::fill(chunk + 4, chunk + 8, 0xFF);
    bytes.resize(bytes.size() * 6 / 10);
    Asset open = inspected(test::writeScratchFile("open-length.wav", bytes));
    auto reader = AudioReader::forTrack(open, firstAudioTrackID(open));
    ASSERT_TRUE(reader);
    readAll(*reader.value());
    EXPECT_EQ(reader.value()->status(), AudioReader::Status::Completed);
}

// Every codec the tests make, each a 2 s sine.
const char* const kCodecFiles[] = {"sine2.wav", "sine2.aiff", "sine2.flac", "sine2.mp3", "sine2-48k.mp3",
                                   "sine2.m4a", "sine2.mp4",  "sine2.opus", "sine2.ogg", "sine2.mov"};

TEST(AudioReader, CompleteFileOfEveryCodecReadsWhole)
{
    // The declared length of a compressed track may count the codec's delay and padding, which
    // the decoder never hands out; a whole file is no less whole for that.
    for (const char* name : kCodecFiles) {
        Asset asset = inspected(testMedia(name));
        auto reader = AudioReader::forTrack(asset, firstAudioTrackID(asset), {PcmFormat::Float32, 0});
        ASSERT_TRUE(reader) << name;
        Collected all = readAll(*reader.value());
        EXPECT_EQ(reader.value()->status(), AudioReader::Status::Completed)
            << name << ": " << (reader.value()->error() ? reader.value()->error()->description : "");
        EXPECT_NEAR(static_cast<double>(all.frames) / reader.value()->sampleRate(), 2.0, 0.06) << name;
    }
}

// The samples of `reader` from its range on, against those of a read from the start.
double largestDifference(const std::vector<float>& whole, std::int64_t fromFrame, const std::vector<float>& part)
{
    double largest = 0;
    for (std::size_t i = 0; i < part.size(); ++i) {
        auto at = static_cast<std::size_t>(fromFrame) + i;
        largest = std::max(largest, at < whole.size() ? std::fabs(double(part[i]) - whole[at]) : 1.0);
    }
    return largest;
}

TEST(AudioReader, ReadFromAnyStartEqualsTheDecodeFromTheStart)
{
    // A decoder started at the packet that holds a start has not yet the state the packets
    // before it build up: its first milliseconds would be noise. Both a new reader and one
    // moved with seek() hand out what a read from the start gives at that time.
    const double starts[] = {0.5, 1.2345, 0.1, 1.9};
    for (const char* name : kCodecFiles) {
        Asset asset = inspected(testMedia(name));
        int track = firstAudioTrackID(asset);
        auto whole = AudioReader::forTrack(asset, track, {PcmFormat::Float32, 0});
        ASSERT_TRUE(whole) << name;
        const int rate = whole.value()->sampleRate();
        const std::vector<float> reference = readAll(*whole.value()).float32;

        auto moved = AudioReader::forTrack(asset, track, {PcmFormat::Float32, 0});
        ASSERT_TRUE(moved) << name;
        readAll(*moved.value());
        for (double start : starts) {
            std::int64_t frame = std::llround(start * rate);
            MediaTimeRange range{MediaTime(frame, rate), MediaTime(rate / 20, rate)};
            auto fresh = AudioReader::forTrack(asset, track, {PcmFormat::Float32, 0}, range);
            ASSERT_TRUE(fresh) << name;
            Collected part = readAll(*fresh.value());
            EXPECT_EQ(part.frames, rate / 20) << name << " from " << start;
            EXPECT_LT(largestDifference(reference, frame, part.float32), 1e-4) << name << " from " << start;

            ASSERT_FALSE(moved.value()->seek(range)) << name;
            Collected again = readAll(*moved.value());
            EXPECT_EQ(moved.value()->status(), AudioReader::Status::Completed)
                << name << ": " << (moved.value()->error() ? moved.value()->error()->description : "");
            EXPECT_EQ(again.frames, rate / 20) << name << " moved to " << start;
            ASSERT_FALSE(again.buffers.empty());
            EXPECT_EQ(again.buffers.front().presentationTime, range.start) << name;
            EXPECT_LT(largestDifference(reference, frame, again.float32), 1e-4) << name << " moved to " << start;
        }
        // Back to the start, to the end of the file.
        ASSERT_FALSE(moved.value()->seek({}));
        Collected rest = readAll(*moved.value());
        EXPECT_EQ(moved.value()->status(), AudioReader::Status::Completed) << name;
        EXPECT_EQ(rest.float32, reference) << name;
        EXPECT_TRUE(moved.value()->seek({MediaTime(-1, 1), MediaTime(1, 1)})) << name;
    }
}

TEST(AudioReader, SeekAfterTheFileWasReplacedReadsTheNewFile)
{
    // A reader keeps its file open across seeks. When another file took its place meanwhile, a
    // seek reads that one, at its own length; one that cannot be read is an error naming it.
    struct Case {
        const char* original;
        const char* replacement;
    };
    for (const Case& c : {Case{"sine2.mp4", "high3.mp4"}, Case{"sawtooth.wav", "sine2.wav"}}) {
        std::string path = test::scratchFolder() + "/media" + std::filesystem::path(c.original).extension().string();
        test::replaceFile(testMedia(c.original), path);
        Asset asset = inspected(path);
        auto reader = AudioReader::forTrack(asset, firstAudioTrackID(asset), {PcmFormat::Float32, 0});
        ASSERT_TRUE(reader) << c.original;
        ASSERT_TRUE(reader.value()->copyNextSampleBuffer()) << c.original;
        const int rate = reader.value()->sampleRate();

        test::replaceFile(testMedia(c.replacement), path);
        Asset replacement = inspected(path);
        auto fresh = AudioReader::forTrack(replacement, firstAudioTrackID(replacement), {PcmFormat::Float32, 0});
        ASSERT_TRUE(fresh) << c.replacement;
        const std::vector<float> reference = readAll(*fresh.value()).float32;

        std::int64_t frame = rate / 2;
        auto error = reader.value()->seek({MediaTime(frame, rate), MediaTime(rate / 4, rate)});
        ASSERT_FALSE(error) << c.original << " replaced by " << c.replacement << ": " << error->description;
        Collected part = readAll(*reader.value());
        EXPECT_EQ(reader.value()->status(), AudioReader::Status::Completed) << c.replacement;
        EXPECT_EQ(part.frames, rate / 4) << c.replacement;
        EXPECT_LT(largestDifference(reference, frame, part.float32), 1e-4) << c.replacement;

        ASSERT_FALSE(reader.value()->seek({})) << c.replacement;
        EXPECT_EQ(reader.value()->timeRange().duration, replacement.duration()) << c.replacement;
        Collected whole = readAll(*reader.value());
        EXPECT_EQ(reader.value()->status(), AudioReader::Status::Completed) << c.replacement;
        EXPECT_EQ(whole.float32, reference) << c.replacement;

        std::string damaged = test::writeScratchFile("damaged", std::vector<std::uint8_t>(4096, 0x5A));
        test::replaceFile(damaged, path);
        error = reader.value()->seek({});
        ASSERT_TRUE(error) << c.original;
        EXPECT_NE(error->description.find(std::filesystem::path(path).filename().string()), std::string::npos)
            << error->description;
        EXPECT_FALSE(reader.value()->copyNextSampleBuffer()) << c.original;
        EXPECT_EQ(reader.value()->status(), AudioReader::Status::Failed) << c.original;

        // Whole again: the reader reads it.
        test::replaceFile(testMedia(c.replacement), path);
        ASSERT_FALSE(reader.value()->seek({})) << c.replacement;
        EXPECT_EQ(readAll(*reader.value()).float32, reference) << c.replacement;
    }
}

}  // namespace
}  // namespace qv
