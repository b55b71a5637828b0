#include "services/hub/UploadRoutes.h"

#include "platform/foundation/FileUtilities.h"
#include "services/objectstore/UploadRequest.h"
#include "services/objectstore/UploadSigner.h"

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace qv::hub {

namespace {

// The signing key of the store's addresses, kept beside the data; a key file that cannot be read
// is never replaced (addresses already handed out would silently stop working).
std::string signingSecret(const std::filesystem::path& dataFolder)
{
    const auto path = dataFolder / "upload-secret";
    std::error_code missing;
    if (std::filesystem::exists(path, missing)) {
        auto secret = readFile(path);
        if (!secret || secret->empty())
            throw std::runtime_error("cannot read the upload signing key " + path.string());
        return *secret;
    }
    std::string secret = objectstore::UploadSigner::randomSecret();
    if (auto error = replaceFile(path, secret); !error.empty())
        throw std::runtime_error("cannot keep the upload signing key: " + error);
    return secret;
}

objectstore::HttpRequest storeRequest(const HttpRequest& request, const QString& path)
{
    objectstore::HttpRequest converted;
    converted.method = request.method.toStdString();
    converted.path = path.toStdString();
    for (const auto& [name, value] : request.query.queryItems(QUrl::FullyDecoded))
        converted.query[name.toStdString()] = value.toStdString();
    for (const auto& [name, value] : request.headers)
        converted.headers.emplace_back(name.toStdString(), value.toStdString());
    converted.body = request.body.toStdString();
    return converted;
}

HttpResponse hubResponse(const objectstore::HttpResponse& response)
{
    HttpResponse converted;
    converted.status = response.status;
    converted.body = QByteArray::fromStdString(response.body);
    converted.contentType = "text/plain; charset=utf-8";
    for (const auto& [name, value] : response.headers) {
        if (QByteArray::fromStdString(name).toLower() == "content-type")
            converted.contentType = QByteArray::fromStdString(value);
        else
            converted.headers[QByteArray::fromStdString(name)] = QByteArray::fromStdString(value);
    }
    return converted;
}

// Uploads running per address and per account, so that neither one address nor one account can
// hold every upload's place, and how to make a running upload that has been slow of late give its
// place up. Safe from any thread: an upload ends on a worker thread.
class RunningUploads {
public:
    enum class Start { Started, AddressBusy, AccountBusy };

    RunningUploads(int perPeer, int perAccount) : perPeer_(perPeer), perAccount_(perAccount) {}

    // An upload of no known account (an address handed out before accounts were recorded) is
    // bound by its address alone.
    Start begin(const QString& peer, const std::string& account)
    {
        std::lock_guard lock(mutex_);
        if (byPeer_[peer] >= perPeer_)
            return Start::AddressBusy;
        if (!account.empty() && byAccount_[account] >= perAccount_)
            return Start::AccountBusy;
        ++byPeer_[peer];
        if (!account.empty())
            ++byAccount_[account];
        return Start::Started;
    }
    void end(const QString& peer, const std::string& account)
    {
        std::lock_guard lock(mutex_);
        release(byPeer_, peer);
        if (!account.empty())
            release(byAccount_, account);
    }
    // A running upload and how to give it up if it has been slow of late, until it withdraws.
    void offer(const void* upload, std::function<bool()> yieldIfSlow)
    {
        std::lock_guard lock(mutex_);
        yielders_.emplace_back(upload, std::move(yieldIfSlow));
    }
    void withdraw(const void* upload)
    {
        std::lock_guard lock(mutex_);
        std::erase_if(yielders_, [upload](const auto& yielder) { return yielder.first == upload; });
    }
    // On the service's thread: asks the running uploads, longest running first, to give their
    // places up if they have been slow of late, until one does; answers whether one did. An
    // upload given up ends (and withdraws) within the call, so the lock is not held meanwhile.
    bool displaceSlow()
    {
        std::vector<std::pair<const void*, std::function<bool()>>> yielders;
        {
            std::lock_guard lock(mutex_);
            yielders = yielders_;
        }
        return std::any_of(yielders.begin(), yielders.end(), [](const auto& yielder) { return yielder.second(); });
    }

private:
    template <typename Key>
    static void release(std::map<Key, int>& running, const Key& key)
    {
        if (auto found = running.find(key); found != running.end() && --found->second <= 0)
            running.erase(found);
    }

    const int perPeer_;
    const int perAccount_;
    std::mutex mutex_;
    std::map<QString, int> byPeer_;
    std::map<std::string, int> byAccount_;
    std::vector<std::pair<const void*, std::function<bool()>>> yielders_;  // in the order they began
};

// An accepted upload's body, passed on to the store as it arrives; its place is freed when it
// ends, however it ends.
class UploadSink final : public HttpBodySink {
public:
    UploadSink(std::unique_ptr<objectstore::ObjectUpload> upload, std::shared_ptr<RunningUploads> running, QString peer,
               std::string account)
        : upload_(std::move(upload)), running_(std::move(running)), peer_(std::move(peer)), account_(std::move(account))
    {
    }
    ~UploadSink() override
    {
        running_->withdraw(this);
        running_->end(peer_, account_);
    }
    void attach(std::function<bool()> yieldIfSlow) override { running_->offer(this, std::move(yieldIfSlow)); }
    void append(QByteArrayView bytes) override
    {
        upload_->append(std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size())));
    }
    HttpResponse finish() override { return hubResponse(upload_->finish()); }

private:
    std::unique_ptr<objectstore::ObjectUpload> upload_;
    std::shared_ptr<RunningUploads> running_;
    QString peer_;
    std::string account_;
};

