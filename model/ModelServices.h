// What the document model calls of the other subsystems and of the desktop: the transcript
// view and player, media access and pictures, the media intake, the application shell and the
// files list. The application implements it; tests give a recording fake. Main thread only.
#pragma once

#include "platform/media/MediaTime.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QVFile;
class QVFilePending;
class QVMediaFile;
namespace qv {
class Asset;
}

class ModelServices {
public:
    virtual ~ModelServices() = default;

    // Transcript view and playback.
    // The player exists (it is made once, by createPlayer).
    virtual bool hasPlayer() const = 0;
    // Makes the player and observes its rate and its item's status.
    virtual void createPlayer() = 0;
    // The player's current time; zero without a player.
    virtual qv::MediaTime playerCurrentTime() const = 0;
    // Tells the transcript table that its number of rows changed.
    virtual void transcriptRowCountChanged() = 0;
    // Builds the rows up to the last playback position, sets hasPreloadedRowsToLastMediaTime and
    // itself tries the transition into the transcript screen.
    virtual void preloadRowsToLastMediaTime() = 0;
    // Hands the loaded asset to the player, with the keys that were loaded.
    virtual void setUpPlaybackOfAsset(const std::shared_ptr<qv::Asset>& asset, const QStringList& keys) = 0;
    // Sets the open file's hasMissingMediaFiles and updates the missing-media indication.
    virtual void checkForMissingMediaFiles() = 0;
    // Any of the media files shows video.
    virtual bool complexFileHasVideoForMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles) = 0;
    // The placeholder asset of a simple file whose media are missing.
    virtual std::shared_ptr<qv::Asset> createMissingMediaAssetForSimpleFile(QVFile& file) = 0;
    // The composition of a complex clip's media files, with placeholders where media are missing.
    virtual std::shared_ptr<qv::Asset> createAssetWithMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles,
                                                                 const qv::MediaTime& duration) = 0;
    // The asset of the media at `url`, inspected.
    virtual std::shared_ptr<qv::Asset> createURLAsset(const QUrl& url) = 0;
    // Loads `keys` of `asset` off the main thread; `done` runs on the main queue.
    virtual void loadValuesAsynchronouslyForKeys(const std::shared_ptr<qv::Asset>& asset, const QStringList& keys,
                                                 std::function<void()> done) = 0;

    // Media access and pictures.
    // Starts access to the media file's URL when it requires access and does not hold it.
    virtual void checkAccessForMediaFile(QVMediaFile& mediaFile) = 0;
    virtual void stopAccessingURL(const QUrl& url) = 0;
    // Bookmark data that finds `url` again in a later run; nothing when it cannot be made.
    virtual std::optional<QByteArray> createBookmarkData(const QUrl& url, QString* error) = 0;
    // The URL a bookmark resolves to, without user interaction; nothing when it does not.
    virtual std::optional<QUrl> resolveBookmarkData(const QByteArray& bookmark) = 0;
    // The stored thumbnail of a file, or a null image.
    virtual QImage getThumbnailForFileUUID(const QString& uuid) = 0;
    // A frame of the media at `time`, or a null image.
    virtual QImage createImageForURL(const QUrl& url, const qv::MediaTime& time) = 0;
    // Makes and stores the open file's thumbnail at the player's time.
    virtual void createImageForSimpleFile() = 0;
    // A picture among the application's resources ("audio file icon", ...).
    virtual QImage namedImage(const QString& name) = 0;

    // Media intake.
    virtual bool fileExtensionIsAudio(const QString& extension) = 0;
    virtual bool fileURLIsAudio(const QUrl& url) = 0;
    virtual std::optional<QDateTime> getModificationDateForMediaFile(QVMediaFile& mediaFile) = 0;
    // Reads the start timecode from the media's metadata into `file`.
    virtual void getBWFMP3TimecodeForFilePending(const std::shared_ptr<QVFilePending>& pending, QVFile& file) = 0;
    // The audio configuration panel: reset its tracks, give it media files, refresh it.
    virtual void resetAudioTrackCellStackView() = 0;
    virtual void setAudioConfigurationMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles) = 0;
    virtual void refreshAudioConfigurationDisplay() = 0;

    // Speakers.
    // A palette colour name not given to a live speaker yet (any once all are in use).
    virtual QString chooseRandomColorName() = 0;

    // Application shell and files list.
    virtual void updateCurrentFileTimestamp() = 0;
    virtual void addFileToSyncedTranscripts(const std::shared_ptr<QVFile>& file) = 0;
    virtual void currentFileUserOnlineAdd() = 0;
    virtual void currentFileUserOnlineRemove() = 0;
    virtual void setupCustomWordsObserverForFile(const std::shared_ptr<QVFile>& file) = 0;
    virtual void loadFileAttemptTransition() = 0;
    // Spins the progress indicator of the selected row of the files list.
    virtual void startFilesListProgressIndicator() = 0;
    // Reloads the files list's row of `file` when the list shows it.
    virtual void reloadFilesListRowForFile(const std::shared_ptr<QVFile>& file) = 0;
    // Sets the transcript toolbar's height, in points.
    virtual void setTranscriptToolbarHeight(double points) = 0;
    // Posts a desktop notification; an empty informative text shows none.
    virtual void postUserNotification(const QString& title, const QString& subtitle, const QString& informativeText) = 0;
};
