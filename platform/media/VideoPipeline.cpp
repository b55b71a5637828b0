#include "VideoPipeline.h"

#include "VideoFrameReader.h"

namespace qv {

VideoPipeline::VideoPipeline(Composition composition, int trackID, double startSeconds,
                             std::shared_ptr<VideoSurface> surface, Events events)
    : surface_(std::move(surface))
{
    thread_ = std::thread([this, composition = std::move(composition), trackID, startSeconds,
                           events = std::move(events)] {
        auto reader = VideoFrameReader::make(composition, trackID, startSeconds);
        if (!reader) {
            events.failed(reader.error());
            return;
        }
        bool announced = false;
        auto stopping = [this] { return stopping_.load(); };
        while (!stopping_) {
            auto picture = reader.value()->next();
            if (!picture)
                break;
            if (!surface_->push(std::move(*picture), stopping))
                return;
            if (!announced)
                events.ready();
            announced = true;
        }
        if (auto error = reader.value()->error())
            return events.failed(*error);
        if (!announced && !stopping_)
            events.ready();
    });
}

VideoPipeline::~VideoPipeline()
{
    stopping_ = true;
    surface_->wake();
    thread_.join();
}

}  // namespace qv
