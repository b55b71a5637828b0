#include "sdk/crash-engine/CECrashHostInfo.h"
#include "sdk/crash-engine/CECrashLog.h"
#include "sdk/crash-engine/CECrashProcessInfo.h"

#include <gtest/gtest.h>

#include "sdk/crash-engine/tests/ChildProcess.h"

#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

TEST(CECrashHostInfoTest, ReleaseTextScansIntoThreeNumbers)
{
    std::vector<std::string> lines;
    const CECrashLogSink previous = CECrashSetLogSink([&](const std::string& line) { lines.push_back(line); });
    struct Case {
        const char* release;
        uint64_t major, minor, revision;
        bool logged;
    };
    const Case cases[] = {
        {"20.6.0", 20, 6, 0, false},
        {"6.1.0-18-amd64", 6, 1, 0, false},
        {"21", 21, 0, 0, true},
        {"5.10", 5, 10, 0, true},
    };
    for (const Case& c : cases) {
        lines.clear();
        const CECrashHostInfoVersion version = CECrashHostInfo(c.release).darwinVersion();
        EXPECT_EQ(version.major, c.major) << c.release;
        EXPECT_EQ(version.minor, c.minor) << c.release;
        EXPECT_EQ(version.revision, c.revision) << c.release;
        EXPECT_EQ(lines.size(), c.logged ? 1u : 0u) << c.release;
    }
    EXPECT_EQ(CECrashHostInfo("21").darwinVersion().major, 21u);
    EXPECT_EQ(lines.back(), "[CECrashReporter] Unexpected kern.osrelease string format: 21");
    CECrashSetLogSink(previous);

    utsname names{};
    uname(&names);
    const std::shared_ptr<CECrashHostInfo> current = CECrashHostInfo::currentHostInfo();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(std::to_string(current->darwinVersion().major), std::string(names.release).substr(0, std::string(names.release).find('.')));
}

TEST(CECrashProcessInfoTest, DescribesThisProcessAndItsParent)
{
    const std::shared_ptr<CECrashProcessInfo> self = CECrashProcessInfo::currentProcessInfo();
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->processID(), getpid());
    EXPECT_EQ(self->parentProcessID(), getppid());
    EXPECT_EQ(self->processName(), std::string(program_invocation_short_name).substr(0, 15));
    EXPECT_GT(self->startTime().seconds, 1'000'000'000);
    EXPECT_LT(self->startTime().microseconds, 1'000'000);
    EXPECT_NE(CECrashProcessInfo::initWithProcessID(getppid()), nullptr);
    EXPECT_EQ(CECrashProcessInfo::initWithProcessID(-5), nullptr);
}

TEST(CECrashProcessInfoTest, NamesAreWholeCharactersAndMayHoldAnyByte)
{
    struct Case {
        const char* set;
        const char* expected;
    };
    const Case cases[] = {
        // The kernel keeps 15 bytes, splitting the last character: it is dropped whole.
        {"abcdefghijklmn\xC3\xA9", "abcdefghijklmn"},
        {"two\nlines", "two\nlines"},
        {"odd) (name", "odd) (name"},
    };
    for (const Case& c : cases) {
        const int status = runInChild([&] {
            prctl(PR_SET_NAME, c.set);
            const std::shared_ptr<CECrashProcessInfo> self = CECrashProcessInfo::currentProcessInfo();
            if (self == nullptr)
                _exit(1);
            _exit(self->processName() == std::string(c.expected) && self->parentProcessID() == getppid() ? 0 : 2);
        });
        EXPECT_TRUE(exitedWith(status, 0)) << c.expected << " " << status;
    }
}

TEST(CECrashProcessInfoTest, ProcessUnderATracerIsTraced)
{
    const std::shared_ptr<CECrashProcessInfo> self = CECrashProcessInfo::currentProcessInfo();
    ASSERT_NE(self, nullptr);
    EXPECT_FALSE(self->isTraced()) << "the tests must not run under a debugger";
    const int status = runInChild([] {
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            _exit(2);
        const std::shared_ptr<CECrashProcessInfo> traced = CECrashProcessInfo::currentProcessInfo();
        _exit(traced && traced->isTraced() ? 0 : 1);
    });
    if (exitedWith(status, 2))
        GTEST_SKIP() << "this system does not allow tracing";
    EXPECT_TRUE(exitedWith(status, 0)) << status;
}

}  // namespace
