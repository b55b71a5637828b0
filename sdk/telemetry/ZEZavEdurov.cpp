#include "sdk/telemetry/ZEZavEdurov.h"

#include "sdk/telemetry/Internals/Channel/ZECollectorChannelDelegate.h"
#include "sdk/telemetry/Internals/Context/Session/ZESessionContext.h"
#include "sdk/telemetry/Internals/Context/UserId/ZEUserIdContext.h"
#include "sdk/telemetry/Internals/DelegateForwarder/ZEDelegateForwarder.h"
#include "sdk/telemetry/Internals/Http/ZEDependencyConfiguration.h"
#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"
#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Model/ZEStartServiceLog.h"
#include "sdk/telemetry/Internals/Service/ZEServiceAbstract.h"
#include "sdk/telemetry/Internals/Util/ZEArchiverUtil.h"
#include "sdk/telemetry/Internals/Util/ZEDeviceTracker.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>

namespace ze {

namespace {

constexpr const char* kInstallIdKey = "InstallId";
constexpr const char* kZavEdurovIsEnabledKey = "ZavEdurovIsEnabled";

bool storedBool(const std::string& key)
{
    const auto value = ZEZavEdurovUserDefaults::shared().objectForKey(key);
    return !value || !std::holds_alternative<bool>(*value) || std::get<bool>(*value);
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\n\r\f\v");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\n\r\f\v") - first + 1);
}

} // namespace

class ZEZavEdurov::Instance {
public:
    Instance()
    {
        ZEZavEdurovUserDefaults::shared().migrateKeys(ZEZavEdurovUserDefaults::coreMigrationKeys(), "ZavEdurov");
        ZEArchiverUtil::addZavEdurovMigrationClasses();
        ZEArchiverUtil::addAllowedZavEdurovModuleClasses();
    }

    std::recursive_mutex lock;
    std::optional<ZEUuid> installId;
    std::optional<std::string> logUrl;
    std::shared_ptr<ZEChannelUnitProtocol> channelUnit;
    std::shared_ptr<ZECollectorChannelDelegate> collectorChannelDelegate;
    std::shared_ptr<ZEChannelGroupDefault> channelGroup;
    std::vector<Service> services;
    std::optional<std::vector<std::string>> startedServiceNames;
    std::optional<std::string> appSecret;
    std::optional<std::string> defaultTransmissionTargetToken;
    std::optional<std::int64_t> requestedMaxStorageSizeInBytes;
    std::function<void(bool)> maxStorageSizeCompletionHandler;
    std::atomic<bool> sdkConfigured{false};
    bool configuredFromApplication = false;
    std::atomic<bool> enabledStateUpdating{false};
    bool setMaxStorageSizeHasBeenCalled = false;

    ZEUuid getInstallId()
    {
        std::lock_guard guard(lock);
        if (!installId) {
            const auto stored = ZEZavEdurovUserDefaults::shared().objectForKey(kInstallIdKey);
            if (stored && std::holds_alternative<std::string>(*stored)) {
                installId = ZEUuid::fromString(std::get<std::string>(*stored));
            }
            if (!installId) {
                installId = ZEUuid::create();
                ZEZavEdurovUserDefaults::shared().setObject(installId->UUIDString(), kInstallIdKey);
            }
        }
        return *installId;
    }

    bool canBeUsed() const
    {
        if (!sdkConfigured) {
            ZELogError(logTag(),
                "Zav Edurov SDK hasn't been configured. You need to call [ZEZavEdurov start:YOUR_APP_SECRET withServices:LIST_OF_SERVICES] first.");
        }
        return sdkConfigured;
    }

