// What the crash service sends and what it keeps on disk when the host asks the user, when
// automatic processing is off, when its delegate says no, and when its configuration changes.
#include "CrashServiceFixture.h"

#include "sdk/crashes/Model/ZEHandledErrorLog.h"
#include "sdk/crashes/WrapperException/ZEWrapperExceptionManager.h"

namespace ze {
namespace {

using namespace std::chrono_literals;

// Rejects the reports whose incident id it names.
class RejectingDelegate final : public ZECrashesDelegate {
public:
    explicit RejectingDelegate(std::string rejected)
        : rejected(std::move(rejected))
    {
    }
    std::optional<bool> shouldProcessErrorReport(ZECrashes&, const ZEErrorReport& report) override
    {
        ++asked;
        return report.incidentIdentifier() != rejected;
    }
    std::string rejected;
    std::atomic<int> asked{0};
};

class UserConfirmationTest : public CrashServiceTest {
protected:
    // A handler that asks the user (answers yes) and notes what it was shown, and where.
    void askTheUser()
    {
        ZECrashes::setUserConfirmationHandler([this](const std::vector<std::shared_ptr<ZEErrorReport>>& reports) {
            std::lock_guard lock(shownMutex);
            shown.push_back(reports.size());
            onMainThread = onMainThread && main->isMainThread();
            return true;
        });
    }

    void answer(ZEUserConfirmation confirmation)
    {
        ZECrashes::notifyWithUserConfirmation(confirmation);
        ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();
    }

    bool alwaysSend() { return ZEZavEdurovUserDefaults::shared().objectForKey(kZEUserConfirmationKey).has_value(); }

