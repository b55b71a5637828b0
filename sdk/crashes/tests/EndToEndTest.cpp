// A crash and the launch after it, as real processes: the crashing launch runs the SDK with the
// crash service against the ingestion sink and dies; the next launch must deliver the crash log
// with the ids of the crash time, replay the logs that only the crash-time buffer held, and
// clean up the report files.
#include "ZEEndToEndSupport.h"

#include "sdk/telemetry/Internals/Util/Platform/ZEApplicationInfo.h"
#include "services/ingestion/IngestionSink.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace ze {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using qv::services::IngestionSink;

pid_t launch(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execv(ZE_CRASH_CHILD, argv.data());
        ::_exit(127);
    }
    return child;
}

int waitFor(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return status;
}

class CrashEndToEndTest : public testing::Test {
protected:
    void SetUp() override
    {
        home = fs::temp_directory_path()
            / ("zavedurov-crashes-e2e-" + std::to_string(::getpid()) + "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(home);
        fs::create_directories(home);
        ASSERT_TRUE(sink.start());
    }

    void TearDown() override
    {
        sink.stop();
        fs::remove_all(home);
    }

    // Every log the sink received so far.
    std::vector<nlohmann::json> receivedLogs() const
    {
        std::vector<nlohmann::json> logs;
        for (const auto& request : sink.requests()) {
            const auto body = nlohmann::json::parse(request.body, nullptr, false);
            if (body.is_object() && body.contains("logs")) {
                for (const auto& log : body["logs"]) {
                    logs.push_back(log);
                }
            }
        }
        return logs;
    }

    std::optional<nlohmann::json> crashLog() const
    {
        for (const auto& log : receivedLogs()) {
            if (log.value("type", "") == "appleError") {
                return log;
            }
        }
        return std::nullopt;
    }

    std::set<int> indexesReceived() const
    {
        std::set<int> found;
        for (const auto& request : sink.requests()) {
            for (int index : test::indexesIn(request.body)) {
                found.insert(index);
            }
        }
        return found;
    }

    fs::path dataFolder() const
    {
        for (const auto& entry : fs::recursive_directory_iterator(home / "data")) {
            if (entry.path().filename() == "crasheslogbuffer") {
                return entry.path().parent_path();
            }
        }
        return {};
    }

    std::vector<fs::path> filesIn(const fs::path& folder) const
    {
        std::vector<fs::path> files;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            files.push_back(it->path());
        }
        return files;
    }

    // Crashes a launch, checks what it left behind, runs the next launch until the sink has the
    // crash log and the buffered logs; answers the crash log.
    nlohmann::json crashAndRelaunch(const std::string& mode)
    {
        const int status = waitFor(launch({ZE_CRASH_CHILD, home.string(), sink.baseUrl(), mode, (home / "facts").string()}));
        EXPECT_TRUE(WIFSIGNALED(status)) << "the crashing launch ended with status " << status;

        const fs::path data = dataFolder();
        EXPECT_FALSE(data.empty());
        int withContent = 0;
        int bufferFiles = 0;
        for (const auto& file : filesIn(data / "crasheslogbuffer")) {
            if (file.extension() == ".zecrasheslogbuffer") {
                ++bufferFiles;
                withContent += fs::file_size(file) > 0 ? 1 : 0;
            }
        }
        EXPECT_EQ(bufferFiles, 60);
        EXPECT_EQ(withContent, 3) << "the three logs in flight at the crash";

        // Straight on, usually within the crash's own second: its ids must still be the crash's.
        const pid_t relaunch = launch({ZE_CRASH_CHILD, home.string(), sink.baseUrl(), "relaunch"});
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto indexes = indexesReceived();
            if (crashLog() && indexes.count(100) && indexes.count(101) && indexes.count(102)) {
                break;
            }
            sink.waitForRequests(sink.requests().size() + 1, 200ms);
        }
        ::kill(relaunch, SIGKILL);
        waitFor(relaunch);

