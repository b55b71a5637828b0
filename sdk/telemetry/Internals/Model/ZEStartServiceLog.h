// Tells the ingestion service which SDK services the application started, in start order.
#pragma once

#include "sdk/telemetry/Internals/Model/ZEAbstractLog.h"

#include <vector>

namespace ze {

class ZEStartServiceLog : public ZEAbstractLog, public ZENoAutoAssignSessionIdLog {
public:
    static constexpr const char* kClassName = "ZEStartServiceLog";

    ZEStartServiceLog() { type = "startService"; }

    std::optional<std::vector<std::string>> services;
    // Whether a default transmission target token was passed at start; takes no part in equality.
    bool isCollectorEnabled = false;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

} // namespace ze
