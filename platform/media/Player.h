// Plays one item (an asset or a composition, with its audio mix): play, pause, rates 0, 1, 1.5
// and 2 with the pitch kept, exact and tolerant seeks, a periodic time observer, status and
// end-of-item callbacks; pictures are decoded off the main thread onto a video surface. Main thread only; every callback runs on the main thread through the
// dispatcher. The clock is the audio output's: the time moves as the sound is played.
#pragma once

#include "AudioOutput.h"
#include "MediaError.h"
#include "MediaTime.h"
#include "PlayerItem.h"
#include "VideoSurface.h"

#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/WorkQueue.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace qv {

class AudioPipeline;
class CompositionAudioReader;
class VideoPipeline;

class Player {
public:
    enum class Status { Unknown, ReadyToPlay, Failed };
    // `finished` is false when a later seek (or a new item) overtook this one.
    using SeekCompletion = std::function<void(bool finished)>;
    using TimeObserver = std::function<void(const MediaTime& time)>;
    using ObserverToken = std::uint64_t;

    Player(Dispatcher& main, std::unique_ptr<AudioOutput> output);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Replaces the item (none stops playback). Status goes back to Unknown and becomes
    // ReadyToPlay once the first audio is decoded, or Failed.
    void replaceCurrentItem(std::optional<PlayerItem> item);
    const PlayerItem* currentItem() const { return item_ ? &*item_ : nullptr; }

    Status status() const { return status_; }
    // Set when the status is Failed; it names the file.
    const std::optional<MediaError>& error() const { return error_; }
    void setStatusObserver(std::function<void(Status)> observer) { statusObserver_ = std::move(observer); }
    // Runs when playback reaches the end of the item; the rate is 0 by then.
    void setEndObserver(std::function<void()> observer) { endObserver_ = std::move(observer); }

    // 0 pauses; a positive rate plays (0.5 to 100; the pitch is kept).
    void setRate(double rate);
    double rate() const { return rate_; }
    void play() { setRate(1.0); }
    void pause() { setRate(0.0); }

    // The time of the item being heard; between zero and the item's duration.
    MediaTime currentTime();

    // Seeks to `time`, clamped to the item. With zero tolerances the seek is exact: sound and
    // picture land on the asked time. Otherwise, for an item with pictures, it lands on the key
    // picture nearest to `time` that shows no more than `toleranceBefore` earlier or
    // `toleranceAfter` later, and completes once that one picture is decoded; where there is
    // none it is exact. The sound starts where the picture lands. Without tolerances given they
    // are infinite.
    void seek(const MediaTime& time, SeekCompletion completion = {});
    void seek(const MediaTime& time, const MediaTime& toleranceBefore, const MediaTime& toleranceAfter,
              SeekCompletion completion = {});

    // `observer` runs every `intervalSeconds` while playing, and once after every jump (a seek
    // finished, play, pause, the end). Returns a token for removeTimeObserver.
    ObserverToken addPeriodicTimeObserver(double intervalSeconds, TimeObserver observer);
    void removeTimeObserver(ObserverToken token);

    // The pictures of the item's first video track, for a view to show at currentTime().
    std::shared_ptr<VideoSurface> videoSurface() const { return surface_; }

    // How often the player checks for the end while playing. Defaults to 1/50 s.
    static constexpr double kTickSeconds = 1.0 / 50;
    // Pictures queued on the surface while the sound is not playing: the one at the time it
    // rests at. The rest are decoded once playback starts.
    static constexpr std::size_t kPausedAhead = 1;

private:
    struct Observer {
        double interval = 0;
        TimeObserver callback;
        TimerId timer = 0;
    };

    // The item's duration, zero when it has none; and a time clamped between zero and it.
    MediaTime itemDuration() const;
    double itemSeconds() const;
    MediaTime clampedToItem(const MediaTime& time) const;
    double timeSeconds();
    // Tolerances in seconds, as for seek().
    void rebuildPipeline(double toleranceBefore = 0, double toleranceAfter = 0);
    void startAudio(std::unique_ptr<CompositionAudioReader> reader);
    // Stops the sound of the last start and hands over its reader, files open.
    std::unique_ptr<CompositionAudioReader> stopAudio();
    std::function<void(MediaError)> failureHandler();
    void pictureShown(std::uint64_t generation, double shownFrom);
    void startOutput();
    void stopOutput();
    void startTimers();
    void stopTimers();
    void notifyObservers();
    void tick();
    void pipelineReady(std::uint64_t generation, bool audio);
    void pipelineFailed(std::uint64_t generation, MediaError error);
    void overtakeSeek();
    void setStatus(Status status);

    Dispatcher& main_;
    std::unique_ptr<AudioOutput> output_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::optional<PlayerItem> item_;
    std::shared_ptr<AudioMixStage> mix_;
    // The thread every audio pipeline of the player runs on; it outlives them.
    SerialQueue audioWorker_{"audio"};
    std::unique_ptr<AudioPipeline> pipeline_;
    // A tolerant seek waits for its picture before the sound starts; the reader waits with it.
    bool landing_ = false;
    std::unique_ptr<CompositionAudioReader> landingReader_;
    std::shared_ptr<VideoSurface> surface_ = std::make_shared<VideoSurface>();
    std::unique_ptr<VideoPipeline> video_;
    std::uint64_t generation_ = 0;
    // The pipelines of this generation have their first audio and picture.
    bool audioReady_ = false;
    bool videoReady_ = false;
    bool outputRunning_ = false;
    MediaTime anchor_ = MediaTime::zero();  // item time where the output started, or where playback rests
    double rate_ = 0;
    double playingRate_ = 1.0;   // the rate the pipeline is built for
    Status status_ = Status::Unknown;
    std::optional<MediaError> error_;
    SeekCompletion pendingSeek_;
    std::map<ObserverToken, Observer> observers_;
    ObserverToken nextToken_ = 1;
    TimerId ticker_ = 0;
    std::function<void(Status)> statusObserver_;
    std::function<void()> endObserver_;
};

}  // namespace qv
