#include "ObjectStore.h"

#include <chrono>
#include <system_error>

namespace qv::objectstore {

namespace {

std::int64_t systemSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

bool isKeyCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_'
        || c == '-';
}

}  // namespace

ObjectStore::ObjectStore(std::filesystem::path folder, UploadSigner signer, Clock now,
                         std::size_t maxObjectBytes, int maxRunningUploads)
    : folder_(std::move(folder)), signer_(std::move(signer)), now_(now ? std::move(now) : Clock(systemSeconds)),
      maxObjectBytes_(maxObjectBytes), maxRunningUploads_(maxRunningUploads)
{
    std::filesystem::create_directories(folder_);
}

bool ObjectStore::isValidKey(std::string_view key)
{
    if (key.empty() || key.size() > 200 || key.front() == '.' || key.ends_with(".tmp"))
        return false;
    for (char c : key)
        if (!isKeyCharacter(c))
            return false;
    return true;
}

std::filesystem::path ObjectStore::objectPath(std::string_view key) const
{
    return folder_ / std::string(key);
}

std::variant<HttpResponse, std::unique_ptr<ObjectUpload>> ObjectStore::beginPut(const HttpRequest& head,
                                                                                  std::uint64_t bodyBytes)
{
    if (head.method != "PUT")
        return textResponse(405, "Only PUT is accepted at an upload address.");
    const std::string_view key = std::string_view(head.path).substr(head.path.starts_with('/') ? 1 : 0);
    if (!isValidKey(key))
        return textResponse(404, "No object can be stored under this address.");
    switch (signer_.verify("PUT", key, head.query, now_())) {
    case UploadSigner::Verdict::Forged:
        return textResponse(403, "The upload address is not one this service signed.");
    case UploadSigner::Verdict::Expired:
        return textResponse(403, "The upload address has expired; ask for a new one.");
    case UploadSigner::Verdict::Valid:
        break;
    }
    if (bodyBytes == 0)
        return textResponse(400, "The upload is empty.");
    if (bodyBytes > maxObjectBytes_)
        return textResponse(413, "The upload is larger than the " + std::to_string(maxObjectBytes_)
                                     + " bytes an object may hold.");
    {
        std::lock_guard lock(uploads_->mutex);
        if (uploads_->running >= maxRunningUploads_)
            return HttpResponse{503, {{"Retry-After", "5"}}, "Too many uploads are running; try again shortly."};
        ++uploads_->running;
    }
    return std::make_unique<ObjectUpload>(objectPath(key), bodyBytes, uploads_);
}

HttpResponse ObjectStore::handlePut(const HttpRequest& request)
{
    auto begun = beginPut(request, request.body.size());
    if (auto* refusal = std::get_if<HttpResponse>(&begun))
        return *refusal;
    auto& upload = *std::get<std::unique_ptr<ObjectUpload>>(begun);
    upload.append(request.body);
    return upload.finish();
}

}  // namespace qv::objectstore
