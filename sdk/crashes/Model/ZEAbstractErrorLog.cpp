#include "sdk/crashes/Model/ZEAbstractErrorLog.h"

namespace ze {

ZEJson ZEAbstractErrorLog::serializeToDictionary() const
{
    ZEJson json = ZELogWithProperties::serializeToDictionary();
    ZESetIfPresent(json, "id", errorId);
    ZESetIfPresent(json, "processId", processId);
    ZESetIfPresent(json, "processName", processName);
    ZESetIfPresent(json, "parentProcessId", parentProcessId);
    ZESetIfPresent(json, "parentProcessName", parentProcessName);
    ZESetIfPresent(json, "errorThreadId", errorThreadId);
    ZESetIfPresent(json, "errorThreadName", errorThreadName);
    json["fatal"] = fatal;
    if (appLaunchTimestamp) {
        json["appLaunchTimestamp"] = ZEUtility::dateToISO8601(*appLaunchTimestamp);
    }
    ZESetIfPresent(json, "architecture", architecture);
    return json;
}

bool ZEAbstractErrorLog::isValid() const
{
    if (!ZELogWithProperties::isValid()) {
        return false;
    }
    const std::pair<const char*, bool> required[] = {
        {"errorId", errorId.has_value()}, {"processId", processId.has_value()}, {"processName", processName.has_value()}};
    for (const auto& [field, present] : required) {
        if (!present) {
            ZELogInvalidField(archiveClassName(), field);
            return false;
        }
    }
    return true;
}

bool ZEAbstractErrorLog::isEqual(const ZESerializableObject& other) const
{
    const auto* log = dynamic_cast<const ZEAbstractErrorLog*>(&other);
    return log && ZELogWithProperties::isEqual(other) && errorId == log->errorId && processId == log->processId
        && processName == log->processName && parentProcessId == log->parentProcessId
        && parentProcessName == log->parentProcessName && errorThreadId == log->errorThreadId
        && errorThreadName == log->errorThreadName && fatal == log->fatal
        && appLaunchTimestamp == log->appLaunchTimestamp && architecture == log->architecture;
}

void ZEAbstractErrorLog::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    ZELogWithProperties::encodeWithCoder(coder);
    coder.encodeString("id", errorId);
    coder.encodeNumber("processId", processId);
    coder.encodeString("processName", processName);
    coder.encodeNumber("parentProcessId", parentProcessId);
    coder.encodeString("parentProcessName", parentProcessName);
    coder.encodeNumber("errorThreadId", errorThreadId);
    coder.encodeString("errorThreadName", errorThreadName);
    coder.encodeBool("fatal", fatal);
    coder.encodeDate("appLaunchTimestamp", appLaunchTimestamp);
    coder.encodeString("architecture", architecture);
}

void ZEAbstractErrorLog::initWithCoder(ZEKeyedUnarchiver& coder)
{
    ZELogWithProperties::initWithCoder(coder);
    errorId = coder.decodeString("id");
    processId = coder.decodeNumber("processId");
    processName = coder.decodeString("processName");
    parentProcessId = coder.decodeNumber("parentProcessId");
    parentProcessName = coder.decodeString("parentProcessName");
    errorThreadId = coder.decodeNumber("errorThreadId");
    errorThreadName = coder.decodeString("errorThreadName");
    fatal = coder.decodeBool("fatal");
    appLaunchTimestamp = coder.decodeDate("appLaunchTimestamp");
    architecture = coder.decodeString("architecture");
}

} // namespace ze
