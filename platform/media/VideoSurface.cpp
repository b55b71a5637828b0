#include "VideoSurface.h"

#include <algorithm>

namespace qv {

void VideoSurface::reset()
{
    {
        std::lock_guard lock(mutex_);
        queued_.clear();
        shown_.reset();
    }
    room_.notify_all();
}

void VideoSurface::setAhead(std::size_t pictures)
{
    {
        std::lock_guard lock(mutex_);
        ahead_ = std::max<std::size_t>(pictures, 1);
    }
    room_.notify_all();
}

bool VideoSurface::roomFound(std::unique_lock<std::mutex>& lock, const std::function<bool()>& stopping)
{
    room_.wait(lock, [&] { return stopping() || queued_.size() < ahead_; });
    return !stopping();
}

bool VideoSurface::push(VideoFrame frame, const std::function<bool()>& stopping)
{
    std::unique_lock lock(mutex_);
    if (!roomFound(lock, stopping))
        return false;
    queued_.push_back(std::make_shared<const VideoFrame>(std::move(frame)));
    return true;
}

bool VideoSurface::waitForRoom(const std::function<bool()>& stopping)
{
    std::unique_lock lock(mutex_);
    return roomFound(lock, stopping);
}

void VideoSurface::wake()
{
    // Taking the lock orders the wake after a waiter's check of its predicate.
    { std::lock_guard lock(mutex_); }
    room_.notify_all();
}

std::shared_ptr<const VideoFrame> VideoSurface::frameAt(double seconds)
{
    bool taken = false;
    std::shared_ptr<const VideoFrame> result;
    {
        std::lock_guard lock(mutex_);
        while (!queued_.empty() && queued_.front()->time <= seconds) {
            shown_ = std::move(queued_.front());
            queued_.pop_front();
            taken = true;
        }
        if (!shown_ && !queued_.empty())
            shown_ = queued_.front();
        result = shown_;
    }
    if (taken)
        room_.notify_all();
    return result;
}

}  // namespace qv
