// The transcript screen's working parts: the main player on the default audio output (silent
// when there is no sound device), the transcript table, highlighter, transport and step
// navigation, the speakers, the playback set-up, and the widgets the window shows of them (the
// table, the scrub bar, the speakers panel). It answers the document model's calls
// (ModelServices) by forwarding them to these parts. Main thread only.
#pragma once

#include "intake/audio/QVAudioConfigurationViewController.h"
#include "model/AppDelegate.h"
#include "model/ModelServices.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/Preferences.h"
#include "platform/media/Player.h"
#include "platform/media/AudioOutput.h"
#include "platform/ui/Alert.h"
#include "platform/ui/DesktopNotifications.h"
#include "search/QVSearchViewController.h"
#include "speakers/SpeakersController.h"
#include "speakers/SpeakersPanelView.h"
#include "transcript-view/MainPlayer.h"
#include "transcript-view/PlaybackSetUp.h"
#include "transcript-view/QVWaveformManager.h"
#include "transcript-view/WaveformGenerationQueue.h"
#include "transcript-view/QVScrubBar.h"
#include "transcript-view/StepNavigation.h"
#include "transcript-view/TranscriptTable.h"
#include "transcript-view/TranscriptTransport.h"
#include "transcript-view/TranscriptViewController.h"
#include "transcript-view/WordHighlighter.h"

#include <functional>
#include <memory>

namespace qv::shell {

class TranscriptScreen final : public ModelServices {
public:
    // What the model's calls reach in the shell.
    struct Hooks {
        std::function<void()> loadFileAttemptTransition;
        std::function<void(double points)> setTranscriptToolbarHeight;
        // The missing-media button shows only beside a shown words/search/media button.
        std::function<bool()> wordsSearchMediaButtonShown;
        std::function<void(bool shown)> showMissingMedia;
        // The playhead's time as the toolbar shows it, in the file's timecode when it has one.
        std::function<void(const QString& text)> showTime;
        // The step buttons' states, in toolbar order, whenever they change.
        std::function<void(const std::array<bool, 6>& enabled)> showNavigationStates;
        // This computer among the open file's editors, and out of them; the first one to
        // arrive gets the edit right.
        std::function<void()> currentFileUserOnlineAdd;
        std::function<void()> currentFileUserOnlineRemove;
        // The account's synced transcripts and observers: a change touches the open file's
        // "updated" so that other computers reload it; an opened file is kept in sync.
        std::function<void()> updateCurrentFileTimestamp;
        std::function<void(const std::shared_ptr<QVFile>& file)> addFileToSyncedTranscripts;
        std::function<void(const std::shared_ptr<QVFile>& file)> setupCustomWordsObserverForFile;
        // A frame of the asset's picture at `time`; a null image when none can be decoded.
        std::function<QImage(const Asset& asset, const MediaTime& time)> createImageForAsset;
    };

    TranscriptScreen(AppDelegate& ad, Dispatcher& main, Preferences& preferences, AlertPresenter& alerts, Hooks hooks);
    ~TranscriptScreen() override;
    TranscriptScreen(const TranscriptScreen&) = delete;
    TranscriptScreen& operator=(const TranscriptScreen&) = delete;

    QWidget* tableWidget() { return &table_.tableView(); }
    QWidget* scrubBar() { return scrubBar_.get(); }
    QWidget* speakersPanel() { return speakersPanel_.get(); }
    // The open file's audio configuration, with its Relink buttons: the media tab of the right panel.
    QVAudioConfigurationViewController& audioConfiguration() { return *audioConfiguration_; }
    // The search of the open transcript: the search tab of the right panel.
    search::QVSearchViewController& search() { return *search_; }
    transcript::MainPlayer& mainPlayer() { return mainPlayer_; }
    transcript::TranscriptTransport& transport() { return transport_; }
    transcript::TranscriptViewController& view() { return view_; }
    transcript::StepNavigation& navigation() { return navigation_; }
    speakers::SpeakersController& speakers() { return speakers_; }

