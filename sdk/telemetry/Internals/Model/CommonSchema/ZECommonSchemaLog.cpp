#include "sdk/telemetry/Internals/Model/CommonSchema/ZECommonSchemaLog.h"

#include "sdk/telemetry/Internals/Util/ZEUtility.h"

namespace ze {

ZEJson ZECommonSchemaLog::serializeToDictionary() const
{
    ZEJson json = ZEJson::object();
    ZESetIfPresent(json, "ver", ver);
    ZESetIfPresent(json, "name", name);
    if (timestamp) {
        json["time"] = ZEUtility::dateToISO8601(*timestamp);
    }
    ZESetIfPresent(json, "iKey", iKey);
    if (flags != 0) {
        json["flags"] = flags;
    }
    if (ext) {
        json["ext"] = ext->serializeToDictionary();
    }
    if (data) {
        if (ZEJson value = data->serializeToDictionary(); !value.is_null()) {
            json["data"] = std::move(value);
        }
    }
    return json;
}

bool ZECommonSchemaLog::isValid() const
{
    const char* missing = !timestamp ? "timestamp" : !ver ? "ver" : !name ? "name" : nullptr;
    if (missing) {
        ZELogInvalidField(kClassName, missing);
        return false;
    }
    return true;
}

bool ZECommonSchemaLog::isEqual(const ZESerializableObject& other) const
{
    const auto* log = dynamic_cast<const ZECommonSchemaLog*>(&other);
    return log && ZEAbstractLog::isEqual(other) && ver == log->ver && name == log->name && iKey == log->iKey
        && cV == log->cV && popSample == log->popSample && flags == log->flags && ZEEqualObjects(ext, log->ext)
        && ZEEqualObjects(data, log->data);
}

void ZECommonSchemaLog::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZEAbstractLog::encodeWithCoder(coder);
    coder.encodeString("ver", ver);
    coder.encodeString("name", name);
    coder.encodeDouble("popSample", popSample);
    coder.encodeString("iKey", iKey);
    coder.encodeInt64("flags", flags);
    coder.encodeString("cV", cV);
    coder.encodeObject("ext", ext);
    coder.encodeObject("data", data);
}

void ZECommonSchemaLog::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZEAbstractLog::initWithCoder(coder);
    ver = coder.decodeString("ver");
    name = coder.decodeString("name");
    popSample = coder.decodeDouble("popSample");
    iKey = coder.decodeString("iKey");
    flags = coder.decodeInt64("flags");
    cV = coder.decodeString("cV");
    ext = coder.decodeObject<ZECSExtensions>("ext");
    data = coder.decodeObject<ZECSData>("data");
}

} // namespace ze
