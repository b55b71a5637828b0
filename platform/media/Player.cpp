#include "Player.h"

#include "AudioPipeline.h"
#include "CompositionAudioReader.h"
#include "VideoPipeline.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qv {

Player::Player(Dispatcher& main, std::unique_ptr<AudioOutput> output) : main_(main), output_(std::move(output))
{
    surface_->setAhead(kPausedAhead);
}

Player::~Player()
{
    stopTimers();
    if (outputRunning_)
        output_->stop();
    pipeline_.reset();
    video_.reset();
}

MediaTime Player::itemDuration() const
{
    if (!item_ || !item_->duration().isNumeric())
        return MediaTime::zero();
    return std::max(item_->duration(), MediaTime::zero());
}

double Player::itemSeconds() const { return itemDuration().seconds(); }

MediaTime Player::clampedToItem(const MediaTime& time) const
{
    // The item's time line has one epoch: a time of another counts by its value alone.
    MediaTime onItem = time;
    onItem.epoch = 0;
    return std::clamp(onItem, MediaTime::zero(), itemDuration());
}

double Player::timeSeconds()
{
    double t = anchor_.seconds();
    if (outputRunning_)
        t += output_->playedSeconds() * playingRate_;
    return std::clamp(t, 0.0, itemSeconds());
}

MediaTime Player::currentTime()
{
    return MediaTime(std::llround(timeSeconds() * AudioPipeline::kSampleRate), AudioPipeline::kSampleRate);
}

void Player::setStatus(Status status)
{
    if (status == status_)
        return;
    status_ = status;
    if (statusObserver_)
        statusObserver_(status);
}

std::unique_ptr<CompositionAudioReader> Player::stopAudio()
{
    std::unique_ptr<CompositionAudioReader> reader = pipeline_ ? pipeline_->stop() : std::move(landingReader_);
    pipeline_.reset();
    landingReader_.reset();
    landing_ = false;
    return reader;
}

void Player::rebuildPipeline(double toleranceBefore, double toleranceAfter)
{
    ++generation_;
    audioReady_ = false;
    videoReady_ = false;
    if (!item_ || status_ == Status::Failed) {
        stopAudio();
        video_.reset();
        surface_->reset();
        return;
    }
    auto videoTracks = item_->composition().tracksWithMediaType(MediaType::Video);
    // The pictures first: an exact seek waits longest for them, its sound is ready well before.
    std::weak_ptr<int> alive = alive_;
    std::uint64_t generation = generation_;
    auto shown = [this, alive, generation](double shownFrom) {
        main_.async([this, alive, generation, shownFrom] {
            if (alive.lock())
                pictureShown(generation, shownFrom);
        });
    };
    VideoPipeline::Events videoEvents{shown, failureHandler()};
    if (videoTracks.empty()) {
        video_.reset();
        surface_->reset();
        videoReady_ = true;
    } else if (video_) {
        // The same item's pictures from another time: the pipeline keeps its decoder. While
        // paused, the picture there shows alone until playing starts.
        video_->restart(anchor_, std::move(videoEvents), toleranceBefore, toleranceAfter, rate_ == 0);
    } else {
        surface_->reset();
        video_ = std::make_unique<VideoPipeline>(item_->composition(), videoTracks.front()->trackID(), anchor_,
                                                 surface_, std::move(videoEvents), toleranceBefore, toleranceAfter);
    }
    // The same item read from elsewhere: its files stay open.
    std::unique_ptr<CompositionAudioReader> reader = stopAudio();
    // A tolerant seek lands where a key picture is: the sound starts there once it is known.
    landing_ = !videoTracks.empty() && (toleranceBefore > 0 || toleranceAfter > 0);
    if (landing_)
        landingReader_ = std::move(reader);
    else
        startAudio(std::move(reader));
}

