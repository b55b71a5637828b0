#include "sdk/telemetry/Internals/Model/ZETypedProperty.h"

#include "sdk/telemetry/Internals/Util/ZEUtility.h"

namespace ze {

ZEJson ZETypedProperty::serializeToDictionary() const
{
    ZEJson json = ZEJson::object();
    ZESetIfPresent(json, "type", type);
    ZESetIfPresent(json, "name", name);
    return json;
}

bool ZETypedProperty::isEqual(const ZESerializableObject& other) const
{
    const auto* property = dynamic_cast<const ZETypedProperty*>(&other);
    return property && type == property->type;
}

void ZETypedProperty::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    coder.encodeString("type", type);
    coder.encodeString("name", name);
}

void ZETypedProperty::initWithCoder(ZEKeyedUnarchiver& coder)
{
    type = coder.decodeString("type");
    name = coder.decodeString("name");
}

namespace typed_property {

constexpr const char* kValue = "value";

ZEJson json(const std::optional<std::string>& value) { return value ? ZEJson(*value) : ZEJson(); }
ZEJson json(bool value) { return value; }
ZEJson json(const std::optional<ZEDate>& value) { return value ? ZEJson(ZEUtility::dateToISO8601(*value)) : ZEJson(); }
ZEJson json(double value) { return value; }
ZEJson json(std::int64_t value) { return value; }

void encode(ZEKeyedArchiver& coder, const std::optional<std::string>& value) { coder.encodeString(kValue, value); }
void encode(ZEKeyedArchiver& coder, bool value) { coder.encodeBool(kValue, value); }
void encode(ZEKeyedArchiver& coder, const std::optional<ZEDate>& value) { coder.encodeDate(kValue, value); }
void encode(ZEKeyedArchiver& coder, double value) { coder.encodeDouble(kValue, value); }
void encode(ZEKeyedArchiver& coder, std::int64_t value) { coder.encodeInt64(kValue, value); }

void decode(ZEKeyedUnarchiver& coder, std::optional<std::string>& value) { value = coder.decodeString(kValue); }
void decode(ZEKeyedUnarchiver& coder, bool& value) { value = coder.decodeBool(kValue); }
void decode(ZEKeyedUnarchiver& coder, std::optional<ZEDate>& value) { value = coder.decodeDate(kValue); }
void decode(ZEKeyedUnarchiver& coder, double& value) { value = coder.decodeDouble(kValue); }
void decode(ZEKeyedUnarchiver& coder, std::int64_t& value) { value = coder.decodeInt64(kValue); }

} // namespace typed_property

} // namespace ze
