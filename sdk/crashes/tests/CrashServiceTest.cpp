// The crash service inside one test process: reports, files, the buffer and forwarding.
#include "CrashServiceFixture.h"

#include "sdk/crashes/Forwarding/ZEApplicationForwarder.h"
#include "sdk/crashes/Model/ZEHandledErrorLog.h"
#include "sdk/crashes/ZECrashTimeLogBuffer.h"

namespace ze {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST_F(CrashServiceTest, aStoredReportGoesOutWithTheIdsOfItsCrashTime)
{
    // The launch that crashed five seconds after its ids were set.
    ZESessionContext::sharedInstance()->setSessionId("crash-session");
    ZEUserIdContext::sharedInstance()->setUserId("crash-user");
    const auto crashTime = std::chrono::duration_cast<std::chrono::seconds>(clock->now().time_since_epoch()).count() + 5;
    fixture.system.timestamp = crashTime;
    write(folder("crashes") / "700000000", fixture.bytes());
    ZESessionContext::resetSharedInstance();
    ZEUserIdContext::resetSharedInstance();
    clock->advance(10s);

    start();
    ZESessionContext::sharedInstance()->setSessionId("current-session");
    ZEUserIdContext::sharedInstance()->setUserId("current-user");
    process();

    const auto logs = collector->collected();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0]->sid, "crash-session");
    EXPECT_EQ(logs[0]->userId, "crash-user");
    EXPECT_EQ(logs[0]->timestamp, ZEDateFromSeconds(static_cast<double>(crashTime) + 0.999));
    EXPECT_TRUE(namesIn(folder("crashes")).empty());
}

TEST_F(CrashServiceTest, aNextLaunchWithinTheCrashsSecondDoesNotLendItsIdsToTheCrash)
{
    // The manual clock starts on a whole second S. The launch that crashed sets its ids at
    // S + 0.1 and dies at S + 0.3; its report keeps only S, so the crash log says S + 0.999.
    const auto second = std::chrono::duration_cast<std::chrono::seconds>(clock->now().time_since_epoch()).count();
    clock->advance(100ms);
    ZESessionContext::sharedInstance()->setSessionId("crash-session");
    ZEUserIdContext::sharedInstance()->setUserId("crash-user");
    fixture.system.timestamp = static_cast<std::uint64_t>(second);
    write(folder("crashes") / "700000000", fixture.bytes());
    clock->advance(200ms);
    ZESessionContext::resetSharedInstance();
    ZEUserIdContext::resetSharedInstance();

    // The next launch starts at S + 0.5 and has its own ids by S + 0.6.
    clock->advance(200ms);
    start();
    clock->advance(100ms);
    ZESessionContext::sharedInstance()->setSessionId("next-session");
    ZEUserIdContext::sharedInstance()->setUserId("next-user");
    process();

    const auto logs = collector->collected();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0]->timestamp, ZEDateFromSeconds(static_cast<double>(second) + 0.999));
    EXPECT_EQ(logs[0]->sid, "crash-session");
    EXPECT_EQ(logs[0]->userId, "crash-user");
}

TEST_F(CrashServiceTest, aCrashLoopKeepsEachLaunchsIdsAndEveryReport)
{
    // Three launches within two seconds, all crashing; only the third one's successor gets as
    // far as sending. Each report carries its launch's second, as the engine writes it.
    const auto firstSecond = std::chrono::duration_cast<std::chrono::seconds>(clock->now().time_since_epoch()).count();
    const auto crashingLaunch = [&](const std::string& name, std::uint8_t tag, bool stores) {
        if (stores) {
            start();
        }
        clock->advance(100ms);
        ZESessionContext::sharedInstance()->setSessionId("session-" + name);
        ZEUserIdContext::sharedInstance()->setUserId("user-" + name);
        clock->advance(100ms);
        fixture.system.timestamp = static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::seconds>(clock->now().time_since_epoch()).count());
        const std::string id = storeReport("crashing", tag);
        fs::rename(folder("crashes") / "crashing", pendingReportPath());
        clock->advance(200ms);
        if (stores) {
            ZEZavEdurov::channelGroup()->logsDispatchQueue()->drain();
            crashes.reset();
            ZECrashes::resetSharedInstance();
        }
        ZESessionContext::resetSharedInstance();
        ZEUserIdContext::resetSharedInstance();
        return id;
    };
    const std::string firstId = crashingLaunch("first", 1, false);
    const std::string secondId = crashingLaunch("second", 2, true);
    const std::string thirdId = crashingLaunch("third", 3, true);
    ASSERT_LT(std::chrono::duration_cast<std::chrono::seconds>(clock->now().time_since_epoch()).count(), firstSecond + 2);

    start();
    process();
    std::map<std::string, std::pair<std::string, std::string>> sent;
    for (const auto& log : collector->collected()) {
        sent[log->errorId.value_or("")] = {log->sid.value_or(""), log->userId.value_or("")};
    }
    EXPECT_EQ(sent.size(), 3u) << "no report was written over";
    EXPECT_EQ(sent[firstId], std::pair(std::string("session-first"), std::string("user-first")));
    EXPECT_EQ(sent[secondId], std::pair(std::string("session-second"), std::string("user-second")));
    EXPECT_EQ(sent[thirdId], std::pair(std::string("session-third"), std::string("user-third")));
    EXPECT_TRUE(namesIn(folder("crashes")).empty());
    EXPECT_FALSE(fs::exists(pendingReportPath()));
}

