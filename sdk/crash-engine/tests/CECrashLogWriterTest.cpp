#include "sdk/crash-engine/CECrashLogWriter.h"
#include "sdk/crash-engine/CECrashReport.h"
#include "sdk/crash-engine/CECrashReporter.h"
#include "sdk/crash-engine/linux/SignalNumbers.h"
#include "sdk/crash-engine/tests/BlockedThread.h"
#include "sdk/crash-engine/tests/ReportFixture.h"
#include "sdk/crash-engine/tests/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes encode(uint32_t field, int type, const void* value)
{
    TemporaryDirectory directory;
    const std::string path = directory.path() + "/field";
    cecrash_async_output_file file;
    cecrash_async_output_file_attach(&file, open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644), 0);
    const size_t size = cecrash_writer_encode_field(&file, field, type, value);
    EXPECT_EQ(cecrash_writer_encode_field(nullptr, field, type, value), size);
    cecrash_async_output_file_close(&file);
    std::ifstream in(path, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.size(), size);
    return bytes;
}

TEST(CECrashLogWriterTest, EncodesEachFieldTypeAsProtocolBuffersDo)
{
    const int32_t minusOne = -1;
    const int32_t minusTwo = -2;
    const uint32_t u300 = 300;
    const uint64_t big = 0x8000000000000000ull;
    const int64_t minusOne64 = -1;
    const bool yes = true;
    const uint32_t fixed = 0x01020304;
    const double one = 1.0;
    const cecrash_writer_bytes bytes{3, "\x00\x01\x02"};
    const uint32_t messageSize = 5;
    struct Case {
        const char* label;
        uint32_t field;
        int type;
        const void* value;
        Bytes expected;
    };
    const Case cases[] = {
        {"int32 negative takes ten bytes", 1, CECRASH_FIELD_INT32, &minusOne,
         {0x08, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}},
        {"sint32 zigzag", 1, CECRASH_FIELD_SINT32, &minusTwo, {0x08, 0x03}},
        {"uint32", 2, CECRASH_FIELD_UINT32, &u300, {0x10, 0xac, 0x02}},
        {"enum", 2, CECRASH_FIELD_ENUM, &u300, {0x10, 0xac, 0x02}},
        {"uint64 top bit", 3, CECRASH_FIELD_UINT64, &big, {0x18, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01}},
        {"sint64 zigzag", 3, CECRASH_FIELD_SINT64, &minusOne64, {0x18, 0x01}},
        {"bool", 4, CECRASH_FIELD_BOOL, &yes, {0x20, 0x01}},
        {"fixed32 little-endian", 5, CECRASH_FIELD_FIXED32, &fixed, {0x2d, 0x04, 0x03, 0x02, 0x01}},
        {"double", 6, CECRASH_FIELD_DOUBLE, &one, {0x31, 0, 0, 0, 0, 0, 0, 0xf0, 0x3f}},
        {"string", 7, CECRASH_FIELD_STRING, "hi", {0x3a, 0x02, 'h', 'i'}},
        {"bytes with a zero", 8, CECRASH_FIELD_BYTES, &bytes, {0x42, 0x03, 0x00, 0x01, 0x02}},
        {"message: key and length only", 9, CECRASH_FIELD_MESSAGE, &messageSize, {0x4a, 0x05}},
        {"field number of five key bytes", 0x1fffffff, CECRASH_FIELD_BOOL, &yes, {0xf8, 0xff, 0xff, 0xff, 0x0f, 0x01}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(encode(c.field, c.type, c.value), c.expected) << c.label;
}

TEST(CECrashLogWriterDeathTest, UnknownFieldTypeAborts)
{
    const uint32_t value = 1;
    EXPECT_DEATH(cecrash_writer_encode_field(nullptr, 1, 17, &value), "");
}

TEST(CECrashLogWriterTest, SignalNamesAndCodesWithTheirNumberedFallback)
{
    struct Case {
        int32_t signo;
        int32_t code;
        const char* name;
        const char* codeName;
    };
    const Case cases[] = {
        {6, 0, "SIGABRT", "#0"},
        {11, 1, "SIGSEGV", "SEGV_MAPERR"},
        {10, 2, "SIGBUS", "BUS_ADRERR"},
        {5, 2, "SIGTRAP", "TRAP_TRACE"},
        {8, 7, "SIGFPE", "FPE_INTDIV"},
        {4, 4, "SIGILL", "ILL_ILLOPN"},
        {40, 3, "#40", "#3"},
        {INT32_MIN, INT32_MIN, "#-2147483648", "#-2147483648"},
    };
    for (const Case& c : cases) {
        char nameBuffer[16];
        char codeBuffer[16];
        EXPECT_STREQ(cecrash_writer_signal_name(c.signo, nameBuffer), c.name);
        EXPECT_STREQ(cecrash_writer_signal_code_name(c.signo, c.code, codeBuffer), c.codeName);
    }
}

TEST(CECrashLogWriterTest, LinuxSignalsAreTranslatedIntoReportNumbering)
{
    struct Case {
        int signo;
        int code;
        int32_t reportSignal;
        int32_t reportCode;
    };
    const Case cases[] = {
        {SIGBUS, BUS_ADRALN, 10, 1},   {SIGSEGV, SEGV_ACCERR, 11, 2}, {SIGILL, ILL_ILLOPN, 4, 4},
        {SIGILL, ILL_ILLTRP, 4, 2},    {SIGFPE, FPE_INTDIV, 8, 7},    {SIGFPE, FPE_FLTDIV, 8, 1},
        {SIGABRT, SI_TKILL, 6, 0},     {SIGSYS, 1, 12, 1},           {SIGUSR1, SI_USER, 30, 0},
        {SIGSTKFLT, 0, -SIGSTKFLT, 0}, {SIGTRAP, SI_KERNEL, 5, 1},    {SIGTRAP, TRAP_TRACE, 5, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cecrash_signal_number_from_host(c.signo), c.reportSignal) << c.signo;
        EXPECT_EQ(cecrash_signal_code_from_host(c.signo, c.code), c.reportCode) << c.signo << "/" << c.code;
    }
}

// Reads the top-level field numbers of a report message.
std::vector<uint32_t> topLevelFields(const Bytes& report)
{
    std::vector<uint32_t> fields;
    size_t at = 8;
    auto varint = [&]() {
        uint64_t value = 0;
        for (int shift = 0; at < report.size(); shift += 7) {
            const uint8_t byte = report[at++];
            value |= uint64_t{byte & 0x7fu} << shift;
            if ((byte & 0x80) == 0)
                break;
        }
        return value;
    };
    while (at < report.size()) {
        const uint64_t key = varint();
        EXPECT_EQ(key & 7, 2u) << "every top-level field is length-delimited";
        fields.push_back(static_cast<uint32_t>(key >> 3));
        at += varint();
    }
    return fields;
}

class ReportWriteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cecrash_async_image_list_init(&images_);
        cecrash_async_image_list_sync(&images_);
        cecrash_thread_control_prepare();
    }
    void TearDown() override { cecrash_async_image_list_free(&images_); }

    // Writes a report of the calling thread, with its registers when withState.
    Bytes write(cecrash_log_writer_t& writer, bool withState, uint64_t limit = 0, bool* closed = nullptr)
    {
        const std::string path = directory_.path() + "/report";
        cecrash_async_output_file file;
        cecrash_async_output_file_attach(&file, open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644), limit);
        const cecrash_log_bsd_signal_info bsd{11, 1, 0x10};
        const cecrash_log_signal_info signal{&bsd, nullptr};
        struct Call {
            ReportWriteTest* test;
            cecrash_log_writer_t* writer;
            cecrash_async_output_file* file;
            const cecrash_log_signal_info* signal;
        } call{this, &writer, &file, &signal};
        if (withState) {
            cecrash_async_capture_current_thread_state(
                [](cecrash_async_thread_state* state, void* context) {
                    auto* c = static_cast<Call*>(context);
                    return cecrash_log_writer_write_report(c->writer, cecrash_async_current_thread(), &c->test->images_,
                                                           c->file, c->signal, state);
                },
                &call);
        } else {
            cecrash_log_writer_write_report(&writer, cecrash_async_current_thread(), &images_, &file, &signal, nullptr);
        }
        const bool ok = cecrash_async_output_file_close(&file);
        if (closed != nullptr)
            *closed = ok;
        std::ifstream in(path, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    TemporaryDirectory directory_;
    cecrash_async_image_list images_{};
};

TEST_F(ReportWriteTest, HeaderAndTopLevelFieldsComeInTheirOrder)
{
    cecrash_log_writer_t writer;
    ASSERT_EQ(cecrash_log_writer_prepare(&writer, "app", "1", nullptr, 0, true), CECRASH_ESUCCESS);
    const Bytes bytes = write(writer, true);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 7), "cecrash");
    EXPECT_EQ(bytes[7], 1);

    std::vector<uint32_t> expected = {9, 1, 8, 2, 7, 3};
    size_t imageCount = 0;
    cecrash_async_image_list_set_reading(&images_, true);
    for (auto* image = cecrash_async_image_list_next(&images_, nullptr); image != nullptr;
         image = cecrash_async_image_list_next(&images_, image))
        ++imageCount;
    cecrash_async_image_list_set_reading(&images_, false);
    ASSERT_GT(imageCount, 2u);
    expected.insert(expected.end(), imageCount, 4);
    expected.push_back(6);
    EXPECT_EQ(topLevelFields(bytes), expected);

    // The executable path keeps its terminating NUL inside the field: length, bytes, NUL.
    const std::string path = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string field;
    for (size_t length = path.size() + 1; ; length >>= 7) {
        field.push_back(static_cast<char>((length & 0x7f) | (length > 0x7f ? 0x80 : 0)));
        if (length <= 0x7f)
            break;
    }
    field += path;
    field.push_back('\0');
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find(field), std::string::npos);

    std::unique_ptr<CECrashReport> report = decodeReport(bytes);
    ASSERT_NE(report, nullptr);
    // No marketing version is written as an empty one.
    EXPECT_EQ(report->applicationInfo().applicationMarketingVersion, "");
    EXPECT_EQ(report->signalInfo().name, "SIGSEGV");
    EXPECT_EQ(report->signalInfo().address, 0x10u);
    ASSERT_EQ(report->threads().size(), 1u);
    const CECrashReportThreadInfo& thread = report->threads()[0];
    EXPECT_TRUE(thread.crashed);
    EXPECT_EQ(thread.registers.size(), 21u);
    EXPECT_GE(thread.stackFrames.size(), 3u);
    for (const CECrashReportStackFrameInfo& frame : thread.stackFrames)
        EXPECT_FALSE(frame.symbolInfo);
    cecrash_log_writer_release(&writer);
}

