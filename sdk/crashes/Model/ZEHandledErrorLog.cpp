#include "sdk/crashes/Model/ZEHandledErrorLog.h"

namespace ze {

ZEJson ZEHandledErrorLog::serializeToDictionary() const
{
    ZEJson json = ZELogWithProperties::serializeToDictionary();
    ZESetIfPresent(json, "id", errorId);
    if (exception) {
        json["exception"] = exception->serializeToDictionary();
    }
    return json;
}

bool ZEHandledErrorLog::isValid() const
{
    if (!ZELogWithProperties::isValid()) {
        return false;
    }
    if (!errorId) {
        ZELogInvalidField(kClassName, "errorId");
        return false;
    }
    if (!exception) {
        ZELogInvalidField(kClassName, "exception");
        return false;
    }
    return true;
}

bool ZEHandledErrorLog::isEqual(const ZESerializableObject& other) const
{
    const auto* log = dynamic_cast<const ZEHandledErrorLog*>(&other);
    return log && ZELogWithProperties::isEqual(other) && errorId == log->errorId && ZEEqualObjects(exception, log->exception);
}

void ZEHandledErrorLog::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZELogWithProperties::encodeWithCoder(coder);
    coder.encodeString("id", errorId);
    coder.encodeObject("exception", exception);
}

void ZEHandledErrorLog::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZELogWithProperties::initWithCoder(coder);
    errorId = coder.decodeString("id");
    exception = coder.decodeObject<ZEExceptionModel>("exception");
}

} // namespace ze