TEST_F(CrashServiceTest, aReportStoredInTheSameSecondAsAnEarlierOneGetsANameOfItsOwn)
{
    char taken[32];
    std::snprintf(taken, sizeof taken, "%.0f",
        std::chrono::duration<double>(clock->now().time_since_epoch()).count() - 978'307'200.0);
    const std::string earlier = storeReport(taken, 1);
    const std::string pending = storeReport("pending", 2);
    fs::rename(folder("crashes") / "pending", pendingReportPath());

    start();
    EXPECT_FALSE(fs::exists(pendingReportPath()));
    // The stored copy keeps the ids of its launch beside it.
    EXPECT_EQ(namesIn(folder("crashes")), (std::vector<std::string>{taken, std::string(taken) + "-1",
                                                std::string(taken) + "-1.meta"}));
    process();
    auto ids = sentIds();
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{earlier, pending}));
}

TEST_F(CrashServiceTest, damagedEmptyOrFatalReportsAreSetAsideWithoutCrashingTheLaunch)
{
    write(folder("crashes") / "700000001", {'n', 'o', 't', ' ', 'a', ' ', 'r', 'e', 'p', 'o', 'r', 't'});
    write(folder("crashes") / "700000002", {});
    // A report whose processing crashed the previous launch leaves its marker behind.
    write(folder("crashes") / "700000003", fixture.bytes());
    write(folder("crashes") / "700000003.analyzer", {});

    start();
    process();

    EXPECT_TRUE(collector->collected().empty());
    EXPECT_TRUE(namesIn(folder("crashes")).empty());
    EXPECT_EQ(namesIn(folder("crashesdamaged")), (std::vector<std::string>{"700000001", "700000003"}))
        << "what could not be processed is kept for a person, not deleted";
    const auto logged = logs();
    const auto mentions = [&](const std::string& text) {
        return std::any_of(logged.begin(), logged.end(), [&](const auto& line) {
            return line.level == ZELogLevelError && line.message.find(text) != std::string::npos;
        });
    };
    EXPECT_TRUE(mentions("700000001 could not be processed because it could not be decoded"));
    EXPECT_TRUE(mentions("Crash report 700000002 is empty; it was removed."));
    EXPECT_TRUE(mentions("700000003 could not be processed because its processing crashed at an earlier launch"));
}

TEST_F(CrashServiceTest, aPendingReportWhoseHandlingCrashedIsPurgedButKept)
{
    write(pendingReportPath(), fixture.bytes());
    write(folder("crashes") / "ZECrashes.analyzer", {});

    start();
    process();

    EXPECT_EQ(countLogs(ZELogLevelError, "Error on loading the crash report, it will be purged."), 1);
    EXPECT_FALSE(fs::exists(pendingReportPath()));
    EXPECT_FALSE(fs::exists(folder("crashes") / "ZECrashes.analyzer"));
    EXPECT_EQ(namesIn(folder("crashesdamaged")).size(), 1u);
    EXPECT_TRUE(collector->collected().empty());
}

TEST_F(CrashServiceTest, anEmptyPendingReportIsLoggedAndRemoved)
{
    write(pendingReportPath(), {});

    start();
    process();

    EXPECT_FALSE(fs::exists(pendingReportPath()));
    EXPECT_FALSE(ZECrashes::hasCrashedInLastSession() && ZECrashes::lastSessionCrashReport());
    EXPECT_TRUE(collector->collected().empty());
    EXPECT_TRUE(namesIn(folder("crashes")).empty());
}

TEST_F(CrashServiceTest, aPendingReportIsStoredAndBecomesTheLastSessionsReport)
{
    write(pendingReportPath(), fixture.bytes());

    start();
    EXPECT_TRUE(ZECrashes::hasCrashedInLastSession());
    ASSERT_NE(ZECrashes::lastSessionCrashReport(), nullptr);
    EXPECT_EQ(ZECrashes::lastSessionCrashReport()->signal(), "SIGSEGV");
    EXPECT_FALSE(fs::exists(pendingReportPath()));
    const auto stored = namesIn(folder("crashes"));
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1], stored[0] + ".meta");
    process();
    EXPECT_EQ(collector->collected().size(), 1u);
    EXPECT_TRUE(namesIn(folder("crashes")).empty());
}

