// The crash service inside one test process: the crash engine is never armed here (the debugger
// check says yes), so only what the service does with reports and files is exercised. Each
// test is a launch; `relaunch` starts the next one on the same folders and settings.
#pragma once

#include "ReportFixture.h"
#include "ZETestSupport.h"

#include "sdk/crashes/WrapperException/ZEWrapperCrashesHelper.h"
#include "sdk/crashes/ZECrashes.h"
#include "sdk/crashes/ZECrashesUtil.h"
#include "sdk/crashes/ZEErrorLogFormatter.h"
#include "sdk/telemetry/Internals/Context/Session/ZESessionContext.h"
#include "sdk/telemetry/Internals/Context/UserId/ZEUserIdContext.h"
#include "sdk/telemetry/Internals/Http/ZEDependencyConfiguration.h"
#include "sdk/telemetry/Internals/Http/ZEHttpClient.h"
#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/ZEDeviceTracker.h"
#include "sdk/telemetry/ZEZavEdurov.h"

#include <cstdlib>
#include <fstream>

namespace ze {

namespace fs = std::filesystem;

// Every log that any unit prepares: what would go to the sink.
class CrashLogCollector final : public ZEChannelDelegate {
public:
    void channelDidPrepareLog(ZEChannelProtocol&, const std::shared_ptr<ZEAbstractLog>& log, const std::string&, std::uint64_t) override
    {
        std::lock_guard lock(mutex);
        logs.push_back(log);
    }
    // The crash logs among them.
    std::vector<std::shared_ptr<ZEAppleErrorLog>> collected()
    {
        std::vector<std::shared_ptr<ZEAppleErrorLog>> crashLogs;
        for (const auto& log : all()) {
            if (auto crashLog = std::dynamic_pointer_cast<ZEAppleErrorLog>(log)) {
                crashLogs.push_back(crashLog);
            }
        }
        return crashLogs;
    }
    std::vector<std::shared_ptr<ZEAbstractLog>> all()
    {
        std::lock_guard lock(mutex);
        return logs;
    }

private:
    std::mutex mutex;
    std::vector<std::shared_ptr<ZEAbstractLog>> logs;
};

class CrashServiceTest : public test::SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
        ZECrashes::setDebuggerCheck([] { return true; });
        ZECrashes::resetSharedInstance();
        ZEDeviceTracker::resetSharedInstance();
        ZESessionContext::resetSharedInstance();
        ZEUserIdContext::resetSharedInstance();
        ZEDependencyConfiguration::setHttpClient(ZEHttpClient::make(std::nullopt, nullptr));
    }

    void TearDown() override
    {
        if (auto group = ZEZavEdurov::channelGroup()) {
            group->logsDispatchQueue()->drain();
        }
        crashes.reset();
        ZECrashes::resetSharedInstance();
        ZEZavEdurov::resetSharedInstance();
        ZECrashes::setDebuggerCheck(nullptr);
        ZEWrapperCrashesHelper::setCrashHandlerSetupDelegate(nullptr);
        ZEDependencyConfiguration::setHttpClient(nullptr);
        ::unsetenv("XDG_CACHE_HOME");
        SdkTest::TearDown();
    }

    void start()
    {
        ZEZavEdurov::resetSharedInstance();
        // Port 1 refuses: logs stay stored and can be looked at.
        ZEZavEdurov::setLogUrl("http://127.0.0.1:1");
        crashes = ZECrashes::sharedInstance();
        ZEZavEdurov::start("app-secret", {crashes});
        ZEZavEdurov::channelGroup()->addDelegate(collector);
    }

    // Ends this launch and starts the next one on the same folders and settings.
    void relaunch()
    {
        ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();
        main->queue.drain();
        crashes.reset();
        ZECrashes::resetSharedInstance();
        ZESessionContext::resetSharedInstance();
        ZEUserIdContext::resetSharedInstance();
        collector = std::make_shared<CrashLogCollector>();
        start();
    }

    // Stores a report of the previous launch whose incident id ends in `tag`; answers that id.
    std::string storeReport(const std::string& name, std::uint8_t tag)
    {
        std::uint8_t uuid[16] = {};
        uuid[15] = tag;
        Cecrash__CrashReport__ReportInfo info = CECRASH__CRASH_REPORT__REPORT_INFO__INIT;
        info.has_uuid = 1;
        info.uuid = {sizeof uuid, uuid};
        fixture.report.report_info = &info;
        const auto bytes = fixture.bytes();
        fixture.report.report_info = nullptr;
        write(folder("crashes") / name, bytes);
        return ZEErrorLogFormatter::errorIdForCrashReport(*decodeReport(bytes));
    }

    // The incident ids of the crash logs sent so far, in order.
    std::vector<std::string> sentIds()
    {
        std::vector<std::string> ids;
        for (const auto& log : collector->collected()) {
            ids.push_back(log->errorId.value_or(""));
        }
        return ids;
    }

    // Lets the delayed processing run and waits for it.
    void process()
    {
        clock->advance(std::chrono::seconds(1));
        ASSERT_TRUE(crashes->waitForProcessing(std::chrono::seconds(5)));
        ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();
    }

    fs::path folder(const std::string& component) { return *ZEUtility::fullURLForPathComponent(component); }

    void write(const fs::path& file, const std::vector<uint8_t>& bytes)
    {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::vector<std::string> namesIn(const fs::path& directory)
    {
        std::vector<std::string> names;
        std::error_code error;
        for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
            names.push_back(it->path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path pendingReportPath()
    {
        CECrashReporter reporter(ZECrashesUtil::applicationBundle(), CECrashReporterConfig::defaultConfiguration());
        reporter.populateCrashReportDirectory();
        return reporter.crashReportPath();
    }

    ReportFixture fixture;
    std::shared_ptr<ZECrashes> crashes;
    std::shared_ptr<CrashLogCollector> collector = std::make_shared<CrashLogCollector>();
};

} // namespace ze
