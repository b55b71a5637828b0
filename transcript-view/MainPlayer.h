// The application's main player as the transcript view uses it, and the selection player made
// from the main player's item on first use. Times are whole ms; the duration counts only once
// the item is ready to play. Main thread only.
#pragma once

#include "platform/foundation/Dispatcher.h"
#include "platform/media/Player.h"
#include "transcript-view/SelectionPlayer.h"
#include "transcript-view/TranscriptPlayer.h"

#include <functional>
#include <memory>

namespace qv::transcript {

class MainPlayer final : public TranscriptPlayer, public SelectionPlayer {
public:
    // The selection player's picture goes up this long after it starts playing, in seconds.
    static constexpr double kSelectionPictureDelay = 0.1;
    using PlayerFactory = std::function<std::unique_ptr<Player>()>;

    // `makeSelectionPlayer` makes the second player the first time a selection is played.
    MainPlayer(Player& player, Dispatcher& main, PlayerFactory makeSelectionPlayer);
    MainPlayer(const MainPlayer&) = delete;
    MainPlayer& operator=(const MainPlayer&) = delete;

    Player& player() { return player_; }

    double rate() const override { return player_.rate(); }
    std::int64_t currentMilliseconds() const override;
    void pause() override { player_.pause(); }
    void setRate(double rate) override { player_.setRate(rate); }
    bool hasItem() const override { return player_.currentItem() != nullptr; }
    double durationSeconds() const override;
    void seek(std::int64_t milliseconds, bool exact, std::function<void(bool finished)> done) override;

    double selectionRate() const override { return selection_ ? selection_->rate() : 0; }
    void playSelection(std::int64_t startMilliseconds, std::int64_t endMilliseconds) override;
    void stopSelection(bool hidePicture) override;

    // The selection player; none before the first selection is played.
    Player* selectionPlayer() { return selection_.get(); }
    // Told when the selection player's picture should show over the viewer (true) or not.
    void setSelectionPictureShown(std::function<void(bool shown)> shown) { pictureShown_ = std::move(shown); }
    // Whether the viewer shows the "unsupported codec" picture, which the selection's stays under.
    void setShowsUnsupportedCodec(std::function<bool()> shows) { showsUnsupportedCodec_ = std::move(shows); }

private:
    Player& player_;
    Dispatcher& main_;
    PlayerFactory makeSelectionPlayer_;
    std::unique_ptr<Player> selection_;
    std::function<void(bool)> pictureShown_;
    std::function<bool()> showsUnsupportedCodec_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv::transcript
