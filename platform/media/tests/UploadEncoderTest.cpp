#include "platform/media/UploadEncoder.h"

#include "platform/media/AudioReader.h"

#include "TestMedia.h"

#include "platform/foundation/FileUtilities.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

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

// A composition converts like an asset: its gap is silence, its segment the mix of the source.
TEST(UploadEncoder, ConvertsACompositionWithItsGaps)
{
    Asset levels = inspected(testMedia("levels.wav"));
    Composition composition = test::compositionOf(
        "levels.wav", MediaType::Audio, {{{MediaTime(0, 1000), MediaTime(1000, 1000)}, MediaTime(1000, 1000)}});
    AudioMix mix = equalMix(levels);
    mix.inputParameters[0].trackID = composition.tracks().front().trackID();
    std::string output = test::scratchFolder() + "/composed.m4a";
    auto error = UploadEncoder(composition, mix, output).run();
    ASSERT_FALSE(error) << error->description << " " << error->failureReason;

    Asset written = inspected(output);
    EXPECT_NEAR(written.duration().seconds(), 2.0, 1024.0 / 32000);
    auto reader = AudioReader::forTrack(written, written.tracksWithMediaType(MediaType::Audio).at(0).trackID,
                                        {PcmFormat::Float32, 0});
    ASSERT_TRUE(reader);
    std::vector<float> samples;
    while (auto buffer = reader.value()->copyNextSampleBuffer())
        samples.insert(samples.end(), buffer->float32.begin(), buffer->float32.end());
    ASSERT_GE(samples.size(), 60000u);
    auto meanLevel = [&](double from, double to) {
        double sum = 0;
        for (auto i = static_cast<std::size_t>(from * 32000); i < static_cast<std::size_t>(to * 32000); ++i)
            sum += samples[i];
        return sum / ((to - from) * 32000);
    };
    EXPECT_NEAR(meanLevel(0.1, 0.9), 0.0, 0.005);
    EXPECT_NEAR(meanLevel(1.1, 1.8), 0.125, 0.01);  // (0.5 - 0.25) / 2
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

// The names in `folder`, to show that a run leaves nothing of its own behind.
std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(UploadEncoder, CancelOrFailureLeavesWhatWasAtTheOutputPath)
{
    Asset source = inspected(testMedia("tone.wav"));
    std::string folder = test::scratchFolder();
    std::string output = folder + "/upload.m4a";
    const std::vector<std::uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    test::writeScratchFile("upload.m4a", earlier);

    // Part-way through, the output path still holds what it held: a run killed there leaves
    // no half-written file under the final name.
    UploadEncoder encoder(source, equalMix(source), output);
    bool earlierKept = true;
    auto error = encoder.run([&](double) {
        earlierKept = earlierKept && test::readFile(output) == earlier;
        encoder.cancel();
    });
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->is(MediaErrorCode::Cancelled));
    EXPECT_TRUE(earlierKept);
    EXPECT_EQ(test::readFile(output), earlier);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"upload.m4a"});

    // A source that ends early fails the conversion the same way.
    auto bytes = test::readFile(testMedia("long.mp3"));
    bytes.resize(bytes.size() * 9 / 10);
    Asset cut = inspected(test::writeScratchFile("cut.mp3", bytes));
    auto failed = UploadEncoder(cut, equalMix(cut), output).run();
    ASSERT_TRUE(failed);
    EXPECT_TRUE(failed->is(MediaErrorCode::ReadFailed));
    EXPECT_EQ(test::readFile(output), earlier);
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"cut.mp3", "upload.m4a"}));

    // Cancelled before it starts: nothing is read or written at all.
    UploadEncoder early(source, equalMix(source), output);
    early.cancel();
    ASSERT_TRUE(early.run());
    EXPECT_EQ(test::readFile(output), earlier);

    // Completed: the new file takes the place of the old one.
    ASSERT_FALSE(UploadEncoder(source, equalMix(source), output).run());
    EXPECT_NEAR(inspected(output).duration().seconds(), 3.0, 0.05);
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"cut.mp3", "upload.m4a"}));
}

