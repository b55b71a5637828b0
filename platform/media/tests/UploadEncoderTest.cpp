#include "platform/media/UploadEncoder.h"

#include "platform/media/AudioReader.h"

#include "TestMedia.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace qv {
namespace {

using test::inspected;
using test::testMedia;

// Every channel of every audio track at equal gain, as the intake builds it.
AudioMix equalMix(const Asset& asset)
{
    AudioMix mix;
    for (const auto& track : asset.tracksWithMediaType(MediaType::Audio)) {
        int channels = track.audio->channelCount;
        mix.inputParameters.push_back({track.trackID, std::vector<float>(channels, 1.0f / channels), 1.0f, 1.0f});
    }
    return mix;
}

TEST(UploadEncoder, WritesMonoAacAt32kHzAnd64kbits)
{
    Asset source = inspected(testMedia("tone.wav"));
    std::string output = test::scratchFolder() + "/upload.m4a";
    UploadEncoder encoder(source, equalMix(source), output);
    std::vector<double> progress;
    auto error = encoder.run([&](double fraction) { progress.push_back(fraction); });
    ASSERT_FALSE(error) << error->description << " " << error->failureReason;

    // An M4A file: its type box names the brand "M4A ".
    auto bytes = test::readFile(output);
    ASSERT_GT(bytes.size(), 12u);
    EXPECT_EQ(std::string(bytes.begin() + 4, bytes.begin() + 12), "ftypM4A ");

    Asset written = inspected(output);
    auto audio = written.tracksWithMediaType(MediaType::Audio);
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_EQ(audio[0].audio->codecName, "aac");
    EXPECT_EQ(audio[0].audio->channelCount, 1);
    EXPECT_EQ(audio[0].audio->sampleRate, 32000);
    EXPECT_FALSE(written.hasVideo());
    // Within one AAC frame (1024 samples at 32 kHz) of the source.
    EXPECT_NEAR(written.duration().seconds(), source.duration().seconds(), 1024.0 / 32000);
    double kbits = std::filesystem::file_size(output) * 8 / written.duration().seconds() / 1000;
    EXPECT_GT(kbits, 48);
    EXPECT_LT(kbits, 80);

    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
}

TEST(UploadEncoder, MixingDoesNotClipWhereTheSourcesDoNot)
{
    // Both channels carry the same sine at 0.9 of full scale: a mix that boosted each channel
    // by 0.707 would reach 1.27 and clip.
    Asset source = inspected(testMedia("tone.wav"));
    std::string output = test::scratchFolder() + "/upload.m4a";
    ASSERT_FALSE(UploadEncoder(source, equalMix(source), output).run());

    Asset written = inspected(output);
    auto reader = AudioReader::forTrack(written, written.tracks().at(0).trackID, {PcmFormat::Float32, 0});
    ASSERT_TRUE(reader);
    // The encoder overshoots while the tone starts from nothing; the first AAC frame is left out.
    std::vector<float> samples;
    while (auto buffer = reader.value()->copyNextSampleBuffer())
        samples.insert(samples.end(), buffer->float32.begin(), buffer->float32.end());
    ASSERT_GT(samples.size(), 2048u);
    float peak = 0;
    for (std::size_t i = 1024; i < samples.size(); ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    EXPECT_GT(peak, 0.8f);
    EXPECT_LT(peak, 0.97f);
}

TEST(UploadEncoder, CancelDeletesThePartialFile)
{
    Asset source = inspected(testMedia("tone.wav"));
    std::string output = test::scratchFolder() + "/upload.m4a";
    UploadEncoder encoder(source, equalMix(source), output);
    bool sawFile = false;
    auto error = encoder.run([&](double) {
        sawFile = sawFile || std::filesystem::exists(output);
        encoder.cancel();
    });
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->is(MediaErrorCode::Cancelled));
    EXPECT_TRUE(sawFile);
    EXPECT_FALSE(std::filesystem::exists(output));

    // Cancelled before it starts: nothing is written at all.
    UploadEncoder early(source, equalMix(source), output);
    early.cancel();
    ASSERT_TRUE(early.run());
    EXPECT_FALSE(std::filesystem::exists(output));
}

TEST(UploadEncoder, UnreadableInputOrOutputIsAClearError)
{
    std::string folder = test::scratchFolder();
    std::string copy = folder + "/source.wav";
    std::filesystem::copy_file(testMedia("levels.wav"), copy);
    Asset source = inspected(copy);
    AudioMix mix = equalMix(source);

    std::filesystem::resize_file(copy, 0);
    auto unreadable = UploadEncoder(source, mix, folder + "/a.m4a").run();
    ASSERT_TRUE(unreadable);
    EXPECT_TRUE(unreadable->is(MediaErrorCode::CannotOpen));
    EXPECT_NE(unreadable->description.find("source.wav"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder + "/a.m4a"));

    Asset good = inspected(testMedia("levels.wav"));
    auto unwritable = UploadEncoder(good, equalMix(good), folder + "/missing-folder/b.m4a").run();
    ASSERT_TRUE(unwritable);
    EXPECT_TRUE(unwritable->is(MediaErrorCode::WriteFailed));
    EXPECT_NE(unwritable->description.find("b.m4a"), std::string::npos);

    auto silent = UploadEncoder(good, AudioMix{}, folder + "/c.m4a").run();
    ASSERT_TRUE(silent);
    EXPECT_TRUE(silent->is(MediaErrorCode::NoAudioTrack));
}

}  // namespace
}  // namespace qv
