// What a scrub view drives: the transcript's main player through the transport, or the
// preview player of the pending files' audio panel. Main thread only.
#pragma once

namespace qv::transcript {

class ScrubTarget {
public:
    virtual ~ScrubTarget() = default;
    // Raised for the length of a drag.
    virtual void setIsScrubbingMedia(bool scrubbing) = 0;
    virtual bool scrubPlayerIsPlaying() const = 0;
    virtual void pauseForScrub() = 0;
    // Positions the media at `proportion` (0..1) of its duration; a positioning that arrives
    // while the previous one is still seeking is dropped.
    virtual void positionMediaFileAsProportion(double proportion) = 0;
    // Plays again after a drag that began while playing.
    virtual void resumeAfterScrub() = 0;
    // A drag stops when this answers false (the main player has lost its item).
    virtual bool scrubPlayerHasItem() const = 0;
};

}  // namespace qv::transcript
