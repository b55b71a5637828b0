#include "sdk/telemetry/Internals/Model/ZEStartServiceLog.h"

namespace ze {

ZEJson ZEStartServiceLog::serializeToDictionary() const
{
    ZEJson json = ZEAbstractLog::serializeToDictionary();
    if (services) {
        json["services"] = *services;
        json["isCollectorEnabled"] = isCollectorEnabled;
    }
    return json;
}

bool ZEStartServiceLog::isEqual(const ZESerializableObject& other) const
{
    const auto* log = dynamic_cast<const ZEStartServiceLog*>(&other);
    return log && ZEAbstractLog::isEqual(other) && services == log->services;
}

void ZEStartServiceLog::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZEAbstractLog::encodeWithCoder(coder);
    coder.encodeStringArray("services", services);
    coder.encodeBool("isCollectorEnabled", isCollectorEnabled);
}

void ZEStartServiceLog::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZEAbstractLog::initWithCoder(coder);
    services = coder.decodeStringArray("services");
    isCollectorEnabled = coder.decodeBool("isCollectorEnabled");
}

} // namespace ze
