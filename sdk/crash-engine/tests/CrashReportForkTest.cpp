// Children crash on purpose with the reporter enabled; the parent decodes what they wrote.
#include "sdk/crash-engine/CECrashReport.h"
#include "sdk/crash-engine/CECrashReporter.h"
#include "sdk/crash-engine/tests/ChildProcess.h"
#include "sdk/crash-engine/tests/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <thread>

// The crashing functions are exported so that the parent can name the frames of a report.
extern "C" {

__attribute__((noinline)) int crashTestNullWrite()
{
    // Written in assembly so that the undefined-behaviour sanitizer cannot stop it first.
    asm volatile("movl $1, (%0)" : : "r"(static_cast<uintptr_t>(0)) : "memory");
    return 1;
}

__attribute__((noinline)) int crashTestAbort()
{
    abort();
}

__attribute__((noinline)) int crashTestIllegalInstruction()
{
    __builtin_trap();
}

// Unmasks the divide-by-zero trap of the floating-point unit, then divides by zero.
__attribute__((noinline)) int crashTestFloatDivide()
{
    feenableexcept(FE_DIVBYZERO);
    volatile double zero = 0.0;
    volatile double result = 1.0 / zero;
    return static_cast<int>(result);
}

__attribute__((noinline)) int crashTestBreakpoint()
{
    asm volatile("int3");
    return 1;
}

__attribute__((noinline)) int crashTestDivideByZero()
{
    int result = 0;
    asm volatile("xorl %%ecx, %%ecx\n\tmovl $1, %%eax\n\tcltd\n\tidivl %%ecx\n\tmovl %%eax, %0"
                 : "=r"(result)
                 :
                 : "eax", "ecx", "edx");
    return result;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
__attribute__((noinline)) int crashTestRecurse(int depth)
{
    volatile char buffer[1024];
    buffer[0] = static_cast<char>(depth);
    return crashTestRecurse(depth + 1) + buffer[0];
}
#pragma GCC diagnostic pop

__attribute__((noinline)) int crashTestStackOverflow()
{
    return crashTestRecurse(0) + 1;
}

// The comparator that qsort calls back: a null write inside a function called through the C
// library, whose own frames keep no frame pointers.
__attribute__((noinline)) int crashTestCompare(const void*, const void*)
{
    return crashTestNullWrite();
}

__attribute__((noinline)) int crashTestSortWithCrash()
{
    int values[] = {3, 1, 2};
    qsort(values, 3, sizeof(int), crashTestCompare);
    return values[0];
}

// Sits `depth` frames deep until the process ends.
__attribute__((noinline)) void crashTestParkDeep(int depth)
{
    if (depth > 0) {
        crashTestParkDeep(depth - 1);
        asm volatile("" ::: "memory");
        return;
    }
    static volatile bool parked = true;
    while (parked)
        pause();
}

// Calls the crash so that a frame of the test itself lies below it on the stack.
__attribute__((noinline)) int crashTestCaller(int (*crash)())
{
    const int result = crash();
    return result + 1;
}

}  // extern "C"

namespace {

const char* const kIdentifier = "com.example/crash test";

std::string symbolName(uint64_t address)
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(address), &info) == 0 || info.dli_sname == nullptr)
        return {};
    return info.dli_sname;
}

// The address to name frame `index` by: a caller frame holds a return address, which after a
// call that never returns (abort) already lies in the next function.
uint64_t lookupAddress(const CECrashReportThreadInfo& thread, size_t index)
{
    const uint64_t address = thread.stackFrames[index].instructionPointer;
    return index == 0 ? address : address - 1;
}

std::set<std::string> frameNames(const CECrashReportThreadInfo& thread)
{
    std::set<std::string> names;
    for (size_t i = 0; i < thread.stackFrames.size(); ++i)
        names.insert(symbolName(lookupAddress(thread, i)));
    return names;
}

