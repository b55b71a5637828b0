// The audio configuration panel: for one file, every media file with its audio tracks and
// channels, a check box per channel (and per media file), each channel's waveform, a small
// preview player with its scrub bar, and (for an open transcript) a Relink button per media
// file. One instance sits under the pending list and previews the selected pending file; the
// other fills the right-hand panel of the transcript screen. Main thread only.
#pragma once

#include "model/AppDelegate.h"
#include "model/QVAudioChannel.h"
#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"

#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/Preferences.h"
#include "platform/media/MediaTime.h"
#include "platform/ui/Alert.h"

#include <QImage>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;
class QVCheckBox;
class QVWaveformManager;
class WaveformGenerationQueue;
namespace qv {
class Asset;
class AudioOutput;
class Player;
}

class QVAudioConfigurationViewController {
public:
    // What the panel needs of the application around it. Any member may be left empty.
    struct Services {
        QVWaveformManager* waveformManager = nullptr;
        WaveformGenerationQueue* waveformGenerationQueue = nullptr;
        // Relink alerts and waveform errors.
        qv::AlertPresenter* alerts = nullptr;
        // The preview player's sound; none plays silently.
        std::function<std::unique_ptr<qv::AudioOutput>()> makeAudioOutput;
        // The open panel of a relink: title, message, the file to start at; `done` gets the chosen
        // file, or nothing when the user cancelled.
        std::function<void(const QString& title, const QString& message, const QString& startPath,
                           std::function<void(std::optional<QUrl>)> done)>
            chooseMediaFile;
        // Relinking saves the new locations on this computer there.
        qv::Preferences* preferences = nullptr;
        // A picture of the asset at a time (the pending row's thumbnail when the preview leaves a
        // video); a null image when none can be made.
        std::function<QImage(const qv::Asset& asset, const qv::MediaTime& time)> createImageForAsset;
    };

    // What the pending instance calls of the pending list; the pending list provides it.
    struct PendingListHooks {
        // Recomputes the list's busy state and audio-error marks (a channel was switched).
        std::function<void()> refreshBusyErrorStatus;
        // The thumbnail view of the pending file's row, or null when the file has no row. The
        // preview's video is placed over it, filling it, while the file is previewed.
        std::function<QWidget*(const QVFilePending& file)> rowThumbnailView;
        // Shows `image` as the thumbnail of the pending file's row.
        std::function<void(const QVFilePending& file, const QImage& image)> setRowThumbnail;
        // Sets the time label of the pending file's row (only called when the text changes).
        std::function<void(const QVFilePending& file, const QString& text)> setRowTimeText;
        // Height of the view that holds the files and pending lists; bounds the panel's height.
        std::function<double()> containerFilesHeight;
        // The height the pending list gives the panel, read and set.
        std::function<double()> audioPanelHeight;
        std::function<void(double height)> setAudioPanelHeight;
    };

    // Channel status of a media file.
    static constexpr int kAllChannelsEnabled = 1;
    static constexpr int kNoChannelEnabled = 0;
    static constexpr int kMixedChannels = -1;

    QVAudioConfigurationViewController(AppDelegate& ad, qv::Dispatcher& main, Services services, bool isForPendingFiles);
    ~QVAudioConfigurationViewController();
    QVAudioConfigurationViewController(const QVAudioConfigurationViewController&) = delete;
    QVAudioConfigurationViewController& operator=(const QVAudioConfigurationViewController&) = delete;

    // The panel's widget, to be placed by its owner (who then owns it).
    QWidget* view() const;
    bool isForPendingFiles() const { return isForPendingFiles_; }

    // Pending instance: set once by the pending list before the first loadPendingFile.
    void setPendingListHooks(PendingListHooks hooks);

    // The media files shown (the selected pending file's, or the open transcript's).
    const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles() const { return mediaFiles_; }
    void setMediaFiles(std::vector<std::shared_ptr<QVMediaFile>> mediaFiles);
    // Pending instance: the pending file previewed, or null.
    const std::shared_ptr<QVFilePending>& currentFilePending() const { return currentFilePending_; }
    // Set by the panel's owners while it is on screen; decides whether waveforms fade in.
    bool isShowing() const { return isShowing_; }
    void setIsShowing(bool showing) { isShowing_ = showing; }

    // Pending instance: previews `file` (null empties the player). The previous file keeps its
    // preview position (lastMediaTime) and, when it has video, a thumbnail at that position.
    void loadPendingFile(const std::shared_ptr<QVFilePending>& file);

    // Rebuilds the rows on the main queue.
    void refreshDisplay();
    // Empties the tracks rows (before their media files are replaced).
    void resetAudioTrackCellStackView();
    // Pending instance: gives the pending list the panel height it wants, when it changed.
    void updatePanelHeight();
    double calculatePanelHeight() const;
    // More than one channel to choose from; also decides whether the configuration can be copied.
    bool hasMultipleChannels() const;
    // kAllChannelsEnabled, kNoChannelEnabled or kMixedChannels; a media file without tracks
    // counts as all enabled, one whose tracks have no channels as mixed.
    static int channelStatusForMediaFile(const QVMediaFile& mediaFile);
    // True when the waveforms need no generation (restored from the cache or shown empty);
    // false when their generation was queued.
    bool restoreWaveformsForMediaFile(const std::shared_ptr<QVMediaFile>& mediaFile);

    // Stores the flag, re-levels the track's mix while it plays, fades the channel's waveform.
    void updateAudioChannel(const std::shared_ptr<QVAudioChannel>& channel, bool isEnabled);

    // Preview transport and scrub bar.
    void playPause(bool play);
    void pressedPlayPauseButton();
    void positionMediaFileAsProportion(double proportion);
    double currentTimeSeconds() const;
    void setCurrentTimeSeconds(double seconds);
    double durationSeconds() const;
    void updateScrubWaveformsToActive(bool active);
    void updateScrubWaveformsToProportion(double proportion);

    // Transcript instance: relinks media file `index` of the open file.
    void pressedRelinkButton(int index);

    // The preview player (pending instance), for tests and the owner's shutdown.
    qv::Player& player();
    // The check boxes and rows as built, for tests: the file box of media file `k` and the
    // box of its channel with flat index `f`; null when there is no such row.
    QVCheckBox* fileEnableButton(std::size_t k) const;
    QWidget* fileRow(std::size_t k) const;
    QWidget* tracksRow(std::size_t k) const;

private:
    struct Impl;
    void clearRows();
    void reloadData();
    void buildFileRow(std::size_t k);
    void buildTracksRow(std::size_t k);
    double contentHeight() const;
    void changeChannelEnabled(std::size_t k, int flatIndex, bool enabled);
    void changeFileEnabled(std::size_t k);
    void loadAsset(const std::shared_ptr<qv::Asset>& asset);
    void statusChanged(int status);
    void updateScrubBarAtTime(const qv::MediaTime& time);

    std::unique_ptr<Impl> impl_;
    AppDelegate& ad_;
    qv::Dispatcher& main_;
    bool isForPendingFiles_;
    bool isShowing_ = false;
    std::vector<std::shared_ptr<QVMediaFile>> mediaFiles_;
    std::shared_ptr<QVFilePending> currentFilePending_;
};