TEST_F(ReportWriteTest, ThreadsHeldByAnotherReportAreWrittenWithoutFrames)
{
    // Another report has stopped the threads: their registers are its to read.
    cecrash_log_writer_t writer;
    ASSERT_EQ(cecrash_log_writer_prepare(&writer, "app", "1", nullptr, 0, true), CECRASH_ESUCCESS);
    Bytes bytes;
    {
        BlockedThread other;
        cecrash_thread_list threads;
        ASSERT_TRUE(cecrash_async_thread_list(&threads));
        ASSERT_TRUE(cecrash_async_threads_suspend(&threads, cecrash_async_current_thread()));
        bytes = write(writer, true);
        cecrash_async_threads_resume();
    }
    std::unique_ptr<CECrashReport> report = decodeReport(bytes);
    ASSERT_NE(report, nullptr);
    ASSERT_GE(report->threads().size(), 2u);
    for (const CECrashReportThreadInfo& thread : report->threads())
        EXPECT_EQ(thread.stackFrames.empty(), !thread.crashed) << thread.threadNumber;
    cecrash_log_writer_release(&writer);
}

TEST_F(ReportWriteTest, CallingThreadIsLeftOutWithoutItsState)
{
    cecrash_log_writer_t writer;
    ASSERT_EQ(cecrash_log_writer_prepare(&writer, "app", "1", "1.0", 0, true), CECRASH_ESUCCESS);
    Bytes bytes;
    {
        BlockedThread other;
        bytes = write(writer, false);
    }
    std::unique_ptr<CECrashReport> report = decodeReport(bytes);
    ASSERT_NE(report, nullptr);
    ASSERT_EQ(report->threads().size(), 1u);
    EXPECT_EQ(report->threads()[0].threadNumber, 0);
    EXPECT_FALSE(report->threads()[0].crashed);
    EXPECT_FALSE(report->threads()[0].stackFrames.empty());
    EXPECT_TRUE(report->threads()[0].registers.empty());
    cecrash_log_writer_release(&writer);
}