// The frames of a thread, one line each, for failure messages.
std::string describeFrames(const CECrashReport& report, const CECrashReportThreadInfo& thread)
{
    std::string text;
    for (size_t i = 0; i < thread.stackFrames.size(); ++i) {
        const CECrashReportBinaryImageInfo* image = report.imageForAddress(lookupAddress(thread, i));
        text += std::to_string(thread.stackFrames[i].instructionPointer) + " " + symbolName(lookupAddress(thread, i)) + " in "
            + (image != nullptr ? image->imageName : "?") + "\n";
    }
    return text;
}

// In a child about to crash: no core file (it would make each crash slow), the reporter armed.
void armChild(CECrashReporter& reporter)
{
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (!reporter.enableCrashReporter())
        _exit(3);
}

const CECrashReportThreadInfo* crashedThread(const CECrashReport& report)
{
    for (const CECrashReportThreadInfo& thread : report.threads()) {
        if (thread.crashed)
            return &thread;
    }
    return nullptr;
}

class CrashReportForkTest : public ::testing::Test {
protected:
    CECrashReporter makeReporter(uint64_t type = CECrashReporterSignalHandlerTypeBSD)
    {
        return CECrashReporter(kIdentifier, "42", std::string("4.2"), CECrashReporterConfig(type, 0, true, directory_.path()));
    }

