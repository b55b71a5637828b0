// The service's transcription worker. Every `files_new/<uuid>` entry, those present at start-up
// included, becomes a job: the file is marked as in progress, its upload `<uuid>.m4a` is
// transcribed on a thread of the worker's own (the service's thread stays free), and the results
// are written through the service's own store with its authority, in one turn of the service's
// loop so that they are committed together: the whole transcript or none, the file record, and
// the removal of `files_new/<uuid>`. A job stopped by the service's end leaves its entry in place
// and is taken up again on the next start. The `status` node says whether the worker can run.
// The file's and its owner's custom words, as they stand when the job is taken, are words the
// recognizer may hear.
#pragma once

#include "services/hub/HubServer.h"
#include "services/hub/JobQueue.h"
#include "services/objectstore/ObjectStore.h"
#include "services/transcriber/Transcriber.h"

#include "platform/rtdb/PushIdGenerator.h"

#include <QObject>

#include <memory>
#include <stop_token>
#include <string>
#include <thread>

namespace qv::hub {

class TranscriptionWorker final : public QObject {
public:
    // Model, threads and time limit of each transcription; `stop` is the worker's own.
    using Options = transcriber::TranscriptionOptions;

    // Starts working at once, on the thread of `server`, which must outlive the worker; when the
    // speech model cannot be loaded it only sets `status` to "unavailable" and the entries wait.
    TranscriptionWorker(HubServer& server, std::shared_ptr<const objectstore::ObjectStore> store,
                        Options options = {}, std::shared_ptr<JobQueue> queue = std::make_shared<MemoryJobQueue>());
    // Stops the job under way (its entry stays for the next start) and waits for the thread.
    ~TranscriptionWorker() override;

private:
    class Link;

    void run(std::stop_token stop);
    // Any thread: the file's custom words and its owner's.
    std::vector<std::string> customWordsOf(const std::string& uuid) const;
    // Service thread: the first and last writes of a job.
    bool hasFileRecord(const std::string& uuid) const;
    void markProcessing(const std::string& uuid);
    void finishJob(const std::string& uuid, const transcriber::TranscriptionResult& result);

    HubServer& server_;
    std::shared_ptr<const objectstore::ObjectStore> store_;
    Options options_;
    std::shared_ptr<JobQueue> queue_;
    std::shared_ptr<Link> link_;
    DatabaseBackend::ConnectionId connection_ = 0;
    PushIdGenerator pushIds_;
    std::jthread thread_;
};

}  // namespace qv::hub
