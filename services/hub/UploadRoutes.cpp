#include "services/hub/UploadRoutes.h"

#include "platform/foundation/FileUtilities.h"
#include "services/objectstore/UploadRequest.h"
#include "services/objectstore/UploadSigner.h"

#include <map>
#include <mutex>
#include <stdexcept>

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

// Uploads running per address, so that one address cannot hold every upload's place. Safe from
// any thread: an upload ends on a worker thread.
class UploadsByPeer {
public:
    bool begin(const QString& peer, int most)
    {
        std::lock_guard lock(mutex_);
        int& running = running_[peer];
        if (running >= most)
            return false;
        ++running;
        return true;
    }
    void end(const QString& peer)
    {
        std::lock_guard lock(mutex_);
        if (auto found = running_.find(peer); found != running_.end() && --found->second <= 0)
            running_.erase(found);
    }

private:
    std::mutex mutex_;
    std::map<QString, int> running_;
};

// An accepted upload's body, passed on to the store as it arrives; its place is freed when it
// ends, however it ends.
class UploadSink final : public HttpBodySink {
public:
    UploadSink(std::unique_ptr<objectstore::ObjectUpload> upload, std::shared_ptr<UploadsByPeer> peers, QString peer)
        : upload_(std::move(upload)), peers_(std::move(peers)), peer_(std::move(peer))
    {
    }
    ~UploadSink() override { peers_->end(peer_); }
    void append(QByteArrayView bytes) override
    {
        upload_->append(std::string_view(bytes.data(), static_cast<std::size_t>(bytes.size())));
    }
    HttpResponse finish() override { return hubResponse(upload_->finish()); }

private:
    std::unique_ptr<objectstore::ObjectUpload> upload_;
    std::shared_ptr<UploadsByPeer> peers_;
    QString peer_;
};

// The token of an "Authorization: Bearer <token>" header, or nothing.
std::string bearerToken(const HttpRequest& request)
{
    auto header = request.headers.find("authorization");
    if (header == request.headers.end() || !header->second.startsWith("Bearer "))
        return {};
    return header->second.mid(7).trimmed().toStdString();
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
    server.router().add("GET", "/make-upload-request", [=](const HttpRequest& request) {
        // Upload addresses are handed to signed-in accounts only.
        if (!accounts->resumeSession(bearerToken(request)))
            return HttpResponse::error(401, "unauthenticated", "Sign in to upload.");
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
    server.router().addStreamingPrefix(
        "PUT", prefix,
        [store, prefix, peers = std::make_shared<UploadsByPeer>(), most = options.maxUploadsPerPeer](
            const HttpRequest& head, qint64 bodyBytes) -> std::variant<HttpResponse, std::unique_ptr<HttpBodySink>> {
            if (!peers->begin(head.peer, most)) {
                HttpResponse busy{503, "text/plain; charset=utf-8", "Too many uploads from this address are running; try again shortly.", {}};
                busy.headers["Retry-After"] = "5";
                return busy;
            }
            auto begun = store->beginPut(storeRequest(head, head.path.mid(prefix.size() - 1)),
                                         static_cast<std::uint64_t>(bodyBytes));
            if (auto* refusal = std::get_if<objectstore::HttpResponse>(&begun)) {
                peers->end(head.peer);
                return hubResponse(*refusal);
            }
            return std::make_unique<UploadSink>(std::move(std::get<std::unique_ptr<objectstore::ObjectUpload>>(begun)),
                                                peers, head.peer);
        },
        static_cast<qint64>(options.maxObjectBytes));
    return store;
}

}  // namespace qv::hub
