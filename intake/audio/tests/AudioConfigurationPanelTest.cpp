// The audio configuration panel: its check boxes and their states, rows of missing media, the
// heights it asks for, and the mix it re-levels when a channel is switched.
#include "intake/audio/QVAudioConfigurationViewController.h"
#include "intake/audio/QVAudioMix.h"
#include "intake/audio/QVCheckBox.h"
#include "intake/audio/QVTableCellViewAudioFile.h"
#include "intake/audio/QVTableCellViewAudioTracks.h"
#include "intake/audio/tests/AudioModel.h"

#include "platform/foundation/ManualDispatcher.h"

#include <QLabel>
#include <QSet>

#include <cmath>

#include <gtest/gtest.h>

namespace qv::test {
namespace {

class AudioConfigurationPanel : public ::testing::Test {
protected:
    void show(std::vector<std::shared_ptr<QVMediaFile>> files)
    {
        panel.setMediaFiles(std::move(files));
        panel.refreshDisplay();
        main.drain();
    }
    QVCheckBox* channelBox(std::size_t k, std::size_t flat)
    {
        return panel.tracksRow(k)->findChildren<QVCheckBox*>().at(static_cast<qsizetype>(flat));
    }

    AppDelegate ad;
    ManualDispatcher main;
    int busyRefreshes = 0;
    QVAudioConfigurationViewController panel{ad, main, {}, true};
};

TEST_F(AudioConfigurationPanel, TheOnlyChannelOfAFileCannotBeSwitchedOff)
{
    show({mediaFileWith({1})});
    EXPECT_FALSE(panel.hasMultipleChannels());
    EXPECT_TRUE(panel.fileEnableButton(0)->isHidden());
    EXPECT_FALSE(channelBox(0, 0)->isEnabled());
    EXPECT_EQ(channelBox(0, 0)->text(), "Tk1 Ch1");
}

TEST_F(AudioConfigurationPanel, TheFileBoxFollowsItsChannels)
{
    auto file = mediaFileWith({2, 2});
    show({file, mediaFileWith({1})});
    QVAudioConfigurationViewController::PendingListHooks hooks;
    hooks.refreshBusyErrorStatus = [this] { ++busyRefreshes; };
    panel.setPendingListHooks(hooks);
    QVCheckBox* fileBox = panel.fileEnableButton(0);
    EXPECT_EQ(fileBox->text(), "File 1");
    EXPECT_EQ(channelBox(0, 3)->text(), "Tk2 Ch2");
    for (std::size_t flat = 0; flat < 4; ++flat)
        EXPECT_EQ(channelBox(0, flat)->tag(), static_cast<int>(flat));

    // Three of four off: mixed; the last one too: off.
    for (std::size_t flat : {0, 1, 2})
        channelBox(0, flat)->click();
    main.drain();
    EXPECT_EQ(panel.fileEnableButton(0)->state(), QVAudioConfigurationViewController::kMixedChannels);
    EXPECT_FALSE(file->audioTracks[1]->audioChannels[0]->enabled);
    EXPECT_TRUE(file->audioTracks[1]->audioChannels[1]->enabled);
    EXPECT_EQ(busyRefreshes, 3);
    channelBox(0, 3)->click();
    main.drain();
    EXPECT_EQ(panel.fileEnableButton(0)->state(), QVAudioConfigurationViewController::kNoChannelEnabled);
    EXPECT_FALSE(panel.fileEnableButton(0)->allowsMixedState());

    // The file box turns every channel on, and the channel boxes with them.
    panel.fileEnableButton(0)->click();
    main.drain();
    for (std::size_t flat = 0; flat < 4; ++flat)
        EXPECT_EQ(channelBox(0, flat)->state(), 1) << flat;
    EXPECT_EQ(QVAudioConfigurationViewController::channelStatusForMediaFile(*file),
              QVAudioConfigurationViewController::kAllChannelsEnabled);
    // Turned off, it offers no mixed state on later clicks.
    panel.fileEnableButton(0)->click();
    main.drain();
    EXPECT_FALSE(panel.fileEnableButton(0)->allowsMixedState());
    EXPECT_EQ(QVAudioConfigurationViewController::channelStatusForMediaFile(*file),
              QVAudioConfigurationViewController::kNoChannelEnabled);
    EXPECT_EQ(busyRefreshes, 6);
}

TEST_F(AudioConfigurationPanel, SwitchingAChannelReLevelsThePlayingMix)
{
    auto file = mediaFileWith({3});
    show({file});
    const auto mix = createAudioMixForMediaFiles({file});
    const auto stage = mix->stage();
    channelBox(0, 1)->click();
    main.drain();
    EXPECT_FLOAT_EQ(stage->channelGain(1, 0), 0.5f);
    EXPECT_EQ(stage->channelGain(1, 1), 0.0f);
    EXPECT_FLOAT_EQ(stage->channelGain(1, 2), 0.5f);
}

TEST_F(AudioConfigurationPanel, MissingMediaShowStripesTheStoredNameAndNoChannels)
{
    auto missing = mediaFileWith({2}, false);
    missing->filePath = "/Volumes/Card/Take 4.wav";
    show({missing});
    auto* fileRow = dynamic_cast<QVTableCellViewAudioFile*>(panel.fileRow(0));
    auto* tracksRow = dynamic_cast<QVTableCellViewAudioTracks*>(panel.tracksRow(0));
    ASSERT_TRUE(fileRow && tracksRow);
    EXPECT_FALSE(fileRow->mediaOnline);
    EXPECT_FALSE(tracksRow->mediaOnline);
    EXPECT_EQ(fileRow->nameLabel()->text(), "Take 4.wav");
    EXPECT_EQ(fileRow->nameLabel()->toolTip(), "MISSING FILE:\n/Volumes/Card/Take 4.wav");
    EXPECT_EQ(tracksRow->height(), 1);
    EXPECT_TRUE(tracksRow->findChildren<QVCheckBox*>().isEmpty());
    // The relink button belongs to the open transcript's panel only.
    EXPECT_TRUE(fileRow->relinkButton()->isHidden());
}

TEST(AudioConfigurationRows, NamesAndToolTips)
{
    QVMediaFile file;
    EXPECT_EQ(QVTableCellViewAudioFile::displayName(file), "Unknown file name");
    file.filePath = "/media/a.wav";
    file.url = QUrl::fromLocalFile("/media/a.wav");
    file.mediaOnline = true;
    EXPECT_EQ(QVTableCellViewAudioFile::toolTip(file), "/media/a.wav");
    file.url = QUrl::fromLocalFile("/home/b.wav");
    EXPECT_EQ(QVTableCellViewAudioFile::displayName(file), "b.wav");
    EXPECT_EQ(QVTableCellViewAudioFile::toolTip(file), "ORIGINAL FILE:\n/media/a.wav\n\nRELINKED FILE:\n/home/b.wav");
}

TEST(AudioConfigurationRows, ChannelStatusAndMultipleChannels)
{
    EXPECT_EQ(QVAudioConfigurationViewController::channelStatusForMediaFile(*mediaFileWith({})),
              QVAudioConfigurationViewController::kAllChannelsEnabled);
    EXPECT_EQ(QVAudioConfigurationViewController::channelStatusForMediaFile(*mediaFileWith({0, 0})),
              QVAudioConfigurationViewController::kMixedChannels);
    AppDelegate ad;
    ManualDispatcher main;
    QVAudioConfigurationViewController panel(ad, main, {}, false);
    const std::pair<std::vector<std::shared_ptr<QVMediaFile>>, bool> cases[] = {
        {{}, false},
        {{mediaFileWith({1})}, false},
        {{mediaFileWith({2})}, true},
        {{mediaFileWith({1, 1})}, true},
        {{mediaFileWith({1}), mediaFileWith({1})}, true},
    };
    for (const auto& [files, multiple] : cases) {
        panel.setMediaFiles(files);
        EXPECT_EQ(panel.hasMultipleChannels(), multiple) << files.size();
    }
}

TEST_F(AudioConfigurationPanel, HeightFitsTheContentOrWholeChannelRowsOfTheRoomLeft)
{
    double container = 2000;
    double given = 0;
    QVAudioConfigurationViewController::PendingListHooks hooks;
    hooks.containerFilesHeight = [&] { return container; };
    hooks.audioPanelHeight = [&] { return given; };
    hooks.setAudioPanelHeight = [&](double height) { given = height; };
    panel.setPendingListHooks(hooks);
    show({mediaFileWith({8})});
    // The transport bar, the file row, and eight channel lines with their margins.
    EXPECT_EQ(given, 40 + 26 + 10 + 8 * 40);
    // 200 points of room: the file row and three channel lines, less the list's margin.
    container = 299 + 200;
    panel.updatePanelHeight();
    EXPECT_EQ(given, 40 + 31 + 3 * 40 - 20);
    // No room at all for a file row.
    container = 299 + 60;
    EXPECT_EQ(panel.calculatePanelHeight(), 40 - 20);
    // The transcript's panel is never limited.
    AppDelegate ad2;
    QVAudioConfigurationViewController media(ad2, main, {}, false);
    media.setMediaFiles({mediaFileWith({8}), mediaFileWith({2}, false)});
    EXPECT_EQ(media.calculatePanelHeight(), 40 + 26 + 10 + 8 * 40 + 26 + 1);
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

QByteArray levels(int count, double phase)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const float value = static_cast<float>(-45 + 40 * std::abs(std::sin(phase + i / 15.0)) * (0.4 + 0.6 * ((i * 7919) % 13) / 13.0));
        bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    return bytes;
}

// The pending panel as the user sees it: a file whose channels show their waveforms (one
// switched off, dimmed) over black, and a missing file striped. Saved to QV_SCREENSHOT_DIR.
TEST_F(AudioConfigurationPanel, PendingPanelShowsWaveformsAndStripesMissingMedia)
{
    auto online = mediaFileWith({2, 1});
    online->url = QUrl::fromLocalFile("/media/Interview A.wav");
    online->filePath = online->url.path();
    double phase = 0;
    for (const auto& track : online->audioTracks)
        for (const auto& channel : track->audioChannels) {
            channel->waveformData = levels(600, phase += 1.3);
            channel->waveformSampleCount = 600;
            channel->waveformMax = -5;
        }
    online->audioTracks[0]->audioChannels[1]->enabled = false;
    auto missing = mediaFileWith({2}, false);
    missing->filePath = "/Volumes/Card/Interview B.wav";
    QWidget* view = panel.view();
    view->resize(640, 300);
    show({online, missing});
    view->show();
    main.advance(1);
    const QImage image = view->grab().toImage();
    if (const QByteArray folder = qgetenv("QV_SCREENSHOT_DIR"); !folder.isEmpty())
        image.save(QString::fromUtf8(folder) + "/pending-audio-configuration.png");

    const QPoint tracksOrigin = panel.tracksRow(0)->mapTo(view, QPoint(0, 0));
    // Black behind the check boxes, bright waveform bars right of them.
    EXPECT_EQ(image.pixelColor(tracksOrigin + QPoint(4, 20)), QColor(Qt::black));
    int lit = 0;
    for (int x = QVTableCellViewAudioTracks::kWaveformLeft; x < view->width() - 1; ++x)
        lit += image.pixelColor(tracksOrigin + QPoint(x, 5 + 40 - 8)).lightness() > 60 ? 1 : 0;
    EXPECT_GT(lit, 50);
    // The missing file's row is striped: its colours vary along the row.
    const QPoint missingOrigin = panel.fileRow(1)->mapTo(view, QPoint(0, 0));
    QSet<QRgb> colours;
    for (int x = 0; x < 200; ++x)
        colours.insert(image.pixel(missingOrigin + QPoint(x, 3)));
    EXPECT_GT(colours.size(), 2);
    view->hide();
}

}  // namespace
}  // namespace qv::test