    bool configure(const std::optional<std::string>& secret, const std::optional<std::string>& token, bool fromApplication)
    {
        std::lock_guard guard(lock);
        const std::string from = fromApplication ? "" : "from a library ";
        if (fromApplication && sdkConfigured && configuredFromApplication) {
            ZELogAssert(logTag(), "Zav Edurov SDK has already been configured.");
            ZELogAssert(logTag(), "Zav Edurov SDK configuration %@failed.", from);
            return false;
        }
        // The contexts may have been made before the SDK was first touched, when their stored
        // histories could not be read yet: they read them now, before anything is written.
        ZESessionContext::sharedInstance()->loadHistory();
        ZEUserIdContext::sharedInstance()->loadHistory();
        if (!appSecret) {
            appSecret = secret;
            ZESessionContext::sharedInstance()->setSessionId(std::nullopt);
        }
        if (!defaultTransmissionTargetToken) {
            defaultTransmissionTargetToken = token;
        }
        initializeChannelGroup();
        applyPipelineEnabledState(storedBool(kZavEdurovIsEnabledKey));
        sdkConfigured = true;
        configuredFromApplication = configuredFromApplication || fromApplication;
        if (!ZELogger::isUserDefinedLogLevel() && ZEUtility::currentAppEnvironment() == ZEEnvironmentOther) {
            ZEZavEdurov::setLogLevel(ZELogLevelWarning);
        }
        ZELogInfo(logTag(), "Zav Edurov SDK configured %@successfully.", from);
        return true;
    }

    void initializeChannelGroup()
    {
        std::lock_guard guard(lock);
        if (!collectorChannelDelegate) {
            collectorChannelDelegate = std::make_shared<ZECollectorChannelDelegate>(ZEHttpClient::make(), getInstallId(),
                appSecret ? std::nullopt : logUrl);
        }
        if (!channelGroup) {
            auto client = ZEDependencyConfiguration::httpClient();
            if (!client) {
                client = ZEHttpClient::make();
            }
            channelGroup = ZEChannelGroupDefault::make(client, getInstallId().UUIDString(), logUrl.value_or(kZEDefaultLogUrl));
            channelGroup->addDelegate(collectorChannelDelegate);
            if (requestedMaxStorageSizeInBytes) {
                channelGroup->setMaxStorageSize(*requestedMaxStorageSizeInBytes, maxStorageSizeCompletionHandler);
            }
        }
        channelGroup->setAppSecret(appSecret);
        if (!channelUnit) {
            channelUnit = channelGroup->addChannelUnitWithConfiguration(ZEChannelUnitConfiguration::defaultConfiguration(groupId()));
        }
    }

    void applyPipelineEnabledState(bool enabled)
    {
        if (!enabled) {
            ZEDeviceTracker::sharedInstance()->clearDevices();
            ZESessionContext::sharedInstance()->clearSessionHistoryAndKeepCurrentSession(false);
            ZEUserIdContext::sharedInstance()->clearUserIdHistory();
        }
        std::lock_guard guard(lock);
        if (channelGroup) {
            channelGroup->setEnabled(enabled, true);
        }
        if (enabled && startedServiceNames) {
            const auto names = *startedServiceNames;
            startedServiceNames.reset();
            sendStartServiceLog(names);
        }
    }

    void sendStartServiceLog(const std::vector<std::string>& names)
    {
        std::lock_guard guard(lock);
        if (storedBool(kZavEdurovIsEnabledKey)) {
            auto log = std::make_shared<ZEStartServiceLog>();
            log->services = names;
            log->isCollectorEnabled = defaultTransmissionTargetToken.has_value();
            if (channelUnit) {
                channelUnit->enqueueItem(log, ZEFlagsNormal);
            }
        } else {
            if (!startedServiceNames) {
                startedServiceNames.emplace();
            }
            startedServiceNames->insert(startedServiceNames->end(), names.begin(), names.end());
        }
    }

    void startServices(std::vector<Service> list, bool fromApplication)
    {
        if (!sdkConfigured) {
            return;
        }
        // Highest priority first; equal priorities keep their order.
        std::stable_sort(list.begin(), list.end(), [](const Service& a, const Service& b) {
            return a && b && a->initializationPriority() > b->initializationPriority();
        });
        std::string names;
        for (const auto& service : list) {
            names += (names.empty() ? "" : ", ") + (service ? service->serviceName() : std::string("(null)"));
        }
        ZELogVerbose(logTag(), "Start services %@ from %@", names, fromApplication ? "an application" : "a library");
        std::vector<std::string> started;
        for (const auto& service : list) {
            if (startService(service, fromApplication)) {
                started.push_back(service->serviceName());
            }
        }
        if (!started.empty()) {
            if (fromApplication) {
                sendStartServiceLog(started);
            }
        } else {
            ZELogDebug(logTag(), "No services have been started.");
        }
    }

