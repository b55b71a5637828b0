// The mix of the enabled channels: gains, re-levelling, and what the media layer plays with it.
#include "intake/audio/QVAudioMix.h"
#include "intake/audio/tests/AudioModel.h"

#include "platform/media/AudioReader.h"
#include "platform/media/tests/TestMedia.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qv::test {
namespace {

void enableOnly(const QVMediaFile& file, const std::vector<int>& enabled)
{
    const auto& channels = file.audioTracks.front()->audioChannels;
    for (std::size_t c = 0; c < channels.size(); ++c)
        channels[c]->enabled = std::find(enabled.begin(), enabled.end(), static_cast<int>(c)) != enabled.end();
}

TEST(AudioMix, InputGainsAreOneOverTheEnabledCountAndZeroForTheRest)
{
    struct Case {
        int channels;
        std::vector<int> enabled;
        std::vector<float> gains;
        float beyond;  // channels the track has past its listed ones
    };
    const Case cases[] = {
        {4, {2}, {0, 0, 1, 0}, 1},
        {2, {0, 1}, {0.5f, 0.5f}, 0.5f},
        {4, {0, 1, 2, 3}, {0.25f, 0.25f, 0.25f, 0.25f}, 0.25f},
        // Nothing enabled is silence, never an unbounded gain.
        {3, {}, {0, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        auto file = mediaFileWith({c.channels});
        enableOnly(*file, c.enabled);
        const std::shared_ptr<QVAudioMix> mix = createAudioMixForMediaFiles({file});
        ASSERT_EQ(mix->audioMix().inputParameters.size(), 1u);
        const AudioMixInputParameters parameters = mix->audioMix().inputParameters.front();
        EXPECT_EQ(parameters.channelGains, c.gains) << c.channels;
        EXPECT_EQ(parameters.defaultChannelGain, c.beyond) << c.channels;
        EXPECT_EQ(parameters.outputGain, 0.5f);
        EXPECT_TRUE(std::isfinite(QVAudioTapMixer::fullChannelVolumeFromChannelData(file->audioTracks.front()->audioChannels)));
    }
}

TEST(AudioMix, EveryTrackOfOnlineFilesGetsAMixerAndOfflineFilesNone)
{
    auto online = mediaFileWith({2, 1});
    auto offline = mediaFileWith({2}, false);
    const auto mix = createAudioMixForMediaFiles({offline, online});
    ASSERT_EQ(mix->mixers().size(), 2u);
    EXPECT_EQ(online->audioTracks[0]->audioTapMixer, mix->mixers()[0]);
    EXPECT_EQ(online->audioTracks[1]->audioTapMixer, mix->mixers()[1]);
    EXPECT_EQ(offline->audioTracks[0]->audioTapMixer, nullptr);
    // A new mix replaces the tracks' mixers.
    const auto again = createAudioMixForMediaFiles({online});
    EXPECT_EQ(online->audioTracks[0]->audioTapMixer, again->mixers()[0]);
}

TEST(AudioMix, ReLevellingRaisesTheEnabledChannelsAndLeavesTheDisabledSilent)
{
    auto file = mediaFileWith({4});
    enableOnly(*file, {0, 1});
    const auto mix = createAudioMixForMediaFiles({file});
    const auto& channels = file->audioTracks.front()->audioChannels;
    QVAudioTapMixer& mixer = *file->audioTracks.front()->audioTapMixer;

    // Before the mix plays there is no stage: nothing to re-level, nothing fails.
    channels[2]->enabled = true;
    mixer.updateInputChannel(2, true);
    channels[2]->enabled = false;

    const std::shared_ptr<AudioMixStage> stage = mix->stage();
    EXPECT_FLOAT_EQ(stage->channelGain(1, 0), 0.5f);
    channels[2]->enabled = true;
    mixer.updateInputChannel(2, true);
    for (int c : {0, 1, 2})
        EXPECT_FLOAT_EQ(stage->channelGain(1, c), 1.0f / 3) << c;
    EXPECT_EQ(stage->channelGain(1, 3), 0.0f);
    for (int c : {0, 1, 2}) {
        channels[c]->enabled = false;
        mixer.updateInputChannel(c, false);
    }
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(stage->channelGain(1, c), 0.0f) << c;
}

// Channel c of frame n of the fixture.
std::int16_t sampleOf(int c, int n) { return static_cast<std::int16_t>((c + 1) * 1000 + (n % 100) * 37 - 1800); }

TEST(AudioMix, SixChannelFileWithChannelsOneAndFourHeardGivesTheirHalfSumAtHalfLevel)
{
    constexpr int kChannels = 6;
    constexpr int kFrames = 4800;
    std::vector<std::int16_t> samples;
    for (int n = 0; n < kFrames; ++n)
        for (int c = 0; c < kChannels; ++c)
            samples.push_back(sampleOf(c, n));
    const std::string path = writeScratchFile("six.wav", riffWave({{"fmt ", fmtChunk(kChannels, 48000)}, {"data", pcmData(samples)}}));
    const Asset asset = inspected(path);
    ASSERT_EQ(asset.tracks().front().audio->channelCount, kChannels);

    auto file = mediaFileWith({kChannels});
    file->audioTracks.front()->assetTrack = asset.tracks().front();
    enableOnly(*file, {0, 3});
    const auto mix = createAudioMixForMediaFiles({file});
    auto reader = AudioReader::forMix(asset, mix->audioMix(), 2);
    ASSERT_TRUE(reader) << reader.error().description;
    int n = 0;
    while (auto buffer = reader.value()->copyNextSampleBuffer()) {
        ASSERT_EQ(buffer->channelCount, 2);
        for (int i = 0; i < buffer->frameCount; ++i, ++n) {
            const double expected = (sampleOf(0, n) + sampleOf(3, n)) / 2.0 * 0.5;
            ASSERT_NEAR(buffer->int16[2 * i], expected, 1.0) << n;
            ASSERT_NEAR(buffer->int16[2 * i + 1], expected, 1.0) << n;
        }
    }
    EXPECT_EQ(n, kFrames);
}

TEST(AudioMix, SwitchingAChannelWhilePlayingGlidesWithoutAStepLargerThanTheSignals)
{
    auto file = mediaFileWith({2});
    const auto mix = createAudioMixForMediaFiles({file});
    const std::shared_ptr<AudioMixStage> stage = mix->stage();
    constexpr int kFrames = 512;
    const double step = 2 * M_PI * 440 / 48000;
    std::vector<float> out;
    double largestInputStep = 0;
    float previousInput = 0;
    for (int buffer = 0; buffer < 8; ++buffer) {
        // The second channel is switched off, then on again, between buffers.
        if (buffer == 3 || buffer == 5) {
            const bool enabled = buffer == 5;
            file->audioTracks.front()->audioChannels[1]->enabled = enabled;
            file->audioTracks.front()->audioTapMixer->updateInputChannel(1, enabled);
        }
        std::vector<float> in(2 * kFrames);
        for (int i = 0; i < kFrames; ++i) {
            const float value = 0.9f * static_cast<float>(std::sin(step * (buffer * kFrames + i)));
            in[2 * i] = value;
            in[2 * i + 1] = 0.0f;
            largestInputStep = std::max(largestInputStep, static_cast<double>(std::abs(value - previousInput)));
            previousInput = value;
        }
        std::vector<float> mixed(2 * kFrames, 0.0f);
        stage->mixTrack(1, in.data(), 2, kFrames, mixed.data(), 2);
        out.insert(out.end(), mixed.begin(), mixed.end());
    }
    // The sine's level goes from 0.25 to 0.5 and back as the silent channel leaves and rejoins
    // the mix. At 0.5 the sine moves by at most half its own step; a switch that jumped would
    // move it by up to a quarter of its amplitude at once.
    for (std::size_t i = 2; i < out.size(); i += 2)
        ASSERT_LE(std::abs(out[i] - out[i - 2]), largestInputStep * 0.5 + 0.002) << i / 2;
    EXPECT_NEAR(*std::max_element(out.begin() + 2 * 4 * kFrames, out.begin() + 2 * 5 * kFrames), 0.45, 0.01);
}

}  // namespace
}  // namespace qv::test
