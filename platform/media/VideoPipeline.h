// The picture half of the player: on a thread of its own it decodes the first video track of
// a composition from a start time and queues the pictures on the player's video surface, a
// few ahead of the one showing. Destroying it stops the thread.
#pragma once

#include "Composition.h"
#include "MediaError.h"
#include "VideoSurface.h"

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace qv {

class VideoPipeline {
public:
    // Called on the pipeline's thread, each at most once.
    struct Events {
        std::function<void()> ready;  // the picture at the start is queued, or there is none
        std::function<void(MediaError)> failed;
    };

    VideoPipeline(Composition composition, int trackID, double startSeconds, std::shared_ptr<VideoSurface> surface,
                  Events events);
    ~VideoPipeline();
    VideoPipeline(const VideoPipeline&) = delete;
    VideoPipeline& operator=(const VideoPipeline&) = delete;

private:
    std::shared_ptr<VideoSurface> surface_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace qv
