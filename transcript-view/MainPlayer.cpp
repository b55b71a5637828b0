#include "transcript-view/MainPlayer.h"

#include "model/TimeUtilities.h"

#include <algorithm>

namespace qv::transcript {

MainPlayer::MainPlayer(Player& player, Dispatcher& main, PlayerFactory makeSelectionPlayer)
    : player_(player), main_(main), makeSelectionPlayer_(std::move(makeSelectionPlayer))
{
}

std::int64_t MainPlayer::currentMilliseconds() const
{
    if (!player_.currentItem())
        return 0;
    return convertCMTimeToMilliseconds(player_.currentTime());
}

double MainPlayer::durationSeconds() const
{
    const PlayerItem* item = player_.currentItem();
    if (!item || player_.status() != Player::Status::ReadyToPlay)
        return 0;
    return item->duration().seconds();
}

void MainPlayer::seek(std::int64_t milliseconds, bool exact, std::function<void(bool finished)> done)
{
    const MediaTime time(milliseconds, 1000);
    if (exact)
        player_.seek(time, MediaTime::zero(), MediaTime::zero(), std::move(done));
    else
        player_.seek(time, std::move(done));
}

void MainPlayer::playSelection(std::int64_t startMilliseconds, std::int64_t endMilliseconds)
{
    const PlayerItem* main = player_.currentItem();
    if (!main || endMilliseconds <= startMilliseconds)
        return;
    // The stretch of every track of the main item, placed at time zero. A stretched segment
    // (a placeholder for missing media) has nothing to hear and is left out.
    const MediaTimeRange range =
        MediaTimeRange::fromStartEnd(MediaTime(startMilliseconds, 1000), MediaTime(endMilliseconds, 1000));
    Composition composition;
    for (const CompositionTrack& source : main->composition().tracks()) {
        CompositionTrack& track = composition.addMutableTrack(source.mediaType(), source.trackID());
        for (const CompositionSegment& segment : source.segments()) {
            const MediaTime from = std::max(range.start, segment.targetRange.start);
            const MediaTime to = std::min(range.end(), segment.targetRange.end());
            if (!(from < to) || segment.targetRange.duration != segment.sourceRange.duration)
                continue;
            const MediaTime offset = segment.sourceRange.start - segment.targetRange.start;
            track.insertTimeRange(MediaTimeRange::fromStartEnd(from + offset, to + offset), segment.asset,
                                  segment.sourceTrackID, from - range.start);
        }
    }
    PlayerItem item(std::move(composition));
    item.setAudioMix(main->audioMix());
    if (selection_) {
        selection_->pause();
        selection_->replaceCurrentItem(std::move(item));
    } else {
        if (!makeSelectionPlayer_)
            return;
        selection_ = makeSelectionPlayer_();
        selection_->replaceCurrentItem(std::move(item));
    }
    selection_->play();
    std::weak_ptr<bool> alive = alive_;
    main_.after(kSelectionPictureDelay, [this, alive] {
        if (alive.expired() || !pictureShown_)
            return;
        if (!showsUnsupportedCodec_ || !showsUnsupportedCodec_())
            pictureShown_(true);
    });
}

void MainPlayer::stopSelection(bool hidePicture)
{
    if (selection_)
        selection_->pause();
    if (hidePicture && pictureShown_)
        pictureShown_(false);
}

}  // namespace qv::transcript
