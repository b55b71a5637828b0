// The crash models' JSON, validity, equality and archive forms, and the wrapper exception files.
#include "ZETestSupport.h"

#include "sdk/crashes/Model/ZEAppleErrorLog.h"
#include "sdk/crashes/Model/ZEErrorAttachmentLog.h"
#include "sdk/crashes/Model/ZEErrorReport.h"
#include "sdk/crashes/Model/ZEHandledErrorLog.h"
#include "sdk/crashes/WrapperException/ZEWrapperExceptionManager.h"
#include "sdk/crashes/ZECrashesArchiverUtil.h"
#include "sdk/crashes/ZECrashesUtil.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

namespace ze {
namespace {

class CrashModelsTest : public test::SdkTest {
protected:
    void SetUp() override
    {
        SdkTest::SetUp();
        ZECrashesArchiverUtil::addAllowedCrashesModuleClasses();
        ZEWrapperExceptionManager::reset();
    }

    static std::shared_ptr<ZEStackFrame> frame(const std::string& address)
    {
        auto frame = std::make_shared<ZEStackFrame>();
        frame->address = address;
        frame->code = "0x1000 + 16";
        return frame;
    }

    std::shared_ptr<ZEAppleErrorLog> validCrashLog()
    {
        auto log = std::make_shared<ZEAppleErrorLog>();
        log->timestamp = ZEDateFromSeconds(1'700'000'000.999);
        log->device = test::validDevice();
        log->errorId = "DEADBEEF-0001-0203-0405-060708090A0B";
        log->processId = 42;
        log->processName = "quorvantelle";
        log->primaryArchitectureId = 0x1000007;
        log->applicationPath = "???";
        log->osExceptionType = "SIGSEGV";
        log->osExceptionCode = "SEGV_MAPERR";
        log->osExceptionAddress = "0x0";
        return log;
    }
};

TEST_F(CrashModelsTest, threadsAndBinariesSayWhatTheyMiss)
{
    ZEThread thread;
    EXPECT_EQ(thread.serializeToDictionary().dump(), R"({"frames":[]})");
    EXPECT_FALSE(thread.isValid());
    thread.threadId = 3;
    EXPECT_FALSE(thread.isValid()) << "a thread needs a frame";
    thread.frames.push_back(frame("0x0000000000001010"));
    EXPECT_TRUE(thread.isValid());

    ZEBinary binary;
    binary.binaryId = "???";
    binary.startAddress = "0x1000";
    binary.endAddress = "0x1fff";
    binary.path = "";
    EXPECT_FALSE(binary.isValid());
    EXPECT_EQ(countLogs(ZELogLevelVerbose, "ZEBinary: \"name\" is not valid."), 1);
    binary.name = "libq.so";
    EXPECT_TRUE(binary.isValid()) << "an empty path is a path";
}

TEST_F(CrashModelsTest, callStackLinesBecomeFramesOnlyWithEnoughPieces)
{
    EXPECT_TRUE(ZEExceptionModel::loadStackTrace({}).empty());
    const auto frames = ZEExceptionModel::loadStackTrace({
        "3   libq.so                 0x00007f00deadbeef _ZN2qv4TestEv + 42",
        "only five pieces here now",
    });
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]->fileName, "libq");
    EXPECT_EQ(frames[0]->address, "so");
    EXPECT_EQ(frames[0]->className, "0x00007f00deadbeef");
    EXPECT_EQ(frames[0]->methodName, "_ZN2qv4TestEv");

    const auto own = ZEExceptionModel::initWithType("Kind", "text", std::nullopt);
    EXPECT_FALSE(own->frames->empty()) << "the current stack, in the same line form";
    EXPECT_TRUE(own->isValid());

