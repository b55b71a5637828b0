// The one gateway to the SDK's persistent settings: callers pass short keys ("InstallId") and
// the store keeps them under "ZEZavEdurov" + key in the application's settings. It also moves
// values that older versions kept under other names, once per service.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZESettingsBacking.h"

#include <map>
#include <optional>
#include <string>
#include <variant>

namespace ze {

// Stands in a migration table for every old key that begins with `keyPrefix`.
struct ZEUserDefaultsPrefixKey {
    std::string keyPrefix;
};

// An old key: one exact name, or every name with a prefix.
using ZEMigrationOldKey = std::variant<std::string, ZEUserDefaultsPrefixKey>;

class ZEZavEdurovUserDefaults {
public:
    static ZEZavEdurovUserDefaults& shared();

    static std::string getZavEdurovKeyFrom(const std::string& key);
    std::optional<ZESettingValue> objectForKey(const std::string& key) const;
    void setObject(ZESettingValue value, const std::string& key);
    void removeObjectForKey(const std::string& key);

    // Moves old keys to new ones (new keys already carry the prefix), unless this service's
    // marker "310<service>UserDefaultsMigratedKey" says it was done before; then sets the marker.
    void migrateKeys(const std::map<std::string, ZEMigrationOldKey>& keys, const std::string& service);
    // Writes `value` under `newKey` as given and removes `oldKey`; nothing for no value.
    void swapKeys(const std::string& oldKey, const std::string& newKey, const std::optional<ZESettingValue>& value);

    // The core's table (service "ZavEdurov"): new key to old key.
    static std::map<std::string, ZEMigrationOldKey> coreMigrationKeys();

private:
    ZEZavEdurovUserDefaults() = default;
};

} // namespace ze