    // Enables the reporter in a child, crashes it with `crash` and decodes its report.
    std::unique_ptr<CECrashReport> crashChild(int (*crash)(), int expectedSignal, pid_t* childPid = nullptr,
                                              uint64_t type = CECrashReporterSignalHandlerTypeBSD)
    {
        CECrashReporter reporter = makeReporter(type);
        const pid_t child = fork();
        if (child == 0) {
            armChild(reporter);
            crashTestCaller(crash);
            _exit(4);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(diedOfSignal(status, expectedSignal)) << "wait status " << status;
        if (childPid != nullptr)
            *childPid = child;
        EXPECT_TRUE(reporter.hasPendingCrashReport());
        // Taken away once read, as the crash service does: a pending report is never written over.
        std::unique_ptr<CECrashReport> report = pendingReport(reporter);
        reporter.purgePendingCrashReport();
        return report;
    }

    // The report a child left behind, decoded; null (a failure) when it cannot be read.
    static std::unique_ptr<CECrashReport> pendingReport(const CECrashReporter& reporter)
    {
        CECrashError error;
        const std::optional<std::vector<uint8_t>> data = reporter.loadPendingCrashReportData(&error);
        if (!data) {
            ADD_FAILURE() << error.description;
            return nullptr;
        }
        std::unique_ptr<CECrashReport> report = CECrashReport::initWithData(*data, &error);
        EXPECT_NE(report, nullptr) << error.description;
        return report;
    }

    TemporaryDirectory directory_;
};

TEST_F(CrashReportForkTest, EachCrashIsReportedWithItsSignalAndTheTestsOwnFrames)
{
    struct Case {
        const char* label;
        int (*crash)();
        int hostSignal;
        const char* name;
        const char* code;
        const char* frame;
    };
    const Case cases[] = {
        {"null write", crashTestNullWrite, SIGSEGV, "SIGSEGV", "SEGV_MAPERR", "crashTestNullWrite"},
        {"abort", crashTestAbort, SIGABRT, "SIGABRT", "#0", "crashTestAbort"},
        {"null write under qsort", crashTestSortWithCrash, SIGSEGV, "SIGSEGV", "SEGV_MAPERR", "crashTestCompare"},
        {"illegal instruction", crashTestIllegalInstruction, SIGILL, "SIGILL", "ILL_ILLOPN", "crashTestIllegalInstruction"},
        {"divide by zero", crashTestDivideByZero, SIGFPE, "SIGFPE", "FPE_INTDIV", "crashTestDivideByZero"},
        {"floating-point divide by zero", crashTestFloatDivide, SIGFPE, "SIGFPE", "FPE_FLTDIV", "crashTestFloatDivide"},
        {"breakpoint", crashTestBreakpoint, SIGTRAP, "SIGTRAP", "TRAP_BRKPT", "crashTestBreakpoint"},
        {"stack overflow", crashTestStackOverflow, SIGSEGV, "SIGSEGV", nullptr, "crashTestRecurse"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::unique_ptr<CECrashReport> report = crashChild(c.crash, c.hostSignal);
        ASSERT_NE(report, nullptr);
        EXPECT_EQ(report->signalInfo().name, c.name);
        if (c.code != nullptr) {
            EXPECT_EQ(report->signalInfo().code, c.code);
        }
        const CECrashReportThreadInfo* thread = crashedThread(*report);
        ASSERT_NE(thread, nullptr);
        ASSERT_FALSE(thread->stackFrames.empty());
        EXPECT_EQ(frameNames(*thread).count(c.frame), 1u) << "no frame in " << c.frame << "\n" << describeFrames(*report, *thread);
        if (c.crash == crashTestStackOverflow) {
            // A stack overflow fills the 512 frames with the recursion alone.
            EXPECT_EQ(thread->stackFrames.size(), 512u);
        } else {
            // The walk goes on through the C library's frames and the test's own callers to
            // the program's entry.
            EXPECT_EQ(frameNames(*thread).count("crashTestCaller"), 1u);
            EXPECT_EQ(frameNames(*thread).count("main"), 1u);
        }
        EXPECT_EQ(thread->registers.size(), 21u);
        EXPECT_EQ(thread->registers[0].registerName, "rip");
        EXPECT_EQ(thread->registers[0].registerValue, thread->stackFrames.at(0).instructionPointer);
    }
}

TEST_F(CrashReportForkTest, NullWriteReportsTheFaultAddressAndEveryFactOfTheProcess)
{
    pid_t child = 0;
    std::unique_ptr<CECrashReport> report = crashChild(crashTestNullWrite, SIGSEGV, &child);
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->signalInfo().address, 0u);

    const CECrashReportApplicationInfo& application = report->applicationInfo();
    EXPECT_EQ(application.applicationIdentifier, kIdentifier);
    EXPECT_EQ(application.applicationVersion, "42");
    EXPECT_EQ(application.applicationMarketingVersion, "4.2");

    ASSERT_TRUE(report->processInfo());
    const CECrashReportProcessInfo& process = *report->processInfo();
    EXPECT_EQ(process.processID, static_cast<uint64_t>(child));
    EXPECT_EQ(process.parentProcessID, static_cast<uint64_t>(getpid()));
    EXPECT_EQ(process.processPath, std::filesystem::read_symlink("/proc/self/exe").string());
    EXPECT_EQ(process.processName, std::string(program_invocation_short_name).substr(0, 15));
    EXPECT_TRUE(process.native);
    ASSERT_TRUE(process.processStartTime);
    EXPECT_NEAR(static_cast<double>(*process.processStartTime), static_cast<double>(time(nullptr)), 60.0);

    utsname names{};
    uname(&names);
    const CECrashReportSystemInfo& system = report->systemInfo();
    EXPECT_EQ(system.operatingSystem, 0);
    EXPECT_EQ(system.architecture, 1);
    EXPECT_EQ(system.operatingSystemBuild, std::string(names.version));
    EXPECT_EQ(std::string(names.release).rfind(system.operatingSystemVersion, 0), 0u) << system.operatingSystemVersion;
    ASSERT_TRUE(system.timestamp);
    EXPECT_NEAR(static_cast<double>(*system.timestamp), static_cast<double>(time(nullptr)), 60.0);

    ASSERT_TRUE(report->machineInfo());
    EXPECT_EQ(report->machineInfo()->logicalProcessorCount, static_cast<uint64_t>(sysconf(_SC_NPROCESSORS_CONF)));
    EXPECT_GE(report->machineInfo()->processorCount, 1u);
    EXPECT_EQ(report->machineInfo()->processorInfo->type, 0x1000007u);

    ASSERT_TRUE(report->uuid());
    EXPECT_EQ(report->threads().size(), 1u);

    // The test executable and the C library are among the images, each with its build-id.
    const CECrashReportBinaryImageInfo* self = report->imageForAddress(reinterpret_cast<uint64_t>(&crashTestNullWrite));
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->imageName, *process.processPath);
    EXPECT_TRUE(self->hasImageUUID);
    EXPECT_EQ(self->imageUUID->size(), 32u);
    const CECrashReportBinaryImageInfo* libc = report->imageForAddress(reinterpret_cast<uint64_t>(&abort));
    ASSERT_NE(libc, nullptr);
    EXPECT_NE(libc->imageName.find("libc.so"), std::string::npos);
}

