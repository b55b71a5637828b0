#include "sdk/crash-engine/AsyncOutputFile.h"
#include "sdk/crash-engine/AsyncSafe.h"
#include "sdk/crash-engine/CECrashProcessInfo.h"
#include "sdk/crash-engine/linux/MemoryReader.h"
#include "sdk/crash-engine/tests/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

TEST(AsyncSafeTest, ErrorMessagesCoverTheTableAndNothingElse)
{
    EXPECT_STREQ(cecrash_async_error_message(0), "No error");
    EXPECT_STREQ(cecrash_async_error_message(9), "The input data is in an unknown or invalid format.");
    EXPECT_STREQ(cecrash_async_error_message(10), "Unhandled error code");
    EXPECT_STREQ(cecrash_async_error_message(-1), "Unhandled error code");
}

TEST(AsyncSafeTest, OffsetAddressRefusesToWrapEitherWay)
{
    uint64_t result = 0;
    EXPECT_TRUE(cecrash_async_offset_address(100, -100, &result));
    EXPECT_EQ(result, 0u);
    EXPECT_FALSE(cecrash_async_offset_address(100, -101, &result));
    EXPECT_TRUE(cecrash_async_offset_address(UINT64_MAX - 1, 1, &result));
    EXPECT_EQ(result, UINT64_MAX);
    EXPECT_FALSE(cecrash_async_offset_address(UINT64_MAX, 1, &result));
    EXPECT_FALSE(cecrash_async_offset_address(0, INT64_MIN, &result));
}

TEST(AsyncSafeTest, DecimalTextFitsEveryThirtyTwoBitValue)
{
    struct Case {
        int64_t value;
        const char* text;
    };
    const Case cases[] = {{0, "#0"}, {3, "#3"}, {-6, "#-6"}, {INT32_MAX, "#2147483647"}, {INT32_MIN, "#-2147483648"}};
    for (const Case& c : cases) {
        char buffer[16];
        EXPECT_EQ(cecrash_async_format_int(buffer, sizeof(buffer), "#", c.value), strlen(c.text));
        EXPECT_STREQ(buffer, c.text);
    }
    char small[4];
    EXPECT_EQ(cecrash_async_format_int(small, sizeof(small), "#", 1234), 0u);
}

TEST(AsyncSafeTest, StringComparisonsStopAtTheBound)
{
    EXPECT_EQ(cecrash_async_compare_strings("abc", "abc"), 0);
    EXPECT_LT(cecrash_async_compare_strings("abc", "abd"), 0);
    EXPECT_GT(cecrash_async_compare_strings("abcd", "abc"), 0);
    EXPECT_EQ(cecrash_async_compare_strings_bounded("abcX", "abcY", 3), 0);
    EXPECT_NE(cecrash_async_compare_strings_bounded("abcX", "abcY", 4), 0);
}

