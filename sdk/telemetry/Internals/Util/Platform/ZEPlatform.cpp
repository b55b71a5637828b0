#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

#include "sdk/telemetry/Internals/Util/Platform/ZESerialQueue.h"

#include <cstdlib>
#include <mutex>

namespace ze {

namespace {

class ZEQueueMainThreadExecutor final : public ZEMainThreadExecutor {
public:
    void post(std::function<void()> task) override { queue_.async(std::move(task)); }
    bool isMainThread() const override { return queue_.isCurrent(); }

private:
    ZESerialQueue queue_{"com.doridorir.zavedurov.mainThread"};
};

struct Registry {
    std::mutex mutex;
    ZEApplicationInfo info;
    std::shared_ptr<ZEClock> clock;
    std::shared_ptr<ZEMainThreadExecutor> executor;
    std::shared_ptr<ZESettingsBacking> settings;
    std::shared_ptr<ZESecretStore> secretStore;
    std::function<std::shared_ptr<ZENetworkMonitor>()> monitorFactory;
    std::filesystem::path dataHome;
    std::filesystem::path configHome;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

std::filesystem::path xdgFolder(const char* variable, const char* fallback)
{
    if (const char* value = std::getenv(variable); value && *value == '/') {
        return value;
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/tmp") / fallback;
}

} // namespace

ZEApplicationInfo ZEPlatform::applicationInfo()
{
    std::lock_guard lock(registry().mutex);
    return registry().info;
}

void ZEPlatform::setApplicationInfo(ZEApplicationInfo info)
{
    std::lock_guard lock(registry().mutex);
    registry().info = std::move(info);
}

std::shared_ptr<ZEClock> ZEPlatform::clock()
{
    std::lock_guard lock(registry().mutex);
    return registry().clock ? registry().clock : ZEClock::system();
}

void ZEPlatform::setClock(std::shared_ptr<ZEClock> clock)
{
    std::lock_guard lock(registry().mutex);
    registry().clock = std::move(clock);
}

std::shared_ptr<ZEMainThreadExecutor> ZEPlatform::mainThreadExecutor()
{
    std::lock_guard lock(registry().mutex);
    if (!registry().executor) {
        registry().executor = std::make_shared<ZEQueueMainThreadExecutor>();
    }
    return registry().executor;
}

void ZEPlatform::setMainThreadExecutor(std::shared_ptr<ZEMainThreadExecutor> executor)
{
    std::lock_guard lock(registry().mutex);
    registry().executor = std::move(executor);
}

std::shared_ptr<ZESettingsBacking> ZEPlatform::settings()
{
    const auto folder = configHome() / applicationInfo().bundleIdentifier;
    std::lock_guard lock(registry().mutex);
    if (!registry().settings) {
        registry().settings = std::make_shared<ZEJsonFileSettings>(folder / "ZavEdurov.settings.json");
    }
    return registry().settings;
}

void ZEPlatform::setSettings(std::shared_ptr<ZESettingsBacking> settings)
{
    std::lock_guard lock(registry().mutex);
    registry().settings = std::move(settings);
}

std::shared_ptr<ZESecretStore> ZEPlatform::secretStore()
{
    const auto folder = configHome() / applicationInfo().bundleIdentifier;
    std::lock_guard lock(registry().mutex);
    if (!registry().secretStore) {
        registry().secretStore = std::make_shared<ZEFileSecretStore>(folder / "ZavEdurov.secrets");
    }
    return registry().secretStore;
}

void ZEPlatform::setSecretStore(std::shared_ptr<ZESecretStore> store)
{
    std::lock_guard lock(registry().mutex);
    registry().secretStore = std::move(store);
}

std::shared_ptr<ZENetworkMonitor> ZEPlatform::makeNetworkMonitor()
{
    std::function<std::shared_ptr<ZENetworkMonitor>()> factory;
    {
        std::lock_guard lock(registry().mutex);
        factory = registry().monitorFactory;
    }
    return factory ? factory() : std::make_shared<ZELinuxNetworkMonitor>();
}

void ZEPlatform::setNetworkMonitorFactory(std::function<std::shared_ptr<ZENetworkMonitor>()> factory)
{
    std::lock_guard lock(registry().mutex);
    registry().monitorFactory = std::move(factory);
}

std::filesystem::path ZEPlatform::dataHome()
{
    {
        std::lock_guard lock(registry().mutex);
        if (!registry().dataHome.empty()) {
            return registry().dataHome;
        }
    }
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

std::filesystem::path ZEPlatform::configHome()
{
    {
        std::lock_guard lock(registry().mutex);
        if (!registry().configHome.empty()) {
            return registry().configHome;
        }
    }
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

void ZEPlatform::setHomeOverride(std::filesystem::path dataHome, std::filesystem::path configHome)
{
    std::lock_guard lock(registry().mutex);
    registry().dataHome = std::move(dataHome);
    registry().configHome = std::move(configHome);
}

} // namespace ze
