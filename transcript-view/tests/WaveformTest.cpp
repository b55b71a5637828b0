#include "transcript-view/QVGenerateWaveform.h"
#include "transcript-view/QVWaveformView.h"
#include "transcript-view/WaveformGenerationQueue.h"
#include "transcript-view/WaveformLevels.h"

#include "WaveformFixtures.h"

#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/media/tests/TestMedia.h"
#include "platform/ui/ScriptedPresenters.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <filesystem>

namespace qv {
namespace {

using test::inspected;
using test::mediaFileFor;
using test::testMedia;
using test::valuesOf;

std::vector<std::int16_t> constantFrames(std::int16_t left, std::int16_t right, int frames)
{
    std::vector<std::int16_t> samples;
    for (int f = 0; f < frames; ++f) {
        samples.push_back(left);
        samples.push_back(right);
    }
    return samples;
}

TEST(WaveformLevels, OneValuePerBucketOfRateOver50PlusOneFramesWhereverBuffersBreak)
{
    // A full-scale square wave on the left, a constant 3276 on the right.
    std::vector<std::int16_t> samples;
    for (int f = 0; f < 961 * 3 + 500; ++f) {
        samples.push_back(f % 2 ? 32767 : -32767);
        samples.push_back(3276);
    }
    WaveformLevels whole(2, 48000);
    whole.add(samples.data(), static_cast<std::int64_t>(samples.size() / 2));
    WaveformLevels pieces(2, 48000);
    for (std::size_t at = 0; at < samples.size(); at += 2 * 700) {
        std::size_t frames = std::min<std::size_t>(700, (samples.size() - at) / 2);
        pieces.add(samples.data() + at, static_cast<std::int64_t>(frames));
    }
    ASSERT_EQ(whole.values(0).size(), 3u);  // the partial fourth bucket gives nothing
    EXPECT_EQ(whole.values(0), pieces.values(0));
    EXPECT_EQ(whole.values(1), pieces.values(1));
    EXPECT_EQ(whole.values(0)[0], 0.0f);
    EXPECT_NEAR(whole.values(1)[0], -20.0f, 0.01f);
    EXPECT_EQ(whole.maximum(0), 0.0f);

    // Silence, and a level just under the floor, both give -50; the maximum stays -50.
    WaveformLevels quiet(2, 44100);
    auto silence = constantFrames(0, 1, 883 * 2);
    quiet.add(silence.data(), 883 * 2);
    EXPECT_EQ(quiet.values(0), (std::vector<float>{-50.0f, -50.0f}));
    EXPECT_EQ(quiet.values(1), (std::vector<float>{-50.0f, -50.0f}));
    EXPECT_EQ(quiet.maximum(0), -50.0f);
}

// A media file, its generation services and what they saw.
struct GenerationRig {
    ManualDispatcher main;
    QTemporaryDir folder;
    Preferences preferences{folder.path()};
    ScriptedAlertPresenter alerts;
    std::unique_ptr<QVWaveformManager> manager;
    int refreshes = 0;

