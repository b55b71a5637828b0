// The picture half of the player: on a thread of its own it decodes the first video track of
// a composition from a start time and queues the pictures on the player's video surface, a
// few ahead of the one showing. It can be restarted at another time and keeps its decoder for
// that (see VideoFrameReader). Destroying it stops the thread.
#pragma once

#include "Composition.h"
#include "MediaError.h"
#include "MediaTime.h"
#include "VideoSurface.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace qv {

class VideoFrameReader;

class VideoPipeline {
public:
    // Called on the pipeline's thread, each at most once for each start.
    struct Events {
        // The picture at the start is queued (or there is none); with the time it shows from,
        // which a tolerant start may have moved to a key picture.
        std::function<void(double shownFrom)> ready;
        std::function<void(MediaError)> failed;
    };

    // Tolerances as for VideoFrameReader::seek.
    VideoPipeline(Composition composition, int trackID, const MediaTime& start, std::shared_ptr<VideoSurface> surface,
                  Events events, double toleranceBefore = 0, double toleranceAfter = 0);
    ~VideoPipeline();
    VideoPipeline(const VideoPipeline&) = delete;
    VideoPipeline& operator=(const VideoPipeline&) = delete;

    // Stops queueing for the last start, empties the surface and starts again at `start`.
    // Returns once nothing of the last start can reach the surface any more. `alone` as for
    // VideoFrameReader::seek: the picture at the start is shown by itself for a while.
    void restart(const MediaTime& start, Events events, double toleranceBefore = 0, double toleranceAfter = 0,
                 bool alone = false);

private:
    struct Job {
        std::uint64_t generation = 0;  // of the start it is for
        MediaTime start;
        Events events;
        double toleranceBefore = 0;
        double toleranceAfter = 0;
        bool alone = false;
    };

    void run();
    void play(VideoFrameReader& reader, const Job& job);
    bool current(std::uint64_t generation);

    Composition composition_;
    int trackID_;
    std::shared_ptr<VideoSurface> surface_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Job> job_;
    // Of the latest start. Read without the mutex: the thread checks it while it holds the
    // surface's lock, and restart() moves it on before it empties the surface.
    std::atomic<std::uint64_t> generation_{0};
    std::atomic<bool> quitting_{false};
    std::thread thread_;
};

}  // namespace qv
