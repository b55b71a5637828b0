#include "ObjectStore.h"

#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/Md5.h"

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

std::string etagForBody(std::string_view body)
{
    return "\"" + md5Hex(QByteArrayView(body.data(), static_cast<qsizetype>(body.size()))).toStdString() + "\"";
}

ObjectStore::ObjectStore(std::filesystem::path folder, UploadSigner signer, Clock now,
                         std::size_t maxObjectBytes)
    : folder_(std::move(folder)), signer_(std::move(signer)), now_(now ? std::move(now) : Clock(systemSeconds)),
      maxObjectBytes_(maxObjectBytes)
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

HttpResponse ObjectStore::handlePut(const HttpRequest& request)
{
    if (request.method != "PUT")
        return textResponse(405, "Only PUT is accepted at an upload address.");
    const std::string_view key = std::string_view(request.path).substr(request.path.starts_with('/') ? 1 : 0);
    if (!isValidKey(key))
        return textResponse(404, "No object can be stored under this address.");
    switch (signer_.verify("PUT", key, request.query, now_())) {
    case UploadSigner::Verdict::Forged:
        return textResponse(403, "The upload address is not one this service signed.");
    case UploadSigner::Verdict::Expired:
        return textResponse(403, "The upload address has expired; ask for a new one.");
    case UploadSigner::Verdict::Valid:
        break;
    }
    if (request.body.empty())
        return textResponse(400, "The upload is empty.");
    if (request.body.size() > maxObjectBytes_)
        return textResponse(413, "The upload is larger than the " + std::to_string(maxObjectBytes_)
                                     + " bytes an object may hold.");

    const std::string etag = etagForBody(request.body);
    const std::filesystem::path target = objectPath(key);
    std::lock_guard lock(writing_);
    std::error_code error;
    if (std::filesystem::exists(target, error)) {
        const auto stored = readFile(target);
        if (!stored)
            return textResponse(500, "The object stored under this address cannot be read.");
        if (*stored != request.body)
            return textResponse(409, "This address already holds a different upload; it was kept.");
        return {200, {{"Etag", etag}}, {}};
    }
    if (const std::string failure = replaceFile(target, request.body); !failure.empty())
        return textResponse(500, "The upload could not be stored: " + failure);
    return {200, {{"Etag", etag}}, {}};
}

}  // namespace qv::objectstore
