// What the transcript view reads and asks of the main player: its rate and position, and a
// pause. The application gives the real player; tests give one on a clock they move.
#pragma once

#include <cstdint>

namespace qv::transcript {

class TranscriptPlayer {
public:
    virtual ~TranscriptPlayer() = default;
    // 0 when paused or without media.
    virtual double rate() const = 0;
    // Position in whole ms (toward zero); 0 without media.
    virtual std::int64_t currentMilliseconds() const = 0;
    virtual void pause() = 0;
};

}  // namespace qv::transcript
