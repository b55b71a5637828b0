// Shared test fixture: every test runs on in-memory settings and secrets, a manual clock, a
// temporary home folder, a main thread of its own, and records what the SDK logs.
#pragma once

#include "sdk/telemetry/Internals/Util/ZEArchiverUtil.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESerialQueue.h"
#include "sdk/telemetry/Model/ZEDevice.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace ze::test {

// A device record with every required field set.
inline std::shared_ptr<ZEDevice> validDevice()
{
    auto device = std::make_shared<ZEDevice>();
    device->sdkName = "zavedurov.macos";
    device->sdkVersion = "5.0.2";
    device->osName = "Debian GNU/Linux";
    device->osVersion = "12.4.0";
    device->locale = "en_US";
    device->timeZoneOffset = 120;
    device->appVersion = "1.0";
    device->appBuild = "7";
    return device;
}

struct LoggedLine {
    ZELogLevel level;
    std::string tag;
    std::string message;
};

// A main thread of the test's own: a serial queue whose work the test waits for with `drain`.
class QueueExecutor final : public ZEMainThreadExecutor {
public:
    void post(std::function<void()> task) override { queue.async(std::move(task)); }
    bool isMainThread() const override { return queue.isCurrent(); }
    bool isApplicationHidden() const override { return hidden; }

    ZESerialQueue queue{"test.main"};
    bool hidden = false;
};

class SdkTest : public testing::Test {
protected:
    void SetUp() override
    {
        static std::once_flag registered;
        if (registersArchiveClasses()) {
            std::call_once(registered, [] {
                ZEArchiverUtil::addAllowedZavEdurovModuleClasses();
                ZEArchiverUtil::addZavEdurovMigrationClasses();
            });
        }
        home = std::filesystem::temp_directory_path()
            / ("zavedurov-test-" + std::to_string(::getpid()) + "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(home);
        ZEPlatform::setHomeOverride(home / "data", home / "config");
        ZEPlatform::setApplicationInfo(ZEApplicationInfo());
        ZEPlatform::setSettings(settings);
        ZEPlatform::setSecretStore(secrets);
        ZEPlatform::setClock(clock);
        ZEPlatform::setMainThreadExecutor(main);
        ZELogger::setLogHandler([this](const ZELogMessageProvider& message, ZELogLevel level, const std::string& tag,
                                    const char*, const char*, std::uint32_t) {
            std::lock_guard lock(logMutex);
            logged.push_back({level, tag, message ? message() : std::string()});
        });
    }

    void TearDown() override
    {
        ZELogger::flush();
        ZELogger::setLogHandler(nullptr);
        main->queue.drain();
        ZEPlatform::setSettings(nullptr);
        ZEPlatform::setSecretStore(nullptr);
        ZEPlatform::setClock(nullptr);
        ZEPlatform::setMainThreadExecutor(nullptr);
        ZEPlatform::setHomeOverride({}, {});
        std::filesystem::remove_all(home);
    }

    // Whether the archive classes are registered before the test, as the SDK does when it is first
    // touched; a test of what comes before that answers false.
    virtual bool registersArchiveClasses() const { return true; }

    // Every message logged so far, once the logger has handled them.
    std::vector<LoggedLine> logs()
    {
        ZELogger::flush();
        std::lock_guard lock(logMutex);
        return logged;
    }

    int countLogs(ZELogLevel level, const std::string& message)
    {
        int count = 0;
        for (const auto& line : logs()) {
            count += line.level == level && line.message == message ? 1 : 0;
        }
        return count;
    }

    std::filesystem::path home;
    std::shared_ptr<ZEJsonFileSettings> settings = std::make_shared<ZEJsonFileSettings>();
    std::shared_ptr<ZEFileSecretStore> secrets = std::make_shared<ZEFileSecretStore>();
    std::shared_ptr<ZEManualClock> clock = std::make_shared<ZEManualClock>();
    std::shared_ptr<QueueExecutor> main = std::make_shared<QueueExecutor>();

private:
    std::mutex logMutex;
    std::vector<LoggedLine> logged;
};

} // namespace ze::test
