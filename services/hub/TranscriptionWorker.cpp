#include "services/hub/TranscriptionWorker.h"

#include "platform/foundation/Log.h"
#include "services/hub/BackgroundPriority.h"
#include "services/transcriber/TranscriptRecord.h"

#include <cmath>

namespace qv::hub {

namespace {

const DatabasePath kNewFiles = DatabasePath::parse("files_new");

// Minutes charged for media of `durationMs`, priced as the client prices a file before
// submitting it: whole seconds rounded down, then minutes rounded up, each step narrowed to
// single precision. The duration is the decoded media's, never what the client wrote.
std::int64_t chargedMinutes(std::int64_t durationMs)
{
    const float seconds = std::floor(static_cast<float>(static_cast<double>(std::max<std::int64_t>(0, durationMs)) / 1000.0));
    return std::max<std::int64_t>(0, static_cast<std::int64_t>(std::ceil(static_cast<float>(static_cast<double>(seconds) / 60.0))));
}

std::string minutesText(std::int64_t minutes)
{
    return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
}

void queueNewFiles(const DatabaseValue& root, JobQueue& queue)
{
    for (const DatabaseValue files = root.child("files_new"); const auto& entry : files.children())
        if (!entry.value.isNull())
            queue.push(entry.key);
}

}  // namespace

// Hears every change of the tree (on the service's thread, inside the store's lock) and queues
// the new-file entries; nothing else happens there.
class TranscriptionWorker::Link final : public BackendLink {
public:
    explicit Link(std::shared_ptr<JobQueue> queue) : queue_(std::move(queue)) {}