// The token of an "Authorization: Bearer <token>" header, or nothing.
std::string bearerToken(const HttpRequest& request)
{
    auto header = request.headers.find("authorization");
    if (header == request.headers.end() || !header->second.startsWith("Bearer "))
        return {};
    return header->second.mid(7).trimmed().toStdString();
}

// Where the account an upload address was handed to is kept, by file id: the first signed-in
// account to ask for a file's address holds its upload. The record of a file is written only
// once its upload is stored, so before that this is all that says whose upload it is. No
// account may read or write it.
std::string uploadAccountPath(const std::string& file) { return "upload_accounts/" + file; }

// The file id of an object key that names an upload ("<id>.m4a"), or nothing.
std::string uploadFileOf(const std::string& key)
{
    return objectstore::isUploadFileName(key) ? key.substr(0, key.size() - 4) : std::string();
}

// Why `uid` may not be handed the upload address of `file`, or nothing: the file's upload or its
// record belongs to another account, or its record was deleted.
std::optional<HttpResponse> uploadRefusal(const DatabaseBackend& database, const std::string& uid, const std::string& file)
{
    const std::string holder = database.value(uploadAccountPath(file)).toString();
    const DatabaseValue record = database.value("files/" + file);
    if ((!holder.empty() && holder != uid) || (!record.isNull() && record.child("owner").toString() != uid))
        return HttpResponse::error(403, "not_owner", "This file belongs to another account.");
    if (record.child("deleted").toBool())
        return HttpResponse::error(410, "deleted", "This file was deleted: it takes no upload.");
    return std::nullopt;
}

HttpResponse busy(const char* message)
{
    HttpResponse answer{503, "text/plain; charset=utf-8", message, {}};
    answer.headers["Retry-After"] = "5";
    return answer;
}

}  // namespace

