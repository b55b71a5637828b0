#include "sdk/telemetry/Internals/Model/ZEAbstractLog.h"

#include "sdk/telemetry/Internals/Context/UserId/ZEUserIdContext.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZECommonSchemaLog.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

#include <algorithm>
#include <cstdio>

namespace ze {

std::optional<std::set<std::string>> ZEAbstractLog::transmissionTargetTokens() const
{
    std::lock_guard lock(tokensMutex_);
    return tokens_;
}

void ZEAbstractLog::addTransmissionTargetToken(const std::string& token)
{
    std::lock_guard lock(tokensMutex_);
    auto tokens = tokens_.value_or(std::set<std::string>());
    tokens.insert(token);
    tokens_ = std::move(tokens);
}

void ZEAbstractLog::setTransmissionTargetTokens(std::optional<std::set<std::string>> tokens)
{
    std::lock_guard lock(tokensMutex_);
    tokens_ = std::move(tokens);
}

ZEJson ZEAbstractLog::serializeToDictionary() const
{
    ZEJson json = ZEJson::object();
    ZESetIfPresent(json, "type", type);
    if (timestamp) {
        json["timestamp"] = ZEUtility::dateToISO8601(*timestamp);
    }
    ZESetIfPresent(json, "sid", sid);
    ZESetIfPresent(json, "distributionGroupId", distributionGroupId);
    ZESetIfPresent(json, "userId", userId);
    if (device) {
        json["device"] = device->serializeToDictionary();
    }
    return json;
}

std::optional<std::string> ZEAbstractLog::serializeLogWithPrettyPrinting(bool prettyPrint) const
{
    try {
        return serializeToDictionary().dump(prettyPrint ? 2 : -1);
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

bool ZEAbstractLog::isValid() const
{
    const char* missing = !type ? "type" : !timestamp ? "timestamp" : (!device || !device->isValid()) ? "device" : nullptr;
    if (missing) {
        ZELogInvalidField(archiveClassName(), missing);
        return false;
    }
    return true;
}

bool ZEAbstractLog::isEqual(const ZESerializableObject& other) const
{
    const auto* log = dynamic_cast<const ZEAbstractLog*>(&other);
    return log && tag == log->tag && type == log->type && timestamp == log->timestamp && sid == log->sid
        && distributionGroupId == log->distributionGroupId && userId == log->userId && ZEEqualObjects(device, log->device);
}

void ZEAbstractLog::encodeWithCoder(ZEKeyedArchiver& coder) const
{
    coder.encodeString("type", type);
    coder.encodeDate("timestamp", timestamp);
    coder.encodeString("sid", sid);
    coder.encodeString("distributionGroupId", distributionGroupId);
    coder.encodeString("userId", userId);
    coder.encodeObject("device", device);
}

void ZEAbstractLog::initWithCoder(ZEKeyedUnarchiver& coder)
{
    type = coder.decodeString("type");
    timestamp = coder.decodeDate("timestamp");
    sid = coder.decodeString("sid");
    distributionGroupId = coder.decodeString("distributionGroupId");
    userId = coder.decodeString("userId");
    device = coder.decodeObject<ZEDevice>("device");
}

std::optional<std::vector<std::shared_ptr<ZECommonSchemaLog>>> ZEAbstractLog::toCommonSchemaLogsWithFlags(
    std::uint64_t flags) const
{
    std::vector<std::shared_ptr<ZECommonSchemaLog>> logs;
    for (const auto& token : transmissionTargetTokens().value_or(std::set<std::string>())) {
        if (auto log = toCommonSchemaLogForTargetToken(token, flags)) {
            logs.push_back(std::move(log));
        }
    }
    if (logs.empty()) {
        return std::nullopt;
    }
    return logs;
}

std::shared_ptr<ZECommonSchemaLog> ZEAbstractLog::toCommonSchemaLogForTargetToken(const std::string& token,
    std::uint64_t flags) const
{
    auto log = std::make_shared<ZECommonSchemaLog>();
    log->setTransmissionTargetTokens(std::set<std::string>{token});
    log->ver = "3.0";
    log->timestamp = timestamp;
    log->iKey = ZEUtility::iKeyFromTargetToken(token);
    log->flags = static_cast<std::int64_t>(flags);

    auto ext = std::make_shared<ZECSExtensions>();
    ext->protocolExt = std::make_shared<ZEProtocolExtension>();
    ext->userExt = std::make_shared<ZEUserExtension>();
    ext->osExt = std::make_shared<ZEOSExtension>();
    ext->appExt = std::make_shared<ZEAppExtension>();
    ext->netExt = std::make_shared<ZENetExtension>();
    ext->sdkExt = std::make_shared<ZESDKExtension>();
    ext->locExt = std::make_shared<ZELocExtension>();
    ext->deviceExt = std::make_shared<ZEDeviceExtension>();

    ext->userExt->localId = ZEUserIdContext::prefixedUserIdFromUserId(userId);
    const auto localizations = ZEPlatform::applicationInfo().preferredLocalizations;
    if (!localizations.empty()) {
        ext->appExt->locale = localizations.front();
    }
    if (device) {
        ext->protocolExt->devMake = device->oemName;
        ext->protocolExt->devModel = device->model;
        if (device->locale) {
            std::string locale = *device->locale;
            std::replace(locale.begin(), locale.end(), '_', '-');
            ext->userExt->locale = locale;
        }
        ext->osExt->name = device->osName;
        ext->osExt->ver = combineOsVersion(device->osVersion, device->osBuild);
        if (device->appNamespace) {
            ext->appExt->appId = "I:" + *device->appNamespace;
        }
        ext->appExt->ver = device->appVersion;
        ext->netExt->provider = device->carrierName;
        ext->sdkExt->libVer = combineSDKLibVer(device->sdkName, device->sdkVersion);
        if (device->timeZoneOffset) {
            ext->locExt->tz = convertTimeZoneOffsetToISO8601(*device->timeZoneOffset);
        }
    }
    log->ext = std::move(ext);
    return log;
}

std::optional<std::string> ZEAbstractLog::combineOsVersion(const std::optional<std::string>& version,
    const std::optional<std::string>& build)
{
    std::optional<std::string> result;
    if (version && !version->empty()) {
        result = "Version " + *version;
    }
    if (build && !build->empty()) {
        result = (result ? *result + " " : std::string()) + "(Build " + *build + ")";
    }
    return result;
}

std::optional<std::string> ZEAbstractLog::combineSDKLibVer(const std::optional<std::string>& name,
    const std::optional<std::string>& version)
{
    if (!name || name->empty() || !version || version->empty()) {
        return std::nullopt;
    }
    return *name + "-" + *version;
}

std::string ZEAbstractLog::convertTimeZoneOffsetToISO8601(std::int64_t minutes)
{
    // Unsigned, so that the most negative offset has a magnitude too.
    const std::uint64_t magnitude = minutes < 0 ? 0 - static_cast<std::uint64_t>(minutes) : static_cast<std::uint64_t>(minutes);
    char text[32];
    std::snprintf(text, sizeof text, "%c%02llu:%02llu", minutes < 0 ? '-' : '+',
        static_cast<unsigned long long>(magnitude / 60), static_cast<unsigned long long>(magnitude % 60));
    return text;
}

} // namespace ze