TEST_F(CrashReportForkTest, MachTypeArmsTheCrashSignalsAsWell)
{
    std::unique_ptr<CECrashReport> report = crashChild(crashTestNullWrite, SIGSEGV, nullptr, CECrashReporterSignalHandlerTypeMach);
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->signalInfo().name, "SIGSEGV");
}

TEST_F(CrashReportForkTest, OtherThreadsAreWrittenWithTheirFrames)
{
    CECrashReporter reporter = makeReporter();
    const int status = runInChild([&] {
        armChild(reporter);
        std::atomic<bool> started{false};
        std::thread idle([&] {
            started = true;
            for (;;)
                pause();
        });
        while (!started)
            sched_yield();
        crashTestCaller(crashTestNullWrite);
    });
    ASSERT_TRUE(diedOfSignal(status, SIGSEGV)) << status;
    std::unique_ptr<CECrashReport> report = pendingReport(reporter);
    ASSERT_NE(report, nullptr);
    ASSERT_EQ(report->threads().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(report->threads()[i].threadNumber, static_cast<int64_t>(i));
        EXPECT_FALSE(report->threads()[i].stackFrames.empty());
    }
    EXPECT_TRUE(report->threads()[0].crashed);
    EXPECT_FALSE(report->threads()[1].crashed);
    EXPECT_TRUE(report->threads()[1].registers.empty());
}

extern "C" __attribute__((noinline)) void crashTestThreadBody()
{
    crashTestCaller(crashTestAbort);
}

TEST_F(CrashReportForkTest, CrashOnASecondThreadWalksToItsEntry)
{
    CECrashReporter reporter = makeReporter();
    const int status = runInChild([&] {
        armChild(reporter);
        std::thread crashing(crashTestThreadBody);
        crashing.join();
    });
    ASSERT_TRUE(diedOfSignal(status, SIGABRT)) << status;
    std::unique_ptr<CECrashReport> report = pendingReport(reporter);
    ASSERT_NE(report, nullptr);
    const CECrashReportThreadInfo* thread = crashedThread(*report);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(thread->threadNumber, 0);
    const std::set<std::string> names = frameNames(*thread);
    for (const char* name : {"crashTestAbort", "crashTestCaller", "crashTestThreadBody"})
        EXPECT_EQ(names.count(name), 1u) << name << "\n" << describeFrames(*report, *thread);
    // The last frame is the C library's thread start, not a repeat of a frame before it.
    const CECrashReportBinaryImageInfo* last = report->imageForAddress(thread->stackFrames.back().instructionPointer);
    ASSERT_NE(last, nullptr);
    EXPECT_NE(last->imageName.find("libc.so"), std::string::npos);
    EXPECT_LT(thread->stackFrames.size(), 40u);
}

