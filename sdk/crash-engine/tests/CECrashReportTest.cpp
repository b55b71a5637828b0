#include "sdk/crash-engine/CECrashReport.h"
#include "sdk/crash-engine/tests/ReportFixture.h"

#include <gtest/gtest.h>

namespace {

std::string decodeError(const std::vector<uint8_t>& bytes)
{
    CECrashError error;
    std::unique_ptr<CECrashReport> report = CECrashReport::initWithData(bytes, &error);
    EXPECT_EQ(report, nullptr);
    EXPECT_EQ(error.domain, CECrashReporterErrorDomain);
    EXPECT_EQ(error.code, CECrashReporterErrorCrashReportInvalid);
    return error.description;
}

TEST(CECrashReportTest, HeaderErrors)
{
    ReportFixture fixture;
    std::vector<uint8_t> bytes = fixture.bytes();
    EXPECT_EQ(decodeError(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8)), "Could not decode truncated crash log");
    std::vector<uint8_t> badMagic = bytes;
    badMagic[0] = 'C';
    EXPECT_EQ(decodeError(badMagic), "Could not decode invalid crash log header");
    EXPECT_EQ(decodeError(fixture.bytes(2)), "Could not decode unsupported crash report version: 2");
    std::vector<uint8_t> truncated(bytes.begin(), bytes.end() - 3);
    EXPECT_EQ(decodeError(truncated), "An unknown error occured decoding the crash report");
    // A required section missing is refused by the unpacking itself.
    fixture.report.signal = nullptr;
    EXPECT_EQ(decodeError(fixture.bytes()), "An unknown error occured decoding the crash report");
    EXPECT_EQ(CECrashReport::initWithData(badMagic, nullptr), nullptr);
}

TEST(CECrashReportTest, SectionErrors)
{
    {
        ReportFixture fixture;
        Cecrash__CrashReport__ReportInfo info = CECRASH__CRASH_REPORT__REPORT_INFO__INIT;
        uint8_t uuid[15] = {};
        info.has_uuid = 1;
        info.uuid = {sizeof(uuid), uuid};
        fixture.report.report_info = &info;
        EXPECT_EQ(decodeError(fixture.bytes()), "Report UUID value is not a standard 16 bytes");
    }
    {
        ReportFixture fixture;
        fixture.report.n_threads = 0;
        EXPECT_EQ(decodeError(fixture.bytes()), "Crash report is missing thread state information");
    }
    {
        ReportFixture fixture;
        fixture.report.n_binary_images = 0;
        EXPECT_EQ(decodeError(fixture.bytes()), "Crash report is missing binary image information");
    }
    {
        ReportFixture fixture;
        fixture.system.architecture = CECRASH__ARCHITECTURE__ARCHITECTURE_UNKNOWN;
        EXPECT_EQ(decodeError(fixture.bytes()), "Crash report has an unknown architecture");
    }
}

TEST(CECrashReportTest, MachExceptionCodesAreLimited)
{
    for (size_t count : {255u, 256u}) {
        ReportFixture fixture;
        Cecrash__CrashReport__Signal__MachException mach = CECRASH__CRASH_REPORT__SIGNAL__MACH_EXCEPTION__INIT;
        std::vector<uint64_t> codes(count, 7);
        mach.type = 1;
        mach.n_codes = codes.size();
        mach.codes = codes.data();
        fixture.signal.mach_exception = &mach;
        if (count == 255) {
            std::unique_ptr<CECrashReport> report = decodeReport(fixture.bytes());
            ASSERT_NE(report, nullptr);
            ASSERT_TRUE(report->machExceptionInfo());
            EXPECT_EQ(report->machExceptionInfo()->codes.size(), 255u);
        } else {
            EXPECT_EQ(decodeError(fixture.bytes()), "Crash report includes too many Mach Exception codes");
        }
    }
}

TEST(CECrashReportTest, ReportWithoutOptionalSectionsDecodesWithDefaults)
{
    ReportFixture fixture;
    fixture.system.timestamp = 0;
    fixture.system.has_operating_system = 0;
    fixture.application.marketing_version = nullptr;
    std::unique_ptr<CECrashReport> report = decodeReport(fixture.bytes());
    ASSERT_NE(report, nullptr);
    EXPECT_FALSE(report->systemInfo().timestamp);
    EXPECT_EQ(report->systemInfo().operatingSystem, 3);
    EXPECT_EQ(report->systemInfo().operatingSystemBuild, "B-2042");
    ASSERT_TRUE(report->systemInfo().processorInfo);
    EXPECT_EQ(report->systemInfo().processorInfo->typeEncoding, 1);
    EXPECT_EQ(report->systemInfo().processorInfo->type, 16777223u);
    EXPECT_EQ(report->systemInfo().processorInfo->subtype, 3u);
    EXPECT_FALSE(report->hasMachineInfo());
    EXPECT_FALSE(report->hasProcessInfo());
    EXPECT_FALSE(report->hasExceptionInfo());
    EXPECT_FALSE(report->uuid());
    EXPECT_FALSE(report->customData());
    EXPECT_FALSE(report->applicationInfo().applicationMarketingVersion);
    EXPECT_FALSE(report->images()[0].hasImageUUID);
    EXPECT_FALSE(report->images()[0].imageUUID);
    EXPECT_EQ(report->imageForAddress(0x100001000), &report->images()[0]);
    EXPECT_EQ(report->imageForAddress(0x100010000), nullptr);
}

TEST(CECrashReportTest, ImageUuidBecomesLowerCaseHex)
{
    ReportFixture fixture;
    uint8_t uuid[16];
    for (uint8_t i = 0; i < 16; ++i)
        uuid[i] = i;
    fixture.image.has_uuid = 1;
    fixture.image.uuid = {sizeof(uuid), uuid};
    std::unique_ptr<CECrashReport> report = decodeReport(fixture.bytes());
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->images()[0].hasImageUUID);
    EXPECT_EQ(report->images()[0].imageUUID, "000102030405060708090a0b0c0d0e0f");
}

TEST(CECrashReportTest, Arm64eFramesKeepTheLowThirtySixBitsOnly)
{
    struct Case {
        uint64_t type;
        uint64_t subtype;
        uint64_t stored;
    };
    const Case cases[] = {{0x100000c, 2, 0x123456789ull}, {0x100000c, 0, 0xab00000123456789ull}, {0x1000007, 3, 0xab00000123456789ull}};
    for (const Case& c : cases) {
        ReportFixture fixture;
        Cecrash__CrashReport__Processor processor = CECRASH__CRASH_REPORT__PROCESSOR__INIT;
        processor.has_encoding = 1;
        processor.encoding = CECRASH__CRASH_REPORT__PROCESSOR__TYPE_ENCODING__TYPE_ENCODING_MACH;
        processor.type = c.type;
        processor.subtype = c.subtype;
        Cecrash__CrashReport__MachineInfo machine = CECRASH__CRASH_REPORT__MACHINE_INFO__INIT;
        machine.processor = &processor;
        fixture.report.machine_info = &machine;
        fixture.frames[0].pc = 0xab00000123456789ull;
        std::unique_ptr<CECrashReport> report = decodeReport(fixture.bytes());
        ASSERT_NE(report, nullptr);
        EXPECT_EQ(report->threads()[0].stackFrames[0].instructionPointer, c.stored) << c.type << "/" << c.subtype;
        // The machine's processor stands for the system's.
        EXPECT_EQ(report->systemInfo().processorInfo->type, c.type);
    }
}

}  // namespace