std::function<void(MediaError)> Player::failureHandler()
{
    std::weak_ptr<int> alive = alive_;
    std::uint64_t generation = generation_;
    return [this, alive, generation](MediaError error) {
        main_.async([this, alive, generation, error = std::move(error)]() mutable {
            if (alive.lock())
                pipelineFailed(generation, std::move(error));
        });
    };
}

void Player::startAudio(std::unique_ptr<CompositionAudioReader> reader)
{
    std::weak_ptr<int> alive = alive_;
    std::uint64_t generation = generation_;
    auto ready = [this, alive, generation] {
        main_.async([this, alive, generation] {
            if (alive.lock())
                pipelineReady(generation, true);
        });
    };
    MediaTime start = anchor_.convertScale(AudioPipeline::kSampleRate);
    pipeline_ = std::make_unique<AudioPipeline>(audioWorker_, item_->composition(), mix_, start, playingRate_,
                                                AudioPipeline::Events{ready, failureHandler(), nullptr},
                                                std::move(reader));
}

void Player::pictureShown(std::uint64_t generation, double shownFrom)
{
    if (generation != generation_)
        return;
    if (landing_) {
        landing_ = false;
        // The sample nearest to the picture landed on, or the one after it where that comes
        // before the picture: the picture must show at the anchor when the pictures start
        // again from it (paused, played).
        MediaTime landed(std::llround(shownFrom * AudioPipeline::kSampleRate), AudioPipeline::kSampleRate);
        if (landed.seconds() < shownFrom)
            ++landed.value;
        anchor_ = clampedToItem(landed);
        startAudio(std::move(landingReader_));
    }
    pipelineReady(generation, false);
}

void Player::startOutput()
{
    if (outputRunning_ || !pipeline_ || !audioReady_ || !videoReady_)
        return;
    AudioPipeline* pipeline = pipeline_.get();
    output_->start(AudioPipeline::kSampleRate, AudioPipeline::kChannels,
                   [pipeline](float* out, int frames) { return pipeline->pull(out, frames); });
    outputRunning_ = true;
    surface_->setAhead(VideoSurface::kAhead);
}

void Player::stopOutput()
{
    if (!outputRunning_)
        return;
    // Exact while nothing has played since the anchor: the picture showing stays the one shown.
    const MediaTime played(std::llround(output_->playedSeconds() * playingRate_ * AudioPipeline::kSampleRate),
                           AudioPipeline::kSampleRate);
    anchor_ = clampedToItem(anchor_ + played);
    output_->stop();
    outputRunning_ = false;
    surface_->setAhead(kPausedAhead);
}

void Player::startTimers()
{
    if (!ticker_)
        ticker_ = main_.every(kTickSeconds, [this] { tick(); });
    for (auto& [token, observer] : observers_)
        if (!observer.timer)
            observer.timer = main_.every(observer.interval, [this, token = token] {
                auto found = observers_.find(token);
                if (found != observers_.end())
                    found->second.callback(currentTime());
            });
}

void Player::stopTimers()
{
    if (ticker_)
        main_.cancel(ticker_);
    ticker_ = 0;
    for (auto& entry : observers_) {
        if (entry.second.timer)
            main_.cancel(entry.second.timer);
        entry.second.timer = 0;
    }
}

void Player::notifyObservers()
{
    MediaTime now = currentTime();
    std::vector<TimeObserver> callbacks;
    for (const auto& entry : observers_)
        callbacks.push_back(entry.second.callback);
    for (const auto& callback : callbacks)
        callback(now);
}

void Player::overtakeSeek()
{
    if (auto overtaken = std::exchange(pendingSeek_, nullptr))
        main_.async([overtaken] { overtaken(false); });
}

void Player::replaceCurrentItem(std::optional<PlayerItem> item)
{
    overtakeSeek();
    stopOutput();
    stopTimers();
    pipeline_.reset();
    landingReader_.reset();
    video_.reset();
    item_ = std::move(item);
    mix_ = item_ ? item_->audioMix() : nullptr;
    anchor_ = MediaTime::zero();
    error_.reset();
    status_ = Status::Unknown;
    rebuildPipeline();
    if (item_ && rate_ > 0)
        startTimers();
}

