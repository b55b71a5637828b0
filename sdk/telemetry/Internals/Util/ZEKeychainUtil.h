// Short strings in the secret store (the keychain's stand-in), one generic-password item per key
// under a service name, by default "<bundle identifier>.ZavEdurov". Values are never logged.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZESecretStore.h"

#include <optional>
#include <string>

namespace ze {

class ZEKeychainUtil {
public:
    static std::string defaultServiceName();

    static bool storeString(const std::string& string, const std::string& key);
    static bool storeStringWithServiceName(const std::string& string, const std::string& key, const std::string& service);
    // `statusCode`, when given, receives the store's status (kZESecItemNotFound for an absent key).
    static std::optional<std::string> stringForKey(const std::string& key, int* statusCode = nullptr);
    static std::optional<std::string> stringForKeyWithServiceName(const std::string& key, const std::string& service,
        int* statusCode = nullptr);
    // Answers the string that was stored, or nothing (and deletes nothing) when there was none.
    static std::optional<std::string> deleteStringForKey(const std::string& key);
    static std::optional<std::string> deleteStringForKeyWithServiceName(const std::string& key, const std::string& service);
    // Deletes every item of the default service.
    static bool clear();

    static ZESecretItem generateItem(const std::string& key, const std::string& service);
    static int addSecItem(const ZESecretItem& attributes);
    static int deleteSecItem(const ZESecretItem& query);
    static int secItemCopyMatchingQuery(const ZESecretItem& query, std::string& result);
};

} // namespace ze