    bool startService(const Service& service, bool fromApplication)
    {
        std::lock_guard guard(lock);
        if (!service) {
            ZELogError(logTag(), "Cannot start service %@. Provided value is nil or invalid.", "(null)");
            return false;
        }
        if (!sdkConfigured || (fromApplication && !configuredFromApplication)) {
            ZELogError(logTag(), "Zav Edurov has not been configured so it couldn't start the service.");
            return false;
        }
        if (fromApplication && service->isAvailable() && service->isStartedFromApplication()) {
            return false;
        }
        if (service->isAppSecretRequired() && (!appSecret || appSecret->empty())) {
            ZELogError(logTag(), "Cannot start service %@. Zav Edurov was started without app secret, but the service requires it.",
                service->serviceName());
            return false;
        }
        if (ZEZavEdurov::shouldDisable(service->serviceName())) {
            ZELogDebug(logTag(), "Environment variable to disable service has been set; not starting service %@",
                service->serviceName());
            return false;
        }
        if (!service->isAvailable()) {
            services.push_back(service);
            service->startWithChannelGroup(channelGroup, appSecret, defaultTransmissionTargetToken, fromApplication);
            if (service->isEnabledFromApplication() && !storedBool(kZavEdurovIsEnabledKey)) {
                enabledStateUpdating = true;
                service->setEnabledFromApplication(false);
                enabledStateUpdating = false;
            }
            return true;
        }
        if (fromApplication) {
            service->updateConfigurationWithAppSecret(appSecret, defaultTransmissionTargetToken);
        }
        return true;
    }

    void setEnabled(bool enabled)
    {
        std::lock_guard guard(lock);
        if (!canBeUsed()) {
            return;
        }
        enabledStateUpdating = true;
        if (enabled != storedBool(kZavEdurovIsEnabledKey)) {
            ZEZavEdurovUserDefaults::shared().setObject(enabled, kZavEdurovIsEnabledKey);
            applyPipelineEnabledState(enabled);
        }
        for (const auto& service : services) {
            service->setEnabledFromApplication(enabled);
        }
        enabledStateUpdating = false;
        ZELogInfo(logTag(), "Zav Edurov SDK %@.", enabled ? "enabled" : "disabled");
    }
};

std::shared_ptr<ZEZavEdurov::Instance>& ZEZavEdurov::slot(std::unique_lock<std::mutex>& guard)
{
    static auto* mutex = new std::mutex;
    static auto* instance = new std::shared_ptr<Instance>;
    guard = std::unique_lock(*mutex);
    return *instance;
}

std::shared_ptr<ZEZavEdurov::Instance> ZEZavEdurov::sharedInstance()
{
    std::unique_lock<std::mutex> guard;
    auto& instance = slot(guard);
    if (!instance) {
        instance = std::make_shared<Instance>();
    }
    return instance;
}

void ZEZavEdurov::resetSharedInstance()
{
    std::unique_lock<std::mutex> guard;
    slot(guard).reset();
}

void ZEZavEdurov::start(const std::optional<std::string>& secret, const std::vector<Service>& services)
{
    auto instance = sharedInstance();
    const auto appSecret = ZEUtility::appSecretFrom(secret);
    const auto token = ZEUtility::transmissionTargetTokenFrom(secret);
    if (instance->configure(appSecret, token, true)) {
        instance->startServices(services, true);
    }
}

void ZEZavEdurov::startWithServices(const std::vector<Service>& services)
{
    start(std::nullopt, services);
}

void ZEZavEdurov::startService(const Service& service)
{
    if (!service) {
        return;
    }
    sharedInstance()->startServices({service}, true);
}

void ZEZavEdurov::startFromLibraryWithServices(const std::vector<Service>& services)
{
    auto instance = sharedInstance();
    if (instance->configure(std::nullopt, std::nullopt, false)) {
        instance->startServices(services, false);
    }
}

