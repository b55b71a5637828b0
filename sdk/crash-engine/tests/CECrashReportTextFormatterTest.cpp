#include "sdk/crash-engine/CECrashLog.h"
#include "sdk/crash-engine/CECrashReportTextFormatter.h"
#include "sdk/crash-engine/tests/ReportFixture.h"

#include <gtest/gtest.h>

namespace {

// A report with every section: two threads, six registers, three images of which two share a
// base address, an exception, symbols with and without the leading underscore.
struct FullReport : ReportFixture {
    FullReport()
    {
        info.user_requested = 0;
        info.has_uuid = 1;
        for (uint8_t i = 0; i < 16; ++i)
            uuid[i] = static_cast<uint8_t>(0xa0 + i);
        info.uuid = {16, uuid};
        report.report_info = &info;

        processor.has_encoding = 1;
        processor.encoding = CECRASH__CRASH_REPORT__PROCESSOR__TYPE_ENCODING__TYPE_ENCODING_MACH;
        processor.type = 0x1000007;
        processor.subtype = 3;
        machine.model = const_cast<char*>("Standard PC");
        machine.processor = &processor;
        machine.processor_count = 4;
        machine.logical_processor_count = 8;
        report.machine_info = &machine;

        process.process_name = const_cast<char*>("app");
        process.process_id = 4242;
        process.process_path = const_cast<char*>("/opt/app/bin/app");
        process.parent_process_name = const_cast<char*>("launcher");
        process.parent_process_id = 1;
        process.native = 1;
        report.process_info = &process;

        symbol.name = const_cast<char*>("_main");
        symbol.start_address = 0x100001f00;
        frames[1].symbol = &symbol;

        otherFrame.pc = 0x7fff20001010;
        otherFramePointers[0] = &otherFrame;
        other.thread_number = 1;
        other.n_frames = 1;
        other.frames = otherFramePointers;
        thread.crashed = 0;
        other.crashed = 1;
        const char* const names[] = {"rip", "rbp", "rsp", "rax", "rbx", "rcx"};
        for (size_t i = 0; i < 6; ++i) {
            registers[i] = CECRASH__CRASH_REPORT__THREAD__REGISTER_VALUE__INIT;
            registers[i].name = const_cast<char*>(names[i]);
            registers[i].value = 0x1000 * (i + 1);
            registerPointers[i] = &registers[i];
        }
        other.n_registers = 6;
        other.registers = registerPointers;
        threadPointers2[0] = &thread;
        threadPointers2[1] = &other;
        report.n_threads = 2;
        report.threads = threadPointers2;

        image.code_type = nullptr;
        library.base_address = 0x7fff20000000;
        library.size = 0x2000;
        library.name = const_cast<char*>("/usr/lib/libsystem.so");
        library.code_type = &processor;
        duplicate = library;
        imagePointers3[0] = &image;
        imagePointers3[1] = &library;
        imagePointers3[2] = &duplicate;
        report.n_binary_images = 3;
        report.binary_images = imagePointers3;

        exception.name = const_cast<char*>("RangeError");
        exception.reason = const_cast<char*>("index 3 beyond bounds");
        exceptionFrame.pc = 0x100001234;
        exceptionFramePointers[0] = &exceptionFrame;
        exception.n_frames = 1;
        exception.frames = exceptionFramePointers;
        report.exception = &exception;
    }

