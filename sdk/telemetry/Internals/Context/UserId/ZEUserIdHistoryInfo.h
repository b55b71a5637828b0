// A history entry holding the user id in force from its timestamp on.
#pragma once

#include "sdk/telemetry/Internals/Model/ZEHistoryInfo.h"

#include <string>

namespace ze {

class ZEUserIdHistoryInfo : public ZEHistoryInfo {
public:
    static constexpr const char* kClassName = "ZEUserIdHistoryInfo";

    ZEUserIdHistoryInfo() = default;
    ZEUserIdHistoryInfo(std::optional<ZEDate> timestamp, std::optional<std::string> userId)
        : ZEHistoryInfo(timestamp)
        , userId(std::move(userId))
    {
    }

    std::optional<std::string> userId;

    std::string archiveClassName() const override { return kClassName; }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override
    {
        ZEHistoryInfo::encodeWithCoder(coder);
        coder.encodeString("userIdKey", userId);
    }
    void initWithCoder(ZEKeyedUnarchiver& coder)
    {
        ZEHistoryInfo::initWithCoder(coder);
        userId = coder.decodeString("userIdKey");
    }
    bool isEqual(const ZEHistoryInfo& other) const override
    {
        return ZEHistoryInfo::isEqual(other) && userId == static_cast<const ZEUserIdHistoryInfo&>(other).userId;
    }
};

} // namespace ze
