#include "UploadRequest.h"

#include <nlohmann/json.hpp>

namespace qv::objectstore {

bool isUploadFileName(std::string_view name)
{
    constexpr std::string_view kExtension = ".m4a";
    if (name.size() != 32 + kExtension.size() || !name.ends_with(kExtension))
        return false;
    for (char c : name.substr(0, 32))
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

HttpResponse makeUploadRequest(const HttpRequest& request, const UploadSigner& signer,
                               const UploadRequestSettings& settings, std::int64_t nowSeconds)
{
    if (request.method != "GET")
        return textResponse(405, "Ask for an upload address with GET.");
    auto fileName = request.query.find("file_name");
    if (fileName == request.query.end() || !isUploadFileName(fileName->second))
        return textResponse(400, "file_name must be the upload's identifier (32 upper-case hexadecimal digits) "
                                 "followed by \".m4a\".");
    const std::string& key = fileName->second;
    const nlohmann::ordered_json answer = {
        {"signed_request", signer.signedPutUrl(settings.storeBaseUrl, key, nowSeconds + settings.validitySeconds)},
        {"url", settings.storeBaseUrl + "/" + key},
    };
    return {200, {{"Content-Type", "application/json"}}, answer.dump()};
}

}  // namespace qv::objectstore