    std::mutex shownMutex;
    std::vector<std::size_t> shown;
    bool onMainThread = true;
};

TEST_F(UserConfirmationTest, theReportsWaitForTheUsersAnswerAndFollowIt)
{
    struct Case {
        ZEUserConfirmation answer;
        bool sent;
        bool alwaysAfterwards;
    };
    std::uint8_t tag = 0;
    // "Always" last: it is remembered.
    for (const Case& test : {Case{ZEUserConfirmationDontSend, false, false}, Case{ZEUserConfirmationSend, true, false},
             Case{static_cast<ZEUserConfirmation>(7), true, false}, Case{ZEUserConfirmationAlways, true, true}}) {
        SCOPED_TRACE(static_cast<int>(test.answer));
        ++tag;
        const std::string id = storeReport("70000000" + std::to_string(tag), tag);
        ZEWrapperException wrapperException;
        ZEWrapperExceptionManager::saveWrapperException(wrapperException, id);
        crashes ? relaunch() : start();
        askTheUser();
        process();
        main->queue.drain();
        EXPECT_EQ(shown.back(), 1u);
        EXPECT_TRUE(sentIds().empty()) << "nothing goes out before the answer";
        EXPECT_EQ(namesIn(folder("crashes")).size(), 1u);

        answer(test.answer);
        EXPECT_EQ(sentIds(), test.sent ? std::vector<std::string>{id} : std::vector<std::string>{});
        EXPECT_TRUE(namesIn(folder("crashes")).empty()) << "sent or refused, the report is done with";
        EXPECT_TRUE(namesIn(folder("crasheswrapperexceptions")).empty());
        EXPECT_EQ(alwaysSend(), test.alwaysAfterwards);
    }
    EXPECT_TRUE(onMainThread) << "the handler runs on the main thread";

    // After "Always", a later launch sends without asking.
    const std::size_t asked = shown.size();
    const std::string id = storeReport("700000009", 9);
    relaunch();
    askTheUser();
    process();
    EXPECT_EQ(shown.size(), asked);
    EXPECT_EQ(sentIds(), std::vector<std::string>{id});
}

TEST_F(UserConfirmationTest, aHandlerThatDoesNotAskLetsTheReportsGo)
{
    const std::string id = storeReport("700000001", 1);
    ZECrashes::setUserConfirmationHandler([](const auto&) { return false; });
    start();
    process();
    EXPECT_EQ(sentIds(), std::vector<std::string>{id});
    EXPECT_TRUE(namesIn(folder("crashes")).empty());
    EXPECT_FALSE(alwaysSend());
}

TEST_F(UserConfirmationTest, anAnswerBeforeAnyProcessingIsAnErrorAndChangesNothing)
{
    const std::string id = storeReport("700000001", 1);
    start();
    answer(ZEUserConfirmationDontSend);
    EXPECT_EQ(countLogs(ZELogLevelError,
                  "Incorrect usage of notifyWithUserConfirmation: it should only be called from userConfirmationHandler. For more information refer to the documentation."),
        1);
    EXPECT_EQ(namesIn(folder("crashes")).size(), 1u) << "the report was not refused";

    process();
    EXPECT_EQ(sentIds(), std::vector<std::string>{id});
}

TEST_F(UserConfirmationTest, withoutAutomaticProcessingNothingIsAskedOrSentUntilAnswered)
{
    const std::string first = storeReport("700000001", 1);
    const std::string second = storeReport("700000002", 2);
    const auto delegate = std::make_shared<RejectingDelegate>(first);
    ZECrashes::setDelegate(delegate);
    askTheUser();
    ZECrashes::sharedInstance()->setAutomaticProcessingEnabled(false);
    start();
    process();
    main->queue.drain();

    EXPECT_EQ(delegate->asked, 0) << "the delegate is not consulted";
    EXPECT_TRUE(shown.empty()) << "nor is the user";
    EXPECT_TRUE(sentIds().empty());
    EXPECT_EQ(crashes->unprocessedCrashReports().size(), 2u);
    EXPECT_EQ(namesIn(folder("crashes")).size(), 2u);

    answer(ZEUserConfirmationSend);
    auto sent = sentIds();
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(sent, (std::vector<std::string>{first, second}));
    EXPECT_TRUE(namesIn(folder("crashes")).empty());
}

TEST_F(UserConfirmationTest, anEmptyFilterDropsEveryWaitingReport)
{
    storeReport("700000001", 1);
    storeReport("700000002", 2);
    ZECrashes::sharedInstance()->setAutomaticProcessingEnabled(false);
    start();
    process();

    EXPECT_FALSE(crashes->sendCrashReportsOrAwaitUserConfirmationForFilteredIds({}));
    EXPECT_TRUE(crashes->unprocessedCrashReports().empty());
    EXPECT_TRUE(namesIn(folder("crashes")).empty());
    answer(ZEUserConfirmationSend);
    EXPECT_TRUE(sentIds().empty());
}

TEST_F(UserConfirmationTest, aReportTheDelegateRejectsIsDeletedAndTheOthersGo)
{
    const std::string rejected = storeReport("700000001", 1);
    const std::string accepted = storeReport("700000002", 2);
    ZEWrapperException wrapperException;
    ZEWrapperExceptionManager::saveWrapperException(wrapperException, rejected);
    const auto delegate = std::make_shared<RejectingDelegate>(rejected);
    ZECrashes::setDelegate(delegate);
    start();
    process();

    EXPECT_EQ(delegate->asked, 2);
    EXPECT_EQ(sentIds(), std::vector<std::string>{accepted});
    EXPECT_TRUE(namesIn(folder("crashes")).empty());
    EXPECT_TRUE(namesIn(folder("crasheswrapperexceptions")).empty());
}

TEST_F(UserConfirmationTest, aConfigurationUpdateNeitherResendsNorLosesAnything)
{
    // A log that only the crash-time buffer held, and a report that waits for the user.
    auto buffered = std::make_shared<ZEHandledErrorLog>();
    buffered->errorId = "buffered-error";
    buffered->exception = std::make_shared<ZEExceptionModel>();
    write(folder("crasheslogbuffer") / "0.zecrasheslogbuffer", *ZEUtility::archiveKeyedData(buffered));
    const std::string id = storeReport("700000001", 1);
    askTheUser();
    start();
    process();
    main->queue.drain();

    const fs::path bufferFile = folder("crasheslogbuffer") / "0.zecrasheslogbuffer";
    ASSERT_EQ(fs::file_size(bufferFile), 0u) << "replayed at start and emptied";

    crashes->updateConfigurationWithAppSecret("another-secret", std::nullopt);
    clock->advance(1s);
    ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();
    main->queue.drain();

    for (const auto& log : collector->all()) {
        const auto handled = std::dynamic_pointer_cast<ZEHandledErrorLog>(log);
        EXPECT_FALSE(handled && handled->errorId == "buffered-error") << "the buffered log is not replayed again";
    }
    EXPECT_EQ(shown.size(), 1u) << "the reports are not processed a second time";
    EXPECT_TRUE(sentIds().empty());
    EXPECT_EQ(namesIn(folder("crashes")).size(), 1u);

    answer(ZEUserConfirmationSend);
    EXPECT_EQ(sentIds(), std::vector<std::string>{id});
    EXPECT_TRUE(namesIn(folder("crashes")).empty());
}

} // namespace
} // namespace ze