    Cecrash__CrashReport__ReportInfo info = CECRASH__CRASH_REPORT__REPORT_INFO__INIT;
    uint8_t uuid[16] = {};
    Cecrash__CrashReport__Processor processor = CECRASH__CRASH_REPORT__PROCESSOR__INIT;
    Cecrash__CrashReport__MachineInfo machine = CECRASH__CRASH_REPORT__MACHINE_INFO__INIT;
    Cecrash__CrashReport__ProcessInfo process = CECRASH__CRASH_REPORT__PROCESS_INFO__INIT;
    Cecrash__CrashReport__Symbol symbol = CECRASH__CRASH_REPORT__SYMBOL__INIT;
    Cecrash__CrashReport__Thread__StackFrame otherFrame = CECRASH__CRASH_REPORT__THREAD__STACK_FRAME__INIT;
    Cecrash__CrashReport__Thread__StackFrame* otherFramePointers[1] = {};
    Cecrash__CrashReport__Thread other = CECRASH__CRASH_REPORT__THREAD__INIT;
    Cecrash__CrashReport__Thread__RegisterValue registers[6];
    Cecrash__CrashReport__Thread__RegisterValue* registerPointers[6] = {};
    Cecrash__CrashReport__Thread* threadPointers2[2] = {};
    Cecrash__CrashReport__BinaryImage library = CECRASH__CRASH_REPORT__BINARY_IMAGE__INIT;
    Cecrash__CrashReport__BinaryImage duplicate = CECRASH__CRASH_REPORT__BINARY_IMAGE__INIT;
    Cecrash__CrashReport__BinaryImage* imagePointers3[3] = {};
    Cecrash__CrashReport__Exception exception = CECRASH__CRASH_REPORT__EXCEPTION__INIT;
    Cecrash__CrashReport__Thread__StackFrame exceptionFrame = CECRASH__CRASH_REPORT__THREAD__STACK_FRAME__INIT;
    Cecrash__CrashReport__Thread__StackFrame* exceptionFramePointers[1] = {};
};

class CECrashReportTextFormatterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous_ = CECrashSetLogSink([this](const std::string& line) { lines_.push_back(line); });
    }
    void TearDown() override { CECrashSetLogSink(previous_); }

    std::vector<std::string> lines_;
    CECrashLogSink previous_;
};

TEST_F(CECrashReportTextFormatterTest, FullReportIsRenderedWhole)
{
    FullReport fixture;
    std::unique_ptr<CECrashReport> report = decodeReport(fixture.bytes());
    ASSERT_NE(report, nullptr);
    const std::string expected =
        "Incident Identifier: A0A1A2A3-A4A5-A6A7-A8A9-AAABACADAEAF\n"
        "Hardware Model:      Standard PC\n"
        "Process:         app [4242]\n"
        "Path:            /opt/app/bin/app\n"
        "Identifier:      com.example.app\n"
        "Version:         4.2 (42)\n"
        "Code Type:       X86-64\n"
        "Parent Process:  launcher [1]\n"
        "\n"
        "Date/Time:       2023-11-14 22:13:20 +0000\n"
        "OS Version:      Mac OS X 12.6 (B-2042)\n"
        "Report Version:  104\n"
        "\n"
        "Exception Type:  SIGSEGV\n"
        "Exception Codes: SEGV_MAPERR at 0x10\n"
        "Crashed Thread:  1\n"
        "\n"
        "Application Specific Information:\n"
        "*** Terminating app due to uncaught exception 'RangeError', reason: 'index 3 beyond bounds'\n"
        "\n"
        "Last Exception Backtrace:\n"
        "0   app                                 0x0000000100001234 0x100000000 + 4660\n"
        "\n"
        "Thread 0:\n"
        "0   app                                 0x0000000100001000 0x100000000 + 4096\n"
        "1   app                                 0x0000000100002000 main + 256\n"
        "\n"
        "Thread 1 Crashed:\n"
        "0   libsystem.so                        0x00007fff20001010 0x7fff20000000 + 4112\n"
        "\n"
        "Thread 1 crashed with X86-64 Thread State:\n"
        "   rip: 0x0000000000001000    rbp: 0x0000000000002000    rsp: 0x0000000000003000    rax: 0x0000000000004000 \n"
        "   rbx: 0x0000000000005000    rcx: 0x0000000000006000 \n"
        "\n"
        "Binary Images:\n"
        "       0x100000000 -        0x10000ffff +app ???  <???" "> /opt/app/bin/app\n"
        "    0x7fff20000000 -     0x7fff20001fff libsystem.so x86_64  <???" "> /usr/lib/libsystem.so\n";
    EXPECT_EQ(CECrashReportTextFormatter::stringValueForCrashReport(*report, CECrashReportTextFormatiOS), expected);
    const std::vector<uint8_t> data = CECrashReportTextFormatter(CECrashReportTextFormatiOS, 4).formatReport(*report, nullptr);
    EXPECT_EQ(std::string(data.begin(), data.end()), expected);
    EXPECT_TRUE(lines_.empty());
}

