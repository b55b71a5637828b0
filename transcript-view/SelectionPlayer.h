// The second player that plays only the selected words, beside the main player, which it
// neither pauses nor moves. Main thread only.
#pragma once

#include <cstdint>

namespace qv::transcript {

class SelectionPlayer {
public:
    virtual ~SelectionPlayer() = default;
    // 0 when it is not playing.
    virtual double selectionRate() const = 0;
    // Plays the open media from `startMilliseconds` to `endMilliseconds`, from the start.
    virtual void playSelection(std::int64_t startMilliseconds, std::int64_t endMilliseconds) = 0;
    // Pauses it; `hidePicture` takes its picture off the viewer.
    virtual void stopSelection(bool hidePicture) = 0;
};

}  // namespace qv::transcript
