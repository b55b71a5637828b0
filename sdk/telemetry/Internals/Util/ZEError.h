// The SDK's error value: a domain, a code and the description shown to a developer.
#pragma once

#include <string>

namespace ze {

inline constexpr const char* kZEErrorDomain = "com.Doridorir.ZavEdurov.ErrorDomain";
// Transport failures carry the URL-loading domain and its codes.
inline constexpr const char* kZEURLErrorDomain = "NSURLErrorDomain";

inline constexpr long kZELogInvalidContainerErrorCode = 1;
inline constexpr long kZECanceledErrorCode = 2;
inline constexpr long kZEDisabledErrorCode = 3;
// A log the store refused (locked, full, failing disk): it is never sent.
inline constexpr long kZELogNotStoredErrorCode = 4;
inline constexpr long kZEConnectionPausedErrorCode = 100;

inline constexpr long kZEURLErrorUnknown = -1;
inline constexpr long kZEURLErrorTimedOut = -1001;
inline constexpr long kZEURLErrorCannotFindHost = -1003;
inline constexpr long kZEURLErrorCannotConnectToHost = -1004;
inline constexpr long kZEURLErrorNetworkConnectionLost = -1005;
inline constexpr long kZEURLErrorNotConnectedToInternet = -1009;
inline constexpr long kZEURLErrorSecureConnectionFailed = -1200;

struct ZEError {
    std::string domain;
    long code = 0;
    std::string localizedDescription;
};

} // namespace ze
