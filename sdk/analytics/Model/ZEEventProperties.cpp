#include "sdk/analytics/Model/ZEEventProperties.h"

#include "sdk/analytics/ZEAnalyticsConstants.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"

#include <cmath>

namespace ze {

namespace {

template <class T, class V>
std::shared_ptr<ZETypedProperty> make(const std::string& key, V value)
{
    auto property = std::make_shared<T>();
    property->name = key;
    property->value = std::move(value);
    return property;
}

} // namespace

ZEEventProperties::ZEEventProperties(const ZEStringMap& strings)
{
    for (const auto& [key, value] : strings) {
        properties_[key] = make<ZEStringTypedProperty>(key, std::optional(value));
    }
}

ZEEventProperties::ZEEventProperties(const ZEEventProperties& other)
    : ZEArchivable()
    , properties_(other.properties())
{
}

bool ZEEventProperties::validateKey(const std::optional<std::string>& key)
{
    if (!key) {
        ZELogError(kZEAnalyticsLogTag, "Key cannot be null. Property will not be added.");
        return false;
    }
    return true;
}

ZEEventProperties& ZEEventProperties::setString(const std::optional<std::string>& value, const std::optional<std::string>& key)
{
    if (!validateKey(key)) {
        return *this;
    }
    if (!value) {
        ZELogError(kZEAnalyticsLogTag, "Value cannot be null. Property will not be added.");
        return *this;
    }
    setProperty(make<ZEStringTypedProperty>(*key, value));
    return *this;
}

ZEEventProperties& ZEEventProperties::setDouble(double value, const std::optional<std::string>& key)
{
    if (!validateKey(key)) {
        return *this;
    }
    if (!std::isfinite(value)) {
        ZELogError(kZEAnalyticsLogTag, "Double value for property '%@' must be finite (cannot be INFINITY or NAN).", *key);
        return *this;
    }
    setProperty(make<ZEDoubleTypedProperty>(*key, value));
    return *this;
}

ZEEventProperties& ZEEventProperties::setInt64(std::int64_t value, const std::optional<std::string>& key)
{
    if (validateKey(key)) {
        setProperty(make<ZELongTypedProperty>(*key, value));
    }
    return *this;
}

ZEEventProperties& ZEEventProperties::setBool(bool value, const std::optional<std::string>& key)
{
    if (validateKey(key)) {
        setProperty(make<ZEBooleanTypedProperty>(*key, value));
    }
    return *this;
}

ZEEventProperties& ZEEventProperties::setDate(const std::optional<ZEDate>& value, const std::optional<std::string>& key)
{
    if (!validateKey(key)) {
        return *this;
    }
    if (!value) {
        ZELogError(kZEAnalyticsLogTag, "Value cannot be null. Property will not be added.");
        return *this;
    }
    setProperty(make<ZEDateTimeTypedProperty>(*key, value));
    return *this;
}

void ZEEventProperties::setProperty(const std::shared_ptr<ZETypedProperty>& property)
{
    std::lock_guard lock(mutex_);
    properties_[property->name.value_or("")] = property;
}

void ZEEventProperties::remove(const std::string& key)
{
    std::lock_guard lock(mutex_);
    properties_.erase(key);
}

ZEJson ZEEventProperties::serializeToArray() const
{
    std::lock_guard lock(mutex_);
    ZEJson array = ZEJson::array();
    for (const auto& [name, property] : properties_) {
        array.push_back(property->serializeToDictionary());
    }
    return array;
}

bool ZEEventProperties::isEmpty() const
{
    std::lock_guard lock(mutex_);
    return properties_.empty();
}

bool ZEEventProperties::isEqual(const ZEEventProperties& other) const
{
    const auto mine = properties();
    const auto theirs = other.properties();
    if (mine.size() != theirs.size()) {
        return false;
    }
    for (const auto& [name, property] : mine) {
        const auto found = theirs.find(name);
        if (found == theirs.end() || !property->isEqual(*found->second)) {
            return false;
        }
    }
    return true;
}

void ZEEventProperties::mergeEventProperties(const ZEEventProperties& other)
{
    for (const auto& [name, property] : other.properties()) {
        setProperty(property);
    }
}

std::map<std::string, std::shared_ptr<ZETypedProperty>> ZEEventProperties::properties() const
{
    std::lock_guard lock(mutex_);
    return properties_;
}

void ZEEventProperties::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    std::vector<std::shared_ptr<ZETypedProperty>> list;
    for (const auto& [name, property] : properties()) {
        list.push_back(property);
    }
    coder.encodeObjectArray("properties", list);
}

void ZEEventProperties::initWithCoder(ZEKeyedUnarchiver& coder)
{
    if (const auto list = coder.decodeObjectArray<ZETypedProperty>("properties")) {
        for (const auto& property : *list) {
            if (property) {
                properties_[property->name.value_or("")] = property;
            }
        }
    }
}

} // namespace ze