TEST_F(CrashReportForkTest, UncaughtExceptionIsWrittenIntoTheAbortReport)
{
    CECrashReporter reporter = makeReporter();
    const int status = runInChild([&] {
        armChild(reporter);
        CECrashUncaughtExceptionHandler handler = CECrashGetUncaughtExceptionHandler();
        if (handler == nullptr)
            _exit(5);
        handler({"std::runtime_error", "disk on fire", {0x1000, 0x2000}});
    });
    ASSERT_TRUE(diedOfSignal(status, SIGABRT)) << status;
    const std::optional<std::vector<uint8_t>> data = reporter.loadPendingCrashReportData();
    ASSERT_TRUE(data);
    std::unique_ptr<CECrashReport> report = CECrashReport::initWithData(*data, nullptr);
    ASSERT_NE(report, nullptr);
    ASSERT_TRUE(report->exceptionInfo());
    EXPECT_EQ(report->exceptionInfo()->exceptionName, "std::runtime_error");
    EXPECT_EQ(report->exceptionInfo()->exceptionReason, "disk on fire");
    ASSERT_TRUE(report->exceptionInfo()->stackFrames);
    ASSERT_EQ(report->exceptionInfo()->stackFrames->size(), 2u);
    EXPECT_EQ((*report->exceptionInfo()->stackFrames)[1].instructionPointer, 0x2000u);
    EXPECT_EQ(report->signalInfo().name, "SIGABRT");
}

TEST_F(CrashReportForkTest, CallbackRunsAfterAWrittenReportOnly)
{
    // A report cut at the file limit fails: the callback must not run, and the file keeps the
    // clean prefix before the refused piece. Custom data at its limit and threads with deep
    // stacks (512 frames each) overrun it together.
    struct Outcome {
        size_t customBytes;
        int threads;
        int expectedExit;
    };
    const Outcome outcomes[] = {{16, 0, 7}, {0x20000, 32, 0}};
    for (const Outcome& outcome : outcomes) {
        SCOPED_TRACE(outcome.threads);
        CECrashReporter reporter = makeReporter();
        const std::vector<uint8_t> custom(outcome.customBytes, 7);
        const int status = runInChild([&] {
            if (!reporter.setCustomData(custom))
                _exit(5);
            reporter.setCrashCallbacks({0, nullptr, [](siginfo_t*, ucontext_t*, void*) { _exit(7); }});
            armChild(reporter);
            std::atomic<int> started{0};
            for (int i = 0; i < outcome.threads; ++i) {
                std::thread([&] {
                    ++started;
                    crashTestParkDeep(600);
                }).detach();
            }
            while (started < outcome.threads)
                sched_yield();
            crashTestCaller(crashTestNullWrite);
        });
        const std::optional<std::vector<uint8_t>> data = reporter.loadPendingCrashReportData();
        ASSERT_TRUE(data);
        reporter.purgePendingCrashReport();
        if (outcome.expectedExit == 7) {
            EXPECT_TRUE(exitedWith(status, 7)) << status;
            std::unique_ptr<CECrashReport> report = CECrashReport::initWithData(*data, nullptr);
            ASSERT_NE(report, nullptr);
            EXPECT_EQ(report->customData(), custom);
        } else {
            EXPECT_TRUE(diedOfSignal(status, SIGSEGV)) << status;
            EXPECT_LE(data->size(), 0x40000u);
            EXPECT_EQ(CECrashReport::initWithData(*data, nullptr), nullptr);
        }
    }
}

TEST_F(CrashReportForkTest, ThreadsCrashingTogetherLeaveOneWholeReport)
{
    // Each crashing thread used to truncate and write the same file at once.
    for (const int crashers : {2, 2, 2, 2, 2, 4, 4, 4}) {
        SCOPED_TRACE(crashers);
        CECrashReporter reporter = makeReporter();
        const int status = runInChild([&] {
            armChild(reporter);
            std::atomic<int> ready{0};
            std::vector<std::thread> threads;
            for (int i = 0; i < crashers; ++i) {
                threads.emplace_back([&] {
                    ++ready;
                    while (ready < crashers) {
                    }
                    crashTestCaller(crashTestNullWrite);
                });
            }
            for (std::thread& thread : threads)
                thread.join();
        });
        ASSERT_TRUE(diedOfSignal(status, SIGSEGV)) << status;
        std::unique_ptr<CECrashReport> report = pendingReport(reporter);
        ASSERT_NE(report, nullptr);
        const CECrashReportThreadInfo* thread = crashedThread(*report);
        ASSERT_NE(thread, nullptr);
        EXPECT_EQ(frameNames(*thread).count("crashTestNullWrite"), 1u);
    }
}

