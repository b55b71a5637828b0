// How the HTTP layer classifies outcomes, and how it masks secrets in what it logs.
#pragma once

#include "sdk/telemetry/Internals/Util/ZEError.h"

#include <optional>
#include <string>

namespace ze {

class ZEHttpUtil {
public:
    // 500 and above, 408, 429, and 0 (no response at all).
    static bool isRecoverableError(long statusCode);
    // 200 to 299.
    static bool isSuccessStatusCode(long statusCode);
    // The error of a call the service answered with a failing status, which the client completes
    // without one: in the SDK's domain, with the status as its code.
    static ZEError errorForStatusCode(long statusCode);
    // URL-loading errors -1009 (not connected) and -1005 (connection lost).
    static bool isNoInternetConnectionError(const std::optional<ZEError>& error);
    // URL-loading errors from -2000 to -1200.
    static bool isSSLConnectionError(const std::optional<ZEError>& error);
    // All but the last 8 characters as "*"; a text of 8 or fewer becomes all "*".
    static std::string hideSecret(const std::string& secret);
    static std::string hideSecretInString(const std::string& text, const std::string& secret);
};

} // namespace ze
