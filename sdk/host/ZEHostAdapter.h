// The application's side of the telemetry SDK: its main queue as the SDK's main thread, its
// preference store as the SDK's settings, its primary screen and window state, and its activation
// changes for the session tracker. The shell installs it once at start-up, on the main thread,
// and then starts the SDK through it.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZEMainThreadExecutor.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESettingsBacking.h"
#include "sdk/telemetry/ZEZavEdurov.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/Preferences.h"

#include <QMetaObject>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ze {

// The SDK's settings kept in the application's preferences as one dictionary under
// "ZavEdurovSettings". Reads and writes may come from any thread: they go to a copy kept under a
// lock, and each change is written to the preferences on the main queue.
class ZEPreferencesSettings final : public ZESettingsBacking, public std::enable_shared_from_this<ZEPreferencesSettings> {
public:
    static constexpr const char* kPreferencesKey = "ZavEdurovSettings";

    // On the main thread.
    ZEPreferencesSettings(qv::Preferences& preferences, qv::Dispatcher& mainQueue);

    std::optional<ZESettingValue> objectForKey(const std::string& key) const override;
    void setObject(const std::string& key, ZESettingValue value) override;
    void removeObject(const std::string& key) override;
    std::map<std::string, ZESettingValue> dictionaryRepresentation() const override;

private:
    void scheduleWrite();

    qv::Preferences& preferences_;
    qv::Dispatcher& mainQueue_;
    mutable std::mutex mutex_;
    std::map<std::string, ZESettingValue> values_;
};

class ZEQtMainThreadExecutor final : public ZEMainThreadExecutor {
public:
    explicit ZEQtMainThreadExecutor(qv::Dispatcher& mainQueue);
    void post(std::function<void()> task) override;
    bool isMainThread() const override;
    bool isApplicationHidden() const override;
    std::optional<std::pair<double, double>> mainScreenSize() const override;

private:
    qv::Dispatcher& mainQueue_;
};

// The application's own version, as its users see it, and its build.
struct ZEHostApplicationVersion {
    std::string shortVersion;
    std::string build;
};

class ZEHostAdapter {
public:
    // Installs the executor and the settings, and passes activation changes to the SDK.
    // Call on the main thread after the application object exists.
    ZEHostAdapter(qv::Dispatcher& mainQueue, qv::Preferences& preferences);
    ~ZEHostAdapter();
    ZEHostAdapter(const ZEHostAdapter&) = delete;
    ZEHostAdapter& operator=(const ZEHostAdapter&) = delete;

    // Starts the SDK with every service the application uses, in one start: the SDK takes one
    // start per process and refuses a second. `logUrl` is the ingestion's base address; every log,
    // crash logs among them, carries `version`.
    void startTelemetry(const std::string& appSecret, const std::string& logUrl, const ZEHostApplicationVersion& version,
        const std::vector<ZEZavEdurov::Service>& services);

private:
    QMetaObject::Connection activation_;
};

} // namespace ze