TEST_F(CrashReportForkTest, CrashWithOneDescriptorLeftStillReportsTheCrashedThread)
{
    // The report file takes the last descriptor, so the threads cannot be listed.
    CECrashReporter reporter = makeReporter();
    const int status = runInChild([&] {
        armChild(reporter);
        const rlimit fewDescriptors{256, 256};
        setrlimit(RLIMIT_NOFILE, &fewDescriptors);
        int last = -1;
        for (int descriptor = open("/dev/null", O_RDONLY); descriptor >= 0; descriptor = open("/dev/null", O_RDONLY))
            last = descriptor;
        close(last);
        crashTestCaller(crashTestNullWrite);
    });
    ASSERT_TRUE(diedOfSignal(status, SIGSEGV)) << status;
    std::unique_ptr<CECrashReport> report = pendingReport(reporter);
    ASSERT_NE(report, nullptr);
    ASSERT_EQ(report->threads().size(), 1u);
    EXPECT_TRUE(report->threads()[0].crashed);
    EXPECT_EQ(frameNames(report->threads()[0]).count("crashTestNullWrite"), 1u);
}

TEST_F(CrashReportForkTest, APendingReportNotYetTakenAwayIsNeverWrittenOver)
{
    CECrashReporter reporter = makeReporter();
    ASSERT_TRUE(reporter.populateCrashReportDirectory());
    const std::string earlier = "the report of an earlier crash, not yet stored elsewhere";
    std::ofstream(reporter.crashReportPath(), std::ios::binary) << earlier;

    const int status = runInChild([&] {
        armChild(reporter);
        crashTestCaller(crashTestNullWrite);
    });
    EXPECT_TRUE(diedOfSignal(status, SIGSEGV)) << status;
    const std::optional<std::vector<uint8_t>> data = reporter.loadPendingCrashReportData();
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(data->begin(), data->end()), earlier);
}

TEST_F(CrashReportForkTest, FailedFirstEnableStillUsesUpTheProcessesOneAttempt)
{
    CECrashReporter unwritable("app", "1", std::nullopt, CECrashReporterConfig(0, 0, true, "/proc/no-such-folder"));
    CECrashReporter good = makeReporter();
    const int status = runInChild([&] {
        CECrashError error;
        if (unwritable.enableCrashReporter(&error) || error.code != CECrashReporterErrorOperatingSystem)
            _exit(10);
        error = {};
        if (good.enableCrashReporter(&error) || error.code != CECrashReporterErrorResourceBusy)
            _exit(11);
    });
    EXPECT_TRUE(exitedWith(status, 0)) << status;
}

TEST_F(CrashReportForkTest, OnlyTheFirstEnableInAProcessSucceeds)
{
    CECrashReporter first = makeReporter();
    CECrashReporter second = makeReporter();
    const int status = runInChild([&] {
        CECrashError error;
        if (!first.enableCrashReporter(&error))
            _exit(10);
        if (first.enableCrashReporter(&error) || error.code != CECrashReporterErrorResourceBusy)
            _exit(11);
        error = {};
        if (second.enableCrashReporter(&error) || error.code != CECrashReporterErrorResourceBusy
            || error.description != "A CECrashReporter instance has already been enabled")
            _exit(12);
        try {
            first.setCrashCallbacks({0, nullptr, nullptr});
            _exit(13);
        } catch (const CECrashReporterException& exception) {
            if (std::string(exception.what()) != "The crash reporter has already been enabled")
                _exit(14);
        }
    });
    EXPECT_TRUE(exitedWith(status, 0)) << status;
}

}  // namespace
