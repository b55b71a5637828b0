// Where the player hands decoded pictures to whatever shows them: the decoding thread queues a
// few pictures ahead, and the view takes the one showing at the player's time. Thread-safe.
#pragma once

#include "VideoFrameReader.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace qv {

class VideoSurface {
public:
    // Pictures decoded ahead of the one showing, at most, unless setAhead() says otherwise.
    static constexpr std::size_t kAhead = 8;

    // Drops every picture: the next ones come from another position.
    void reset();
    // How many pictures may wait (at least one): fewer than kAhead while nothing plays, so that
    // the decoder is idle when the next seek comes instead of busy with pictures never shown.
    void setAhead(std::size_t pictures);
    // Decoding thread. Waits while as many pictures wait as may; false, without queueing, once
    // `stopping()` holds (checked whenever the surface is woken).
    bool push(VideoFrame frame, const std::function<bool()>& stopping);
    // Decoding thread. Waits, as push() would, until a picture may be queued: before decoding it.
    bool waitForRoom(const std::function<bool()>& stopping);
    // Wakes a waiting push so that it checks `stopping` again.
    void wake();
    // The picture showing at `seconds`: the latest queued one that starts at or before it, or
    // the one shown last. Nothing before the first picture arrives. Empty image: black.
    std::shared_ptr<const VideoFrame> frameAt(double seconds);

private:
    // Waits, with the lock held, until a picture may be queued or `stopping()` holds; false then.
    bool roomFound(std::unique_lock<std::mutex>& lock, const std::function<bool()>& stopping);

    std::mutex mutex_;
    std::condition_variable room_;
    std::size_t ahead_ = kAhead;
    std::deque<std::shared_ptr<const VideoFrame>> queued_;
    std::shared_ptr<const VideoFrame> shown_;
};

}  // namespace qv