TEST(AsyncSafeTest, MemoryReadsNeverFault)
{
    const long page = sysconf(_SC_PAGESIZE);
    void* mapped = mmap(nullptr, static_cast<size_t>(page) * 2, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    auto* bytes = static_cast<uint8_t*>(mapped);
    bytes[0] = 0x11;
    bytes[1] = 0x22;
    // The second page becomes unreadable, then a page beyond the mapping is unmapped.
    ASSERT_EQ(mprotect(bytes + page, static_cast<size_t>(page), PROT_NONE), 0);
    const uint64_t base = reinterpret_cast<uint64_t>(bytes);

    uint8_t out[2] = {};
    EXPECT_EQ(cecrash_async_copy_from_task(base, 0, out, 2), CECRASH_ESUCCESS);
    EXPECT_EQ(out[1], 0x22);
    EXPECT_EQ(cecrash_async_copy_from_task(base, page, out, 1), CECRASH_EACCESS);
    // A read that starts readable and runs into the protected page fails as a whole.
    EXPECT_EQ(cecrash_async_copy_from_task(base, page - 1, out, 2), CECRASH_EACCESS);
    EXPECT_EQ(cecrash_async_copy_from_task(UINT64_MAX - 2, 4, out, 1), CECRASH_ENOMEM);
    ASSERT_EQ(munmap(bytes + page, static_cast<size_t>(page)), 0);
    EXPECT_EQ(cecrash_async_copy_from_task(base, page, out, 1), CECRASH_ENOTFOUND);

    uint16_t value16 = 0;
    EXPECT_EQ(cecrash_async_task_fetch16(cecrash_async_byteorder_little_endian(), base, 0, &value16), CECRASH_ESUCCESS);
    EXPECT_EQ(value16, 0x2211);
    EXPECT_EQ(cecrash_async_task_fetch16(cecrash_async_byteorder_big_endian(), base, 0, &value16), CECRASH_ESUCCESS);
    EXPECT_EQ(value16, 0x1122);
    munmap(bytes, static_cast<size_t>(page));
}

TEST(AsyncSafeTest, Utf8PrefixEndsBeforeTheFirstBrokenCharacter)
{
    struct Case {
        std::string bytes;
        size_t prefix;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF\x41", 4},
        {"\x41\xC3", 1},
        {"\x41\x80\x42", 1},
        {"a\xC3\xA9z", 4},
        {"\xF0\x9F\x98\x80!", 5},
        {std::string("ab\0cd", 5), 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cecrash_sysctl_utf8_prefix_length(c.bytes.data(), c.bytes.size()), c.prefix) << c.bytes;
}

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = directory_.path() + "/out";
        descriptor_ = open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(descriptor_, 0);
    }

    std::string contents() const
    {
        std::ifstream in(path_, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    TemporaryDirectory directory_;
    std::string path_;
    int descriptor_ = -1;
};

TEST_F(OutputFileTest, RefusalAtTheLimitCutsTheFileCleanAndFailsTheClose)
{
    cecrash_async_output_file file;
    cecrash_async_output_file_attach(&file, descriptor_, 10);
    EXPECT_TRUE(cecrash_async_output_file_append(&file, "12345678", 8));
    EXPECT_FALSE(cecrash_async_output_file_append(&file, "abcd", 4));
    // Every later piece is refused too, even one that would fit: no hole in the middle.
    EXPECT_FALSE(cecrash_async_output_file_append(&file, "xy", 2));
    EXPECT_FALSE(cecrash_async_output_file_flush(&file));
    EXPECT_FALSE(cecrash_async_output_file_close(&file));
    EXPECT_EQ(file.descriptor, -1);
    EXPECT_EQ(contents(), "12345678");
}

TEST_F(OutputFileTest, PiecesWithinTheLimitAreBufferedAndLargeOnesGoStraightOut)
{
    cecrash_async_output_file file;
    cecrash_async_output_file_attach(&file, descriptor_, 0);
    const std::string large(300, 'L');
    EXPECT_TRUE(cecrash_async_output_file_append(&file, large.data(), large.size()));
    EXPECT_EQ(file.buffered, 0u);
    EXPECT_EQ(contents(), large);
    EXPECT_TRUE(cecrash_async_output_file_append(&file, "tail", 4));
    EXPECT_EQ(file.buffered, 4u);
    EXPECT_TRUE(cecrash_async_output_file_close(&file));
    EXPECT_EQ(contents(), large + "tail");
}

TEST_F(OutputFileTest, WriteErrorLeavesTheDescriptorOpen)
{
    cecrash_async_output_file file;
    const int readOnly = open(path_.c_str(), O_RDONLY);
    cecrash_async_output_file_attach(&file, readOnly, 0);
    EXPECT_TRUE(cecrash_async_output_file_append(&file, "abc", 3));
    EXPECT_FALSE(cecrash_async_output_file_close(&file));
    EXPECT_EQ(file.descriptor, readOnly);
    close(readOnly);
    close(descriptor_);
}

TEST_F(OutputFileTest, AFailedWriteRefusesEveryLaterPiece)
{
    // A piece lost to an I/O error must not be followed by later ones, whether it went
    // straight out or its buffer could not be emptied to make room for it.
    const size_t firstPieces[][2] = {{300, 0}, {200, 100}};
    for (const auto& pieces : firstPieces) {
        const int readOnly = open(path_.c_str(), O_RDONLY);
        cecrash_async_output_file file;
        cecrash_async_output_file_attach(&file, readOnly, 0);
        const std::string first(pieces[0], 'a');
        const std::string second(pieces[1], 'b');
        const bool firstAccepted = cecrash_async_output_file_append(&file, first.data(), first.size());
        const bool secondAccepted = second.empty() || cecrash_async_output_file_append(&file, second.data(), second.size());
        EXPECT_FALSE(firstAccepted && secondAccepted) << pieces[0];
        EXPECT_FALSE(cecrash_async_output_file_append(&file, "c", 1)) << pieces[0];
        EXPECT_FALSE(cecrash_async_output_file_close(&file)) << pieces[0];
        if (file.descriptor >= 0)
            close(file.descriptor);
    }
    close(descriptor_);
}

}  // namespace
