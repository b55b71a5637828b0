#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZESerialQueue.h"

#include <gtest/gtest.h>

namespace ze {
namespace {

TEST(ZESerialQueueTest, Placeholder)
{
    ZESerialQueue queue("q");
    int ran = 0;
    queue.sync([&] { ++ran; });
    EXPECT_EQ(ran, 1);
}

} // namespace
} // namespace ze
