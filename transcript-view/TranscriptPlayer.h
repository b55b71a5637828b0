// What the transcript view reads and asks of the main player: its rate, position and length,
// play, pause and seeks. The application gives the real player; tests give one on a clock they move.
#pragma once

#include <cstdint>
#include <functional>

namespace qv::transcript {

class TranscriptPlayer {
public:
    virtual ~TranscriptPlayer() = default;
    // 0 when paused or without media.
    virtual double rate() const = 0;
    // Position in whole ms (toward zero); 0 without media.
    virtual std::int64_t currentMilliseconds() const = 0;
    virtual void pause() = 0;
    virtual void setRate(double rate) = 0;
    // The player holds an item to play (it may not be ready yet).
    virtual bool hasItem() const = 0;
    // Length of the media in seconds; 0 without media.
    virtual double durationSeconds() const = 0;
    // Moves to `milliseconds`, exactly or with the player's default tolerance; `done` runs on the
    // main queue with whether the seek finished.
    virtual void seek(std::int64_t milliseconds, bool exact, std::function<void(bool finished)> done) = 0;
};

}  // namespace qv::transcript