    // ModelServices
    bool hasPlayer() const override { return true; }
    void createPlayer() override {}
    MediaTime playerCurrentTime() const override;
    void transcriptRowCountChanged() override;
    void preloadRowsToLastMediaTime() override { table_.preloadRowsToLastMediaTime(); }
    void setUpPlaybackOfAsset(const std::shared_ptr<Asset>& asset, const QStringList& keys) override
    {
        setUp_.setUpPlaybackOfAsset(asset, keys);
    }
    void checkForMissingMediaFiles() override { setUp_.checkForMissingMediaFiles(); }
    bool complexFileHasVideoForMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles) override
    {
        return transcript::PlaybackSetUp::complexFileHasVideoForMediaFiles(mediaFiles);
    }
    std::shared_ptr<Asset> createMissingMediaAssetForSimpleFile(QVFile& file) override;
    std::shared_ptr<Asset> createAssetWithMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles,
                                                     const MediaTime& duration) override;
    std::shared_ptr<Asset> createURLAsset(const QUrl& url) override;
    void loadValuesAsynchronouslyForKeys(const std::shared_ptr<Asset>& asset, const QStringList& keys,
                                         std::function<void()> done) override;

    void checkAccessForMediaFile(QVMediaFile& mediaFile) override
    {
        transcript::PlaybackSetUp::checkAccessForMediaFile(mediaFile);
    }
    void stopAccessingURL(const QUrl&) override {}
    std::optional<QByteArray> createBookmarkData(const QUrl& url, QString* error) override;
    std::optional<QUrl> resolveBookmarkData(const QByteArray& bookmark) override;
    QImage getThumbnailForFileUUID(const QString&) override { return {}; }
    QImage createImageForURL(const QUrl&, const MediaTime&) override { return {}; }
    void createImageForSimpleFile() override {}
    QImage namedImage(const QString&) override { return {}; }

    bool fileExtensionIsAudio(const QString& extension) override;
    bool fileURLIsAudio(const QUrl& url) override;
    std::optional<QDateTime> getModificationDateForMediaFile(QVMediaFile& mediaFile) override;
    void getBWFMP3TimecodeForFilePending(const std::shared_ptr<QVFilePending>& pending, QVFile& file) override;
    void resetAudioTrackCellStackView() override { audioConfiguration_->resetAudioTrackCellStackView(); }
    void setAudioConfigurationMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles) override
    {
        audioConfiguration_->setMediaFiles(mediaFiles);
    }
    void refreshAudioConfigurationDisplay() override { audioConfiguration_->refreshDisplay(); }

    QString chooseRandomColorName() override { return speakers_.records().chooseRandomColorName(); }

    void updateCurrentFileTimestamp() override
    {
        if (hooks_.updateCurrentFileTimestamp)
            hooks_.updateCurrentFileTimestamp();
    }
    void addFileToSyncedTranscripts(const std::shared_ptr<QVFile>& file) override
    {
        if (hooks_.addFileToSyncedTranscripts)
            hooks_.addFileToSyncedTranscripts(file);
    }
    void currentFileUserOnlineAdd() override;
    void currentFileUserOnlineRemove() override;
    void setupCustomWordsObserverForFile(const std::shared_ptr<QVFile>& file) override
    {
        if (hooks_.setupCustomWordsObserverForFile)
            hooks_.setupCustomWordsObserverForFile(file);
    }
    void loadFileAttemptTransition() override;
    void startFilesListProgressIndicator() override {}
    void reloadFilesListRowForFile(const std::shared_ptr<QVFile>&) override {}
    void setTranscriptToolbarHeight(double points) override;
    void postUserNotification(const QString& title, const QString& subtitle, const QString& informativeText) override
    {
        notifications_.post(title, subtitle, informativeText);
    }

private:
    AppDelegate& ad_;
    Dispatcher& main_;
    Hooks hooks_;
    Player player_;
    transcript::MainPlayer mainPlayer_;
    transcript::TranscriptTable table_;
    speakers::SpeakersController speakers_;
    transcript::WordHighlighter highlighter_;
    transcript::TranscriptTransport transport_;
    transcript::StepNavigation navigation_;
    transcript::TranscriptViewController view_;
    transcript::PlaybackSetUp setUp_;
    std::unique_ptr<transcript::QVScrubBar> scrubBar_;
    std::unique_ptr<speakers::SpeakersPanelView> speakersPanel_;
    QVWaveformManager waveformManager_;
    WaveformGenerationQueue waveformQueue_;
    std::unique_ptr<QVAudioConfigurationViewController> audioConfiguration_;
    DesktopNotifications notifications_;
    std::unique_ptr<search::QVSearchViewController> search_;
};

}  // namespace qv::shell