        const auto indexes = indexesReceived();
        EXPECT_TRUE(indexes.count(100) && indexes.count(101) && indexes.count(102)) << "the buffered logs were replayed";
        for (const auto& file : filesIn(data / "crasheslogbuffer")) {
            EXPECT_EQ(fs::file_size(file), 0u) << file << " was replayed and emptied";
        }
        EXPECT_TRUE(filesIn(data / "crashes").empty()) << "the report files are removed once sent";
        const auto log = crashLog();
        EXPECT_TRUE(log.has_value());
        return log.value_or(nlohmann::json::object());
    }

    fs::path home;
    IngestionSink sink;
};

TEST_F(CrashEndToEndTest, aNullWriteArrivesAsACrashLogWithTheIdsOfTheCrashTime)
{
    const auto log = crashAndRelaunch("segv");
    EXPECT_EQ(log.value("osExceptionType", ""), "SIGSEGV");
    EXPECT_EQ(log.value("osExceptionCode", ""), "SEGV_MAPERR");
    EXPECT_EQ(log.value("osExceptionAddress", ""), "0x0");
    EXPECT_EQ(log.value("sid", ""), "session-at-the-crash");
    EXPECT_EQ(log.value("userId", ""), "user-at-the-crash");
    // The kernel keeps the first 15 characters of a process name.
    EXPECT_EQ(log.value("processName", ""), std::string("ZavEdurovCrashes_crash_child").substr(0, 15));
    EXPECT_TRUE(log.value("fatal", false));
    ASSERT_TRUE(log.contains("threads"));
    EXPECT_FALSE(log["threads"].empty());
    EXPECT_FALSE(log.value("registers", nlohmann::json::object()).empty());
    EXPECT_FALSE(log.contains("exceptionType"));
    // The crash names the application the SDK runs in, not its process.
    const ZEApplicationInfo application;
    const auto device = log.value("device", nlohmann::json::object());
    EXPECT_EQ(device.value("appNamespace", ""), application.bundleIdentifier);
    EXPECT_EQ(device.value("appVersion", ""), application.shortVersion);
    EXPECT_EQ(device.value("appBuild", ""), application.buildVersion);
    EXPECT_TRUE(fs::is_directory(home / "cache" / "com.doridorir.crashengine.data" / application.bundleIdentifier));
}

TEST_F(CrashEndToEndTest, anUncaughtExceptionArrivesWithItsTypeReasonAndThrowSite)
{
    const auto log = crashAndRelaunch("throw");
    EXPECT_EQ(log.value("osExceptionType", ""), "SIGABRT");
    EXPECT_EQ(log.value("exceptionType", ""), "std::runtime_error");
    EXPECT_EQ(log.value("exceptionReason", ""), "boom");
    EXPECT_EQ(log.value("sid", ""), "session-at-the-crash");
    EXPECT_EQ(log.value("userId", ""), "user-at-the-crash");

    nlohmann::json exception;
    for (const auto& thread : log.value("threads", nlohmann::json::array())) {
        if (thread.contains("exception")) {
            exception = thread["exception"];
        }
    }
    ASSERT_TRUE(exception.is_object()) << "the crashed thread carries the exception";
    EXPECT_EQ(exception.value("type", ""), "std::runtime_error");
    EXPECT_EQ(exception.value("message", ""), "boom");
    ASSERT_FALSE(exception.value("frames", nlohmann::json::array()).empty());
#if ZE_CAPTURES_THROW_SITES
    std::uintptr_t throwingFunction = 0;
    std::ifstream(home / "facts") >> throwingFunction;
    // The innermost frame is the return address inside the function that threw.
    const auto innermost = std::stoull(exception["frames"][0].value("address", "0"), nullptr, 16);
    EXPECT_GT(innermost, throwingFunction);
    EXPECT_LT(innermost, throwingFunction + 256);
#endif
}

} // namespace
} // namespace ze
