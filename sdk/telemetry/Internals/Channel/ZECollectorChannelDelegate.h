// The collector route: every regular unit gets a mirror unit ("<group>/one") sending through the
// collector ingestion. Common-schema logs move to the mirror, logs with target tokens travel there
// as their common-schema conversions, and each common-schema log is stamped with its key's epoch,
// sequence number and the install id.
#pragma once

#include "sdk/telemetry/Internals/Channel/ZEChannelGroupDefault.h"
#include "sdk/telemetry/Internals/Ingestion/ZECollectorIngestion.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSEpochAndSeq.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZECommonSchemaLog.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"

#include <map>
#include <mutex>

namespace ze {

inline constexpr const char* kZECollectorGroupIdSuffix = "/one";
inline constexpr const char* kZEDefaultCollectorUrl = "https://mobile.events.zavedurov.invalid";
// Names of common-schema logs: 4 to 100 letters, digits, "_" and single inner ".".
inline constexpr const char* kZECommonSchemaLogNameRegex = R"(^[a-zA-Z0-9]((\.(?!(\.|$)))|[_a-zA-Z0-9]){3,99}$)";

class ZECollectorChannelDelegate final : public ZEChannelDelegate {
public:
    ZECollectorChannelDelegate(std::shared_ptr<ZEHttpClientProtocol> httpClient, ZEUuid installId,
        std::optional<std::string> baseUrl);

    void channelGroupDidAddChannelUnit(ZEChannelGroupProtocol& group, const std::shared_ptr<ZEChannelUnitProtocol>& unit) override;
    void channelPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log) override;
    void channelDidPrepareLog(ZEChannelProtocol& channel, const std::shared_ptr<ZEAbstractLog>& log,
        const std::string& internalId, std::uint64_t flags) override;
    std::optional<bool> channelUnitShouldFilterLog(ZEChannelUnitProtocol& unit, const std::shared_ptr<ZEAbstractLog>& log) override;
    void channelDidSetEnabled(ZEChannelProtocol& channel, bool enabled, bool deleteDataOnDisabled) override;
    void channelDidPause(ZEChannelProtocol& channel, ZEIdentifyingObject object) override;
    void channelDidResume(ZEChannelProtocol& channel, ZEIdentifyingObject object) override;

    static bool isCollectorGroup(const std::string& groupId);
    static bool shouldSendLogToCollector(const ZEAbstractLog& log);
    static bool validateLog(const ZECommonSchemaLog& log);
    static bool validateLogName(const std::optional<std::string>& name);
    void setLogUrl(const std::string& logUrl);

    const std::shared_ptr<ZECollectorIngestion>& collectorIngestion() const { return collectorIngestion_; }
    std::shared_ptr<ZEChannelUnitProtocol> collectorChannelFor(const std::string& groupId) const;

private:
    std::shared_ptr<ZECollectorIngestion> collectorIngestion_;
    ZEUuid installId_;
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<ZEChannelUnitProtocol>> collectorChannels_;
    ZECSEpochAndSeqTable epochsAndSeqsByIKey_;
};

} // namespace ze
