// One entry of a history: the time from which a value (a session id, a user id, a device record)
// was in force. Histories are arrays of entries, oldest first.
#pragma once

#include "sdk/telemetry/Internals/Util/ZEKeyedArchive.h"

#include <optional>
#include <typeinfo>

namespace ze {

class ZEHistoryInfo : public ZEArchivable {
public:
    static constexpr const char* kClassName = "ZEHistoryInfo";

    ZEHistoryInfo() = default;
    explicit ZEHistoryInfo(std::optional<ZEDate> timestamp)
        : timestamp(timestamp)
    {
    }

    std::optional<ZEDate> timestamp;

    std::string archiveClassName() const override { return kClassName; }
    void encodeWithCoder(ZEKeyedArchiver& coder) const override { coder.encodeDate("timestampKey", timestamp); }
    void initWithCoder(ZEKeyedUnarchiver& coder) { timestamp = coder.decodeDate("timestampKey"); }
    // Same kind of entry with equal fields.
    virtual bool isEqual(const ZEHistoryInfo& other) const
    {
        return typeid(*this) == typeid(other) && timestamp == other.timestamp;
    }
};

} // namespace ze