    const auto empty = ZEExceptionModel::initWithError(ZEError{"com.example", 7, ""});
    EXPECT_EQ(empty->type, "com.example");
    EXPECT_FALSE(empty->message);
}

TEST_F(CrashModelsTest, exceptionModelsCompareTheirFramesByValueAndOrder)
{
    ZEExceptionModel a;
    ZEExceptionModel b;
    a.type = b.type = "SIGABRT";
    a.frames = ZEStackFrames{frame("0x1"), frame("0x2")};
    b.frames = ZEStackFrames{frame("0x1"), frame("0x2")};
    EXPECT_TRUE(a.isEqual(b));
    b.frames = ZEStackFrames{frame("0x2"), frame("0x1")};
    EXPECT_FALSE(a.isEqual(b));
}

TEST_F(CrashModelsTest, aCrashLogSerialisesValidatesAndArchives)
{
    auto log = validCrashLog();
    EXPECT_TRUE(log->isValid()) << "valid without threads";
    auto json = log->serializeToDictionary();
    EXPECT_EQ(json["type"], "appleError");
    EXPECT_EQ(json["fatal"], false) << "present also when false";
    EXPECT_FALSE(json.contains("threads"));

    log->fatal = true;
    log->threads = std::vector<std::shared_ptr<ZEThread>>{};
    log->appLaunchTimestamp = ZEDateFromSeconds(1'699'999'000);
    log->registers = std::map<std::string, std::string>{{"rip", "0x0000000000001010"}};
    json = log->serializeToDictionary();
    EXPECT_EQ(json["threads"], ZEJson::array());
    EXPECT_EQ(json["appLaunchTimestamp"], "2023-11-14T21:56:40.000Z");
    EXPECT_EQ(json["registers"]["rip"], "0x0000000000001010");

    auto thread = std::make_shared<ZEThread>();
    thread->threadId = 0;
    thread->frames.push_back(frame("0x0000000000001010"));
    log->threads->push_back(thread);
    const auto restored = ZEUtility::unarchiveKeyedData<ZEAppleErrorLog>(ZEUtility::archiveKeyedData(log));
    ASSERT_NE(restored, nullptr);
    EXPECT_TRUE(restored->isEqual(*log));

    log->processName.reset();
    EXPECT_FALSE(log->isValid());
    EXPECT_EQ(countLogs(ZELogLevelVerbose, "ZEAppleErrorLog: \"processName\" is not valid."), 1);
}

TEST_F(CrashModelsTest, handledErrorsAndAttachmentsNeedTheirFields)
{
    ZEHandledErrorLog handled;
    handled.timestamp = ZEUtility::now();
    handled.device = test::validDevice();
    handled.errorId = "id";
    EXPECT_FALSE(handled.isValid());
    EXPECT_EQ(countLogs(ZELogLevelVerbose, "ZEHandledErrorLog: \"exception\" is not valid."), 1);

    const auto attachment = ZEErrorAttachmentLog::attachmentWithText("abc", std::nullopt);
    attachment->timestamp = ZEUtility::now();
    attachment->device = test::validDevice();
    attachment->errorId = "id";
    EXPECT_EQ(attachment->data->size(), 3u);
    EXPECT_EQ(attachment->contentType, "text/plain");
    EXPECT_TRUE(attachment->isValid());
    const auto json = attachment->serializeToDictionary();
    EXPECT_EQ(json["data"], "YWJj");
    EXPECT_FALSE(json.contains("fileName"));
    EXPECT_FALSE(attachment->isEqual(*ZEErrorAttachmentLog::attachmentWithText("abc", std::nullopt)))
        << "each attachment has an id of its own";
}

TEST_F(CrashModelsTest, anErrorReportKnowsAnAppKill)
{
    const std::pair<std::optional<std::string>, bool> cases[] = {{"SIGKILL", true}, {"sigkill", true}, {"SIGSEGV", false}, {std::nullopt, false}};
    for (const auto& [signal, kill] : cases) {
        ZEErrorReportFields fields;
        fields.signal = signal;
        EXPECT_EQ(ZEErrorReport(fields).isAppKill(), kill) << signal.value_or("(none)");
    }
    EXPECT_FALSE(ZEErrorReport({}).serializeToDictionary().contains("appProcessIdentifier"));
}

TEST_F(CrashModelsTest, aSavedWrapperExceptionGoesToTheFirstReportOfItsProcess)
{
    const auto report = [](const std::string& id, std::uint64_t pid) {
        ZEErrorReportFields fields;
        fields.errorId = id;
        fields.appProcessIdentifier = pid;
        return std::make_shared<ZEErrorReport>(fields);
    };
    ZEWrapperException saved;
    saved.processId = 77;
    saved.modelException = ZEExceptionModel::initWithType("Wrapped", "from the wrapper", std::vector<std::string>{});
    const std::string last = ZECrashesUtil::wrapperExceptionsDir() + "/" + kZELastSavedWrapperException;

    ZEWrapperExceptionManager::saveWrapperException(saved);
    ZEWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({});
    EXPECT_FALSE(ZEUtility::fileExistsForPathComponent(last)) << "read once, then gone";

    ZEWrapperExceptionManager::saveWrapperException(saved);
    ZEWrapperExceptionManager::correlateLastSavedWrapperExceptionToReport({report("A", 5), report("B", 77), report("C", 77)});
    EXPECT_EQ(ZEWrapperExceptionManager::loadWrapperExceptionWithUUIDString("C"), nullptr);
    ZEWrapperExceptionManager::deleteWrapperExceptionWithBaseFilename("B");
    const auto found = ZEWrapperExceptionManager::loadWrapperExceptionWithUUIDString("B");
    ASSERT_NE(found, nullptr) << "kept in memory after its file went";
    EXPECT_EQ(found->modelException->type, "Wrapped");
}

} // namespace
} // namespace ze
