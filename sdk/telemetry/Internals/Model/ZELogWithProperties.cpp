#include "sdk/telemetry/Internals/Model/ZELogWithProperties.h"

namespace ze {

ZEJson ZELogWithProperties::serializeToDictionary() const
{
    ZEJson json = ZEAbstractLog::serializeToDictionary();
    if (properties && !properties->empty()) {
        json["properties"] = *properties;
    }
    return json;
}

bool ZELogWithProperties::isEqual(const ZESerializableObject& other) const
{
    const auto* log = dynamic_cast<const ZELogWithProperties*>(&other);
    return log && ZEAbstractLog::isEqual(other) && properties == log->properties;
}

void ZELogWithProperties::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZEAbstractLog::encodeWithCoder(coder);
    coder.encodeStringDictionary("properties", properties);
}

void ZELogWithProperties::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZEAbstractLog::initWithCoder(coder);
    properties = coder.decodeStringDictionary("properties");
}

} // namespace ze
