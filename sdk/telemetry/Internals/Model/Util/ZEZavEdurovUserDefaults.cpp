#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEFormat.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

namespace ze {

namespace {

constexpr const char* kPrefix = "ZEZavEdurov";

} // namespace

ZEZavEdurovUserDefaults& ZEZavEdurovUserDefaults::shared()
{
    static ZEZavEdurovUserDefaults instance;
    return instance;
}

std::string ZEZavEdurovUserDefaults::getZavEdurovKeyFrom(const std::string& key)
{
    return kPrefix + key;
}

std::optional<ZESettingValue> ZEZavEdurovUserDefaults::objectForKey(const std::string& key) const
{
    return ZEPlatform::settings()->objectForKey(getZavEdurovKeyFrom(key));
}

void ZEZavEdurovUserDefaults::setObject(ZESettingValue value, const std::string& key)
{
    ZEPlatform::settings()->setObject(getZavEdurovKeyFrom(key), std::move(value));
}

void ZEZavEdurovUserDefaults::removeObjectForKey(const std::string& key)
{
    ZEPlatform::settings()->removeObject(getZavEdurovKeyFrom(key));
}

void ZEZavEdurovUserDefaults::migrateKeys(const std::map<std::string, ZEMigrationOldKey>& keys, const std::string& service)
{
    const std::string marker = ZEFormat("310%@UserDefaultsMigratedKey", service);
    if (objectForKey(marker)) {
        return;
    }
    ZELogVerbose(kZELogTag, "Migrating the old NSDefaults keys to new ones.");
    const auto settings = ZEPlatform::settings();
    for (const auto& [newKey, oldKey] : keys) {
        if (const auto* name = std::get_if<std::string>(&oldKey)) {
            swapKeys(*name, newKey, settings->objectForKey(*name));
            continue;
        }
        const std::string& prefix = std::get<ZEUserDefaultsPrefixKey>(oldKey).keyPrefix;
        for (const auto& [key, value] : settings->dictionaryRepresentation()) {
            if (key.rfind(prefix, 0) == 0) {
                swapKeys(key, newKey + key.substr(prefix.size()), value);
            }
        }
    }
    setObject(true, marker);
}

void ZEZavEdurovUserDefaults::swapKeys(const std::string& oldKey, const std::string& newKey,
    const std::optional<ZESettingValue>& value)
{
    if (!value) {
        return;
    }
    const auto settings = ZEPlatform::settings();
    settings->setObject(newKey, *value);
    settings->removeObject(oldKey);
    ZELogVerbose(kZELogTag, "Migrating key %@ -> %@", oldKey, newKey);
}

std::map<std::string, ZEMigrationOldKey> ZEZavEdurovUserDefaults::coreMigrationKeys()
{
    return {
        {"ZEZavEdurovChannelStartTimer", ZEUserDefaultsPrefixKey{"ZEChannelStartTimer"}},
        {"ZEZavEdurovPastDevices", std::string("pastDevicesKey")},
        {"ZEZavEdurovInstallId", std::string("ZEInstallId")},
        {"ZEZavEdurovZavEdurovIsEnabled", std::string("ZEZavEdurovIsEnabled")},
        {"ZEZavEdurovEncryptionKeyMetadata", std::string("ZEEncryptionKeyMetadata")},
        {"ZEZavEdurovSessionIdHistory", std::string("SessionIdHistory")},
        {"ZEZavEdurovUserIdHistory", std::string("UserIdHistory")},
    };
}

} // namespace ze