std::shared_ptr<objectstore::ObjectStore> mountUploadRoutes(HubServer& server, const UploadRouteOptions& options)
{
    objectstore::UploadSigner signer(signingSecret(options.dataFolder));
    DatabaseBackend* database = &server.database();
    auto nowSeconds = [database] { return database->now() / 1000; };
    auto store = std::make_shared<objectstore::ObjectStore>(options.dataFolder / "objects", signer, nowSeconds,
                                                            options.maxObjectBytes);
    const QString prefix = kObjectsPrefix;
    const quint16 port = server.port();
    AuthBackend* accounts = &server.accounts();
    HubServer* hub = &server;
    server.router().add("GET", "/make-upload-request", [=](const HttpRequest& request) {
        // Upload addresses are handed to signed-in accounts only, each for its own files.
        const std::optional<User> user = accounts->resumeSession(bearerToken(request));
        if (!user)
            return HttpResponse::error(401, "unauthenticated", "Sign in to upload.");
        // The name checked is the name signed: a second `file_name` could otherwise pass the
        // check with one name and be signed for another.
        std::vector<std::string> names;
        for (const auto& [name, value] : request.query.queryItems(QUrl::FullyDecoded))
            if (name == "file_name")
                names.push_back(value.toStdString());
        if (names.size() > 1)
            return HttpResponse::error(400, "bad_request", "Name one file to upload.");
        const std::string file = names.empty() ? std::string() : uploadFileOf(names.front());
        if (!file.empty()) {
            if (auto refusal = uploadRefusal(*database, user->uid, file))
                return *refusal;
            if (database->value(uploadAccountPath(file)).isNull() && hub->serviceWrite(uploadAccountPath(file), user->uid))
                return HttpResponse::error(500, "storage_failed", "The upload could not be recorded; try again.");
        }
        // The address the client reached this service by is the one it can reach the store by.
        auto host = request.headers.find("host");
        QString authority = host != request.headers.end() && !host->second.isEmpty()
            ? QString::fromUtf8(host->second)
            : "127.0.0.1:" + QString::number(port);
        objectstore::UploadRequestSettings settings;
        settings.storeBaseUrl = (options.scheme + "://" + authority + prefix.chopped(1)).toStdString();
        return hubResponse(objectstore::makeUploadRequest(storeRequest(request, request.path), signer, settings,
                                                          nowSeconds()));
    });
    auto running = std::make_shared<RunningUploads>(options.maxUploadsPerPeer, options.maxUploadsPerAccount);
    server.router().addStreamingPrefix(
        "PUT", prefix,
        [store, prefix, running, database](const HttpRequest& head,
                                           qint64 bodyBytes) -> std::variant<HttpResponse, std::unique_ptr<HttpBodySink>> {
            // The PUT carries only its address's signature: its account is the one the address
            // was handed to.
            const std::string key = head.path.mid(prefix.size()).toStdString();
            const std::string file = uploadFileOf(key);
            const std::string account = file.empty() ? std::string() : database->value(uploadAccountPath(file)).toString();
            switch (running->begin(head.peer, account)) {
            case RunningUploads::Start::AddressBusy:
                return busy("Too many uploads from this address are running; try again shortly.");
            case RunningUploads::Start::AccountBusy:
                return busy("Too many uploads of this account are running; try again shortly.");
            case RunningUploads::Start::Started:
                break;
            }
            const objectstore::HttpRequest request = storeRequest(head, head.path.mid(prefix.size() - 1));
            auto begun = store->beginPut(request, static_cast<std::uint64_t>(bodyBytes));
            // Every place is taken: one whose sender has been slow of late is given to this upload.
            if (const auto* refusal = std::get_if<objectstore::HttpResponse>(&begun);
                refusal && refusal->status == 503 && running->displaceSlow())
                begun = store->beginPut(request, static_cast<std::uint64_t>(bodyBytes));
            if (auto* refusal = std::get_if<objectstore::HttpResponse>(&begun)) {
                running->end(head.peer, account);
                return hubResponse(*refusal);
            }
            return std::make_unique<UploadSink>(std::move(std::get<std::unique_ptr<objectstore::ObjectUpload>>(begun)),
                                                running, head.peer, account);
        },
        static_cast<qint64>(options.maxObjectBytes));
    return store;
}

}  // namespace qv::hub
