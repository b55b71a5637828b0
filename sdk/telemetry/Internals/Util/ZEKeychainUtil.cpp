#include "sdk/telemetry/Internals/Util/ZEKeychainUtil.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

namespace ze {

namespace {

// Readable after the first unlock, never migrated to another device.
constexpr const char* kAccessibleAfterFirstUnlockThisDeviceOnly = "cku";

} // namespace

std::string ZEKeychainUtil::defaultServiceName()
{
    return ZEPlatform::applicationInfo().bundleIdentifier + ".ZavEdurov";
}

bool ZEKeychainUtil::storeString(const std::string& string, const std::string& key)
{
    return storeStringWithServiceName(string, key, defaultServiceName());
}

bool ZEKeychainUtil::storeStringWithServiceName(const std::string& string, const std::string& key, const std::string& service)
{
    ZESecretItem item = generateItem(key, service);
    item.accessible = kAccessibleAfterFirstUnlockThisDeviceOnly;
    item.value = string;
    int status = addSecItem(item);
    if (status == kZESecDuplicateItem) {
        deleteSecItem(item);
        status = addSecItem(item);
    }
    if (status == kZESecSuccess) {
        ZELogVerbose(kZELogTag, "Stored a string with key='%@', service='%@' to keychain.", key, service);
        return true;
    }
    ZELogWarning(kZELogTag, "Failed to store item with key='%@', service='%@' to keychain. OS Status code %i", key,
        service, status);
    return false;
}

std::optional<std::string> ZEKeychainUtil::stringForKey(const std::string& key, int* statusCode)
{
    return stringForKeyWithServiceName(key, defaultServiceName(), statusCode);
}

std::optional<std::string> ZEKeychainUtil::stringForKeyWithServiceName(const std::string& key, const std::string& service,
    int* statusCode)
{
    std::string value;
    const int status = secItemCopyMatchingQuery(generateItem(key, service), value);
    if (statusCode) {
        *statusCode = status;
    }
    if (status == kZESecSuccess) {
        ZELogVerbose(kZELogTag, "Retrieved a string with key='%@', service='%@' from keychain.", key, service);
        return value;
    }
    ZELogWarning(kZELogTag, "Failed to retrieve item with key='%@', service='%@' from keychain. OS Status code %i", key,
        service, status);
    return std::nullopt;
}

std::optional<std::string> ZEKeychainUtil::deleteStringForKey(const std::string& key)
{
    return deleteStringForKeyWithServiceName(key, defaultServiceName());
}

std::optional<std::string> ZEKeychainUtil::deleteStringForKeyWithServiceName(const std::string& key, const std::string& service)
{
    auto stored = stringForKeyWithServiceName(key, service);
    if (!stored) {
        return std::nullopt;
    }
    const int status = deleteSecItem(generateItem(key, service));
    if (status == kZESecSuccess) {
        ZELogVerbose(kZELogTag, "Deleted a string with key='%@', service='%@' from keychain.", key, service);
        return stored;
    }
    ZELogWarning(kZELogTag, "Failed to delete item with key='%@', service='%@' from keychain. OS Status code %i", key,
        service, status);
    return std::nullopt;
}

bool ZEKeychainUtil::clear()
{
    ZESecretItem query;
    query.service = defaultServiceName();
    return deleteSecItem(query) == kZESecSuccess;
}

ZESecretItem ZEKeychainUtil::generateItem(const std::string& key, const std::string& service)
{
    ZESecretItem item;
    item.service = service;
    item.account = key;
    return item;
}

int ZEKeychainUtil::addSecItem(const ZESecretItem& attributes)
{
    return ZEPlatform::secretStore()->add(attributes);
}

int ZEKeychainUtil::deleteSecItem(const ZESecretItem& query)
{
    return ZEPlatform::secretStore()->remove(query);
}

int ZEKeychainUtil::secItemCopyMatchingQuery(const ZESecretItem& query, std::string& result)
{
    return ZEPlatform::secretStore()->copyMatching(query, result);
}

} // namespace ze
