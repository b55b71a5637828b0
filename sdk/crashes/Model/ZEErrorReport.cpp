#include "sdk/crashes/Model/ZEErrorReport.h"

#include "sdk/crashes/Model/ZEModelSupport.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include <algorithm>

namespace ze {

ZEErrorReport::ZEErrorReport(ZEErrorReportFields fields)
    : fields_(std::move(fields))
{
}

bool ZEErrorReport::isAppKill() const
{
    if (!fields_.signal) {
        return false;
    }
    std::string upper = *fields_.signal;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    return upper == "SIGKILL";
}

ZEJson ZEErrorReport::serializeToDictionary() const
{
    ZEJson json = ZEJson::object();
    ZESetIfPresent(json, "incidentIdentifier", fields_.errorId);
    ZESetIfPresent(json, "reporterKey", fields_.reporterKey);
    ZESetIfPresent(json, "signal", fields_.signal);
    ZESetIfPresent(json, "exceptionName", fields_.exceptionName);
    ZESetIfPresent(json, "exceptionReason", fields_.exceptionReason);
    if (fields_.appStartTime) {
        json["appStartTime"] = ZEUtility::dateToISO8601(*fields_.appStartTime);
    }
    if (fields_.appErrorTime) {
        json["appErrorTime"] = ZEUtility::dateToISO8601(*fields_.appErrorTime);
    }
    ZESetIfPresent(json, "codeType", fields_.codeType);
    ZESetIfPresent(json, "archName", fields_.archName);
    ZESetIfPresent(json, "applicationPath", fields_.applicationPath);
    if (fields_.threads) {
        json["threads"] = ZESerializeArray(*fields_.threads);
    }
    if (fields_.binaries) {
        json["binaries"] = ZESerializeArray(*fields_.binaries);
    }
    if (fields_.device) {
        json["device"] = fields_.device->serializeToDictionary();
    }
    if (fields_.appProcessIdentifier != 0) {
        json["appProcessIdentifier"] = std::to_string(fields_.appProcessIdentifier);
    }
    return json;
}

} // namespace ze
