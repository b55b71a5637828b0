// The service's transcription worker. Every `files_new/<uuid>` entry, those present at start-up
// included, becomes a job: the file is marked as in progress, its upload `<uuid>.m4a` is
// transcribed on a thread of the worker's own (the service's thread stays free), and the results
// are written through the service's own store with its authority, in one turn of the service's
// loop so that they are committed together: the whole transcript or none, the file record, and
// the removal of `files_new/<uuid>`. A job stopped by the service's end leaves its entry in place
// and is taken up again on the next start. The `status` node says whether the worker can run.
// The file's and its owner's custom words, as they stand when the job is taken, are words the
// recognizer may hear. A file is charged by the duration of its decoded media; one its owner's
// balance does not cover is not transcribed and fails with a reason.
#pragma once

#include "services/hub/HubServer.h"
#include "services/hub/JobQueue.h"
#include "services/objectstore/ObjectStore.h"
#include "services/transcriber/Transcriber.h"

#include "platform/rtdb/PushIdGenerator.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

namespace qv::hub {

class TranscriptionWorker final : public QObject {
public:
    // Custom words a job takes, the file's before its owner's; an entry longer than
    // kMaxCustomWordBytes is no word anyone says and is left out.
    static constexpr std::size_t kMaxCustomWords = 2000;
    static constexpr std::size_t kMaxCustomWordBytes = 100;

    // Model, threads and time limit of each transcription; `stop` is the worker's own.
    using Options = transcriber::TranscriptionOptions;

    // What the start-up check of the speech model found (transcriberUnavailableReason): why the
    // model cannot be loaded, or nothing when it can. The check loads the model's parts, tens of
    // megabytes, for a moment: a service checks before it loads its database, so that the
    // moment does not come on top of the database's tree.
    struct ModelCheck {
        std::optional<std::string> unavailable;
    };

    // Starts working at once, on the thread of `server`, which must outlive the worker; when the
    // speech model cannot be loaded it only sets `status` to "unavailable" and the entries wait.
    TranscriptionWorker(HubServer& server, std::shared_ptr<const objectstore::ObjectStore> store,
                        Options options = {}, std::shared_ptr<JobQueue> queue = std::make_shared<MemoryJobQueue>());
    // The same with the model checked already.
    TranscriptionWorker(HubServer& server, std::shared_ptr<const objectstore::ObjectStore> store, ModelCheck model,
                        Options options = {}, std::shared_ptr<JobQueue> queue = std::make_shared<MemoryJobQueue>());
    // Stops the job under way (its entry stays for the next start) and waits for the thread.
    ~TranscriptionWorker() override;

    // How many custom words a job takes; defaults to kMaxCustomWords. Any thread.
    void setMaxCustomWords(std::size_t count) { maxCustomWords_ = count; }

private:
    class Link;

    void run(std::stop_token stop);
    // Any thread: the file's custom words and its owner's, within the limits above.
    std::vector<std::string> customWordsOf(const std::string& uuid) const;
    // Any thread: why the owner of `uuid` cannot pay for media of `durationMs`, or nothing (also
    // when the file was paid for already).
    std::optional<std::string> unpaidReason(const std::string& uuid, std::int64_t durationMs) const;
    // Service thread: the first and last writes of a job.
    bool hasFileRecord(const std::string& uuid) const;
    void markProcessing(const std::string& uuid);
    void finishJob(const std::string& uuid, const transcriber::TranscriptionResult& result);

    HubServer& server_;
    std::shared_ptr<const objectstore::ObjectStore> store_;
    Options options_;
    std::atomic<std::size_t> maxCustomWords_ = kMaxCustomWords;
    std::shared_ptr<JobQueue> queue_;
    std::shared_ptr<Link> link_;
    DatabaseBackend::ConnectionId connection_ = 0;
    PushIdGenerator pushIds_;
    std::jthread thread_;
};

}  // namespace qv::hub