TEST_F(CrashServiceTest, disablingDeletesEverythingTheServiceKept)
{
    start();
    process();
    write(folder("crashes") / "700000004", fixture.bytes());
    write(folder("crasheswrapperexceptions") / "last_saved_wrapper_exception", {'x'});
    write(folder("crasheslogbuffer") / "7.zecrasheslogbuffer", {'l', 'o', 'g'});
    write(pendingReportPath(), fixture.bytes());
    crashes->didReceiveMemoryWarning();
    ASSERT_TRUE(ZEZavEdurovUserDefaults::shared().objectForKey(kZEMemoryWarningKey));

    crashes->setEnabled(false);

    EXPECT_TRUE(namesIn(folder("crashes")).empty());
    EXPECT_FALSE(fs::exists(folder("crasheswrapperexceptions") / "last_saved_wrapper_exception"));
    EXPECT_EQ(fs::file_size(folder("crasheslogbuffer") / "7.zecrasheslogbuffer"), 0u);
    EXPECT_EQ(namesIn(folder("crasheslogbuffer")).size(), 60u);
    EXPECT_FALSE(fs::exists(pendingReportPath()));
    EXPECT_FALSE(ZEZavEdurovUserDefaults::shared().objectForKey(kZEMemoryWarningKey));
    crashes->didReceiveMemoryWarning();
    EXPECT_FALSE(ZEZavEdurovUserDefaults::shared().objectForKey(kZEMemoryWarningKey)) << "not heard while disabled";
}

} // namespace
} // namespace ze

namespace ze {
namespace {

TEST_F(CrashServiceTest, theBufferKeepsEveryPreparedLogButCrashLogsUntilItIsStored)
{
    start();
    process();
    auto& buffer = ZECrashTimeLogBuffer::shared();
    auto& group = *ZEZavEdurov::channelGroup();
    const int before = buffer.usedSlotCount();
    crashes->channelDidPrepareLog(group, std::make_shared<ZEAppleErrorLog>(), "crash", ZEFlagsNormal);
    crashes->channelDidPrepareLog(group, ZEErrorAttachmentLog::attachmentWithText("a", std::nullopt), "attachment", ZEFlagsNormal);
    EXPECT_EQ(buffer.usedSlotCount(), before);
    crashes->channelDidPrepareLog(group, std::make_shared<ZEHandledErrorLog>(), "handled", ZEFlagsNormal);
    EXPECT_EQ(buffer.usedSlotCount(), before + 1);
    crashes->channelDidCompleteEnqueueingLog(group, nullptr, "handled");
    EXPECT_EQ(buffer.usedSlotCount(), before);
}

TEST_F(CrashServiceTest, caughtApplicationExceptionsAreForwardedOnlyWhenTheApplicationAskedForIt)
{
    ZEApplicationForwarder::registerForwarding();
    EXPECT_FALSE(ZEApplicationForwarder::isForwarding());
    EXPECT_EQ(countLogs(ZELogLevelInfo,
                  "Catching uncaught exceptions thrown on the main thread disabled. Set `NSApplicationCrashOnExceptions` flag before SDK initialization, to allow crash on uncaught exceptions and the SDK can report them."),
        1);
    settings->setObject(kZECrashOnExceptionsKey, true);
    ZEApplicationForwarder::registerForwarding();
    EXPECT_TRUE(ZEApplicationForwarder::isForwarding());
}

TEST_F(CrashServiceTest, aSixtyFirstLogTakesTheSlotFilledLongestAgo)
{
    auto& buffer = ZECrashTimeLogBuffer::shared();
    buffer.setup(home / "buffer");
    for (int index = 0; index < kZECrashTimeLogSlotCount; ++index) {
        // Slot 5 was filled first; the rest share one moment.
        buffer.store({'x'}, "", "log-" + std::to_string(index), index == 5 ? 1.0 : 2.0);
    }
    buffer.store({'y'}, "", "log-new", 3.0);
    EXPECT_EQ(buffer.usedSlotCount(), kZECrashTimeLogSlotCount);
    buffer.clear("log-5");
    EXPECT_EQ(buffer.usedSlotCount(), kZECrashTimeLogSlotCount) << "log-5 was the one replaced";
    buffer.clear("log-0");
    EXPECT_EQ(buffer.usedSlotCount(), kZECrashTimeLogSlotCount - 1);
    buffer.clear("log-new");
    EXPECT_EQ(buffer.usedSlotCount(), kZECrashTimeLogSlotCount - 2);
}

} // namespace
} // namespace ze
