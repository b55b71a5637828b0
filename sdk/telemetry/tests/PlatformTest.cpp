#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEClock.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEFileIO.h"
#include "sdk/telemetry/Internals/Util/Platform/ZENetworkMonitor.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESecretStore.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESerialQueue.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESettingsBacking.h"
#include "sdk/telemetry/Internals/Util/Platform/ZESystemFacts.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <fstream>
#include <future>
#include <latch>
#include <set>
#include <thread>
#include <vector>

namespace ze {
namespace {

using namespace std::chrono_literals;

std::filesystem::path tempFile(const std::string& name)
{
    const auto folder = std::filesystem::temp_directory_path() / ("zavedurov-platform-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto path = folder / name;
    std::filesystem::remove(path);
    return path;
}

TEST(ZESerialQueueTest, RunsTasksAndDueTimersInOrderOnTheManualClock)
{
    auto clock = std::make_shared<ZEManualClock>();
    ZESerialQueue queue("test", clock);
    std::vector<std::string> order;
    queue.after(2s, [&] { order.push_back("after 2"); });
    queue.after(1s, [&] { order.push_back("after 1"); });
    queue.async([&] { order.push_back("async"); });
    auto cancelled = queue.after(1s, [&] { order.push_back("cancelled"); });
    cancelled.cancel();
    EXPECT_TRUE(cancelled.isCancelled());
    EXPECT_EQ(queue.label(), "test");
    queue.drain();
    EXPECT_EQ(order, (std::vector<std::string>{"async"}));

    clock->advance(1s);
    queue.drain();
    EXPECT_EQ(order, (std::vector<std::string>{"async", "after 1"}));
    clock->advance(5s);
    queue.drain();
    EXPECT_EQ(order, (std::vector<std::string>{"async", "after 1", "after 2"}));
}

TEST(ZESerialQueueTest, RepeatingTimerFiresOncePerIntervalAndStopsWhenCancelled)
{
    auto clock = std::make_shared<ZEManualClock>();
    ZESerialQueue queue("test", clock);
    int fired = 0;
    auto timer = queue.every(6s, [&] { ++fired; });
    clock->advance(5s);
    queue.drain();
    EXPECT_EQ(fired, 0);
    clock->advance(1s);
    queue.drain();
    EXPECT_EQ(fired, 1);
    // Missed firings are coalesced into one.
    clock->advance(30s);
    queue.drain();
    EXPECT_EQ(fired, 2);
    timer.cancel();
    clock->advance(60s);
    queue.drain();
    EXPECT_EQ(fired, 2);
}

TEST(ZESerialQueueTest, SyncWithTimeoutReturnsWhileTheTaskGoesOnRunning)
{
    ZESerialQueue queue("test");
    std::latch release(1);
    std::atomic<bool> finished = false;
    EXPECT_FALSE(queue.syncWithTimeout(20ms, [&] {
        release.wait();
        finished = true;
    }));
    EXPECT_FALSE(finished);
    release.count_down();
    queue.drain();
    EXPECT_TRUE(finished);
    EXPECT_TRUE(queue.syncWithTimeout(10s, [] {}));
}

TEST(ZESerialQueueTest, SyncOnTheQueueItselfRunsInline)
{
    ZESerialQueue queue("test");
    bool inner = false;
    queue.sync([&] {
        EXPECT_TRUE(queue.isCurrent());
        queue.sync([&] { inner = true; });
    });
    EXPECT_TRUE(inner);
    EXPECT_FALSE(queue.isCurrent());

    // A bounded wait for a task behind the running one cannot succeed; it must not block either.
    std::vector<int> order;
    queue.sync([&] {
        EXPECT_FALSE(queue.syncWithTimeout(std::chrono::milliseconds::max(), [&] { order.push_back(2); }));
        order.push_back(1);
    });
    queue.drain();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

// Callers waiting to sync are woken one at a time: every one of them must still get its turn,
// never two at once, with async tasks, due timers and drains in between.
TEST(ZESerialQueueTest, ManyThreadsSyncingAllRunOneAtATime)
{
    auto clock = std::make_shared<ZEManualClock>();
    ZESerialQueue queue("test", clock);
    constexpr int kThreads = 12;
    constexpr int kCalls = 150;
    int inside = 0;
    int overlaps = 0;
    int synced = 0;
    std::atomic<int> posted{0};
    const auto enter = [&] {
        overlaps += inside++ != 0;
        --inside;
    };
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < kCalls; ++i) {
                if (i % 10 == t % 10) {
                    queue.async([&] { enter(); });
                    queue.after(1s, [&] { enter(); });
                    posted += 2;
                }
                if (i % 7 == t % 7) {
                    queue.drain();
                }
                queue.sync([&] {
                    enter();
                    ++synced;
                });
                if (t == 0 && i % 25 == 0) {
                    clock->advance(1s);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    clock->advance(1s);
    queue.drain();
    EXPECT_EQ(synced, kThreads * kCalls);
    EXPECT_EQ(overlaps, 0);
    EXPECT_GT(posted.load(), 0);
}

// Answers once the queue's worker has run a task and gone to sleep: it gives the queue up only
// in its wait.
void letTheWorkerSleep(ZESerialQueue& queue)
{
    queue.async([] {});
    queue.drain();
}

// The worker sleeps through syncs that leave it nothing to do, so whatever a borrowed queue does
// leave it must wake it: nobody drains here, the work has to run by itself.
TEST(ZESerialQueueTest, WorkLeftBehindByASyncRunsWithoutAnyoneWaitingForIt)
{
    struct Case {
        const char* name;
        bool wallClock;
        std::function<void(ZESerialQueue&, ZEManualClock*, std::function<void()>)> arrange;
    };
    const std::vector<Case> cases = {
        {"a task queued during the sync", false,
            [](ZESerialQueue& queue, ZEManualClock*, std::function<void()> done) {
                queue.sync([&] { queue.async(done); });
            }},
        {"a timer due at once, scheduled during the sync", false,
            [](ZESerialQueue& queue, ZEManualClock*, std::function<void()> done) {
                queue.sync([&] { queue.after(0ms, done); });
            }},
        {"the manual clock moved past a timer during the sync", false,
            [](ZESerialQueue& queue, ZEManualClock* clock, std::function<void()> done) {
                queue.after(1s, done);
                queue.sync([&] { clock->advance(1s); });
            }},
        {"a wall-clock timer scheduled during the sync, the worker asleep with no timer", true,
            [](ZESerialQueue& queue, ZEManualClock*, std::function<void()> done) {
                queue.sync([&] { queue.after(1ms, done); });
            }},
        {"a wall-clock timer nearer than the one the worker sleeps to", true,
            [](ZESerialQueue& queue, ZEManualClock*, std::function<void()> done) {
                queue.after(1h, [] {});
                letTheWorkerSleep(queue);
                queue.sync([&] { queue.after(1ms, done); });
            }},
    };
    for (const auto& testCase : cases) {
        auto manual = std::make_shared<ZEManualClock>();
        ZESerialQueue queue("test", testCase.wallClock ? ZEClock::system() : std::shared_ptr<ZEClock>(manual));
        letTheWorkerSleep(queue);
        std::promise<void> ran;
        testCase.arrange(queue, manual.get(), [&ran] { ran.set_value(); });
        const bool finished = ran.get_future().wait_for(10s) == std::future_status::ready;
        EXPECT_TRUE(finished) << testCase.name;
        if (!finished) {
            queue.drain();
        }
    }
}

// A manual clock that moves without telling the queues: a timer it has made due is found only by
// whoever looks next, and one who finds it must not wait for a worker that nobody woke.
class UnannouncedClock final : public ZEClock {
public:
    ZEDate now() const override { return now_.load(); }
    bool isManual() const override { return true; }
    void advance(std::chrono::milliseconds by) { now_ = now_.load() + by; }

private:
    std::atomic<ZEDate> now_{ZEDate(std::chrono::seconds(1'600'000'000))};
};

TEST(ZESerialQueueTest, SyncAndDrainRunATimerThatCameDueUnannouncedFirst)
{
    const std::vector<std::pair<const char*, std::function<void(ZESerialQueue&, std::vector<std::string>&)>>> waits = {
        {"sync", [](ZESerialQueue& queue, std::vector<std::string>& order) { queue.sync([&] { order.push_back("sync"); }); }},
        {"drain", [](ZESerialQueue& queue, std::vector<std::string>&) { queue.drain(); }},
    };
    for (const auto& [name, wait] : waits) {
        auto clock = std::make_shared<UnannouncedClock>();
        ZESerialQueue queue("test", clock);
        std::vector<std::string> order;
        queue.after(1s, [&] { order.push_back("timer"); });
        letTheWorkerSleep(queue);
        clock->advance(1s);
        auto waited = std::async(std::launch::async, [&, wait = wait] { wait(queue, order); });
        const bool finished = waited.wait_for(10s) == std::future_status::ready;
        EXPECT_TRUE(finished) << name << " waited for a worker nobody woke";
        if (!finished) {
            queue.async([] {});
        }
        waited.get();
        EXPECT_EQ(order.front(), "timer") << name;
    }
}

// A channel cancels its flush timer and schedules a new one on every enqueue: the cancelled ones
// must go without taking a live one along.
TEST(ZESerialQueueTest, ManyCancelledTimersLeaveTheLiveOnesFiring)
{
    auto clock = std::make_shared<ZEManualClock>();
    ZESerialQueue queue("test", clock);
    int ticks = 0;
    auto repeating = queue.every(10s, [&] { ++ticks; });
    std::vector<int> fired;
    ZETimer latest;
    for (int i = 0; i < 1000; ++i) {
        latest.cancel();
        latest = queue.after(1s + std::chrono::milliseconds(i), [&fired, i] { fired.push_back(i); });
    }
    clock->advance(2s);
    queue.drain();
    EXPECT_EQ(fired, (std::vector<int>{999}));
    clock->advance(8s);
    queue.drain();
    EXPECT_EQ(ticks, 1);
}

TEST(ZEJsonFileSettingsTest, KeepsEveryKindAcrossInstancesAndIgnoresACorruptFile)
{
    const auto file = tempFile("settings.json");
    const ZEDate date = ZEDateFromSeconds(1'500'000'000.123456);
    {
        ZEJsonFileSettings settings(file);
        settings.setObject("bool", true);
        settings.setObject("int", std::int64_t{-42});
        settings.setObject("double", 2.5);
        settings.setObject("text", std::string("a/b"));
        settings.setObject("date", date);
        settings.setObject("data", ZEData{0, 1, 255});
        settings.setObject("gone", std::string("x"));
        settings.removeObject("gone");
    }
    ZEJsonFileSettings reread(file);
    EXPECT_EQ(reread.objectForKey("bool"), ZESettingValue(true));
    EXPECT_EQ(reread.objectForKey("int"), ZESettingValue(std::int64_t{-42}));
    EXPECT_EQ(reread.objectForKey("double"), ZESettingValue(2.5));
    EXPECT_EQ(reread.objectForKey("text"), ZESettingValue(std::string("a/b")));
    EXPECT_EQ(reread.objectForKey("date"), ZESettingValue(std::chrono::time_point_cast<std::chrono::microseconds>(date)));
    EXPECT_EQ(reread.objectForKey("data"), ZESettingValue(ZEData{0, 1, 255}));
    EXPECT_FALSE(reread.objectForKey("gone"));
    EXPECT_EQ(reread.dictionaryRepresentation().size(), 6u);

    std::ofstream(file) << "{ not json";
    EXPECT_TRUE(ZEJsonFileSettings(file).dictionaryRepresentation().empty());
}

TEST(ZEFileSecretStoreTest, AnswersTheKeychainStatusesAndKeepsItsFilePrivate)
{
    const auto file = tempFile("secrets");
    ZEFileSecretStore store(file);
    ZESecretItem item;
    item.service = "svc";
    item.account = "key";
    item.value = "secret";
    EXPECT_EQ(store.add(item), kZESecSuccess);
    EXPECT_EQ(store.add(item), kZESecDuplicateItem);

    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    ZEFileSecretStore reread(file);
    std::string value;
    EXPECT_EQ(reread.copyMatching(item, value), kZESecSuccess);
    EXPECT_EQ(value, "secret");
    ZESecretItem other = item;
    other.account = "other";
    EXPECT_EQ(reread.copyMatching(other, value), kZESecItemNotFound);
    EXPECT_EQ(reread.remove(other), kZESecItemNotFound);
    ZESecretItem wholeService;
    wholeService.service = "svc";
    EXPECT_EQ(reread.remove(wholeService), kZESecSuccess);
    EXPECT_EQ(reread.copyMatching(item, value), kZESecItemNotFound);
}

TEST(ZEFileSecretStoreTest, WritesOnlyThroughAFileItCreatedItselfInAPrivateFolder)
{
    const auto file = tempFile("planted/secrets");
    std::filesystem::create_directories(file.parent_path());
    ::chmod(file.parent_path().c_str(), 0755);
    const auto victim = tempFile("victim");
    std::ofstream(victim) << "victim";
    ::chmod(victim.c_str(), 0644);
    // A link planted where a careless writer would put its temporary file.
    std::filesystem::create_symlink(victim, file.string() + ".tmp");

    ZEFileSecretStore store(file);
    ZESecretItem item;
    item.service = "svc";
    item.account = "key";
    item.value = "secret";
    ASSERT_EQ(store.add(item), kZESecSuccess);

    EXPECT_EQ(*ZEReadFile(victim), "victim");
    struct stat info {};
    ASSERT_EQ(::stat(victim.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    ASSERT_EQ(::lstat(file.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    ASSERT_EQ(::stat(file.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    std::string value;
    EXPECT_EQ(ZEFileSecretStore(file).copyMatching(item, value), kZESecSuccess);
    EXPECT_EQ(value, "secret");
}

TEST(ZEFileSecretStoreTest, NeverWritesOverAFileItCouldNotRead)
{
    ZESecretItem item;
    item.service = "svc";
    item.account = "new";
    item.value = "v";
    std::string value;

    // Damaged: the file is set aside whole, the items that could be read are kept.
    const auto damaged = tempFile("damaged");
    std::filesystem::remove(damaged.string() + ".damaged-1");
    const std::string text = R"([{"class":"genp","service":"svc","account":"good","value":"Zw=="},{"class":"genp"}])";
    std::ofstream(damaged) << text;
    ZEFileSecretStore store(damaged);
    ASSERT_EQ(store.add(item), kZESecSuccess);
    EXPECT_EQ(ZEReadFile(damaged.string() + ".damaged-1"), text);
    ZEFileSecretStore reread(damaged);
    ZESecretItem good = item;
    good.account = "good";
    EXPECT_EQ(reread.copyMatching(good, value), kZESecSuccess);
    EXPECT_EQ(value, "g");
    EXPECT_EQ(reread.copyMatching(item, value), kZESecSuccess);

    // Damage around whole items: every item that can be read is kept, in this launch and the
    // next, though nothing was written in between.
    const std::string first = R"({"class":"genp","service":"svc","account":"first","value":"MQ=="})";
    const std::string second = R"({"class":"genp","service":"svc","account":"second","value":"Mg=="})";
    for (const std::string& broken : {"[" + first + "," + second + "]\nstray line\n",
             "[" + first + "," + R"({"class":"genp","serv)" + "," + second + "]",
             "[" + first + "," + second + R"(,{"class":"genp","service":"s)", "garbage before [" + first + "," + second + "]"}) {
        const auto file = tempFile("damaged-items");
        std::filesystem::remove(file.string() + ".damaged-1");
        std::ofstream(file) << broken;
        {
            ZEFileSecretStore thisLaunch(file);
        }
        EXPECT_EQ(ZEReadFile(file.string() + ".damaged-1"), broken);
        ZEFileSecretStore nextLaunch(file);
        for (const auto& [account, expected] : {std::pair{"first", "1"}, std::pair{"second", "2"}}) {
            ZESecretItem query = item;
            query.account = account;
            EXPECT_EQ(nextLaunch.copyMatching(query, value), kZESecSuccess) << account << " of " << broken;
            EXPECT_EQ(value, expected);
        }
    }

    // Unreadable (a folder in its place): nothing is written over it, and every write reports
    // failure and says why in the SDK's log, naming the file.
    const auto unreadable = tempFile("unreadable");
    std::filesystem::remove_all(unreadable);
    std::filesystem::create_directories(unreadable / "inside");
    std::vector<std::string> errors;
    const ZELogLevel savedLevel = ZELogger::currentLogLevel();
    ZELogger::setCurrentLogLevel(ZELogLevelWarning);
    ZELogger::setLogHandler([&errors](const ZELogMessageProvider& message, ZELogLevel level, const std::string&, const char*,
                                const char*, std::uint32_t) {
        if (level == ZELogLevelError && message) {
            errors.push_back(message());
        }
    });
    ZEFileSecretStore refused(unreadable);
    ZELogger::flush();
    for (const char* account : {"first", "second"}) {
        ZESecretItem another = item;
        another.account = account;
        errors.clear();
        EXPECT_EQ(refused.add(another), kZESecIO);
        ZELogger::flush();
        ASSERT_EQ(errors.size(), 1u) << account;
        EXPECT_NE(errors[0].find(unreadable.string()), std::string::npos) << errors[0];
        EXPECT_NE(errors[0].find("a folder is in its place"), std::string::npos) << errors[0];
    }
    ZELogger::setLogHandler(nullptr);
    ZELogger::setCurrentLogLevel(savedLevel);
    EXPECT_TRUE(std::filesystem::is_directory(unreadable / "inside"));
}

TEST(ZECryptoTest, MatchesPublishedVectors)
{
    auto hex = [](const std::string& text) {
        ZEData out;
        for (std::size_t i = 0; i < text.size(); i += 2) {
            out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        }
        return out;
    };
    // NIST SP 800-38A, CBC-AES256 first block; PKCS#7 adds one block of padding.
    const ZEData key = hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const ZEData iv = hex("000102030405060708090a0b0c0d0e0f");
    const ZEData plain = hex("6bc1bee22e409f96e93d7e117393172a");
    const auto cipher = crypto::aes256Cbc(true, plain, iv, key);
    ASSERT_TRUE(cipher);
    ASSERT_EQ(cipher->size(), 32u);
    EXPECT_EQ(crypto::hex(ZEData(cipher->begin(), cipher->begin() + 16)), "f58c4c04d6e5f1ba779eabfb5f7bfbd6");
    EXPECT_EQ(crypto::aes256Cbc(false, *cipher, iv, key), plain);
    EXPECT_FALSE(crypto::aes256Cbc(false, *cipher, iv, hex(std::string(64, '0'))));

    // RFC 4231 test case 2.
    EXPECT_EQ(crypto::hex(crypto::hmacSha256(crypto::bytes("Jefe"), crypto::bytes("what do ya want for nothing?"))),
        "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    EXPECT_EQ(crypto::hex(crypto::sha256(crypto::bytes("abc"))),
        "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(ZECryptoTest, Base64StrictAndLenient)
{
    const struct {
        std::string text;
        std::string bytes;
    } cases[] = {{"", ""}, {"Zg==", "f"}, {"Zm8=", "fo"}, {"Zm9v", "foo"}, {"Zm9vYg==", "foob"}, {"+/8=", "\xfb\xff"}};
    for (const auto& c : cases) {
        EXPECT_EQ(crypto::base64Encode(crypto::bytes(c.bytes)), c.text);
        EXPECT_EQ(crypto::base64Decode(c.text), crypto::bytes(c.bytes)) << c.text;
    }
    for (const char* bad : {"Zg=", "Z===", "Zm9v\n", "Zm=v", "Zm9*", "Zm9\xff"}) {
        EXPECT_FALSE(crypto::base64Decode(bad)) << bad;
    }
    EXPECT_EQ(crypto::base64DecodeIgnoringUnknown("Zm9v\nYg*=="), crypto::bytes("foob"));
    EXPECT_EQ(crypto::base64DecodeIgnoringUnknown("\xffZm9v\x80"), crypto::bytes("foo"));
    EXPECT_EQ(crypto::base64DecodeIgnoringUnknown("Zm9vYg==Zm9v"), crypto::bytes("foob"));
    EXPECT_FALSE(crypto::base64DecodeIgnoringUnknown("Zm9v Y"));
}

// Whole groups are decoded apart from the rest: a character to skip or padding may come at any
// place, after any number of groups.
TEST(ZECryptoTest, Base64ReadsBackEveryLengthWithSkippedCharactersAnywhere)
{
    ZEData bytes;
    for (int length = 0; length <= 20; ++length) {
        const std::string text = crypto::base64Encode(bytes);
        EXPECT_EQ(crypto::base64Decode(text), bytes) << text;
        for (std::size_t at = 0; at <= text.size(); ++at) {
            std::string spaced = text;
            spaced.insert(at, "\n");
            EXPECT_EQ(crypto::base64DecodeIgnoringUnknown(spaced), bytes) << spaced;
        }
        EXPECT_EQ(crypto::base64DecodeIgnoringUnknown(text + "=AAAA"), bytes) << text;
        bytes.push_back(static_cast<std::uint8_t>(length * 37 + 11));
    }
}

// Lenient decoding passes over every byte outside the alphabet, in each place of a group.
TEST(ZECryptoTest, Base64SkipsEveryByteOutsideTheAlphabetInEveryPlace)
{
    const std::string text = "Zm9vYmFy";
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        if (std::isalnum(byte) || c == '+' || c == '/' || c == '=') {
            continue;
        }
        for (std::size_t at = 0; at < 4; ++at) {
            std::string spaced = text;
            spaced.insert(at, 1, c);
            EXPECT_EQ(crypto::base64DecodeIgnoringUnknown(spaced), crypto::bytes("foobar")) << byte << " at " << at;
        }
    }
}

TEST(ZECryptoTest, Base64EncodesEveryCharacterOfTheAlphabet)
{
    const std::string bytes("\x00\x10\x83\x10\x51\x87\x20\x92\x8b\x30\xd3\x8f\x41\x14\x93\x51\x55\x97\x61\x96\x9b\x71\xd7"
                            "\x9f\x82\x18\xa3\x92\x59\xa7\xa2\x9a\xab\xb2\xdb\xaf\xc3\x1c\xb3\xd3\x5d\xb7\xe3\x9e\xbb\xf3"
                            "\xdf\xbf",
        48);
    EXPECT_EQ(crypto::base64Encode(crypto::bytes(bytes)), "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
    EXPECT_EQ(crypto::base64Encode(crypto::bytes(bytes + "\xff")), "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+//w==");
}

TEST(ZECryptoTest, FailingRandomSourceLeavesNothing)
{
    crypto::setRandomSource([](std::uint8_t*, std::size_t) { return -9; });
    ZEData out{1, 2, 3};
    EXPECT_EQ(crypto::randomBytes(16, out), -9);
    EXPECT_TRUE(out.empty());
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(crypto::randomBytes(buffer, sizeof buffer), -9);
    crypto::setRandomSource(nullptr);
    EXPECT_EQ(crypto::randomBytes(16, out), 0);
    EXPECT_EQ(out.size(), 16u);
    // More than the kernel hands out in one call.
    ZEData large;
    EXPECT_EQ(crypto::randomBytes(100'000, large), 0);
    ASSERT_EQ(large.size(), 100'000u);
    EXPECT_NE(std::count(large.begin(), large.end(), 0), 100'000);
}

TEST(ZEUuidTest, WritesUpperCaseVersion4AndReadsEitherCase)
{
    const ZEUuid uuid = ZEUuid::create();
    const std::string text = uuid.UUIDString();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    EXPECT_EQ(ZEUuid::fromString(text), uuid);
    EXPECT_NE(ZEUuid::create(), uuid);
    EXPECT_EQ(ZEUuid::fromString("00112233-4455-6677-8899-aabbccddeeff")->UUIDString(),
        "00112233-4455-6677-8899-AABBCCDDEEFF");
    for (const char* bad : {"", "00112233-4455-6677-8899-aabbccddeef", "0011223344556677-8899-aabbccddeeff0",
             "00112233-4455-6677-8899-aabbccddeefg"}) {
        EXPECT_FALSE(ZEUuid::fromString(bad)) << bad;
    }
}

// A forked child and its parent must never hand out the same identifier, from the system's
// source or, when that fails, from the fallback generator the parent had already used.
TEST(ZEUuidTest, AForkedChildMakesIdentifiersItsParentDoesNot)
{
    constexpr int kCount = 64;
    for (const bool failingSource : {false, true}) {
        if (failingSource) {
            crypto::setRandomSource([](std::uint8_t*, std::size_t) { return -1; });
        }
        (void)ZEUuid::create();
        int channel[2];
        ASSERT_EQ(pipe(channel), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(channel[0]);
            for (int i = 0; i < kCount; ++i) {
                const std::string text = ZEUuid::create().UUIDString();
                if (write(channel[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
                    _exit(1);
                }
            }
            _exit(0);
        }
        close(channel[1]);
        std::set<std::string> parent;
        for (int i = 0; i < kCount; ++i) {
            parent.insert(ZEUuid::create().UUIDString());
        }
        std::string received;
        char chunk[4096];
        for (ssize_t got; (got = read(channel[0], chunk, sizeof chunk)) > 0;) {
            received.append(chunk, static_cast<std::size_t>(got));
        }
        close(channel[0]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        crypto::setRandomSource(nullptr);
        ASSERT_EQ(received.size(), 36u * kCount);
        std::set<std::string> all = parent;
        for (std::size_t at = 0; at < received.size(); at += 36) {
            const std::string text = received.substr(at, 36);
            EXPECT_EQ(text[14], '4') << text;
            all.insert(text);
        }
        EXPECT_EQ(all.size(), 2u * kCount) << (failingSource ? "fallback generator" : "system source");
    }
}

TEST(ZELinuxNetworkMonitorTest, ReadsTheRoutesAndStartsAndStopsItsWatcher)
{
    ZELinuxNetworkMonitor monitor;
    std::uint32_t flags = 0xff;
    ASSERT_TRUE(monitor.flags(flags));
    EXPECT_TRUE(flags == 0 || flags == kZEReachabilityReachable);
    if (monitor.start([] {})) {
        EXPECT_TRUE(monitor.start([] {}));
        monitor.stop();
    }
    monitor.stop();
}

TEST(ZESystemFactsTest, DescribesThisMachine)
{
    const ZESystemFacts facts = ZESystemFacts::current();
    EXPECT_FALSE(facts.model.empty());
    EXPECT_FALSE(facts.osName.empty());
    EXPECT_FALSE(facts.osBuild.empty());
    EXPECT_FALSE(facts.language.empty());
    EXPECT_EQ(std::count(facts.osVersion.begin(), facts.osVersion.end(), '.'), 2);
}

} // namespace
} // namespace ze
