// A history entry holding the session id in force from its timestamp on.
#pragma once

#include "sdk/telemetry/Internals/Model/ZEHistoryInfo.h"

#include <string>

namespace ze {

class ZESessionHistoryInfo : public ZEHistoryInfo {
public:
    static constexpr const char* kClassName = "ZESessionHistoryInfo";

    ZESessionHistoryInfo() = default;
    ZESessionHistoryInfo(std::optional<ZEDate> timestamp, std::optional<std::string> sessionId)
        : ZEHistoryInfo(timestamp)
        , sessionId(std::move(sessionId))
    {
    }

    std::optional<std::string> sessionId;

    std::string archiveClassName() const override { return kClassName; }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override
    {
        ZEHistoryInfo::encodeWithCoder(coder);
        coder.encodeString("sessionIdKey", sessionId);
    }
    void initWithCoder(ZEKeyedUnarchiver& coder)
    {
        ZEHistoryInfo::initWithCoder(coder);
        sessionId = coder.decodeString("sessionIdKey");
    }
    bool isEqual(const ZEHistoryInfo& other) const override
    {
        return ZEHistoryInfo::isEqual(other) && sessionId == static_cast<const ZESessionHistoryInfo&>(other).sessionId;
    }
};

} // namespace ze