TEST_F(ReportWriteTest, ExceptionFramesAreCutAt512)
{
    cecrash_log_writer_t writer;
    ASSERT_EQ(cecrash_log_writer_prepare(&writer, "app", "1", nullptr, 0, false), CECRASH_ESUCCESS);
    CECrashUncaughtException exception{"Boom", std::nullopt, {}};
    for (uint64_t i = 0; i < 600; ++i)
        exception.callStackReturnAddresses.push_back(0x1000 + i);
    cecrash_log_writer_set_exception(&writer, exception);
    const std::vector<uint8_t> custom = {1, 2, 3};
    cecrash_log_writer_store_custom_data(&writer, &custom);
    const Bytes bytes = write(writer, true);
    const std::vector<uint32_t> fields = topLevelFields(bytes);
    ASSERT_GE(fields.size(), 3u);
    EXPECT_EQ(std::vector<uint32_t>(fields.end() - 3, fields.end()), (std::vector<uint32_t>{5, 6, 10}));
    std::unique_ptr<CECrashReport> report = decodeReport(bytes);
    ASSERT_NE(report, nullptr);
    ASSERT_TRUE(report->exceptionInfo());
    EXPECT_EQ(report->exceptionInfo()->exceptionReason, "");
    ASSERT_TRUE(report->exceptionInfo()->stackFrames);
    EXPECT_EQ(report->exceptionInfo()->stackFrames->size(), 512u);
    EXPECT_EQ(report->exceptionInfo()->stackFrames->back().instructionPointer, 0x1000u + 511);
    EXPECT_EQ(report->customData(), custom);
    cecrash_log_writer_release(&writer);
}

