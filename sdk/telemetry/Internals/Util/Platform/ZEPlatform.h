// The process-wide platform pieces the SDK runs on. The application (or a test) installs its own
// before the SDK starts; whatever it leaves unset gets the default named beside it.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZEApplicationInfo.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEClock.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEMainThreadExecutor.h"
#include "sdk/telemetry/Internals/Util/Platform/ZENetworkMonitor.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESecretStore.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESettingsBacking.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace ze {

class ZEPlatform {
public:
    // Default: bundle identifier "com.harrowfenlake.quorvantelle", version "1.0", build "1".
    static ZEApplicationInfo applicationInfo();
    static void setApplicationInfo(ZEApplicationInfo info);

    // Default: the system clock.
    static std::shared_ptr<ZEClock> clock();
    static void setClock(std::shared_ptr<ZEClock> clock);

    // Default: a serial queue of the SDK's own ("main" work then runs off the real main thread).
    static std::shared_ptr<ZEMainThreadExecutor> mainThreadExecutor();
    static void setMainThreadExecutor(std::shared_ptr<ZEMainThreadExecutor> executor);

    // Default: the JSON file "<config folder>/<bundle identifier>/ZavEdurov.settings.json".
    static std::shared_ptr<ZESettingsBacking> settings();
    static void setSettings(std::shared_ptr<ZESettingsBacking> settings);

    // Default: the file "<config folder>/<bundle identifier>/ZavEdurov.secrets", mode 0600.
    static std::shared_ptr<ZESecretStore> secretStore();
    static void setSecretStore(std::shared_ptr<ZESecretStore> store);

    // Default: a new ZELinuxNetworkMonitor for each caller.
    static std::shared_ptr<ZENetworkMonitor> makeNetworkMonitor();
    static void setNetworkMonitorFactory(std::function<std::shared_ptr<ZENetworkMonitor>()> factory);

    // The user's data folder (Application Support): XDG_DATA_HOME, else "~/.local/share".
    static std::filesystem::path dataHome();
    // The user's configuration folder: XDG_CONFIG_HOME, else "~/.config".
    static std::filesystem::path configHome();
    // Replaces both folders (tests point them at a temporary folder); empty restores the defaults.
    static void setHomeOverride(std::filesystem::path dataHome, std::filesystem::path configHome);
};

} // namespace ze
