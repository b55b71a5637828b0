// Layout types, the audio extension tests, modification dates, and copy and paste of a channel
// configuration between pending files.
#include "intake/audio/QVAudioConfigurationClipboard.h"
#include "intake/audio/QVAudioConfigurationViewController.h"
#include "intake/audio/QVAudioLayout.h"
#include "intake/audio/tests/AudioModel.h"

#include "model/QVFilePending.h"

#include "platform/foundation/ManualDispatcher.h"
#include "platform/media/tests/TestMedia.h"
#include "platform/ui/ScriptedPresenters.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

TEST(AudioLayout, TracksAndChannelCounts)
{
    const auto stereoAndMono = mediaFileWith({2, 1});
    EXPECT_EQ(createAudioLayoutTypeFromMediaFile(*stereoAndMono), "T1C2T2C1");
    EXPECT_EQ(createAudioLayoutTypeFromMediaFiles({stereoAndMono, mediaFileWith({2, 1})}), "F1T1C2T2C1F2T1C2T2C1");
    EXPECT_EQ(createAudioLayoutTypeFromMediaFile(*mediaFileWith({})), "");
    EXPECT_EQ(createAudioLayoutTypeFromAsset(inspected(testMedia("tone.wav"))), "T1C2");
    EXPECT_EQ(createAudioLayoutTypeFromAsset(inspected(testMedia("video.mov"))), "T1C2T2C1");
}

TEST(AudioLayout, AudioExtensionsAndTheAlertForNone)
{
    EXPECT_TRUE(fileExtensionIsAudio("WAV"));
    EXPECT_TRUE(fileExtensionIsAudio("mp3"));
    EXPECT_FALSE(fileExtensionIsAudio("mov"));
    ScriptedAlertPresenter alerts;
    EXPECT_TRUE(fileURLIsAudio(QUrl::fromLocalFile("/a/b.flac"), &alerts));
    EXPECT_TRUE(alerts.shownAlerts().empty());
    EXPECT_FALSE(fileURLIsAudio(QUrl::fromLocalFile("/a/recording"), &alerts));
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts()[0].messageText, "File import error");
    EXPECT_TRUE(alerts.shownAlerts()[0].informativeText.endsWith("re-import.\n\n/a/recording"));
    EXPECT_EQ(alerts.shownAlerts()[0].style, AlertStyle::Critical);
}

TEST(AudioLayout, ModificationDates)
{
    QVMediaFile file;
    file.url = QUrl::fromLocalFile(QString::fromStdString(testMedia("tone.wav")));
    EXPECT_TRUE(getModificationDateForMediaFile(file).has_value());
    EXPECT_TRUE(file.hasAccessToURL);
    EXPECT_FALSE(getModificationDateForURL(QUrl::fromLocalFile("/nowhere/gone.wav")).has_value());
    EXPECT_FALSE(getModificationDateForURL(QUrl()).has_value());
}

class ConfigurationPaste : public ::testing::Test {
protected:
    std::shared_ptr<QVFilePending> pending(const QString& uuid, const std::vector<int>& channels, bool fromClip)
    {
        auto file = std::make_shared<QVFilePending>();
        file->uuid = uuid;
        file->mediaFiles = {mediaFileWith(channels)};
        if (fromClip)
            file->audioLayoutType = createAudioLayoutTypeFromMediaFiles(file->mediaFiles);
        ad.filesPending.push_back(file);
        return file;
    }
    static std::vector<bool> flags(const QVFilePending& file)
    {
        std::vector<bool> enabled;
        for (const auto& track : file.mediaFiles[0]->audioTracks)
            for (const auto& channel : track->audioChannels)
                enabled.push_back(channel->enabled);
        return enabled;
    }
    void copyFrom(const std::shared_ptr<QVFilePending>& source)
    {
        panel.setMediaFiles(source->mediaFiles);
        panel.loadPendingFile(source);
        QVAudioConfigurationClipboard::copyAudioConfiguration(panel, pasteboard);
    }

    AppDelegate ad;
    ManualDispatcher main;
    QVAudioConfigurationViewController panel{ad, main, {}, true};
    QVInternalPasteboard pasteboard;
};

TEST_F(ConfigurationPaste, OnlyFilesOfTheSameLayoutFromClipsTakeIt)
{
    const auto source = pending("S", {2, 2}, true);
    const auto same = pending("A", {2, 2}, true);
    const auto other = pending("B", {4}, true);
    const auto fromURL = pending("C", {2, 2}, false);
    source->mediaFiles[0]->audioTracks[1]->audioChannels[0]->enabled = false;
    copyFrom(source);
    EXPECT_EQ(pasteboard.string(QVAudioConfigurationClipboard::kType), "S");

    // The selection holds the source itself: only the others change.
    QVAudioConfigurationClipboard::pasteAudioConfiguration(ad, {3, 2, 1, 0}, pasteboard, &panel);
    EXPECT_EQ(flags(*same), std::vector<bool>({true, true, false, true}));
    EXPECT_EQ(flags(*source), std::vector<bool>({true, true, false, true}));
    EXPECT_EQ(flags(*other), std::vector<bool>(4, true));
    EXPECT_EQ(flags(*fromURL), std::vector<bool>(4, true));
}

TEST_F(ConfigurationPaste, FilesAddedFromURLsNeverMatch)
{
    const auto first = pending("U1", {2}, false);
    const auto second = pending("U2", {2}, false);
    first->mediaFiles[0]->audioTracks[0]->audioChannels[1]->enabled = false;
    copyFrom(first);
    QVAudioConfigurationClipboard::pasteAudioConfiguration(ad, {1}, pasteboard, &panel);
    EXPECT_EQ(flags(*second), std::vector<bool>({true, true}));
    // A source no longer pending changes nothing either.
    const auto clip = pending("K", {2}, true);
    const auto clip2 = pending("K2", {2}, true);
    clip->mediaFiles[0]->audioTracks[0]->audioChannels[0]->enabled = false;
    copyFrom(clip);
    ad.filesPending.erase(ad.filesPending.begin() + 2);
    QVAudioConfigurationClipboard::pasteAudioConfiguration(ad, {0, 1, 2}, pasteboard, &panel);
    EXPECT_EQ(flags(*clip2), std::vector<bool>({true, true}));
}

}  // namespace
}  // namespace qv::test
