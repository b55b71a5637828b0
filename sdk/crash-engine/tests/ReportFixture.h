// Builds stored reports byte by byte from the schema's generated structures, so that tests can
// make any valid or broken report the writer itself never would.
#pragma once

#include "sdk/crash-engine/CECrashReport.h"

#include "cecrash.pb-c.h"

#include <gtest/gtest.h>

#include <memory>

#include <cstdint>
#include <string>
#include <vector>

struct ReportFixture {
    ReportFixture()
    {
        system.os_version = const_cast<char*>("12.6");
        system.has_operating_system = 1;
        system.operating_system = CECRASH__CRASH_REPORT__SYSTEM_INFO__OPERATING_SYSTEM__MAC_OS_X;
        system.architecture = CECRASH__ARCHITECTURE__X86_64;
        system.timestamp = 1'700'000'000;
        system.os_build = const_cast<char*>("B-2042");
        application.identifier = const_cast<char*>("com.example.app");
        application.version = const_cast<char*>("42");
        application.marketing_version = const_cast<char*>("4.2");
        signal.name = const_cast<char*>("SIGSEGV");
        signal.code = const_cast<char*>("SEGV_MAPERR");
        signal.address = 0x10;
        frames[0].pc = 0x100001000;
        frames[1].pc = 0x100002000;
        framePointers[0] = &frames[0];
        framePointers[1] = &frames[1];
        thread.n_frames = 2;
        thread.frames = framePointers;
        thread.crashed = 1;
        threadPointers[0] = &thread;
        image.base_address = 0x100000000;
        image.size = 0x10000;
        image.name = const_cast<char*>("/opt/app/bin/app");
        imagePointers[0] = &image;
        report.system_info = &system;
        report.application_info = &application;
        report.signal = &signal;
        report.n_threads = 1;
        report.threads = threadPointers;
        report.n_binary_images = 1;
        report.binary_images = imagePointers;
    }

    ReportFixture(const ReportFixture&) = delete;
    ReportFixture& operator=(const ReportFixture&) = delete;

    // The magic, the version byte and the packed message.
    std::vector<uint8_t> bytes(uint8_t version = 1) const
    {
        std::vector<uint8_t> out = {'c', 'e', 'c', 'r', 'a', 's', 'h', version};
        const size_t size = cecrash__crash_report__get_packed_size(&report);
        out.resize(8 + size);
        cecrash__crash_report__pack(&report, out.data() + 8);
        return out;
    }

    Cecrash__CrashReport__SystemInfo system = CECRASH__CRASH_REPORT__SYSTEM_INFO__INIT;
    Cecrash__CrashReport__ApplicationInfo application = CECRASH__CRASH_REPORT__APPLICATION_INFO__INIT;
    Cecrash__CrashReport__Signal signal = CECRASH__CRASH_REPORT__SIGNAL__INIT;
    Cecrash__CrashReport__Thread__StackFrame frames[2] = {CECRASH__CRASH_REPORT__THREAD__STACK_FRAME__INIT,
                                                          CECRASH__CRASH_REPORT__THREAD__STACK_FRAME__INIT};
    Cecrash__CrashReport__Thread__StackFrame* framePointers[2] = {};
    Cecrash__CrashReport__Thread thread = CECRASH__CRASH_REPORT__THREAD__INIT;
    Cecrash__CrashReport__Thread* threadPointers[1] = {};
    Cecrash__CrashReport__BinaryImage image = CECRASH__CRASH_REPORT__BINARY_IMAGE__INIT;
    Cecrash__CrashReport__BinaryImage* imagePointers[1] = {};
    Cecrash__CrashReport report = CECRASH__CRASH_REPORT__INIT;
};

// Decodes bytes that must be a valid report; a failure is reported with its message.
inline std::unique_ptr<CECrashReport> decodeReport(const std::vector<uint8_t>& bytes)
{
    CECrashError error;
    std::unique_ptr<CECrashReport> report = CECrashReport::initWithData(bytes, &error);
    EXPECT_NE(report, nullptr) << error.description;
    return report;
}
