// The telemetry SDK's entry point. The application calls `start` at launch with its secret and
// services, and `setUserId` with the signed-in account; the rest is the SDK's own behaviour:
// configure once (secret, optional target token, channel group with the core's unit "ZavEdurov"),
// keep the install id and the enabled and network switches in the settings, start the services by
// descending priority and report them in one start-service log.
#pragma once

#include "sdk/telemetry/Internals/Channel/ZEChannelGroupDefault.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"
#include "sdk/telemetry/Model/ZEWrapperSdk.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ze {

class ZEServiceAbstract;
class ZECollectorChannelDelegate;

// The smallest storage cap the SDK accepts, in bytes.
inline constexpr std::int64_t kZEMinAcceptableStorageSize = 24576;
// Used when the application sets no log URL.
inline constexpr const char* kZEDefaultLogUrl = "https://in.zavedurov.invalid";

class ZEZavEdurov {
public:
    using Service = std::shared_ptr<ZEServiceAbstract>;

    static void start(const std::optional<std::string>& secret, const std::vector<Service>& services);
    static void startWithServices(const std::vector<Service>& services);
    static void startService(const Service& service);
    static void startFromLibraryWithServices(const std::vector<Service>& services);
    static void configureWithAppSecret(const std::optional<std::string>& secret);
    static void configure();
    static bool isConfigured();
    static bool isRunningInZavEdurovTestCloud();
    static void setEnabled(bool enabled);
    static bool isEnabled();
    static void setNetworkRequestsAllowed(bool allowed);
    static bool isNetworkRequestsAllowed();
    static void setLogUrl(const std::string& logUrl);
    static std::optional<std::string> logUrl();
    static void setMaxStorageSize(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler);
    static void setUserId(const std::optional<std::string>& userId);
    static std::optional<std::string> userId();
    static ZEUuid installId();
    static ZELogLevel logLevel();
    static void setLogLevel(ZELogLevel level);
    static void setLogHandler(ZELogHandler handler);
    static void setWrapperSdk(std::shared_ptr<ZEWrapperSdk> wrapperSdk);
    static std::shared_ptr<ZEWrapperSdk> wrapperSdk();
    static void setCountryCode(std::optional<std::string> countryCode);
    static bool isAppDelegateForwarderEnabled();
    static bool isDebuggerAttached();
    static std::string sdkVersion();
    static std::string logTag() { return "ZavEdurov"; }
    static std::string groupId() { return "ZavEdurov"; }

    // Read without the instance lock: services ask from inside their own locked sections.
    static bool isSdkConfigured();
    static bool isEnabledStateUpdating();
    // The running group, or nothing before configuration; other subsystems enqueue through it.
    static std::shared_ptr<ZEChannelGroupDefault> channelGroup();
    // Forgets the shared instance (tests start the SDK again from nothing).
    static void resetSharedInstance();

    // Answers whether "ZAV_EDUROV_DISABLE" names the service or "All".
    static bool shouldDisable(const std::string& serviceName);

private:
    class Instance;
    static std::shared_ptr<Instance> sharedInstance();
    // The shared instance's slot, with `guard` holding its lock.
    static std::shared_ptr<Instance>& slot(std::unique_lock<std::mutex>& guard);
};

} // namespace ze
