// The logs of the analytics service: events (with typed properties and an id of their own),
// page views, and the start of a session.
#pragma once

#include "sdk/analytics/Model/ZEEventProperties.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZECommonSchemaLog.h"
#include "sdk/telemetry/Internals/Model/ZELogWithProperties.h"

namespace ze {

class ZELogWithNameAndProperties : public ZELogWithProperties {
public:
    static constexpr const char* kClassName = "ZELogWithNameAndProperties";

    std::optional<std::string> name;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    // The base checks and a name.
    bool isValid() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);
};

class ZEEventLog final : public ZELogWithNameAndProperties {
public:
    static constexpr const char* kClassName = "ZEEventLog";

    ZEEventLog() { type = "event"; }

    std::optional<std::string> eventId;
    std::shared_ptr<ZEEventProperties> typedProperties;

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    bool isValid() const override;
    // Typed properties take no part.
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);

    std::shared_ptr<ZECommonSchemaLog> toCommonSchemaLogForTargetToken(const std::string& token,
        std::uint64_t flags) const override;
    // Puts the typed properties into the log's data tree and their type ids into its metadata.
    void setPropertiesAndMetadataForCSLog(ZECommonSchemaLog& log) const;
};

class ZEPageLog final : public ZELogWithNameAndProperties {
public:
    static constexpr const char* kClassName = "ZEPageLog";

    ZEPageLog() { type = "page"; }

    std::string archiveClassName() const override { return kClassName; }
    bool isEqual(const ZESerializableObject& other) const override;
};

class ZEStartSessionLog final : public ZEAbstractLog, public ZENoAutoAssignSessionIdLog {
public:
    static constexpr const char* kClassName = "ZEStartSessionLog";

    ZEStartSessionLog() { type = "startSession"; }

    std::string archiveClassName() const override { return kClassName; }
};

} // namespace ze
