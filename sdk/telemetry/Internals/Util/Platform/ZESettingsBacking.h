// The key-value store that holds the SDK's persistent settings: the application's own preference
// store through an adapter, or by default a JSON file. Safe to use from any thread.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

namespace ze {

// A stored value: Boolean, integer, floating-point number, text, date or bytes.
using ZESettingValue = std::variant<bool, std::int64_t, double, std::string, ZEDate, ZEData>;

class ZESettingsBacking {
public:
    virtual ~ZESettingsBacking() = default;
    virtual std::optional<ZESettingValue> objectForKey(const std::string& key) const = 0;
    virtual void setObject(const std::string& key, ZESettingValue value) = 0;
    virtual void removeObject(const std::string& key) = 0;
    // Every stored key with its value.
    virtual std::map<std::string, ZESettingValue> dictionaryRepresentation() const = 0;
};

// Settings kept in one JSON file (dates and bytes tagged so that they read back with their kind).
// Every change is written at once, through a temporary file renamed over the old one. A file that
// cannot be read or parsed counts as empty. An empty path keeps the settings in memory only.
class ZEJsonFileSettings final : public ZESettingsBacking {
public:
    explicit ZEJsonFileSettings(std::filesystem::path file = {});
    ZEJsonFileSettings(const ZEJsonFileSettings&) = delete;
    ZEJsonFileSettings& operator=(const ZEJsonFileSettings&) = delete;

    std::optional<ZESettingValue> objectForKey(const std::string& key) const override;
    void setObject(const std::string& key, ZESettingValue value) override;
    void removeObject(const std::string& key) override;
    std::map<std::string, ZESettingValue> dictionaryRepresentation() const override;

private:
    void save() const;

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::map<std::string, ZESettingValue> values_;
};

} // namespace ze
