#include "sdk/telemetry/Internals/Util/ZEDeviceTracker.h"

#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESystemFacts.h"

#include <algorithm>

namespace ze {

namespace {

struct Shared {
    std::recursive_mutex mutex;
    std::shared_ptr<ZEDeviceTracker> instance;
    std::shared_ptr<ZEWrapperSdk> wrapperSdk;
    std::optional<std::string> countryCode;
    bool upToDate = false;
};

Shared& shared()
{
    static Shared* state = new Shared;
    return *state;
}

} // namespace

std::shared_ptr<ZEDeviceTracker> ZEDeviceTracker::sharedInstance()
{
    std::lock_guard lock(shared().mutex);
    if (!shared().instance) {
        shared().instance = std::make_shared<ZEDeviceTracker>();
    }
    return shared().instance;
}

void ZEDeviceTracker::resetSharedInstance()
{
    std::lock_guard lock(shared().mutex);
    shared().instance.reset();
    shared().wrapperSdk.reset();
    shared().countryCode.reset();
    shared().upToDate = false;
}

void ZEDeviceTracker::refreshDeviceNextTime()
{
    std::lock_guard lock(shared().mutex);
    shared().upToDate = false;
}

ZEDeviceTracker::ZEDeviceTracker()
{
    const auto stored = ZEZavEdurovUserDefaults::shared().objectForKey(kZEPastDevicesKey);
    if (stored && std::holds_alternative<ZEData>(*stored)) {
        if (auto history = ZEUtility::unarchiveKeyedArray<ZEDeviceHistoryInfo>(std::get<ZEData>(*stored))) {
            deviceHistory_ = std::move(*history);
        }
    }
    device();
}

std::shared_ptr<ZEDevice> ZEDeviceTracker::device()
{
    std::lock_guard sharedLock(shared().mutex);
    std::lock_guard lock(mutex_);
    if (device_ && shared().upToDate) {
        return device_;
    }
    device_ = updatedDevice();
    auto entry = std::make_shared<ZEDeviceHistoryInfo>(ZEUtility::now(), device_);
    const auto position = std::lower_bound(deviceHistory_.begin(), deviceHistory_.end(), *entry->timestamp,
        [](const auto& info, const ZEDate& date) { return info->timestamp.value_or(ZEDate()) < date; });
    deviceHistory_.insert(position, entry);
    if (deviceHistory_.size() > kZEMaxDevicesHistoryCount) {
        deviceHistory_.erase(deviceHistory_.begin());
    }
    saveHistory();
    return device_;
}

std::shared_ptr<ZEDevice> ZEDeviceTracker::updatedDevice()
{
    std::lock_guard sharedLock(shared().mutex);
    std::lock_guard lock(mutex_);
    const auto facts = ZESystemFacts::current();
    const auto info = ZEPlatform::applicationInfo();
    auto device = std::make_shared<ZEDevice>();
    device->sdkName = ZEUtility::sdkName();
    device->sdkVersion = ZEUtility::sdkVersion();
    device->model = facts.model;
    device->oemName = facts.oemName;
    device->osName = facts.osName;
    device->osVersion = facts.osVersion;
    device->osBuild = facts.osBuild;
    device->locale = locale();
    device->timeZoneOffset = timeZoneOffset(facts.timeZoneOffsetSeconds);
    device->screenSize = screenSize();
    device->appVersion = info.shortVersion;
    device->carrierCountry = shared().countryCode;
    device->appBuild = info.buildVersion;
    device->appNamespace = info.bundleIdentifier;
    if (const auto& wrapper = shared().wrapperSdk) {
        device->wrapperSdkVersion = wrapper->wrapperSdkVersion;
        device->wrapperSdkName = wrapper->wrapperSdkName;
        device->wrapperRuntimeVersion = wrapper->wrapperRuntimeVersion;
        device->liveUpdateReleaseLabel = wrapper->liveUpdateReleaseLabel;
        device->liveUpdateDeploymentKey = wrapper->liveUpdateDeploymentKey;
        device->liveUpdatePackageHash = wrapper->liveUpdatePackageHash;
    }
    shared().upToDate = true;
    return device;
}

std::shared_ptr<ZEDevice> ZEDeviceTracker::deviceForTimestamp(const std::optional<ZEDate>& date)
{
    std::lock_guard sharedLock(shared().mutex);
    std::lock_guard lock(mutex_);
    if (!date || deviceHistory_.empty()) {
        return device();
    }
    const auto position = std::lower_bound(deviceHistory_.begin(), deviceHistory_.end(), *date,
        [](const auto& info, const ZEDate& when) { return info->timestamp.value_or(ZEDate()) < when; });
    if (position == deviceHistory_.begin()) {
        return deviceHistory_.front()->device;
    }
    return (*std::prev(position))->device;
}

void ZEDeviceTracker::clearDevices()
{
    std::lock_guard lock(mutex_);
    if (deviceHistory_.size() > 1) {
        deviceHistory_.erase(deviceHistory_.begin(), std::prev(deviceHistory_.end()));
    }
    saveHistory();
}

std::vector<std::shared_ptr<ZEDeviceHistoryInfo>> ZEDeviceTracker::deviceHistory() const
{
    std::lock_guard lock(mutex_);
    return deviceHistory_;
}

void ZEDeviceTracker::setWrapperSdk(std::shared_ptr<ZEWrapperSdk> wrapperSdk)
{
    std::lock_guard sharedLock(shared().mutex);
    std::lock_guard lock(mutex_);
    shared().wrapperSdk = std::move(wrapperSdk);
    shared().upToDate = false;
    if (!deviceHistory_.empty()) {
        deviceHistory_.pop_back();
    }
    device();
}

std::shared_ptr<ZEWrapperSdk> ZEDeviceTracker::wrapperSdk() const
{
    std::lock_guard lock(shared().mutex);
    return shared().wrapperSdk;
}

void ZEDeviceTracker::setCountryCode(std::optional<std::string> countryCode)
{
    std::lock_guard lock(shared().mutex);
    shared().countryCode = std::move(countryCode);
    shared().upToDate = false;
}

std::optional<std::string> ZEDeviceTracker::countryCode() const
{
    std::lock_guard lock(shared().mutex);
    return shared().countryCode;
}

void ZEDeviceTracker::saveHistory()
{
    if (const auto archive = ZEUtility::archiveKeyedArray(deviceHistory_)) {
        ZEZavEdurovUserDefaults::shared().setObject(*archive, kZEPastDevicesKey);
    }
}

std::string ZEDeviceTracker::screenSize()
{
    const auto size = ZEPlatform::mainThreadExecutor()->mainScreenSize();
    if (!size) {
        return "0x0";
    }
    return std::to_string(static_cast<int>(size->first)) + "x" + std::to_string(static_cast<int>(size->second));
}

std::string ZEDeviceTracker::locale()
{
    const auto facts = ZESystemFacts::current();
    // A setting without a country (the C and POSIX locales among them) names the language alone.
    return facts.language + (facts.script.empty() ? "" : "-" + facts.script) + (facts.country.empty() ? "" : "_" + facts.country);
}

std::int64_t ZEDeviceTracker::timeZoneOffset(long offsetSeconds)
{
    return offsetSeconds / 60;
}

} // namespace ze
