// The base of every telemetry log: its kind, time, session, user, distribution group and device,
// plus the transmission target tokens that route it to the collector pipeline.
#pragma once

#include "sdk/telemetry/Internals/Model/ZESerializableObject.h"
#include "sdk/telemetry/Model/ZEDevice.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace ze {

class ZECommonSchemaLog;

// A log kind that the session tracker leaves without the current session id.
class ZENoAutoAssignSessionIdLog {
public:
    virtual ~ZENoAutoAssignSessionIdLog() = default;
};

class ZEAbstractLog : public ZESerializableObject, public ZEModel {
public:
    static constexpr const char* kClassName = "ZEAbstractLog";

    ZEAbstractLog() = default;
    ZEAbstractLog(const ZEAbstractLog&) = delete;
    ZEAbstractLog& operator=(const ZEAbstractLog&) = delete;

    std::optional<std::string> type;
    std::optional<ZEDate> timestamp;
    std::optional<std::string> sid;
    std::optional<std::string> distributionGroupId;
    std::optional<std::string> userId;
    std::shared_ptr<ZEDevice> device;
    // The object that produced the log; compared by identity, never written anywhere.
    std::shared_ptr<void> tag;

    // The token set as it stands now (a copy), or nothing when no token was ever added.
    std::optional<std::set<std::string>> transmissionTargetTokens() const;
    void addTransmissionTargetToken(const std::string& token);
    void setTransmissionTargetTokens(std::optional<std::set<std::string>> tokens);

    std::string archiveClassName() const override { return kClassName; }
    ZEJson serializeToDictionary() const override;
    // The JSON text of the log, compact or indented; nothing when it cannot be written (text that
    // is not UTF-8).
    std::optional<std::string> serializeLogWithPrettyPrinting(bool prettyPrint) const;
    // Type, timestamp and a valid device are required, checked in that order.
    bool isValid() const override;
    bool isEqual(const ZESerializableObject& other) const override;
    void encodeWithCoder(ZEKeyedArchiver& coder) const override;
    void initWithCoder(ZEKeyedUnarchiver& coder);

    // One common-schema log per target token; nothing when none results.
    std::optional<std::vector<std::shared_ptr<ZECommonSchemaLog>>> toCommonSchemaLogsWithFlags(std::uint64_t flags) const;
    // Log kinds with a name and data extend this one.
    virtual std::shared_ptr<ZECommonSchemaLog> toCommonSchemaLogForTargetToken(const std::string& token,
        std::uint64_t flags) const;

    // "Version 10.15.7 (Build 19H2)"; nothing when both are empty; "(Build x)" alone for a build only.
    static std::optional<std::string> combineOsVersion(const std::optional<std::string>& version,
        const std::optional<std::string>& build);
    // "zavedurov.macos-5.0.2"; nothing unless both are non-empty.
    static std::optional<std::string> combineSDKLibVer(const std::optional<std::string>& name,
        const std::optional<std::string>& version);
    // Minutes east of UTC as "+02:00", "-05:30".
    static std::string convertTimeZoneOffsetToISO8601(std::int64_t minutes);

private:
    mutable std::recursive_mutex tokensMutex_;
    std::optional<std::set<std::string>> tokens_;
};

} // namespace ze
