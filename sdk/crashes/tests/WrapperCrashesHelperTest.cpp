// The facade a wrapper SDK drives the crash service through: the crash-handler set-up delegate
// and processing the stored reports itself.
#include "CrashServiceFixture.h"

#include "sdk/crashes/WrapperException/ZEWrapperExceptionManager.h"

namespace ze {
namespace {

using namespace std::chrono_literals;

// Notes each call, and whether the crash engine was configured when it came.
class RecordingSetupDelegate final : public ZECrashHandlerSetupDelegate {
public:
    explicit RecordingSetupDelegate(std::optional<bool> answer)
        : answer(answer)
    {
    }
    std::optional<bool> shouldEnableUncaughtExceptionHandler() override
    {
        calls.push_back("should");
        return answer;
    }
    void willSetUpCrashHandlers() override { calls.push_back(configured() ? "will (configured)" : "will"); }
    void didSetUpCrashHandlers() override { calls.push_back(configured() ? "did (configured)" : "did"); }

    std::optional<bool> answer;
    std::vector<std::string> calls;

private:
    static bool configured() { return ZECrashes::sharedInstance()->crashReporter() != nullptr; }
};

class WrapperCrashesHelperTest : public CrashServiceTest {
protected:
    bool registersUncaughtExceptionHandler() const
    {
        return crashes->crashReporter()->configuration().shouldRegisterUncaughtExceptionHandler();
    }
};

TEST_F(WrapperCrashesHelperTest, theSetupDelegateIsAskedAroundEveryEnableAndCanKeepTheExceptionHandlerOut)
{
    struct Case {
        std::optional<bool> answer;
        bool registers;
    };
    for (const Case& test : {Case{std::nullopt, true}, Case{true, true}, Case{false, false}}) {
        SCOPED_TRACE(test.answer ? (*test.answer ? "answers yes" : "answers no") : "does not answer");
        const auto delegate = std::make_shared<RecordingSetupDelegate>(test.answer);
        ZEWrapperCrashesHelper::setCrashHandlerSetupDelegate(delegate);
        crashes ? relaunch() : start();
        EXPECT_EQ(delegate->calls, (std::vector<std::string>{"should", "will", "did (configured)"}));
        EXPECT_EQ(registersUncaughtExceptionHandler(), test.registers);

        crashes->setEnabled(false);
        crashes->setEnabled(true);
        EXPECT_EQ(delegate->calls, (std::vector<std::string>{"should", "will", "did (configured)", "should",
                                       "will (configured)", "did (configured)"}))
            << "asked again, though the engine is configured only once";
        EXPECT_EQ(registersUncaughtExceptionHandler(), test.registers);
    }
}

TEST_F(WrapperCrashesHelperTest, aSetupDelegateThatIsGoneIsNeitherKeptAliveNorAsked)
{
    auto delegate = std::make_shared<RecordingSetupDelegate>(false);
    ZEWrapperCrashesHelper::setCrashHandlerSetupDelegate(delegate);
    EXPECT_EQ(ZEWrapperCrashesHelper::crashHandlerSetupDelegate(), delegate);
    const std::weak_ptr<RecordingSetupDelegate> watch = delegate;
    delegate.reset();
    EXPECT_TRUE(watch.expired()) << "the helper does not own its delegate";
    EXPECT_EQ(ZEWrapperCrashesHelper::crashHandlerSetupDelegate(), nullptr);

    start();
    EXPECT_TRUE(registersUncaughtExceptionHandler()) << "the answer of a destroyed delegate does not count";
}

TEST_F(WrapperCrashesHelperTest, aWrapperProcessesTheReportsItselfAndKeepsOnlyTheOnesItNames)
{
    const std::string kept = storeReport("700000001", 1);
    const std::string dropped = storeReport("700000002", 2);
    ZEWrapperException wrapperException;
    wrapperException.processId = 7;
    ZEWrapperExceptionManager::saveWrapperException(wrapperException, dropped);
    ZEWrapperCrashesHelper::setAutomaticProcessing(false);
    EXPECT_FALSE(ZEWrapperCrashesHelper::automaticProcessing());

    start();
    process();
    EXPECT_TRUE(sentIds().empty()) << "nothing goes out on its own";
    std::vector<std::string> waiting;
    for (const auto& report : ZEWrapperCrashesHelper::unprocessedCrashReports()) {
        waiting.push_back(report->incidentIdentifier().value_or(""));
    }
    std::sort(waiting.begin(), waiting.end());
    EXPECT_EQ(waiting, (std::vector<std::string>{kept, dropped}));

    EXPECT_FALSE(ZEWrapperCrashesHelper::sendCrashReportsOrAwaitUserConfirmationForFilteredIds({kept, "unknown"}))
        << "not told to always send";
    EXPECT_EQ(namesIn(folder("crashes")), (std::vector<std::string>{"700000001"}));
    EXPECT_TRUE(namesIn(folder("crasheswrapperexceptions")).empty()) << "the dropped report's wrapper exception goes too";
    ASSERT_EQ(ZEWrapperCrashesHelper::unprocessedCrashReports().size(), 1u);
    EXPECT_TRUE(sentIds().empty()) << "the kept report waits for the user's answer";

    ZECrashes::notifyWithUserConfirmation(ZEUserConfirmationSend);
    ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();
    EXPECT_EQ(sentIds(), (std::vector<std::string>{kept}));
    EXPECT_TRUE(namesIn(folder("crashes")).empty());
}

TEST_F(WrapperCrashesHelperTest, withAlwaysSendSetTheFilteredReportsGoAtOnce)
{
    ZEZavEdurovUserDefaults::shared().setObject(true, kZEUserConfirmationKey);
    const std::string id = storeReport("700000001", 1);
    ZEWrapperCrashesHelper::setAutomaticProcessing(false);
    start();
    process();
    EXPECT_TRUE(sentIds().empty());

    EXPECT_TRUE(ZEWrapperCrashesHelper::sendCrashReportsOrAwaitUserConfirmationForFilteredIds({id}));
    ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();
    EXPECT_EQ(sentIds(), (std::vector<std::string>{id}));
    EXPECT_TRUE(namesIn(folder("crashes")).empty());
}

TEST_F(WrapperCrashesHelperTest, attachmentsGoOutUnderTheIncidentUpToTheSizeLimit)
{
    start();
    process();
    const auto named = [](std::shared_ptr<ZEErrorAttachmentLog> attachment, const std::string& name) {
        attachment->filename = name;
        return attachment;
    };
    auto untyped = ZEErrorAttachmentLog::attachmentWithText("no type", "untyped");
    untyped->contentType.reset();
    ZEWrapperCrashesHelper::sendErrorAttachments(
        {named(ZEErrorAttachmentLog::attachmentWithBinary(ZEData(kZEMaxAttachmentSize, 1), std::nullopt, "application/octet-stream"), "at-limit"),
            named(ZEErrorAttachmentLog::attachmentWithBinary(ZEData(kZEMaxAttachmentSize + 1, 1), std::nullopt, "application/octet-stream"), "over-limit"),
            untyped, ZEErrorAttachmentLog::attachmentWithText("hello", "note.txt")},
        "incident-1");
    ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();

    std::vector<std::string> sent;
    for (const auto& log : collector->all()) {
        if (const auto attachment = std::dynamic_pointer_cast<ZEErrorAttachmentLog>(log)) {
            EXPECT_EQ(attachment->errorId, "incident-1");
            sent.push_back(attachment->filename.value_or(""));
        }
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"at-limit", "note.txt"}));
    EXPECT_EQ(countLogs(ZELogLevelError, "Discarding attachment with size above 7340032 bytes: size=7340033, fileName=over-limit."), 1);
    EXPECT_EQ(countLogs(ZELogLevelError, "Not all required fields are present in ZEErrorAttachmentLog."), 1);
}

TEST_F(WrapperCrashesHelperTest, aHandledErrorReportKnowsOnlyItsIdTimesAndDevice)
{
    const ZEDate launch = clock->now();
    start();
    clock->advance(3s);

    const auto report = ZEWrapperCrashesHelper::buildHandledErrorReportWithErrorID("error-1");
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->incidentIdentifier(), "error-1");
    EXPECT_EQ(report->appStartTime(), launch);
    EXPECT_EQ(report->appErrorTime(), launch + 3s);
    ASSERT_NE(report->device(), nullptr);
    EXPECT_EQ(report->device(), ZEDeviceTracker::sharedInstance()->device());
    EXPECT_EQ(report->appProcessIdentifier(), 0u);
    EXPECT_FALSE(report->signal() || report->exceptionName() || report->reporterKey() || report->threads()
        || report->binaries() || report->applicationPath());
}

} // namespace
} // namespace ze
