#include "ZavEdurov/ZavEdurov/Internals/Model/ZETypedProperty.h"

#include "ZavEdurov/ZavEdurov/Internals/Util/ZEUtility.h"

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

ZEJson ZEStringTypedProperty::serializeToDictionary() const
{
    ZEJson json = ZETypedProperty::serializeToDictionary();
    ZESetIfPresent(json, "value", value);
    return json;
}

void ZEStringTypedProperty::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZETypedProperty::encodeWithCoder(coder);
    coder.encodeString("value", value);
}

void ZEStringTypedProperty::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZETypedProperty::initWithCoder(coder);
    value = coder.decodeString("value");
}

ZEJson ZEBooleanTypedProperty::serializeToDictionary() const
{
    ZEJson json = ZETypedProperty::serializeToDictionary();
    json["value"] = value;
    return json;
}

void ZEBooleanTypedProperty::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZETypedProperty::encodeWithCoder(coder);
    coder.encodeBool("value", value);
}

void ZEBooleanTypedProperty::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZETypedProperty::initWithCoder(coder);
    value = coder.decodeBool("value");
}

ZEJson ZEDateTimeTypedProperty::serializeToDictionary() const
{
    ZEJson json = ZETypedProperty::serializeToDictionary();
    if (value) {
        json["value"] = ZEUtility::dateToISO8601(*value);
    }
    return json;
}

void ZEDateTimeTypedProperty::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZETypedProperty::encodeWithCoder(coder);
    coder.encodeDate("value", value);
}

void ZEDateTimeTypedProperty::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZETypedProperty::initWithCoder(coder);
    value = coder.decodeDate("value");
}

ZEJson ZEDoubleTypedProperty::serializeToDictionary() const
{
    ZEJson json = ZETypedProperty::serializeToDictionary();
    json["value"] = value;
    return json;
}

void ZEDoubleTypedProperty::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZETypedProperty::encodeWithCoder(coder);
    coder.encodeDouble("value", value);
}

void ZEDoubleTypedProperty::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZETypedProperty::initWithCoder(coder);
    value = coder.decodeDouble("value");
}

ZEJson ZELongTypedProperty::serializeToDictionary() const
{
    ZEJson json = ZETypedProperty::serializeToDictionary();
    json["value"] = value;
    return json;
}

void ZELongTypedProperty::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZETypedProperty::encodeWithCoder(coder);
    coder.encodeInt64("value", value);
}

void ZELongTypedProperty::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZETypedProperty::initWithCoder(coder);
    value = coder.decodeInt64("value");
}

} // namespace ze
