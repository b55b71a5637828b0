// A log with free-form string properties: the base of event, page, handled-error and crash logs.
#pragma once

#include "sdk/telemetry/Internals/Model/ZEAbstractLog.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

namespace ze {

class ZELogWithProperties : public ZEAbstractLog {
public:
    static constexpr const char* kClassName = "ZELogWithProperties";

    std::optional<ZEStringMap> properties;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

} // namespace ze
