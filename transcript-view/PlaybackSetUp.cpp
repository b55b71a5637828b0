#include "transcript-view/PlaybackSetUp.h"

#include "model/FileTypes.h"
#include "model/ModelServices.h"
#include "model/TimeUtilities.h"
#include "transcript-view/QVTimecodeReader.h"
#include "transcript-view/TranscriptTable.h"
#include "transcript-view/TranscriptTransport.h"
#include "transcript-view/WordHighlighter.h"

#include <algorithm>

namespace qv::transcript {

PlaybackSetUp::PlaybackSetUp(AppDelegate& ad, Dispatcher& main, MainPlayer& player, TranscriptTable& table,
                             WordHighlighter& highlighter, TranscriptTransport& transport)
    : ad_(ad), main_(main), player_(player), table_(table), highlighter_(highlighter), transport_(transport)
{
    player_.player().setStatusObserver([this](Player::Status status) { statusChanged(status); });
    player_.player().setEndObserver([this] { transport_.stopPlayback(); });
}

PlaybackSetUp::~PlaybackSetUp()
{
    player_.player().setStatusObserver({});
    player_.player().setEndObserver({});
    if (timeObserver_)
        player_.player().removeTimeObserver(*timeObserver_);
}

void PlaybackSetUp::checkAccessForMediaFile(QVMediaFile& mediaFile)
{
    if (mediaFile.requiresSecurityAccess && !mediaFile.hasAccessToURL)
        mediaFile.hasAccessToURL = true;
}

void PlaybackSetUp::checkForMissingMediaFiles()
{
    const std::shared_ptr<QVFile> file = ad_.currentFile;
    if (!file)
        return;
    file->hasMissingMediaFiles = std::any_of(file->mediaFiles.begin(), file->mediaFiles.end(),
                                             [](const auto& mediaFile) { return mediaFile && !mediaFile->mediaOnline; });
    std::weak_ptr<bool> alive = alive_;
    main_.async([this, alive, file] {
        if (alive.expired() || !showMissingMedia_)
            return;
        showMissingMedia_(searchButtonShown_ && searchButtonShown_() && file->hasMissingMediaFiles);
    });
}

bool PlaybackSetUp::complexFileHasVideoForMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles)
{
    return std::any_of(mediaFiles.begin(), mediaFiles.end(), [](const auto& mediaFile) { return mediaFile && mediaFile->showVideo; });
}

double PlaybackSetUp::currentTimeSeconds() const
{
    return static_cast<double>(player_.currentMilliseconds()) / 1000.0;
}

bool PlaybackSetUp::timecodeIsPending(QVFile& file)
{
    if (file.created > kStoredTimecodeCutOff || !isSimpleFile(file.fileType) || file.timecodeStart.isValid())
        return false;
    file.hasLoadedTimecode = false;
    if (metadataTimecode_ && metadataTimecode_(file)) {
        file.hasLoadedTimecode = true;
        return true;
    }
    const std::shared_ptr<QVTimecodeReader> reader = QVTimecodeReader::initWithFile(ad_, main_, ad_.currentFile);
    ad_.timecodeReaders.add(reader);
    reader->readTimecodeSamples();
    return true;
}

ViewerLayout PlaybackSetUp::viewerLayoutFor(bool hasVideo, bool playable, int naturalWidth, int naturalHeight)
{
    ViewerLayout layout;
    if (!hasVideo) {
        layout.aspectRatio = kNoVideoAspectRatio;
        layout.wordsSearchMediaTopSpacer = -20;
        layout.panelTopSpacer = 0;
        return layout;
    }
    layout.wordsSearchMediaTopSpacer = 0;
    layout.panelTopSpacer = 10;
    layout.aspectRatio = naturalWidth > 0 && naturalHeight > 0 ? static_cast<double>(naturalHeight) / naturalWidth
                                                               : kDefaultAspectRatio;
    // No media here carries protected content: what can be decoded can be shown.
    layout.showsUnsupportedCodec = !playable || (naturalWidth == 0 && naturalHeight == 0);
    return layout;
}

void PlaybackSetUp::setUpPlaybackOfAsset(const std::shared_ptr<Asset>& asset, const QStringList& keys)
{
    // An asset loads whole: one whose keys failed to load never arrives here, so there is no
    // key left to check.
    (void)keys;
    const std::shared_ptr<QVFile> file = ad_.currentFile;
    if (!asset || !file)
        return;
    const bool pending = timecodeIsPending(*file);

    const std::vector<AssetTrack> video = asset->tracksWithMediaType(MediaType::Video);
    const bool sized = !video.empty() && video.front().video;
    layout_ = viewerLayoutFor(file->hasVideo, asset->isPlayable(), sized ? video.front().video->naturalWidth : 0,
                              sized ? video.front().video->naturalHeight : 0);
    if (layoutChanged_)
        layoutChanged_(layout_);

    PlayerItem item(*asset);
    if (std::shared_ptr<AudioMixStage> mix = audioMixBuilder_ ? audioMixBuilder_(*file) : nullptr)
        item.setAudioMix(std::move(mix));
    player_.player().replaceCurrentItem(std::move(item));

    ad_.currentWordStartTime = -1;
    ad_.currentWordEndTime = -1;
    // A set-up replaces the callback of the one before: two would each move the highlight.
    if (timeObserver_)
        player_.player().removeTimeObserver(*timeObserver_);
    timeObserver_ = player_.player().addPeriodicTimeObserver(kTimeInterval, [this](const MediaTime& time) { timeChanged(time); });

    if (!pending)
        attemptTransition();
}

void PlaybackSetUp::attemptTransition()
{
    if (ad_.modelServices)
        ad_.modelServices->loadFileAttemptTransition();
}

void PlaybackSetUp::timeChanged(const MediaTime& time)
{
    if (time < ad_.playbackStartTime && player_.rate() > 0)
        return;
    if (ad_.isEditing)
        return;
    const bool scrollToCenter = ad_.currentMode == 2 ? ad_.loadFileDoTransitionInProgress : true;
    highlighter_.highlightWordAtTime(convertCMTimeToMilliseconds(time), ad_.isScrubbingMedia, scrollToCenter, true);
    // Until the item is ready the duration is 0 and there is no proportion to show.
    const double duration = durationSeconds();
    if (duration > 0 && proportionChanged_)
        proportionChanged_(time.seconds() / duration);
}

void PlaybackSetUp::statusChanged(Player::Status status)
{
    const bool ready = status == Player::Status::ReadyToPlay;
    if (ready) {
        ad_.isReadyToPlay = true;
        const std::shared_ptr<QVFile> file = ad_.currentFile;
        if (file && file->lastMediaTime < 1) {
            highlighter_.highlightWordAtTime(0, true, true, true);
            file->hasLocatedToLastMediaTime = true;
            if (file->hasLoadedTranscript)
                table_.preloadRowsToLastMediaTime();
        } else if (file) {
            transport_.locateMediaFileToMilliseconds(file->lastMediaTime, false, false, {});
        }
        attemptTransition();
    }
    if (playEnabledChanged_)
        playEnabledChanged_(ready);
}

}  // namespace qv::transcript
