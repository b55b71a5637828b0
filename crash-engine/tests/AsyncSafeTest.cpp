#include "crash-engine/AsyncSafe.h"

#include <gtest/gtest.h>

TEST(AsyncSafeTest, Placeholder)
{
    EXPECT_STREQ(cecrash_async_error_message(10), "Unhandled error code");
}