#include "platform/media/Player.h"
#include "platform/media/tests/TestMedia.h"

namespace qv::test {
namespace {

std::shared_ptr<QVFilePending> pendingOf(const std::string& media, std::int64_t duration, std::int64_t lastMediaTime)
{
    auto file = std::make_shared<QVFilePending>();
    file->asset = std::make_shared<Asset>(inspected(testMedia(media)));
    auto mediaFile = mediaFileWith({file->asset->tracks().front().audio->channelCount});
    mediaFile->audioTracks.front()->assetTrack = file->asset->tracks().front();
    file->mediaFiles = {mediaFile};
    file->duration = duration;
    file->lastMediaTime = lastMediaTime;
    return file;
}

TEST_F(AudioConfigurationPanel, PreviewResumesEachPendingFileWhereItWasLeft)
{
    std::vector<QString> times;
    QVAudioConfigurationViewController::PendingListHooks hooks;
    hooks.setRowTimeText = [&](const QVFilePending&, const QString& text) { times.push_back(text); };
    panel.setPendingListHooks(hooks);
    const auto first = pendingOf("tone.wav", 3000, 1500);
    const auto second = pendingOf("sawtooth.wav", 3000, 0);
    ad.filesPending = {first, second};
    show(first->mediaFiles);
    panel.loadPendingFile(first);
    ASSERT_TRUE(main.runUntil([&] { return panel.durationSeconds() > 0 && panel.currentTimeSeconds() == 1.5; }));
    EXPECT_DOUBLE_EQ(panel.durationSeconds(), 3.0);
    // The preview plays the file's own mix, made once and kept with it.
    ASSERT_TRUE(first->audioMix);
    EXPECT_EQ(panel.player().currentItem()->audioMix(), first->audioMix->stage());
    EXPECT_FALSE(times.empty());
    EXPECT_EQ(times.back(), "00:00:01");
    EXPECT_NEAR(dynamic_cast<QVTableCellViewAudioTracks*>(panel.tracksRow(0))->scrubWaveforms()->proportionValue(), 0.5, 1e-6);

    panel.positionMediaFileAsProportion(0.8);
    ASSERT_TRUE(main.runUntil([&] { return std::abs(panel.currentTimeSeconds() - 2.4) < 1e-3; }));
    panel.loadPendingFile(second);
    EXPECT_EQ(first->lastMediaTime, 2400);
    ASSERT_TRUE(main.runUntil([&] { return panel.durationSeconds() > 0; }));
    EXPECT_EQ(panel.currentTimeSeconds(), 0.0);
    panel.loadPendingFile(nullptr);
    EXPECT_EQ(panel.player().currentItem(), nullptr);
}

TEST_F(AudioConfigurationPanel, AFileOfUnknownLengthMovesNoPlayhead)
{
    const auto file = pendingOf("tone.wav", 0, 0);
    ad.filesPending = {file};
    show(file->mediaFiles);
    panel.loadPendingFile(file);
    ASSERT_TRUE(main.runUntil([&] { return panel.durationSeconds() > 0; }));
    panel.positionMediaFileAsProportion(0.5);
    ASSERT_TRUE(main.runUntil([&] { return panel.currentTimeSeconds() > 1; }));
    main.advance(0.1);
    const float proportion = dynamic_cast<QVTableCellViewAudioTracks*>(panel.tracksRow(0))->scrubWaveforms()->proportionValue();
    EXPECT_TRUE(std::isfinite(proportion));
    EXPECT_EQ(proportion, 0.0f);
}

}  // namespace
}  // namespace qv::test
