#include "WaveformGenerationQueue.h"

#include <algorithm>

WaveformGenerationQueue::WaveformGenerationQueue(int maxConcurrentOperations)
    : pool_("waveform generation", maxConcurrentOperations)
{
}

WaveformGenerationQueue::~WaveformGenerationQueue()
{
    cancelAllOperations();
    pool_.wait();
}

void WaveformGenerationQueue::addOperation(std::shared_ptr<QVGenerateWaveform> operation)
{
    if (!operation)
        return;
    {
        std::lock_guard lock(mutex_);
        operations_.push_back(operation);
    }
    pool_.run([this, operation] {
        operation->main();
        std::lock_guard lock(mutex_);
        std::erase(operations_, operation);
    });
}

void WaveformGenerationQueue::cancelAllOperations()
{
    std::lock_guard lock(mutex_);
    for (const auto& operation : operations_)
        operation->cancel();
}

void WaveformGenerationQueue::waitUntilAllOperationsAreFinished() { pool_.wait(); }

std::size_t WaveformGenerationQueue::operationCount() const
{
    std::lock_guard lock(mutex_);
    return operations_.size();
}
