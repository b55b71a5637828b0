// The typed properties of an event, one per name; setting a name again replaces it. Setters
// refuse absent keys or values and non-finite doubles, and return the container for chaining.
#pragma once

#include "sdk/telemetry/Internals/Model/ZETypedProperty.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace ze {

class ZEEventProperties : public ZEArchivable {
public:
    static constexpr const char* kClassName = "ZEEventProperties";

    ZEEventProperties() = default;
    explicit ZEEventProperties(const ZEStringMap& strings);
    ZEEventProperties(const ZEEventProperties& other);

    ZEEventProperties& setString(const std::optional<std::string>& value, const std::optional<std::string>& key);
    ZEEventProperties& setDouble(double value, const std::optional<std::string>& key);
    ZEEventProperties& setInt64(std::int64_t value, const std::optional<std::string>& key);
    ZEEventProperties& setBool(bool value, const std::optional<std::string>& key);
    ZEEventProperties& setDate(const std::optional<ZEDate>& value, const std::optional<std::string>& key);
    void remove(const std::string& key);

    // Each property's JSON form, in name order.
    ZEJson serializeToArray() const;
    bool isEmpty() const;
    bool isEqual(const ZEEventProperties& other) const;
    // Copies every entry of `other`, replacing entries of the same name.
    void mergeEventProperties(const ZEEventProperties& other);
    std::map<std::string, std::shared_ptr<ZETypedProperty>> properties() const;
    void setProperty(const std::shared_ptr<ZETypedProperty>& property);

    std::string archiveClassName() const override { return kClassName; }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);

private:
    static bool validateKey(const std::optional<std::string>& key);

    mutable std::recursive_mutex mutex_;
    std::map<std::string, std::shared_ptr<ZETypedProperty>> properties_;
};

} // namespace ze
