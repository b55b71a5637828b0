// The crash log and report object made from decoded reports that the tests build field by field.
#include "ReportFixture.h"
#include "ZETestSupport.h"

#include "sdk/crashes/ZEErrorLogFormatter.h"
#include "sdk/telemetry/Internals/Util/ZEDeviceTracker.h"

#include <cstdlib>

namespace ze {
namespace {

class ErrorLogFormatterTest : public test::SdkTest {
protected:
    std::shared_ptr<ZEAppleErrorLog> format()
    {
        report = decodeReport(fixture.bytes());
        return report ? ZEErrorLogFormatter::errorLogFromCrashReport(*report) : std::make_shared<ZEAppleErrorLog>();
    }

    // Gives the crashed thread one register.
    void setRegister(const char* name, std::uint64_t value)
    {
        crashedRegister.name = const_cast<char*>(name);
        crashedRegister.value = value;
        registerPointers[0] = &crashedRegister;
        fixture.thread.n_registers = 1;
        fixture.thread.registers = registerPointers;
    }

    ReportFixture fixture;
    std::unique_ptr<CECrashReport> report;
    Cecrash__CrashReport__Thread__RegisterValue crashedRegister = CECRASH__CRASH_REPORT__THREAD__REGISTER_VALUE__INIT;
    Cecrash__CrashReport__Thread__RegisterValue* registerPointers[1] = {};
};

TEST_F(ErrorLogFormatterTest, aReportWithoutProcessInfoGetsTheDefaultsAndTheEndOfItsCrashSecond)
{
    const auto log = format();
    EXPECT_EQ(log->processId, 0);
    EXPECT_EQ(log->processName, "???");
    EXPECT_EQ(log->parentProcessName, "???");
    EXPECT_FALSE(log->parentProcessId);
    EXPECT_EQ(log->applicationPath, "???");
    EXPECT_EQ(log->appLaunchTimestamp, ZEDateFromSeconds(1'700'000'000));
    EXPECT_EQ(log->timestamp, ZEDateFromSeconds(1'700'000'000.999));
    EXPECT_TRUE(log->fatal);
    EXPECT_EQ(log->osExceptionType, "SIGSEGV");
    EXPECT_EQ(log->osExceptionCode, "SEGV_MAPERR");
    EXPECT_EQ(log->osExceptionAddress, "0x10") << "never padded";
    EXPECT_EQ(log->errorId->size(), 36u) << "a random id without a report uuid";
    EXPECT_TRUE(log->isValid());
}

TEST_F(ErrorLogFormatterTest, processFactsAndTheReportUuidAreCarried)
{
    Cecrash__CrashReport__ProcessInfo process = CECRASH__CRASH_REPORT__PROCESS_INFO__INIT;
    process.process_name = const_cast<char*>("quorvantelle");
    process.process_id = 4242;
    process.process_path = const_cast<char*>("/home/alice/bin/quorvantelle");
    process.parent_process_name = const_cast<char*>("launcher");
    process.parent_process_id = 1;
    fixture.report.process_info = &process;
    Cecrash__CrashReport__ReportInfo info = CECRASH__CRASH_REPORT__REPORT_INFO__INIT;
    uint8_t uuid[16] = {0xde, 0xad, 0xbe, 0xef, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xa, 0xb};
    info.has_uuid = 1;
    info.uuid = {16, uuid};
    fixture.report.report_info = &info;

    const auto log = format();
    EXPECT_EQ(log->errorId, "DEADBEEF-0001-0203-0405-060708090A0B");
    EXPECT_EQ(log->processId, 4242);
    EXPECT_EQ(log->processName, "quorvantelle");
    EXPECT_EQ(log->parentProcessName, "launcher");
    EXPECT_EQ(log->parentProcessId, 1);
    EXPECT_EQ(log->applicationPath, "/home/USER/bin/quorvantelle");

    const auto errorReport = ZEErrorLogFormatter::errorReportFromLog(*log);
    EXPECT_EQ(errorReport->incidentIdentifier(), log->errorId);
    EXPECT_EQ(errorReport->appProcessIdentifier(), 4242u);
    EXPECT_EQ(errorReport->signal(), "SIGSEGV");
    EXPECT_EQ(errorReport->codeType(), "X86-64");
    EXPECT_EQ(errorReport->archName(), "x86_64");
    EXPECT_EQ(ZEErrorLogFormatter::errorReportFromCrashReport(nullptr), nullptr);
}

TEST_F(ErrorLogFormatterTest, addressesAreWrittenAtTheWidthOfTheChosenArchitecture)
{
    setRegister("rip", 0x100001000);

    auto log = format();
    EXPECT_EQ(log->primaryArchitectureId, 0x1000007u);
    EXPECT_EQ((*log->threads)[0]->frames[0]->address, "0x0000000100001000");
    EXPECT_EQ(log->registers, (std::map<std::string, std::string>{{"rip", "0x0000000100001000"}}));
    EXPECT_EQ((*log->binaries)[0]->startAddress, "0x0000000100000000");
    EXPECT_EQ((*log->binaries)[0]->endAddress, "0x000000010000ffff");

    // The first image with a Mach code type decides over the machine.
    Cecrash__CrashReport__Processor x86 = CECRASH__CRASH_REPORT__PROCESSOR__INIT;
    x86.has_encoding = 1;
    x86.encoding = CECRASH__CRASH_REPORT__PROCESSOR__TYPE_ENCODING__TYPE_ENCODING_MACH;
    x86.type = 7;
    x86.subtype = 3;
    fixture.image.code_type = &x86;
    fixture.frames[0].pc = 0x1000;
    fixture.image.base_address = 0x1000;
    log = format();
    EXPECT_EQ(log->primaryArchitectureId, 7u);
    EXPECT_EQ((*log->threads)[0]->frames[0]->address, "0x00001000");
    EXPECT_EQ(ZEErrorLogFormatter::errorReportFromLog(*log)->archName(), "i386");
}

TEST_F(ErrorLogFormatterTest, aSelectorRegisterThatPointsIntoAnImageNamesNoSelector)
{
    // "rsi" is where an x86-64 message send keeps its selector; here it points into the image.
    setRegister("rsi", 0x100000800);

    const auto log = format();
    EXPECT_EQ(log->registers, (std::map<std::string, std::string>{{"rsi", "0x0000000100000800"}}));
    EXPECT_FALSE(log->selectorRegisterValue.has_value());
    EXPECT_FALSE(log->serializeToDictionary().contains("selectorRegisterValue")) << "no invented selector name";
}

TEST_F(ErrorLogFormatterTest, frameTextsNameTheImageOffsetOrTheSymbol)
{
    Cecrash__CrashReport__Symbol symbol = CECRASH__CRASH_REPORT__SYMBOL__INIT;
    symbol.name = const_cast<char*>("_objc_msgSend");
    symbol.start_address = 0x100002000 - 29;
    fixture.frames[1].symbol = &symbol;
    fixture.system.operating_system = CECRASH__CRASH_REPORT__SYSTEM_INFO__OPERATING_SYSTEM__MAC_OS_X;
    fixture.frames[0].pc = 0x7000;

    auto log = format();
    const auto& frames = (*log->threads)[0]->frames;
    EXPECT_EQ(frames[0]->code, "0x0 + 0") << "an address in no image";
    EXPECT_EQ(frames[1]->code, "objc_msgSend + 29");

    symbol.name = const_cast<char*>("_");
    log = format();
    EXPECT_EQ((*log->threads)[0]->frames[1]->code, "_ + 29");

    fixture.frames[1].symbol = nullptr;
    log = format();
    EXPECT_EQ((*log->threads)[0]->frames[1]->code, "0x100000000 + 8192");
}

TEST_F(ErrorLogFormatterTest, onlyTouchedOrBundledImagesAreListed)
{
    Cecrash__CrashReport__BinaryImage untouched = CECRASH__CRASH_REPORT__BINARY_IMAGE__INIT;
    untouched.base_address = 0x200000000;
    untouched.size = 0x1000;
    untouched.name = const_cast<char*>("/usr/lib/libz.so.1");
    Cecrash__CrashReport__BinaryImage bundled = CECRASH__CRASH_REPORT__BINARY_IMAGE__INIT;
    bundled.base_address = 0x50000000;
    bundled.size = 0;
    bundled.name = const_cast<char*>("/Applications/Tool.app/Contents/Frameworks/Helper");
    Cecrash__CrashReport__BinaryImage swift = CECRASH__CRASH_REPORT__BINARY_IMAGE__INIT;
    swift.base_address = 0x60000000;
    swift.size = 0x10;
    swift.name = const_cast<char*>("/Applications/Tool.app/Contents/Frameworks/libswiftCore.dylib");
    Cecrash__CrashReport__BinaryImage* images[] = {&untouched, &fixture.image, &bundled, &swift};
    fixture.report.n_binary_images = 4;
    fixture.report.binary_images = images;
    Cecrash__CrashReport__ProcessInfo process = CECRASH__CRASH_REPORT__PROCESS_INFO__INIT;
    process.process_path = const_cast<char*>("/Applications/Tool.app/Contents/MacOS/Tool");
    fixture.report.process_info = &process;

    const auto log = format();
    ASSERT_EQ(log->binaries->size(), 2u);
    EXPECT_EQ((*log->binaries)[0]->name, "Helper") << "sorted by base address";
    EXPECT_EQ((*log->binaries)[0]->startAddress, (*log->binaries)[0]->endAddress) << "a size of 0 covers its base";
    EXPECT_EQ((*log->binaries)[0]->binaryId, "???");
    EXPECT_EQ((*log->binaries)[1]->name, "app");
}

TEST_F(ErrorLogFormatterTest, theExceptionGoesOnTheCrashedThreadOnlyWithAStack)
{
    Cecrash__CrashReport__Exception exception = CECRASH__CRASH_REPORT__EXCEPTION__INIT;
    exception.name = const_cast<char*>("std::runtime_error");
    exception.reason = const_cast<char*>("boom");
    fixture.report.exception = &exception;

    auto log = format();
    EXPECT_EQ(log->exceptionType, "std::runtime_error");
    EXPECT_EQ(log->exceptionReason, "boom");
    EXPECT_EQ((*log->threads)[0]->exception, nullptr);

    Cecrash__CrashReport__Thread__StackFrame thrown = CECRASH__CRASH_REPORT__THREAD__STACK_FRAME__INIT;
    thrown.pc = 0x100003000;
    Cecrash__CrashReport__Thread__StackFrame* frames[] = {&thrown};
    exception.n_frames = 1;
    exception.frames = frames;
    log = format();
    const auto& model = (*log->threads)[0]->exception;
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->type, "std::runtime_error");
    EXPECT_EQ(model->message, "boom");
    ASSERT_EQ(model->frames->size(), 1u);
    EXPECT_EQ((*model->frames)[0]->address, "0x0000000100003000");
}

TEST_F(ErrorLogFormatterTest, userFoldersAreAnonymised)
{
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", "/srv/people/carol", 1);
    const std::pair<std::string, std::string> cases[] = {
        {"/Users/name/Library/x", "/Users/USER/Library/x"},
        {"/Users/a/b/Users/c/d", "/Users/USER/b/Users/USER/d"},
        {"/home/alice/.local/lib/libq.so", "/home/USER/.local/lib/libq.so"},
        {"/home/a/b/home/c/d", "/home/USER/b/home/USER/d"},
        {"/Volumes/Users/x", ""},
        {"/mnt/home/bob/lib.so", ""},
        {"", ""},
        {"/srv/people/carol/bin/tool", "/srv/people/USER/bin/tool"},
        {"/srv/people/carolyn/bin/tool", "/srv/people/carolyn/bin/tool"},
        {"/Applications/Tool.app/Contents/MacOS/Tool", "/Applications/Tool.app/Contents/MacOS/Tool"},
        {"/usr/lib/x86_64-linux-gnu/libc.so.6", "/usr/lib/x86_64-linux-gnu/libc.so.6"},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(ZEErrorLogFormatter::anonymizedPathFromPath(path), expected) << path;
    }
    EXPECT_EQ(ZEErrorLogFormatter::anonymizedPathFromPath(std::nullopt), "");
    ::setenv("HOME", savedHome.c_str(), 1);
}

// The application's facts come from the report; the system is described as every other log
// describes it, not by the report's kernel fields ("12.6", "B-2042" here).
TEST_F(ErrorLogFormatterTest, theDeviceTakesTheReportsApplicationFactsAndTheSystemOfEveryOtherLog)
{
    const auto log = format();
    ASSERT_NE(log->device, nullptr);
    const auto current = ZEDeviceTracker::sharedInstance()->device();
    EXPECT_EQ(log->device->osVersion, current->osVersion);
    EXPECT_EQ(log->device->osBuild, current->osBuild);
    EXPECT_NE(log->device->osBuild, "B-2042");
    EXPECT_EQ(log->device->appBuild, "42");
    EXPECT_EQ(log->device->appVersion, "4.2");
    EXPECT_EQ(log->device->appNamespace, "com.example.app");
    EXPECT_TRUE(log->device->sdkName.has_value()) << "the rest comes from the device of that time";
}

} // namespace
} // namespace ze
