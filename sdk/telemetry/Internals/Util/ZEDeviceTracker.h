// Builds the device record every log carries, rebuilds it when it was declared stale, and keeps
// the records of the last 5 changes with their times ("PastDevices" in the SDK settings), so that
// a log about an earlier moment gets the record in force then.
#pragma once

#include "sdk/telemetry/Model/ZEDevice.h"
#include "sdk/telemetry/Model/ZEDeviceHistoryInfo.h"
#include "sdk/telemetry/Model/ZEWrapperSdk.h"

#include <memory>
#include <mutex>
#include <vector>

namespace ze {

// Entries kept in the device history.
inline constexpr std::size_t kZEMaxDevicesHistoryCount = 5;
inline constexpr const char* kZEPastDevicesKey = "PastDevices";

class ZEDeviceTracker {
public:
    static std::shared_ptr<ZEDeviceTracker> sharedInstance();
    // Forgets the instance and the process-wide wrapper SDK, country code and up-to-date flag.
    static void resetSharedInstance();
    static void refreshDeviceNextTime();

    ZEDeviceTracker();
    ZEDeviceTracker(const ZEDeviceTracker&) = delete;
    ZEDeviceTracker& operator=(const ZEDeviceTracker&) = delete;

    // The current record; rebuilt and added to the history when it is stale.
    std::shared_ptr<ZEDevice> device();
    std::shared_ptr<ZEDevice> updatedDevice();
    // The record in force at `date`: the newest strictly earlier entry, else the oldest.
    std::shared_ptr<ZEDevice> deviceForTimestamp(const std::optional<ZEDate>& date);
    // Keeps only the newest entry.
    void clearDevices();
    std::vector<std::shared_ptr<ZEDeviceHistoryInfo>> deviceHistory() const;

    void setWrapperSdk(std::shared_ptr<ZEWrapperSdk> wrapperSdk);
    std::shared_ptr<ZEWrapperSdk> wrapperSdk() const;
    void setCountryCode(std::optional<std::string> countryCode);
    std::optional<std::string> countryCode() const;

    // "<width>x<height>" of the main screen, truncated; "0x0" without one.
    static std::string screenSize();
    // "<language>[-<script>][_<country>]".
    static std::string locale();
    // Minutes east of UTC, truncated toward zero.
    static std::int64_t timeZoneOffset(long offsetSeconds);

private:
    void saveHistory();

    mutable std::recursive_mutex mutex_;
    std::shared_ptr<ZEDevice> device_;
    std::vector<std::shared_ptr<ZEDeviceHistoryInfo>> deviceHistory_;
};

} // namespace ze