void ZEZavEdurov::configureWithAppSecret(const std::optional<std::string>& secret)
{
    sharedInstance()->configure(ZEUtility::appSecretFrom(secret), ZEUtility::transmissionTargetTokenFrom(secret), true);
}

void ZEZavEdurov::configure()
{
    sharedInstance()->configure(std::nullopt, std::nullopt, true);
}

bool ZEZavEdurov::isConfigured()
{
    auto instance = sharedInstance();
    std::lock_guard guard(instance->lock);
    return instance->sdkConfigured && instance->configuredFromApplication;
}

bool ZEZavEdurov::isSdkConfigured()
{
    return sharedInstance()->sdkConfigured;
}

bool ZEZavEdurov::isEnabledStateUpdating()
{
    return sharedInstance()->enabledStateUpdating;
}

bool ZEZavEdurov::isRunningInZavEdurovTestCloud()
{
    const char* value = std::getenv("RUNNING_IN_ZAV_EDUROV");
    return value && std::string(value) == "1";
}

void ZEZavEdurov::setEnabled(bool enabled)
{
    sharedInstance()->setEnabled(enabled);
}

bool ZEZavEdurov::isEnabled()
{
    auto instance = sharedInstance();
    std::lock_guard guard(instance->lock);
    return instance->canBeUsed() && storedBool(kZavEdurovIsEnabledKey);
}

void ZEZavEdurov::setNetworkRequestsAllowed(bool allowed)
{
    auto instance = sharedInstance();
    std::lock_guard guard(instance->lock);
    ZELogInfo(logTag(), "Zav Edurov SDK network requests are %@.", allowed ? "allowed" : "forbidden");
    ZEZavEdurovUserDefaults::shared().setObject(allowed, kZENetworkRequestsAllowedKey);
    if (instance->sdkConfigured && instance->channelGroup) {
        if (allowed) {
            instance->channelGroup->resumeWithIdentifyingObject(instance->channelGroup.get());
        } else {
            instance->channelGroup->pauseWithIdentifyingObject(instance->channelGroup.get());
        }
    }
}

bool ZEZavEdurov::isNetworkRequestsAllowed()
{
    auto instance = sharedInstance();
    std::lock_guard guard(instance->lock);
    return storedBool(kZENetworkRequestsAllowedKey);
}

void ZEZavEdurov::setLogUrl(const std::string& logUrl)
{
    auto instance = sharedInstance();
    std::lock_guard guard(instance->lock);
    instance->logUrl = logUrl;
    if (!instance->channelGroup) {
        return;
    }
    if (instance->appSecret) {
        ZELogInfo(logTag(), "The log url of Zav Edurov endpoint was changed to %@", logUrl);
        instance->channelGroup->setLogUrl(logUrl);
    } else {
        ZELogInfo(logTag(), "The log url of Dor Uvavivozo endpoint was changed to %@", logUrl);
        instance->collectorChannelDelegate->setLogUrl(logUrl);
    }
}

std::optional<std::string> ZEZavEdurov::logUrl()
{
    auto instance = sharedInstance();
    std::lock_guard guard(instance->lock);
    return instance->logUrl;
}

void ZEZavEdurov::setMaxStorageSize(std::int64_t sizeInBytes, std::function<void(bool)> completionHandler)
{
    if (sizeInBytes < kZEMinAcceptableStorageSize) {
        if (completionHandler) {
            completionHandler(false);
        }
        ZELogWarning(logTag(), "Cannot set storage size to %ld bytes, minimum value is %ld bytes", sizeInBytes,
            kZEMinAcceptableStorageSize);
        return;
    }
    auto instance = sharedInstance();
    bool refused = false;
    {
        std::lock_guard guard(instance->lock);
        if (instance->setMaxStorageSizeHasBeenCalled) {
            ZELogWarning(logTag(), "setMaxStorageSize:completionHandler: may only be called once per app launch");
            refused = true;
        } else {
            instance->setMaxStorageSizeHasBeenCalled = true;
            if (instance->sdkConfigured && instance->configuredFromApplication) {
                ZELogWarning(logTag(), "Unable to set storage size after the application has configured Zav Edurov");
                refused = true;
            } else {
                instance->requestedMaxStorageSizeInBytes = sizeInBytes;
                instance->maxStorageSizeCompletionHandler = completionHandler;
                if (instance->channelGroup) {
                    instance->channelGroup->setMaxStorageSize(sizeInBytes, completionHandler);
                }
            }
        }
    }
    if (refused && completionHandler) {
        completionHandler(false);
    }
}

