#include "platform/media/AudioReader.h"
#include "platform/media/AudioTempo.h"
#include "platform/media/Player.h"
#include "platform/media/SilentAudioOutput.h"

#include "TestMedia.h"

#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/tests/UnreadableFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace qv {
namespace {

using test::inspected;
using test::testMedia;

MediaTime ms(std::int64_t milliseconds) { return MediaTime(milliseconds, 1000); }

// A player on a fake clock, whose silent output remembers the left channel of what it played.
struct PlayerRig {
    ManualDispatcher main;
    SilentAudioOutput* output = nullptr;
    std::unique_ptr<Player> player;
    std::vector<float> heard;
    int ends = 0;

    PlayerRig()
    {
        auto silent = std::make_unique<SilentAudioOutput>(main);
        output = silent.get();
        output->setListener([this](const float* frames, int count, int channels) {
            for (int f = 0; f < count; ++f)
                heard.push_back(frames[f * channels]);
        });
        player = std::make_unique<Player>(main, std::move(silent));
        player->setEndObserver([this] { ++ends; });
    }

    bool open(PlayerItem item)
    {
        player->replaceCurrentItem(std::move(item));
        return main.runUntil([&] { return player->status() != Player::Status::Unknown; })
            && player->status() == Player::Status::ReadyToPlay;
    }
    bool seek(MediaTime time)
    {
        std::optional<bool> finished;
        player->seek(time, ms(0), ms(0), [&](bool done) { finished = done; });
        return main.runUntil([&] { return finished.has_value(); }) && *finished;
    }
    double seconds() { return player->currentTime().seconds(); }
    // Plays 10 ms and checks that what was heard is sawtooth.wav's from `sample` on.
    void expectSawtoothFrom(std::int64_t sample)
    {
        heard.clear();
        play();
        main.advance(0.01);
        player->pause();
        ASSERT_GE(heard.size(), 100u);
        for (std::size_t i = 0; i < 100; ++i)
            ASSERT_NEAR(heard[i], static_cast<float>((sample + static_cast<std::int64_t>(i)) % 1000) / 1000, 1e-4f)
                << "from " << sample << ", sample " << i;
    }
    // Plays at `rate` once the audio is there to be heard.
    void play(double rate = 1.0)
    {
        player->setRate(rate);
        ASSERT_TRUE(main.runUntil([&] { return output->isStarted(); }));
    }
};

TEST(Player, TimeFollowsTheAudioClockWhilePlayingAndRestsWhilePaused)
{
    PlayerRig rig;
    ASSERT_TRUE(rig.open(PlayerItem(inspected(testMedia("tone.wav")))));
    EXPECT_EQ(rig.seconds(), 0.0);
    int ticks = 0;
    std::vector<double> seen;
    auto token = rig.player->addPeriodicTimeObserver(1.0 / 50, [&](const MediaTime& t) {
        ++ticks;
        seen.push_back(t.seconds());
    });
    rig.play();
    EXPECT_EQ(rig.player->rate(), 1.0);
    rig.main.advance(1.0);
    EXPECT_NEAR(rig.seconds(), 1.0, 1e-3);
    EXPECT_GE(ticks, 50);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

    rig.player->pause();
    rig.main.drain();
    double pausedAt = rig.seconds();
    int ticksAtPause = ticks;
    rig.main.advance(1.0);
    EXPECT_EQ(rig.seconds(), pausedAt);
    EXPECT_EQ(ticks, ticksAtPause);

    rig.player->removeTimeObserver(token);
    rig.play();
    rig.main.advance(0.5);
    EXPECT_EQ(ticks, ticksAtPause);
    EXPECT_NEAR(rig.seconds(), pausedAt + 0.5, 1e-3);
}

TEST(Player, AnExactSeekLandsOnTheAskedSample)
{
    PlayerRig rig;
    ASSERT_TRUE(rig.open(PlayerItem(inspected(testMedia("sawtooth.wav")))));
    for (std::int64_t sample : {59256, 1, 143999 - 2000}) {
        ASSERT_TRUE(rig.seek(MediaTime(sample, 48000)));
        EXPECT_EQ(rig.player->currentTime(), MediaTime(sample, 48000));
        rig.expectSawtoothFrom(sample);
    }
}

TEST(Player, AnMp3PlaysItsWholeLengthFromTheStart)
{
    // An MP3's audio track starts a few ticks of its clock before the asset's zero (the
    // encoder's delay, rounded): it is the file's normal state, and the track plays from zero.
    for (const char* name : {"sine2.mp3", "sine2-48k.mp3"}) {
        Asset asset = inspected(testMedia(name));
        Composition composition = Composition::fromAsset(asset);
        auto audio = composition.tracksWithMediaType(MediaType::Audio);
        ASSERT_EQ(audio.size(), 1u) << name;
        EXPECT_NEAR(audio[0]->duration().seconds(), asset.duration().seconds(), 1e-3) << name;

        PlayerRig rig;
        ASSERT_TRUE(rig.open(PlayerItem(asset))) << name;
        EXPECT_NEAR(rig.player->currentItem()->duration().seconds(), 2.0, 0.05) << name;
        rig.play();
        rig.main.advance(1.5);
        EXPECT_EQ(rig.ends, 0) << name;
        EXPECT_NEAR(rig.seconds(), 1.5, 1e-3) << name;
        ASSERT_GE(rig.heard.size(), 48000u) << name;
        float peak = 0;
        for (std::size_t i = 0; i < 4800; ++i)
            peak = std::max(peak, std::fabs(rig.heard[i]));
        EXPECT_GT(peak, 0.05f) << name;
    }
}

TEST(Player, ARawAacStreamAtAVariableRatePlaysToTheEndOfItsSound)
{
    // Five seconds and the encoder's first frame; the bit rate makes it 4.86 s.
    Asset asset = inspected(testMedia("vbr5.aac"));
    constexpr double kFrame = 1024.0 / 48000;
    EXPECT_NEAR(asset.duration().seconds(), 5.0 + kFrame, 1.5 * kFrame);

    PlayerRig rig;
    ASSERT_TRUE(rig.open(PlayerItem(asset)));
    ASSERT_TRUE(rig.seek(ms(4950)));
    EXPECT_NEAR(rig.seconds(), 4.95, 1e-3);
    rig.play();
    rig.main.advance(0.05);
    EXPECT_EQ(rig.ends, 0);
    float peak = 0;
    for (float sample : rig.heard)
        peak = std::max(peak, std::fabs(sample));
    EXPECT_GT(peak, 0.01f);
}

TEST(Player, SeeksReadOnFromTheFileAlreadyOpen)
{
    // Reopening the file for every seek costs most of what a seek takes. Kept open, the file
    // is read on even once it could no longer be opened.
    std::string path = test::writeScratchFile("sawtooth.wav", test::readFile(testMedia("sawtooth.wav")));
    PlayerRig rig;
    ASSERT_TRUE(rig.open(PlayerItem(inspected(path))));
    ASSERT_TRUE(rig.seek(ms(1000)));
    test::UnreadableFile unreadable(path);
    for (std::int64_t sample : {96123, 12345}) {
        ASSERT_TRUE(rig.seek(MediaTime(sample, 48000))) << sample;
        rig.expectSawtoothFrom(sample);
    }
}

TEST(Player, ASeekAfterTheFileWasReplacedPlaysTheNewFile)
{
    // The reader the player keeps open across seeks reads the file put in the place of the one
    // it opened, never the one it had open.
    struct Case {
        const char* original;
        const char* replacement;
    };
    for (const Case& c : {Case{"sawtooth.wav", "sine2.wav"}, Case{"sine2.mp4", "high3.mp4"}}) {
        std::string path = test::scratchFolder() + "/media" + std::filesystem::path(c.original).extension().string();
        test::replaceFile(testMedia(c.original), path);
        PlayerRig rig;
        ASSERT_TRUE(rig.open(PlayerItem(inspected(path)))) << c.original;
        ASSERT_TRUE(rig.seek(ms(1000))) << c.original;

        test::replaceFile(testMedia(c.replacement), path);
        Asset replacement = inspected(path);
        auto fresh = AudioReader::forTrack(replacement, replacement.tracksWithMediaType(MediaType::Audio).at(0).trackID,
                                           {PcmFormat::Float32, 48000}, {ms(500), ms(100)});
        ASSERT_TRUE(fresh) << c.replacement;
        std::vector<float> expected;
        while (auto buffer = fresh.value()->copyNextSampleBuffer())
            expected.insert(expected.end(), buffer->float32.begin(), buffer->float32.end());
        ASSERT_EQ(expected.size(), 4800u) << c.replacement;

        ASSERT_TRUE(rig.seek(ms(500))) << c.replacement;
        rig.heard.clear();
        rig.play();
        rig.main.advance(0.05);
        rig.player->pause();
        EXPECT_EQ(rig.player->status(), Player::Status::ReadyToPlay) << c.replacement;
        ASSERT_GE(rig.heard.size(), 1000u) << c.replacement;
        for (std::size_t i = 0; i < 1000; ++i)
            ASSERT_NEAR(rig.heard[i], expected[i], 1e-4f) << c.replacement << ", sample " << i;
    }
}

TEST(Player, ALaterSeekOvertakesAnEarlierOneAndASeekPastTheEndStopsThere)
{
    PlayerRig rig;
    ASSERT_TRUE(rig.open(PlayerItem(inspected(testMedia("tone.wav")))));
    std::vector<std::pair<int, bool>> completions;
    rig.player->seek(ms(1000), [&](bool done) { completions.emplace_back(1, done); });
    rig.player->seek(ms(2000), [&](bool done) { completions.emplace_back(2, done); });
    ASSERT_TRUE(rig.main.runUntil([&] { return completions.size() == 2; }));
    std::sort(completions.begin(), completions.end());
    EXPECT_EQ(completions, (std::vector<std::pair<int, bool>>{{1, false}, {2, true}}));
    EXPECT_EQ(rig.seconds(), 2.0);

    ASSERT_TRUE(rig.seek(ms(60000)));
    EXPECT_EQ(rig.seconds(), 3.0);
    rig.play();
    rig.main.advance(0.1);
    EXPECT_EQ(rig.ends, 1);
    EXPECT_EQ(rig.player->rate(), 0.0);
    EXPECT_EQ(rig.seconds(), 3.0);
}

// With no sound to decode the player still becomes ready, its time follows the output's clock
// (which plays silence), seeks land, and it ends at the end of the picture.
TEST(Player, APictureWithoutSoundPlaysOnTheClockAndEnds)
{
    PlayerRig rig;
    const Composition picture = Composition::placeholder(testMedia("video.mov"), ms(3000));
    ASSERT_TRUE(picture.tracksWithMediaType(MediaType::Audio).empty());
    ASSERT_TRUE(rig.open(PlayerItem(Asset::fromComposition(picture))));
    EXPECT_EQ(rig.player->currentItem()->duration(), ms(3000));
    rig.play();
    rig.main.advance(1.0);
    EXPECT_NEAR(rig.seconds(), 1.0, 1e-3);
    ASSERT_FALSE(rig.heard.empty());
    EXPECT_TRUE(std::all_of(rig.heard.begin(), rig.heard.end(), [](float sample) { return sample == 0.0f; }));
    EXPECT_TRUE(rig.main.runUntil([&] { return rig.player->videoSurface()->frameAt(rig.seconds()) != nullptr; }));

    EXPECT_TRUE(rig.seek(ms(2500)));
    EXPECT_EQ(rig.seconds(), 2.5);
    rig.main.advance(1.0);
    EXPECT_EQ(rig.ends, 1);
    EXPECT_EQ(rig.player->rate(), 0.0);
    EXPECT_EQ(rig.seconds(), 3.0);
}

// A mix made for the media the picture stands in for names tracks the picture does not have:
// the player plays silence instead of failing.
TEST(Player, AMixOfTracksThePictureLacksIsSilence)
{
    PlayerRig rig;
    PlayerItem item(Asset::fromComposition(Composition::placeholder(testMedia("video.mov"), ms(3000))));
    AudioMix mix;
    mix.inputParameters.push_back({2, {}, 0.5f, 1.0f});
    item.setAudioMix(std::make_shared<AudioMixStage>(mix));
    ASSERT_TRUE(rig.open(std::move(item)));
    rig.play();
    rig.main.advance(0.5);
    EXPECT_NEAR(rig.seconds(), 0.5, 1e-3);
    EXPECT_EQ(rig.player->status(), Player::Status::ReadyToPlay);
}

// Ten seconds of media (a tone, a gap, a tone) end after five seconds at rate 2 and after
// 6.67 seconds at 1.5.
TEST(Player, FasterRatesKeepTheDurationArithmetic)
{
    Composition tenSeconds = test::compositionOf("tone.wav", MediaType::Audio,
                                                 {{{ms(0), ms(3000)}, ms(0)}, {{ms(0), ms(1000)}, ms(9000)}});

    for (auto [rate, playSeconds] : {std::pair{2.0, 5.0}, std::pair{1.5, 10.0 / 1.5}}) {
        PlayerRig rig;
        ASSERT_TRUE(rig.open(PlayerItem(tenSeconds)));
        rig.play(rate);
        rig.main.advance(playSeconds - 0.1);
        EXPECT_EQ(rig.ends, 0) << rate;
        EXPECT_NEAR(rig.seconds(), 10.0 - 0.1 * rate, 1e-3) << rate;
        rig.main.advance(0.2);
        EXPECT_EQ(rig.ends, 1) << rate;
        EXPECT_EQ(rig.seconds(), 10.0) << rate;
        EXPECT_EQ(rig.player->rate(), 0.0) << rate;
    }
}

// The stretcher gives n / r frames for n, at the same pitch: a 440 Hz tone stays 440 Hz.
TEST(AudioTempo, ShortensByTheRateAndKeepsThePitch)
{
    const int rate = 48000;
    std::vector<float> tone(static_cast<std::size_t>(rate) * 10 * 2);
    for (std::size_t f = 0; f < tone.size() / 2; ++f)
        tone[f * 2] = tone[f * 2 + 1] = static_cast<float>(0.5 * std::sin(2 * M_PI * 440 * static_cast<double>(f) / rate));
    for (double speed : {1.5, 2.0}) {
        auto tempo = AudioTempo::make(speed, rate, 2);
        ASSERT_TRUE(tempo) << tempo.error().description;
        std::vector<float> out;
        for (std::size_t at = 0; at < tone.size(); at += 4096 * 2) {
            int frames = static_cast<int>(std::min<std::size_t>(4096, (tone.size() - at) / 2));
            ASSERT_FALSE(tempo.value()->process(tone.data() + at, frames, out));
        }
        ASSERT_FALSE(tempo.value()->flush(out));
        double seconds = static_cast<double>(out.size() / 2) / rate;
        EXPECT_NEAR(seconds, 10.0 / speed, 0.05) << speed;
        // Rising zero crossings of the left channel over the middle of the result.
        int crossings = 0;
        std::size_t from = out.size() / 4 / 2;
        std::size_t to = from + rate;
        for (std::size_t f = from + 1; f < to; ++f)
            if (out[(f - 1) * 2] < 0 && out[f * 2] >= 0)
                ++crossings;
        EXPECT_NEAR(crossings, 440, 3) << speed;
    }
    EXPECT_FALSE(AudioTempo::make(0.0, rate, 2));
}

TEST(Player, AFileCutShortOrGoneFailsWithAnErrorNamingIt)
{
    std::string cut = test::scratchFolder() + "/cut short.wav";
    std::filesystem::copy_file(testMedia("tone.wav"), cut);
    Asset cutAsset = inspected(cut);
    std::filesystem::resize_file(cut, 44 + 48000 * 4 / 5);

    PlayerRig rig;
    rig.player->replaceCurrentItem(PlayerItem(cutAsset));
    rig.player->play();
    ASSERT_TRUE(rig.main.runUntil([&] { return rig.player->status() == Player::Status::Failed; }));
    ASSERT_TRUE(rig.player->error());
    EXPECT_NE(rig.player->error()->description.find("cut short.wav"), std::string::npos);
    EXPECT_EQ(rig.player->rate(), 0.0);

    std::string gone = test::scratchFolder() + "/gone.wav";
    std::filesystem::copy_file(testMedia("tone.wav"), gone);
    PlayerRig second;
    ASSERT_TRUE(second.open(PlayerItem(inspected(gone))));
    second.play();
    second.main.advance(0.1);
    std::filesystem::remove(gone);
    std::optional<bool> finished;
    second.player->seek(ms(2000), [&](bool done) { finished = done; });
    ASSERT_TRUE(second.main.runUntil([&] { return finished.has_value(); }));
    EXPECT_FALSE(*finished);
    EXPECT_EQ(second.player->status(), Player::Status::Failed);
    EXPECT_NE(second.player->error()->description.find("gone.wav"), std::string::npos);
}

}  // namespace
}  // namespace qv
