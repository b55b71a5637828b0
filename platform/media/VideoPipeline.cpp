#include "VideoPipeline.h"

#include "VideoFrameReader.h"

namespace qv {

VideoPipeline::VideoPipeline(Composition composition, int trackID, const MediaTime& start,
                             std::shared_ptr<VideoSurface> surface, Events events, double toleranceBefore,
                             double toleranceAfter)
    : composition_(std::move(composition)), trackID_(trackID), surface_(std::move(surface))
{
    generation_ = 1;
    job_ = Job{1, start, std::move(events), toleranceBefore, toleranceAfter};
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

void VideoPipeline::restart(const MediaTime& start, Events events, double toleranceBefore, double toleranceAfter,
                            bool alone)
{
    // The thread checks the generation between packets, whenever the surface wakes it, and
    // under the surface's lock before it queues a picture: once the generation has moved on
    // and the surface is emptied (which wakes it), nothing of the last start reaches the surface.
    // The new start carries its generation: the thread may take the last start from job_ after
    // the generation moved on and before the new one is put there, and must then see it as
    // overtaken, not as the new start. The thread takes the new start as soon as it has left
    // the last one, without a word back: waiting for one would only add a turn of each thread
    // before the seek goes on.
    std::uint64_t generation = ++generation_;
    surface_->reset();
    {
        std::lock_guard lock(mutex_);
        job_ = Job{generation, start, std::move(events), toleranceBefore, toleranceAfter, alone};
    }
    changed_.notify_all();
}

bool VideoPipeline::current(std::uint64_t generation) { return generation == generation_ && !quitting_; }

void VideoPipeline::run()
{
    std::unique_ptr<VideoFrameReader> reader;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return quitting_ || job_.has_value(); });
            if (quitting_)
                return;
            job = std::move(*job_);
            job_.reset();
        }
        if (!current(job.generation))
            continue;
        // A reader that failed starts over: the file may be back.
        if (reader && reader->error())
            reader.reset();
        if (!reader) {
            auto made = VideoFrameReader::make(composition_, trackID_, job.start);
            if (!made) {
                job.events.failed(made.error());
                continue;
            }
            reader = std::move(made.value());
        }
        reader->seek(job.start, job.toleranceBefore, job.toleranceAfter, job.alone);
        play(*reader, job);
    }
}

void VideoPipeline::play(VideoFrameReader& reader, const Job& job)
{
    bool announced = false;
    auto stopping = [this, generation = job.generation] { return !current(generation); };
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
        job.events.ready(job.start.seconds());
}

}  // namespace qv