void Player::setRate(double rate)
{
    if (!std::isfinite(rate) || rate <= 0)
        rate = 0;
    else
        rate = std::clamp(rate, 0.5, 100.0);
    if (rate == rate_)
        return;
    bool wasPlaying = rate_ > 0;
    stopOutput();
    rate_ = rate;
    if (rate == 0) {
        stopTimers();
        rebuildPipeline();
        notifyObservers();
        return;
    }
    if (wasPlaying || rate != playingRate_ || (!pipeline_ && !landing_)) {
        playingRate_ = rate;
        rebuildPipeline();
    }
    if (!item_ || status_ == Status::Failed)
        return;
    startOutput();
    startTimers();
    notifyObservers();
}

namespace {

// A tolerance in seconds: none for one that is not a time or not positive.
double toleranceSeconds(const MediaTime& tolerance)
{
    if (tolerance.isPositiveInfinity())
        return std::numeric_limits<double>::infinity();
    if (!tolerance.isNumeric() || tolerance <= MediaTime::zero())
        return 0;
    return tolerance.seconds();
}

}  // namespace

void Player::seek(const MediaTime& time, SeekCompletion completion)
{
    seek(time, MediaTime::positiveInfinity(), MediaTime::positiveInfinity(), std::move(completion));
}

void Player::seek(const MediaTime& time, const MediaTime& toleranceBefore, const MediaTime& toleranceAfter,
                  SeekCompletion completion)
{
    overtakeSeek();
    if (!item_ || status_ == Status::Failed || !time.isValid() || time.isIndefinite()) {
        if (completion)
            main_.async([completion] { completion(false); });
        return;
    }
    stopOutput();
    // Kept exact: the picture that starts at the time asked for is the one that shows.
    anchor_ = clampedToItem(time);
    pendingSeek_ = std::move(completion);
    rebuildPipeline(toleranceSeconds(toleranceBefore), toleranceSeconds(toleranceAfter));
}

Player::ObserverToken Player::addPeriodicTimeObserver(double intervalSeconds, TimeObserver observer)
{
    ObserverToken token = nextToken_++;
    observers_[token] = {std::max(intervalSeconds, 0.001), std::move(observer), 0};
    if (ticker_)
        startTimers();
    return token;
}

void Player::removeTimeObserver(ObserverToken token)
{
    auto found = observers_.find(token);
    if (found == observers_.end())
        return;
    if (found->second.timer)
        main_.cancel(found->second.timer);
    observers_.erase(found);
}

void Player::tick()
{
    if (timeSeconds() < itemSeconds())
        return;
    stopOutput();
    anchor_ = itemDuration();
    rate_ = 0;
    stopTimers();
    ++generation_;
    pipeline_.reset();
    video_.reset();
    notifyObservers();
    if (endObserver_)
        endObserver_();
}

void Player::pipelineReady(std::uint64_t generation, bool audio)
{
    if (generation != generation_)
        return;
    (audio ? audioReady_ : videoReady_) = true;
    if (!audioReady_ || !videoReady_)
        return;
    setStatus(Status::ReadyToPlay);
    if (auto completion = std::exchange(pendingSeek_, nullptr))
        completion(true);
    if (rate_ > 0 && !outputRunning_) {
        startOutput();
        startTimers();
    }
    notifyObservers();
}

void Player::pipelineFailed(std::uint64_t generation, MediaError error)
{
    if (generation != generation_)
        return;
    stopOutput();
    stopTimers();
    rate_ = 0;
    ++generation_;
    pipeline_.reset();
    landing_ = false;
    landingReader_.reset();
    video_.reset();
    error_ = std::move(error);
    setStatus(Status::Failed);
    if (auto completion = std::exchange(pendingSeek_, nullptr))
        completion(false);
}

}  // namespace qv
