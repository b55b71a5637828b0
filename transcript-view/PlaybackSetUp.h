// Hands an opened (or relinked) file's asset to the main player: decides whether the start
// timecode must still be read, works out how the viewer shows the media, gives the player the
// item with its audio mix, and drives the word highlight and the scrub bar from the player's
// 1/50 s time callback. Also positions the file once its item is ready. Main thread only.
#pragma once

#include "model/AppDelegate.h"
#include "model/QVMediaFile.h"
#include "platform/media/Asset.h"
#include "platform/media/AudioMixStage.h"
#include "transcript-view/MainPlayer.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace qv::transcript {

class TranscriptTable;
class TranscriptTransport;
class WordHighlighter;

// How the viewer and the panel beside it are laid out for the file.
struct ViewerLayout {
    // Height to width of the viewer; kNoVideoAspectRatio collapses it.
    double aspectRatio = 0;
    // Whether the "unsupported codec" picture covers the viewer; unset for a file without
    // video, which leaves it as it was (the viewer is collapsed then).
    std::optional<bool> showsUnsupportedCodec;
    // Spacing above the words/search/media panel and inside the audio panel, in points.
    double wordsSearchMediaTopSpacer = 0;
    double panelTopSpacer = 0;
};

class PlaybackSetUp {
public:
    // Files created after this are read with their stored start timecode. The record's
    // `created` is compared with it as it stands, without scaling.
    static constexpr std::int64_t kStoredTimecodeCutOff = 1489795199;
    static constexpr double kDefaultAspectRatio = 0.5625;
    static constexpr double kNoVideoAspectRatio = 1e-11;
    // The time callback's interval, in seconds.
    static constexpr double kTimeInterval = 1.0 / 50;

    PlaybackSetUp(AppDelegate& ad, Dispatcher& main, MainPlayer& player, TranscriptTable& table, WordHighlighter& highlighter,
                  TranscriptTransport& transport);
    ~PlaybackSetUp();
    PlaybackSetUp(const PlaybackSetUp&) = delete;
    PlaybackSetUp& operator=(const PlaybackSetUp&) = delete;

    // Sets up playback of `asset` for the open file; a missing asset (its loading failed)
    // changes nothing.
    void setUpPlaybackOfAsset(const std::shared_ptr<Asset>& asset, const QStringList& keys);
    // The layout for a file with or without video, whose media can be decoded or not and whose
    // first video track shows at `naturalWidth` x `naturalHeight`.
    static ViewerLayout viewerLayoutFor(bool hasVideo, bool playable, int naturalWidth, int naturalHeight);
    // The layout the last set-up chose.
    const ViewerLayout& viewerLayout() const { return layout_; }

    // Media access when opening a file. Access to a media file's URL needs no grant here; the
    // flag is kept so that the file's access is released as it is elsewhere.
    static void checkAccessForMediaFile(QVMediaFile& mediaFile);
    // Marks the open file as missing media when one of its media files is offline, then tells
    // the missing-media indicator on the next turn of the main queue.
    void checkForMissingMediaFiles();
    static bool complexFileHasVideoForMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles);

    double currentTimeSeconds() const;
    double durationSeconds() const { return player_.durationSeconds(); }

    // Reads the start timecode from the media's broadcast-wave, iXML or MP3 metadata into the
    // file, answering whether there was one. Without it, or when it finds none, the media's
    // timecode track is read.
    void setMetadataTimecode(std::function<bool(QVFile& file)> read) { metadataTimecode_ = std::move(read); }
    // The audio mix of the file's media files (the audio configuration's, cached with the
    // file there); without one every channel is heard.
    void setAudioMixBuilder(std::function<std::shared_ptr<AudioMixStage>(const QVFile& file)> build)
    {
        audioMixBuilder_ = std::move(build);
    }
    // Told the layout of every set-up, the playhead's proportion of the media (only while the
    // duration is known), and whether the play button can be used.
    void setViewerLayoutChanged(std::function<void(const ViewerLayout&)> changed) { layoutChanged_ = std::move(changed); }
    void setProportionChanged(std::function<void(double proportion)> changed) { proportionChanged_ = std::move(changed); }
    // The missing-media button shows only beside a shown words/search/media button.
    void setMissingMediaButton(std::function<bool()> searchButtonShown, std::function<void(bool shown)> show)
    {
        searchButtonShown_ = std::move(searchButtonShown);
        showMissingMedia_ = std::move(show);
    }
    void setPlayEnabledChanged(std::function<void(bool enabled)> changed) { playEnabledChanged_ = std::move(changed); }

private:
    bool timecodeIsPending(QVFile& file);
    void timeChanged(const MediaTime& time);
    void statusChanged(Player::Status status);
    void attemptTransition();

    AppDelegate& ad_;
    Dispatcher& main_;
    MainPlayer& player_;
    TranscriptTable& table_;
    WordHighlighter& highlighter_;
    TranscriptTransport& transport_;
    ViewerLayout layout_;
    std::optional<Player::ObserverToken> timeObserver_;
    std::function<bool(QVFile&)> metadataTimecode_;
    std::function<std::shared_ptr<AudioMixStage>(const QVFile&)> audioMixBuilder_;
    std::function<void(const ViewerLayout&)> layoutChanged_;
    std::function<void(double)> proportionChanged_;
    std::function<void(bool)> playEnabledChanged_;
    std::function<bool()> searchButtonShown_;
    std::function<void(bool)> showMissingMedia_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv::transcript