    GenerationRig()
    {
        manager = std::make_unique<QVWaveformManager>(main, preferences, std::filesystem::path(folder.path().toStdString()) / "Waveforms");
    }
    QVGenerateWaveform::Services services()
    {
        return {&main, manager.get(), &alerts, [] { return true; }, [this] { ++refreshes; }};
    }
    void settle()
    {
        main.drain();
        manager->waitForWrites();
        main.advance(1.0);
    }
    bool cached(const QVMediaFile& file)
    {
        return std::filesystem::exists(manager->waveformCacheFolder()
                                       / manager->makeWaveformCacheFileNameForMediaFile(file)->toStdString());
    }
};

TEST(QVGenerateWaveform, MeasuresEachChannelRevealsItsViewAndCachesTheFile)
{
    test::ensureApplication();
    GenerationRig rig;
    auto file = mediaFileFor(inspected(testMedia("levels.wav")));
    auto& track = *file->audioTracks.at(0);
    QVWaveformView view(rig.main);
    track.audioChannels[0]->waveformView = &view;

    QVGenerateWaveform operation(rig.services(), file, 0, true);
    operation.main();
    EXPECT_TRUE(track.isGeneratingWaveform);  // the records change on the main thread only
    rig.main.drain();
    EXPECT_FALSE(track.isGeneratingWaveform);
    // 48 000 frames in buckets of 961: 49 values. Left 0.5 of full scale, right -0.25.
    for (auto [channel, level] : {std::pair{0, 0.5}, std::pair{1, 0.25}}) {
        const QVAudioChannel& c = *track.audioChannels[static_cast<std::size_t>(channel)];
        EXPECT_EQ(c.waveformSampleCount, 49);
        std::vector<float> values = valuesOf(c);
        ASSERT_EQ(values.size(), 49u);
        float expected = static_cast<float>(20 * std::log10(std::round(level * 32768) / 32767));
        EXPECT_NEAR(values.front(), expected, 1e-3f);
        EXPECT_NEAR(values.back(), expected, 1e-3f);
        EXPECT_EQ(c.waveformMax, *std::max_element(values.begin(), values.end()));
    }
    EXPECT_FALSE(view.isShowingWaveform());  // a pending file's reveal waits 0.3 s
    rig.settle();
    EXPECT_TRUE(view.isShowingWaveform());
    EXPECT_EQ(rig.refreshes, 1);
    EXPECT_TRUE(rig.cached(*file));
    EXPECT_TRUE(rig.alerts.shownAlerts().empty());
}

TEST(QVGenerateWaveform, LeavesTheLast50MsOfAnMp3Unread)
{
    GenerationRig rig;
    Asset mp3 = inspected(testMedia("sine10.mp3"));
    auto file = mediaFileFor(mp3);
    file->isMP3 = true;
    QVGenerateWaveform(rig.services(), file, 0, false).main();
    rig.main.drain();
    auto frames = std::llround((mp3.duration().seconds() - 0.05) * 44100);
    EXPECT_EQ(file->audioTracks[0]->audioChannels[0]->waveformSampleCount, frames / 883);

    file->isMP3 = false;
    QVGenerateWaveform(rig.services(), file, 0, false).main();
    rig.main.drain();
    EXPECT_GT(file->audioTracks[0]->audioChannels[0]->waveformSampleCount, frames / 883);
}

// A component's composition runs 2.5 s past its track: 125 values of -50 follow the measured ones.
TEST(QVGenerateWaveform, FillsTheTailOfAComponentTrackWithSilence)
{
    GenerationRig rig;
    Asset levels = inspected(testMedia("levels.wav"));
    auto levelsShared = std::make_shared<const Asset>(levels);
    auto tone = std::make_shared<const Asset>(inspected(testMedia("tone.wav")));
    auto composition = std::make_shared<Composition>();
    CompositionTrack& used = composition->addMutableTrack(MediaType::Audio);
    CompositionTrack& other = composition->addMutableTrack(MediaType::Audio);
    int levelsID = levels.tracksWithMediaType(MediaType::Audio).at(0).trackID;
    ASSERT_FALSE(used.insertTimeRange({MediaTime(0, 1000), MediaTime(1000, 1000)}, levelsShared, levelsID, MediaTime::zero()));
    ASSERT_FALSE(other.insertTimeRange({MediaTime(0, 1000), MediaTime(3000, 1000)}, tone,
                                       tone->tracksWithMediaType(MediaType::Audio).at(0).trackID, MediaTime(500, 1000)));

    auto file = mediaFileFor(levels);
    file->asset.reset();
    auto& track = *file->audioTracks[0];
    track.composition = composition;
    track.compositeAssetTrackID = used.trackID();
    QVGenerateWaveform(rig.services(), file, 0, false).main();
    rig.main.drain();
    std::vector<float> values = valuesOf(*track.audioChannels[0]);
    ASSERT_EQ(values.size(), 49u + 125u);
    EXPECT_NEAR(values[48], -6.02f, 0.01f);
    EXPECT_TRUE(std::all_of(values.begin() + 49, values.end(), [](float v) { return v == -50.0f; }));
    EXPECT_EQ(track.audioChannels[0]->waveformSampleCount, 174);
    EXPECT_EQ(composition->tracks().size(), 2u);  // the copy lost the other track, not the original
}

// A cache file cut short (a crash while another program wrote it, a full disk) is refused without
// touching the channels, and the generation it falls back to writes a whole one again.
TEST(QVGenerateWaveform, ACacheCutShortIsRefusedAndWrittenAgainWhole)
{
    test::ensureApplication();
    GenerationRig rig;
    const std::string path = testMedia("levels.wav");
    auto measured = [&] {
        auto file = mediaFileFor(inspected(path));
        file->modificationDate = QFileInfo(QString::fromStdString(path)).lastModified();
        return file;
    };
    auto first = measured();
    QVGenerateWaveform(rig.services(), first, 0, false).main();
    rig.settle();
    const std::filesystem::path cache =
        rig.manager->waveformCacheFolder() / rig.manager->makeWaveformCacheFileNameForMediaFile(*first)->toStdString();
    const std::string whole = *readFile(cache);
    ASSERT_EQ(replaceFile(cache, whole.substr(0, whole.size() * 2 / 3)), "");

    auto second = measured();
    second->audioTracks[0]->audioChannels[0]->waveformData = QByteArray("kept");
    EXPECT_FALSE(rig.manager->restoreWaveformsForMediaFile(*second));
    EXPECT_EQ(second->audioTracks[0]->audioChannels[0]->waveformData, QByteArray("kept"));
    QVGenerateWaveform(rig.services(), second, 0, false).main();
    rig.settle();
    EXPECT_EQ(readFile(cache), whole);

    auto third = measured();
    ASSERT_TRUE(rig.manager->restoreWaveformsForMediaFile(*third));
    EXPECT_EQ(third->audioTracks[0]->audioChannels[1]->waveformData, first->audioTracks[0]->audioChannels[1]->waveformData);
}

TEST(QVGenerateWaveform, EveryWayOutClearsTheBusyFlagAndOnlyACompletedOneCaches)
{
    test::ensureApplication();
    GenerationRig rig;
    std::string cutPath = test::scratchFolder() + "/cut.m4a";
    std::filesystem::copy_file(testMedia("tagged.m4a"), cutPath);
    Asset whole = inspected(cutPath);
    std::filesystem::resize_file(cutPath, std::filesystem::file_size(cutPath) / 2);

    auto cancelled = mediaFileFor(inspected(testMedia("levels.wav")));
    auto cut = mediaFileFor(whole);
    auto noFormat = mediaFileFor(inspected(testMedia("levels.wav")));
    noFormat->audioTracks[0]->assetTrack->audio->channelCount = 0;
    noFormat->audioTracks[0]->assetTrack->audio->sampleRate = 0;

    QVGenerateWaveform cancelledOperation(rig.services(), cancelled, 0, false);
    cancelledOperation.cancel();
    cancelledOperation.main();
    QVGenerateWaveform(rig.services(), cut, 0, false).main();
    QVGenerateWaveform(rig.services(), noFormat, 0, false).main();
    rig.settle();

    for (const auto& file : {cancelled, cut, noFormat}) {
        EXPECT_FALSE(file->audioTracks[0]->isGeneratingWaveform);
        EXPECT_FALSE(rig.cached(*file));
    }
    ASSERT_EQ(rig.alerts.shownAlerts().size(), 2u);
    const Alert& alert = rig.alerts.shownAlerts()[0];
    EXPECT_EQ(alert.messageText, "Error");
    EXPECT_EQ(alert.style, AlertStyle::Critical);
    EXPECT_TRUE(alert.informativeText.startsWith("Waveform generation failed for file:\ncut.m4a\n\n")) << alert.informativeText.toStdString();
    EXPECT_TRUE(rig.alerts.shownAlerts()[1].informativeText.contains("is not known"));
    // The cut file's values up to the cut stay; the file without a format got none.
    EXPECT_GT(cut->audioTracks[0]->audioChannels[0]->waveformData.size(), 0);
    EXPECT_EQ(noFormat->audioTracks[0]->audioChannels[0]->waveformMax, -100.0f);
}

TEST(WaveformGenerationQueue, RunsTracksSideBySideAndCancelsWhatIsLeft)
{
    GenerationRig rig;
    Asset video = inspected(testMedia("video.mov"));
    auto file = mediaFileFor(video);
    ASSERT_EQ(file->audioTracks.size(), 2u);
    {
        WaveformGenerationQueue queue;
        for (std::int64_t t = 0; t < 2; ++t)
            queue.addOperation(std::make_shared<QVGenerateWaveform>(rig.services(), file, t, false));
        queue.waitUntilAllOperationsAreFinished();
        EXPECT_EQ(queue.operationCount(), 0u);
    }
    rig.main.drain();
    EXPECT_EQ(file->audioTracks[0]->audioChannels.size(), 2u);
    EXPECT_GT(file->audioTracks[0]->audioChannels[1]->waveformSampleCount, 0);
    EXPECT_GT(file->audioTracks[1]->audioChannels[0]->waveformSampleCount, 0);
    rig.settle();
    EXPECT_TRUE(rig.cached(*file));  // written once both tracks had their values

    auto again = mediaFileFor(video);
    WaveformGenerationQueue one(1);
    for (std::int64_t t = 0; t < 2; ++t)
        one.addOperation(std::make_shared<QVGenerateWaveform>(rig.services(), again, t, false));
    one.cancelAllOperations();
    one.waitUntilAllOperationsAreFinished();
    rig.main.drain();
    EXPECT_FALSE(again->audioTracks[0]->isGeneratingWaveform);
    EXPECT_FALSE(again->audioTracks[1]->isGeneratingWaveform);
}

}  // namespace
}  // namespace qv
