#include "sdk/telemetry/Internals/Model/CommonSchema/ZECSEpochAndSeq.h"
#include "sdk/telemetry/Internals/Util/ZETicketCache.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace ze {
namespace {

TEST(ZECSEpochAndSeqTableTest, NumbersEveryLogOfAKeyOnceAcrossThreads)
{
    ZECSEpochAndSeqTable table;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    std::vector<std::vector<ZECSEpochAndSeq>> stamped(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                stamped[t].push_back(table.next("o:key"));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::set<std::uint64_t> numbers;
    std::set<std::string> epochs;
    for (const auto& run : stamped) {
        for (const auto& stamp : run) {
            numbers.insert(stamp.seq);
            epochs.insert(stamp.epoch);
        }
    }
    EXPECT_EQ(numbers.size(), static_cast<std::size_t>(kThreads * kPerThread));
    EXPECT_EQ(*numbers.begin(), 1u);
    EXPECT_EQ(epochs.size(), 1u);

    EXPECT_EQ(table.next("o:other").seq, 1u);
    const std::string epoch = *epochs.begin();
    table.clear();
    const auto restarted = table.next("o:key");
    EXPECT_EQ(restarted.seq, 1u);
    EXPECT_NE(restarted.epoch, epoch);
}

TEST(ZETicketCacheTest, KeepsTheLatestTicketPerKey)
{
    auto& cache = ZETicketCache::sharedInstance();
    cache.setTicket("p:one", "key");
    cache.setTicket("p:two", "key");
    EXPECT_EQ(cache.ticketFor("key"), "p:two");
    EXPECT_FALSE(cache.ticketFor("other"));
    std::thread writer([&] {
        for (int i = 0; i < 1000; ++i) {
            cache.setTicket("d:" + std::to_string(i), "k" + std::to_string(i % 7));
        }
    });
    for (int i = 0; i < 1000; ++i) {
        (void)cache.ticketFor("k" + std::to_string(i % 7));
    }
    writer.join();
    cache.clearCache();
    EXPECT_FALSE(cache.ticketFor("key"));
}

} // namespace
} // namespace ze