TEST_F(CECrashReportTextFormatterTest, CodeTypeComesFromTheFirstImageThatNamesOne)
{
    FullReport fixture;
    fixture.report.machine_info = nullptr;
    // Without image code types and with an unknown system processor, the type is printed.
    fixture.library.code_type = nullptr;
    fixture.duplicate.code_type = nullptr;
    fixture.system.architecture = CECRASH__ARCHITECTURE__X86_32;
    std::unique_ptr<CECrashReport> report = decodeReport(fixture.bytes());
    ASSERT_NE(report, nullptr);
    std::string text = CECrashReportTextFormatter::stringValueForCrashReport(*report, 0);
    EXPECT_NE(text.find("Code Type:       X86\n"), std::string::npos);
    EXPECT_NE(text.find("   rip: 0x00001000    rbp:"), std::string::npos);
    EXPECT_NE(text.find("0x100000000 - 0x10000ffff +app"), std::string::npos) << text;

    FullReport second;
    Cecrash__CrashReport__Processor unknown = CECRASH__CRASH_REPORT__PROCESSOR__INIT;
    unknown.has_encoding = 1;
    unknown.encoding = CECRASH__CRASH_REPORT__PROCESSOR__TYPE_ENCODING__TYPE_ENCODING_MACH;
    unknown.type = 5;
    second.machine.processor = &unknown;
    second.library.code_type = nullptr;
    second.duplicate.code_type = nullptr;
    report = decodeReport(second.bytes());
    ASSERT_NE(report, nullptr);
    text = CECrashReportTextFormatter::stringValueForCrashReport(*report, 0);
    EXPECT_NE(text.find("Code Type:       Unknown (5)\n"), std::string::npos);
}

TEST_F(CECrashReportTextFormatterTest, FrameLinesWithoutImageOrSymbolAndUnknownSystems)
{
    FullReport fixture;
    fixture.system.operating_system = CECRASH__CRASH_REPORT__SYSTEM_INFO__OPERATING_SYSTEM__OS_UNKNOWN;
    std::unique_ptr<CECrashReport> report = decodeReport(fixture.bytes());
    ASSERT_NE(report, nullptr);
    CECrashReportStackFrameInfo nowhere{0x42, std::nullopt};
    EXPECT_EQ(CECrashReportTextFormatter::formatStackFrame(nowhere, 3, *report, true),
              "3   ???                                 0x0000000000000042 0x0 + 0\n");
    EXPECT_EQ(lines_, std::vector<std::string>{"[CECrashReporter] Cannot find image for 0x42"});
    // On an unknown system the underscore stays and the rule's absence is logged.
    const std::string line = CECrashReportTextFormatter::formatStackFrame(report->threads()[0].stackFrames[1], 1, *report, true);
    EXPECT_EQ(line, "1   app                                 0x0000000100002000 _main + 256\n");
    EXPECT_EQ(lines_.back(), "[CECrashReporter] Symbol \"_main\" prefix rules are unknown for this OS!");
    const std::string text = CECrashReportTextFormatter::stringValueForCrashReport(*report, 0);
    EXPECT_NE(text.find("OS Version:      Unknown (3) 12.6 (B-2042)\n"), std::string::npos);
}

}  // namespace
