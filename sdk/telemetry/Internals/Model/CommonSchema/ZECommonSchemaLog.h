// A log in the common schema (version "3.0") for the collector: name, time, instrumentation key,
// flags, extensions and data, written in exactly that member order.
#pragma once

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSData.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSExtensions.h"
#include "sdk/telemetry/Internals/Model/ZEAbstractLog.h"

namespace ze {

class ZECommonSchemaLog : public ZEAbstractLog {
public:
    static constexpr const char* kClassName = "ZECommonSchemaLog";

    std::optional<std::string> ver;
    std::optional<std::string> name;
    // Archived, never written to JSON.
    double popSample = 0;
    std::optional<std::string> iKey;
    // Written only when not 0.
    std::int64_t flags = 0;
    // Archived, never written to JSON.
    std::optional<std::string> cV;
    std::shared_ptr<ZECSExtensions> ext;
    std::shared_ptr<ZECSData> data;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    // Timestamp, version and name are required, checked in that order.
    bool isValid() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

} // namespace ze
