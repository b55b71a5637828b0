// Where waveform operations run: a pool of at most 8 threads, one operation per audio track.
// Cancelling marks every operation not yet finished; each still runs to its first check and so
// clears its track's busy flag.
#pragma once

#include "QVGenerateWaveform.h"

#include "platform/foundation/WorkQueue.h"

#include <memory>
#include <mutex>
#include <vector>

class WaveformGenerationQueue {
public:
    // Defaults to 8, the most operations that run at once.
    explicit WaveformGenerationQueue(int maxConcurrentOperations = qv::WorkQueue::kMaxThreads);
    // Cancels what is left and waits for it.
    ~WaveformGenerationQueue();

    void addOperation(std::shared_ptr<QVGenerateWaveform> operation);
    void cancelAllOperations();
    // Blocks until every operation added so far has returned.
    void waitUntilAllOperationsAreFinished();
    // Operations added and not yet finished.
    std::size_t operationCount() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<QVGenerateWaveform>> operations_;
    qv::WorkerPool pool_;
};