    void receive(ServerMessage message) override
    {
        for (const auto& path : message.changed) {
            if (path.contains(kNewFiles) || kNewFiles.contains(path)) {
                queueNewFiles(message.root, *queue_);
                return;
            }
        }
    }

private:
    std::shared_ptr<JobQueue> queue_;
};

TranscriptionWorker::TranscriptionWorker(HubServer& server, std::shared_ptr<const objectstore::ObjectStore> store,
                                         Options options, std::shared_ptr<JobQueue> queue)
    : TranscriptionWorker(server, std::move(store), ModelCheck{transcriber::transcriberUnavailableReason(options.model)},
                          options, std::move(queue))
{
}

TranscriptionWorker::TranscriptionWorker(HubServer& server, std::shared_ptr<const objectstore::ObjectStore> store,
                                         ModelCheck model, Options options, std::shared_ptr<JobQueue> queue)
    : server_(server), store_(std::move(store)), options_(std::move(options)), queue_(std::move(queue)),
      link_(std::make_shared<Link>(queue_))
{
    server_.serviceWrite("status", transcriber::serviceStatusValue(!model.unavailable));
    if (model.unavailable) {
        logError("service: transcription cannot run: " + *model.unavailable);
        return;
    }
    DatabaseValue root;
    connection_ = server_.database().connect(link_, root);
    queueNewFiles(root, *queue_);
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

TranscriptionWorker::~TranscriptionWorker()
{
    thread_.request_stop();
    if (thread_.joinable())
        thread_.join();
    if (connection_)
        server_.database().disconnect(connection_);
}

void TranscriptionWorker::run(std::stop_token stop)
{
    // The recognition's threads, started from this one, take its priority.
    lowerThreadPriority();
    while (auto uuid = queue_->take(stop)) {
        QMetaObject::invokeMethod(this, [this, id = *uuid] { markProcessing(id); }, Qt::QueuedConnection);
        Options options = options_;
        options.stop = stop;
        options.customWords = customWordsOf(*uuid);
        // Checked before the recognition, so that an account that cannot pay costs no work;
        // checked again when the result is written, as the balance may have moved meanwhile.
        options.admit = [this, id = *uuid](std::int64_t durationMs) -> std::optional<transcriber::TranscriptionError> {
            if (auto reason = unpaidReason(id, durationMs))
                return transcriber::TranscriptionError{transcriber::TranscriptionErrorCode::Refused, *reason};
            return std::nullopt;
        };
        const std::string key = *uuid + ".m4a";
        transcriber::TranscriptionResult result;
        if (objectstore::ObjectStore::isValidKey(key))
            result = transcriber::transcribeFile(store_->objectPath(key).string(), options);
        else
            result.error = {transcriber::TranscriptionErrorCode::NotAudio, "The file's name cannot name an upload."};
        if (result.error && result.error->code == transcriber::TranscriptionErrorCode::Cancelled) {
            // The service is ending: the entry stays, to be taken up on the next start.
            queue_->finish(*uuid);
            return;
        }
        QMetaObject::invokeMethod(
            this, [this, id = *uuid, result = std::move(result)] { finishJob(id, result); }, Qt::QueuedConnection);
    }
}

std::vector<std::string> TranscriptionWorker::customWordsOf(const std::string& uuid) const
{
    std::vector<std::string> words;
    const std::size_t cap = maxCustomWords_;
    auto add = [&words, cap](const DatabaseValue& list) {
        for (const auto entry : list.children()) {
            if (words.size() == cap)
                return;
            if (entry.value.isString() && entry.value.toString().size() <= kMaxCustomWordBytes)
                words.push_back(entry.value.toString());
        }
    };
    const DatabaseValue file = server_.database().value("files/" + uuid);
    add(file.child("custom_words"));
    const std::string owner = file.child("owner").toString();
    // The owner names a node only when it is a key.
    if (!owner.empty() && keyProblem(owner).empty())
        add(server_.database().value("users/" + owner + "/custom_words"));
    return words;
}

std::optional<std::string> TranscriptionWorker::unpaidReason(const std::string& uuid, std::int64_t durationMs) const
{
    // A file paid for once is delivered again for nothing.
    if (!server_.database().value("charges/" + uuid).isNull())
        return std::nullopt;
    const std::string owner = server_.database().value("files/" + uuid + "/owner").toString();
    if (owner.empty() || !keyProblem(owner).empty())
        return std::nullopt;
    const DatabaseValue balance = server_.database().value("users/" + owner + "/mins_bal");
    const std::int64_t left = balance.isInt() ? balance.toInt() : 0;
    const std::int64_t needed = chargedMinutes(durationMs);
    if (needed <= left)
        return std::nullopt;
    return "This file needs " + minutesText(needed) + " of transcription and the account has "
        + minutesText(std::max<std::int64_t>(0, left)) + " left.";
}

bool TranscriptionWorker::hasFileRecord(const std::string& uuid) const
{
    return !server_.database().value("files/" + uuid).child("owner").isNull();
}

void TranscriptionWorker::markProcessing(const std::string& uuid)
{
    if (!hasFileRecord(uuid))
        return;
    server_.serviceUpdate("files/" + uuid, transcriber::processingFileUpdate());
    // From here on the file is listed for its owner, under way.
    const std::string owner = server_.database().value("files/" + uuid).child("owner").toString();
    server_.serviceWrite("users/" + owner + "/files/" + uuid, DatabaseValue(true));
}

void TranscriptionWorker::finishJob(const std::string& uuid, const transcriber::TranscriptionResult& result)
{
    // Written in one turn of the service's loop, so committed together.
    if (!hasFileRecord(uuid)) {
        // A marker without a file record names nobody's file: there is nowhere to put a transcript.
        logWarning("service: files_new/" + uuid + " has no file record; dropping the entry");
    } else {
        transcriber::TranscriptionResult paid = result;
        if (paid.ok()) {
            if (auto reason = unpaidReason(uuid, paid.durationMs))
                paid = {transcriber::TranscriptionError{transcriber::TranscriptionErrorCode::Refused, *reason}, {}, 0};
        }
        if (!paid.ok())
            logWarning("service: the transcription of " + uuid + " failed: " + paid.error->reason);
        auto writes = transcriber::transcriptionWrites(paid, pushIds_, server_.database().now());
        const std::string owner = server_.database().value("files/" + uuid + "/owner").toString();
        // The minutes are taken in the same turn as the transcript: a file is paid for when it is
        // delivered, and a failed one costs nothing. The charge is noted where only the service
        // writes, so a file submitted again (its client told that a write failed which had in fact
        // landed) is paid for once, and keeps the transcript it was delivered with, which its
        // owner may have corrected since.
        const std::string chargePath = "charges/" + uuid;
        const bool delivered = !server_.database().value(chargePath).isNull()
            && !server_.database().value("transcripts/" + uuid).isNull();
        if (!writes.transcript.isNull() && !delivered)
            server_.serviceWrite("transcripts/" + uuid, writes.transcript);
        server_.serviceUpdate("files/" + uuid, writes.fileRecord);
        if (paid.ok() && server_.database().value(chargePath).isNull()) {
            const std::string balancePath = "users/" + owner + "/mins_bal";
            const std::int64_t balance = server_.database().value(balancePath).toInt();
            const std::int64_t minutes = chargedMinutes(paid.durationMs);
            server_.serviceWrite(balancePath, balance - minutes);
            server_.serviceWrite(chargePath, minutes);
        }
    }
    server_.serviceWrite("files_new/" + uuid, DatabaseValue());
    queue_->finish(uuid);
}

}  // namespace qv::hub
