#include "sdk/telemetry/Internals/Http/ZEHttpUtil.h"

namespace ze {

bool ZEHttpUtil::isRecoverableError(long statusCode)
{
    return statusCode >= 500 || statusCode == 408 || statusCode == 429 || statusCode == 0;
}

bool ZEHttpUtil::isSuccessStatusCode(long statusCode)
{
    return statusCode >= 200 && statusCode < 300;
}

ZEError ZEHttpUtil::errorForStatusCode(long statusCode)
{
    return {kZEErrorDomain, statusCode, "The service answered with HTTP status " + std::to_string(statusCode) + "."};
}

bool ZEHttpUtil::isNoInternetConnectionError(const std::optional<ZEError>& error)
{
    return error && error->domain == kZEURLErrorDomain
        && (error->code == kZEURLErrorNotConnectedToInternet || error->code == kZEURLErrorNetworkConnectionLost);
}

bool ZEHttpUtil::isSSLConnectionError(const std::optional<ZEError>& error)
{
    return error && error->domain == kZEURLErrorDomain && error->code >= -2000 && error->code <= -1200;
}

std::string ZEHttpUtil::hideSecret(const std::string& secret)
{
    constexpr std::size_t kVisible = 8;
    if (secret.size() <= kVisible) {
        return std::string(secret.size(), '*');
    }
    return std::string(secret.size() - kVisible, '*') + secret.substr(secret.size() - kVisible);
}

std::string ZEHttpUtil::hideSecretInString(const std::string& text, const std::string& secret)
{
    if (secret.empty()) {
        return text;
    }
    const std::string hidden = hideSecret(secret);
    std::string out = text;
    for (std::size_t at = out.find(secret); at != std::string::npos; at = out.find(secret, at + hidden.size())) {
        out.replace(at, secret.size(), hidden);
    }
    return out;
}

} // namespace ze
