#include "VideoPipeline.h"

#include "VideoFrameReader.h"

namespace qv {

VideoPipeline::VideoPipeline(Composition composition, int trackID, double startSeconds,
                             std::shared_ptr<VideoSurface> surface, Events events, double toleranceBefore,
                             double toleranceAfter)
    : composition_(std::move(composition)), trackID_(trackID), surface_(std::move(surface))
{
    job_ = Job{startSeconds, std::move(events), toleranceBefore, toleranceAfter};
    generation_ = 1;
    thread_ = std::thread([this] { run(); });
}

VideoPipeline::~VideoPipeline()
{
    {
        std::lock_guard lock(mutex_);
        quitting_ = true;
    }
    changed_.notify_all();
    surface_->wake();
    thread_.join();
}

void VideoPipeline::restart(double startSeconds, Events events, double toleranceBefore, double toleranceAfter)
{
    std::unique_lock lock(mutex_);
    ++generation_;
    job_.reset();
    surface_->wake();
    // The thread checks the generation between packets and whenever the surface wakes it.
    changed_.wait(lock, [&] { return !busy_; });
    surface_->reset();
    job_ = Job{startSeconds, std::move(events), toleranceBefore, toleranceAfter};
    changed_.notify_all();
}

bool VideoPipeline::current(std::uint64_t generation) { return generation == generation_ && !quitting_; }

void VideoPipeline::run()
{
    std::unique_ptr<VideoFrameReader> reader;
    for (;;) {
        Job job;
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(mutex_);
            busy_ = false;
            changed_.notify_all();
            changed_.wait(lock, [&] { return quitting_ || job_.has_value(); });
            if (quitting_)
                return;
            job = std::move(*job_);
            job_.reset();
            generation = generation_;
            busy_ = true;
        }
        // A reader that failed starts over: the file may be back.
        if (reader && reader->error())
            reader.reset();
        if (!reader) {
            auto made = VideoFrameReader::make(composition_, trackID_, job.startSeconds);
            if (!made) {
                job.events.failed(made.error());
                continue;
            }
            reader = std::move(made.value());
        }
        reader->seek(job.startSeconds, job.toleranceBefore, job.toleranceAfter);
        play(*reader, job, generation);
    }
}

void VideoPipeline::play(VideoFrameReader& reader, const Job& job, std::uint64_t generation)
{
    bool announced = false;
    auto stopping = [this, generation] { return !current(generation); };
    for (;;) {
        // Decoded only once the surface has room for it: a picture decoded and converted ahead of
        // the room for it would hold up the next start.
        if (!surface_->waitForRoom(stopping))
            return;
        auto picture = reader.next(stopping);
        if (!picture)
            break;
        double shown = picture->time;
        if (!surface_->push(std::move(*picture), stopping))
            return;
        if (!announced)
            job.events.ready(shown);
        announced = true;
    }
    if (stopping())
        return;
    if (auto error = reader.error())
        return job.events.failed(*error);
    if (!announced)
        job.events.ready(job.startSeconds);
}

}  // namespace qv