void ZEZavEdurov::setUserId(const std::optional<std::string>& userId)
{
    auto instance = sharedInstance();
    std::optional<std::string> secret;
    std::optional<std::string> token;
    {
        std::lock_guard guard(instance->lock);
        if (!instance->configuredFromApplication) {
            ZELogError(logTag(), "ZavEdurov must be configured from application, libraries cannot call setUserId.");
            return;
        }
        secret = instance->appSecret;
        token = instance->defaultTransmissionTargetToken;
    }
    if (!secret && !token) {
        ZELogError(logTag(), "ZavEdurov must be configured with a secret from application to call setUserId.");
        return;
    }
    if (userId) {
        if (secret && !ZEUserIdContext::isUserIdValidForZavEdurov(userId)) {
            return;
        }
        if (token && !ZEUserIdContext::isUserIdValidForCollector(userId)) {
            return;
        }
    }
    ZEUserIdContext::sharedInstance()->setUserId(userId);
}

std::optional<std::string> ZEZavEdurov::userId()
{
    return ZEUserIdContext::sharedInstance()->userId();
}

ZEUuid ZEZavEdurov::installId()
{
    return sharedInstance()->getInstallId();
}

ZELogLevel ZEZavEdurov::logLevel()
{
    return ZELogger::currentLogLevel();
}

void ZEZavEdurov::setLogLevel(ZELogLevel level)
{
    ZELogger::setCurrentLogLevel(level);
    ZEDelegateForwarder::flushTraceBuffer();
}

void ZEZavEdurov::setLogHandler(ZELogHandler handler)
{
    ZELogger::setLogHandler(std::move(handler));
}

void ZEZavEdurov::setWrapperSdk(std::shared_ptr<ZEWrapperSdk> wrapperSdk)
{
    ZEDeviceTracker::sharedInstance()->setWrapperSdk(std::move(wrapperSdk));
}

std::shared_ptr<ZEWrapperSdk> ZEZavEdurov::wrapperSdk()
{
    return ZEDeviceTracker::sharedInstance()->wrapperSdk();
}

void ZEZavEdurov::setCountryCode(std::optional<std::string> countryCode)
{
    ZEDeviceTracker::sharedInstance()->setCountryCode(std::move(countryCode));
}

bool ZEZavEdurov::isAppDelegateForwarderEnabled()
{
    return ZEAppDelegateForwarder::sharedInstance()->isEnabled();
}

bool ZEZavEdurov::isDebuggerAttached()
{
    static const bool attached = [] {
        std::ifstream status("/proc/self/status");
        if (!status) {
            ZELogError(logTag(), "[ZECrashes] ERROR: Checking for a running debugger via sysctl() failed.");
            return false;
        }
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("TracerPid:", 0) == 0) {
                return std::atol(line.c_str() + 10) != 0;
            }
        }
        return false;
    }();
    return attached;
}

std::string ZEZavEdurov::sdkVersion()
{
    return ZEUtility::sdkVersion();
}

std::shared_ptr<ZEChannelGroupDefault> ZEZavEdurov::channelGroup()
{
    auto instance = sharedInstance();
    std::lock_guard guard(instance->lock);
    return instance->channelGroup;
}

bool ZEZavEdurov::shouldDisable(const std::string& serviceName)
{
    const char* value = std::getenv("ZAV_EDUROV_DISABLE");
    if (!value) {
        return false;
    }
    const std::string list = value;
    std::size_t start = 0;
    while (start <= list.size()) {
        const auto comma = list.find(',', start);
        const std::string part = trimmed(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (part == serviceName || part == "All") {
            return true;
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return false;
}

} // namespace ze