TEST_F(ReportWriteTest, ReportOverItsLimitIsACleanPrefixAndFailsToClose)
{
    cecrash_log_writer_t writer;
    ASSERT_EQ(cecrash_log_writer_prepare(&writer, "app", "1", nullptr, 0, false), CECRASH_ESUCCESS);
    bool closed = true;
    const Bytes whole = write(writer, false, 0, &closed);
    EXPECT_TRUE(closed);
    const Bytes cut = write(writer, false, 100, &closed);
    EXPECT_FALSE(closed);
    ASSERT_LE(cut.size(), 100u);
    // Everything kept matches the report as it would have been: no piece is missing in between.
    // The UUID and timestamp differ between writes, so compare up to the report info only.
    EXPECT_TRUE(std::equal(cut.begin(), cut.begin() + 12, whole.begin()));
    EXPECT_EQ(CECrashReport::initWithData(cut, nullptr), nullptr);
    cecrash_log_writer_release(&writer);
}

TEST_F(ReportWriteTest, CustomDataReplacedDuringWritesIsSeenWhole)
{
    // A crash may write while another thread replaces the data: each report must hold one of
    // the versions whole, and the replaced block must not be read after it is freed.
    cecrash_log_writer_t writer;
    ASSERT_EQ(cecrash_log_writer_prepare(&writer, "app", "1", nullptr, 0, false), CECRASH_ESUCCESS);
    const Bytes small(100, 0x11);
    const Bytes large(3000, 0x22);
    cecrash_log_writer_store_custom_data(&writer, &small);
    std::atomic<bool> done{false};
    std::thread replacer([&] {
        for (uint64_t i = 0; !done; ++i)
            cecrash_log_writer_store_custom_data(&writer, i % 2 == 0 ? &large : &small);
    });
    for (int i = 0; i < 50; ++i) {
        std::unique_ptr<CECrashReport> report = decodeReport(write(writer, false));
        ASSERT_NE(report, nullptr);
        ASSERT_TRUE(report->customData());
        EXPECT_TRUE(*report->customData() == small || *report->customData() == large) << report->customData()->size();
    }
    done = true;
    replacer.join();
    cecrash_log_writer_release(&writer);
}

class LiveReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* previous = getenv("TMPDIR");
        previousTmp_ = previous != nullptr ? std::optional<std::string>(previous) : std::nullopt;
        setenv("TMPDIR", temporary_.path().c_str(), 1);
    }
    void TearDown() override
    {
        if (previousTmp_)
            setenv("TMPDIR", previousTmp_->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

    TemporaryDirectory temporary_;
    std::optional<std::string> previousTmp_;
};

TEST_F(LiveReportTest, ReportOfTheCallingThreadLeavesNoFileBehind)
{
    CECrashReporter reporter("com.example.live", "7", std::nullopt, CECrashReporterConfig(0, 0, false, temporary_.path()));
    reporter.setCustomData(std::vector<uint8_t>{9});
    CECrashError error;
    const std::optional<Bytes> data = reporter.generateLiveReport(&error);
    ASSERT_TRUE(data) << error.description;
    std::unique_ptr<CECrashReport> report = CECrashReport::initWithData(*data, &error);
    ASSERT_NE(report, nullptr) << error.description;
    EXPECT_EQ(report->signalInfo().name, "SIGTRAP");
    EXPECT_EQ(report->signalInfo().code, "TRAP_TRACE");
    EXPECT_EQ(report->customData(), std::vector<uint8_t>{9});
    ASSERT_EQ(report->threads().size(), 1u);
    EXPECT_TRUE(report->threads()[0].crashed);
    EXPECT_EQ(report->threads()[0].registers.size(), 21u);
    EXPECT_TRUE(std::filesystem::is_empty(temporary_.path()));
}

TEST_F(LiveReportTest, ReportOfAnotherThreadMarksItCrashed)
{
    CECrashReporter reporter("com.example.live", "7", std::nullopt, CECrashReporterConfig(0, 0, false, temporary_.path()));
    std::optional<Bytes> data;
    {
        BlockedThread other;
        data = reporter.generateLiveReportWithThread(other.id());
    }
    ASSERT_TRUE(data);
    std::unique_ptr<CECrashReport> report = CECrashReport::initWithData(*data, nullptr);
    ASSERT_NE(report, nullptr);
    ASSERT_EQ(report->threads().size(), 1u);
    EXPECT_TRUE(report->threads()[0].crashed);
    EXPECT_FALSE(report->threads()[0].stackFrames.empty());
}

TEST(CECrashReporterTest, ReportDirectoryIsNamedByTheIdentifier)
{
    struct Case {
        const char* identifier;
        const char* component;
    };
    const Case cases[] = {{"com.example.app", "com.example.app"}, {"a/b/c", "a_b_c"}};
    for (const Case& c : cases) {
        CECrashReporter reporter(c.identifier, "1", std::nullopt, CECrashReporterConfig::initWithBasePath("/base"));
        EXPECT_EQ(reporter.crashReportDirectory(), std::string("/base/com.doridorir.crashengine.data/") + c.component);
        EXPECT_EQ(reporter.crashReportPath(), reporter.crashReportDirectory() + "/live_report.cecrash");
        EXPECT_EQ(reporter.queuedCrashReportDirectory(), reporter.crashReportDirectory() + "/queued_reports");
    }
}

TEST(CECrashReporterTest, CustomDataThatCannotFitAReportIsRefused)
{
    CECrashReporter reporter("app", "1", std::nullopt, CECrashReporterConfig(0, 0, false, "/base"));
    const Bytes half(0x20000, 1);
    CECrashError error;
    ASSERT_TRUE(reporter.setCustomData(half, &error));
    EXPECT_FALSE(reporter.setCustomData(Bytes(0x20001, 2), &error));
    EXPECT_EQ(error.domain, CECrashReporterErrorDomain);
    EXPECT_NE(error.description.find("131073 bytes"), std::string::npos) << error.description;
    EXPECT_EQ(reporter.customData(), half);
    EXPECT_TRUE(reporter.setCustomData(std::nullopt));
    EXPECT_FALSE(reporter.customData());
}

TEST(CECrashReporterTest, PendingReportCanBeReadAndPurged)
{
    TemporaryDirectory directory;
    CECrashReporter reporter("app", "1", std::nullopt, CECrashReporterConfig(0, 0, true, directory.path()));
    EXPECT_FALSE(reporter.hasPendingCrashReport());
    CECrashError error;
    EXPECT_FALSE(reporter.loadPendingCrashReportData(&error));
    EXPECT_EQ(error.code, CECrashReporterErrorOperatingSystem);
    ASSERT_TRUE(reporter.populateCrashReportDirectory(&error)) << error.description;
    EXPECT_TRUE(std::filesystem::is_directory(reporter.queuedCrashReportDirectory()));
    std::ofstream(reporter.crashReportPath()) << "old";
    EXPECT_TRUE(reporter.hasPendingCrashReport());
    EXPECT_EQ(reporter.loadPendingCrashReportData(), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(reporter.purgePendingCrashReport());
    EXPECT_FALSE(reporter.hasPendingCrashReport());
    EXPECT_FALSE(reporter.purgePendingCrashReport(&error));
}

}  // namespace
