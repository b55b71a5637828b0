#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/ZEWrapperLogger.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace ze {
namespace {

class ZELoggerTest : public testing::Test {
protected:
    void TearDown() override
    {
        ZELogger::flush();
        ZELogger::setLogHandler(nullptr);
        ZELogger::setCurrentLogLevel(ZELogLevelAssert);
    }
};

TEST_F(ZELoggerTest, StandardLineFiltersByLevelAndNamesIt)
{
    const ZELogMessageProvider message = [] { return std::string("hello"); };
    ZELogger::setCurrentLogLevel(ZELogLevelWarning);
    EXPECT_EQ(ZELogger::standardLine(message, ZELogLevelError, "ZavEdurov", "start", 12), "[ZavEdurov] ERROR: start/12 hello");
    EXPECT_EQ(ZELogger::standardLine(message, ZELogLevelWarning, "T", "f", 1), "[T] WARNING: f/1 hello");
    EXPECT_FALSE(ZELogger::standardLine(message, ZELogLevelInfo, "T", "f", 1));

    // None silences everything, Assert included; a message of level None never prints.
    ZELogger::setCurrentLogLevel(ZELogLevelNone);
    EXPECT_FALSE(ZELogger::standardLine(message, ZELogLevelAssert, "T", "f", 1));
    ZELogger::setCurrentLogLevel(ZELogLevelVerbose);
    EXPECT_FALSE(ZELogger::standardLine(message, ZELogLevelNone, "T", "f", 1));
    EXPECT_TRUE(ZELogger::isUserDefinedLogLevel());
}

TEST_F(ZELoggerTest, FilteredMessageProviderIsNeverCalled)
{
    ZELogger::setCurrentLogLevel(ZELogLevelError);
    bool called = false;
    EXPECT_FALSE(ZELogger::standardLine([&] { called = true; return std::string(); }, ZELogLevelDebug, "T", "f", 1));
    EXPECT_FALSE(called);
}

TEST_F(ZELoggerTest, CustomHandlerGetsEveryCallInOrderOnTheLoggerQueue)
{
    ZELogger::setCurrentLogLevel(ZELogLevelAssert);
    std::vector<std::string> received;
    std::atomic<bool> onCallerThread = false;
    const auto caller = std::this_thread::get_id();
    ZELogger::setLogHandler([&](const ZELogMessageProvider& message, ZELogLevel level, const std::string& tag, const char*,
                                const char* function, std::uint32_t line) {
        onCallerThread = onCallerThread || std::this_thread::get_id() == caller;
        received.push_back(ZEFormat("%@ %d %@ %@ %@", tag, level, function, message(), line > 0));
    });
    int value = 7;
    ZELogVerbose("Tag", "value %d, text %@", value, std::string("a/b"));
    value = 8; // the arguments were taken when the call was made
    ZELogWarning("Tag", "second");
    ZEWrapperLogger::ZEWrapperLog([] { return std::string("wrapped"); }, "Wrapper", ZELogLevelInfo);
    ZELogger::flush();
    EXPECT_FALSE(onCallerThread);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0], "Tag 2 TestBody value 7, text a/b YES");
    EXPECT_EQ(received[1], "Tag 5 TestBody second YES");
    EXPECT_EQ(received[2], "Wrapper 4 ZEWrapperLog wrapped YES");
}

TEST_F(ZELoggerTest, CStringArgumentsAreCopiedBeforeTheCallerMovesOn)
{
    std::vector<std::string> lines;
    ZELogger::setLogHandler([&lines](const ZELogMessageProvider& message, ZELogLevel, const std::string&, const char*,
                                const char*, std::uint32_t) { lines.push_back(message()); });
    {
        std::string path = "/data/a-path-long-enough-to-live-on-the-heap/file";
        ZELogError("T", "Couldn't open %@ %@", path.c_str(), static_cast<const char*>(nullptr));
        path.assign(path.size(), 'x');
    }
    ZELogger::flush();
    EXPECT_EQ(lines, (std::vector<std::string>{"Couldn't open /data/a-path-long-enough-to-live-on-the-heap/file (null)"}));
}

TEST_F(ZELoggerTest, FormatFillsEveryConversionWithTheNextArgument)
{
    EXPECT_EQ(ZEFormat("%@: \"%@\" is not valid.", std::string("ZEDevice"), "appBuild"), "ZEDevice: \"appBuild\" is not valid.");
    EXPECT_EQ(ZEFormat("%tu of %ld at %i%%", std::size_t{3}, 4L, -5), "3 of 4 at -5%");
    EXPECT_EQ(ZEFormat("missing %@", std::optional<std::string>()), "missing (null)");
    EXPECT_EQ(ZEFormat("more %d than %d", 1), "more 1 than %d");
}

} // namespace
} // namespace ze