TEST(UploadEncoder, TheNextConversionRemovesWhatAKilledOneLeft)
{
    Asset source = inspected(testMedia("tone.wav"));
    std::string folder = test::scratchFolder();
    std::string output = folder + "/upload.m4a";

    // A conversion killed part-way, in a process of its own.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        UploadEncoder(source, equalMix(source), output).run([](double) { ::_exit(0); });
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::vector<std::string> left = namesIn(folder);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left[0].starts_with("upload.m4a.tmp-")) << left[0];

    // One being written right now, and files of other names, stay.
    TemporaryFile live = createTemporaryBeside(output);
    ASSERT_GE(live.fd, 0) << live.error;
    test::writeScratchFile("upload.m4a.tmp-notes.txt", {'n'});
    test::writeScratchFile("other.m4a.tmp-Ab12Cd", {'o'});

    ASSERT_FALSE(UploadEncoder(source, equalMix(source), output).run());
    std::vector<std::string> kept{"other.m4a.tmp-Ab12Cd", "upload.m4a", live.path.filename().string(),
                                  "upload.m4a.tmp-notes.txt"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(namesIn(folder), kept);
    ::close(live.fd);
}

TEST(UploadEncoder, RefusesAnOutputPathThatIsAFolderOrTheSource)
{
    std::string folder = test::scratchFolder();
    std::string source = test::writeScratchFile("x.wav", test::readFile(testMedia("levels.wav")));
    const auto sourceBytes = test::readFile(source);
    std::filesystem::create_directory(folder + "/Uploads");
    test::writeScratchFile("Uploads/kept.txt", {'k'});
    std::filesystem::create_symlink(source, folder + "/link.wav");
    Asset asset = inspected(source);

    struct Case {
        std::string output;
        const char* named;
    };
    const Case cases[] = {
        {folder + "/Uploads", "Uploads"},
        {source, "x.wav"},
        {folder + "/./x.wav", "x.wav"},
        {folder + "/link.wav", "x.wav"},
    };
    for (const auto& c : cases) {
        auto error = UploadEncoder(asset, equalMix(asset), c.output).run();
        ASSERT_TRUE(error) << c.output;
        EXPECT_TRUE(error->is(MediaErrorCode::InvalidArgument)) << error->description;
        EXPECT_NE(error->description.find(c.named), std::string::npos) << error->description;
    }
    EXPECT_EQ(test::readFile(source), sourceBytes);
    EXPECT_EQ(test::readFile(folder + "/Uploads/kept.txt"), std::vector<std::uint8_t>{'k'});
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"Uploads", "link.wav", "x.wav"}));
}

TEST(UploadEncoder, OutputNameThatLooksLikeAUrlIsALocalFile)
{
    // As a URL this name would send the file to standard output.
    Asset source = inspected(testMedia("levels.wav"));
    std::string folder = test::scratchFolder();
    test::InFolder inside(folder);
    ASSERT_FALSE(UploadEncoder(source, equalMix(source), "pipe:1").run());
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"pipe:1"});
    EXPECT_NEAR(inspected(folder + "/pipe:1").duration().seconds(), 1.0, 0.05);
}

TEST(UploadEncoder, RangeWithAStartAndNoEndRunsToTheEndOfTheAsset)
{
    Asset source = inspected(testMedia("tone.wav"));
    std::string output = test::scratchFolder() + "/tail.m4a";
    MediaTimeRange tail{MediaTime(2500, 1000), MediaTime::positiveInfinity()};
    std::vector<double> progress;
    ASSERT_FALSE(UploadEncoder(source, equalMix(source), output, tail).run([&](double f) { progress.push_back(f); }));
    ASSERT_FALSE(progress.empty());
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
    EXPECT_NEAR(inspected(output).duration().seconds(), 0.5, 1024.0 / 32000);
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

    // A rate of 2^31 - 1 frames a second: the resampler cannot be made for it, and that is the
    // file's damage, not the machine running short of memory.
    Asset absurd = inspected(test::patchedCopy("rate.wav", "sine2.wav", "fmt ", 12, 0x7FFFFFFF, 4, test::Endian::Little));
    auto damaged = UploadEncoder(absurd, equalMix(absurd), folder + "/d.m4a").run();
    ASSERT_TRUE(damaged);
    EXPECT_NE(damaged->description.find("rate.wav"), std::string::npos) << damaged->description;
    EXPECT_EQ(damaged->failureReason, "The file is damaged or in a format that cannot be decoded.");
    EXPECT_FALSE(std::filesystem::exists(folder + "/d.m4a"));
}

}  // namespace
}  // namespace qv
