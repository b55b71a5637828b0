#include "sdk/crash-engine/FrameCursor.h"
#include "sdk/crash-engine/ThreadState.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

cecrash_async_thread_state state64()
{
    cecrash_async_thread_state state;
    EXPECT_EQ(cecrash_async_thread_state_init(&state, CECRASH_CPU_TYPE_X86_64), CECRASH_ESUCCESS);
    return state;
}

TEST(ThreadStateTest, InitialisationDependsOnTheCpuType)
{
    cecrash_async_thread_state state;
    EXPECT_EQ(cecrash_async_thread_state_init(&state, 12), CECRASH_ENOTSUP);
    ASSERT_EQ(cecrash_async_thread_state_init(&state, CECRASH_CPU_TYPE_X86), CECRASH_ESUCCESS);
    EXPECT_EQ(cecrash_async_thread_state_get_reg_count(&state), 16u);
    EXPECT_EQ(cecrash_async_thread_state_get_greg_size(&state), 4u);
    EXPECT_STREQ(cecrash_async_thread_state_get_reg_name(&state, 10), "trapno");
    // A 32-bit register keeps 32 bits; the trap number lives in the exception state.
    cecrash_async_thread_state_set_reg(&state, 3, 0x1'2345'6789);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&state, 3), 0x2345'6789u);
    cecrash_async_thread_state_set_reg(&state, 10, 14);
    EXPECT_EQ(state.exception.ues.es32.trapno, 14);

    state = state64();
    EXPECT_EQ(cecrash_async_thread_state_get_reg_count(&state), 21u);
    EXPECT_EQ(state.thread.tsh.flavor, CECRASH_X86_THREAD_STATE64);
    EXPECT_EQ(state.thread.tsh.count, 42);
    EXPECT_EQ(cecrash_async_thread_state_get_stackgrowth(&state), CECRASH_STACK_DIRECTION_DOWN);
    EXPECT_FALSE(cecrash_async_thread_state_has_reg(&state, CECRASH_REG_IP));
}

TEST(ThreadStateTest, RegisterNamesAndDwarfNumbersFollowTheTable)
{
    cecrash_async_thread_state state = state64();
    const char* const names[] = {"rip", "rbp", "rsp", "rax", "rbx", "rcx", "rdx", "rdi", "rsi", "r8", "r9",
                                 "r10", "r11", "r12", "r13", "r14", "r15", "rflags", "cs", "fs", "gs"};
    for (uint32_t reg = 0; reg < 21; ++reg)
        EXPECT_STREQ(cecrash_async_thread_state_get_reg_name(&state, reg), names[reg]);
    uint64_t dwarf = 0;
    EXPECT_FALSE(cecrash_async_thread_state_map_reg_to_dwarf(&state, CECRASH_REG_IP, &dwarf));
    ASSERT_TRUE(cecrash_async_thread_state_map_reg_to_dwarf(&state, 4, &dwarf));
    EXPECT_EQ(dwarf, 3u);
    uint32_t reg = 0;
    ASSERT_TRUE(cecrash_async_thread_state_map_dwarf_to_reg(&state, 7, &reg));
    EXPECT_EQ(reg, CECRASH_REG_SP);
    ASSERT_TRUE(cecrash_async_thread_state_map_dwarf_to_reg(&state, 55, &reg));
    EXPECT_EQ(reg, 20u);
    EXPECT_FALSE(cecrash_async_thread_state_map_dwarf_to_reg(&state, 16, &reg));
}

TEST(ThreadStateTest, ClearingVolatileRegistersKeepsTheCalleeSavedOnes)
{
    cecrash_async_thread_state state = state64();
    for (uint32_t reg = 0; reg < 21; ++reg)
        cecrash_async_thread_state_set_reg(&state, reg, reg);
    cecrash_async_thread_state_clear_volatile_regs(&state);
    std::vector<std::string> kept;
    for (uint32_t reg = 0; reg < 21; ++reg) {
        if (cecrash_async_thread_state_has_reg(&state, reg))
            kept.push_back(cecrash_async_thread_state_get_reg_name(&state, reg));
    }
    EXPECT_EQ(kept, (std::vector<std::string>{"rbp", "rsp", "rbx", "r12", "r13", "r14", "r15"}));
}

TEST(ThreadStateDeathTest, NamingARegisterBeyondTheCountIsFatal)
{
    cecrash_async_thread_state state = state64();
    EXPECT_DEATH(cecrash_async_thread_state_get_reg_name(&state, 21), "");
    cecrash_async_thread_state_init(&state, CECRASH_CPU_TYPE_X86);
    EXPECT_DEATH(cecrash_async_thread_state_get_reg_name(&state, 16), "");
}

__attribute__((noinline)) cecrash_error_t captureHere(cecrash_async_thread_state* out)
{
    return cecrash_async_capture_current_thread_state(
        [](cecrash_async_thread_state* state, void* context) {
            cecrash_async_thread_state_copy(static_cast<cecrash_async_thread_state*>(context), state);
            return CECRASH_ENOTFOUND;
        },
        out);
}

TEST(ThreadStateTest, CaptureDescribesTheCallerAtTheCall)
{
    cecrash_async_thread_state captured;
    // The callback's answer comes back as the capture's answer.
    ASSERT_EQ(captureHere(&captured), CECRASH_ENOTFOUND);
    // rip returns into captureHere, rbp is its frame, rsp its stack pointer before the call
    // less the return address and the saved frame pointer.
    const uint64_t rip = cecrash_async_thread_state_get_reg(&captured, CECRASH_REG_IP);
    const uint64_t function = reinterpret_cast<uint64_t>(&captureHere);
    EXPECT_GT(rip, function);
    EXPECT_LT(rip, function + 256);
    const uint64_t rbp = cecrash_async_thread_state_get_reg(&captured, CECRASH_REG_FP);
    const uint64_t rsp = cecrash_async_thread_state_get_reg(&captured, CECRASH_REG_SP);
    EXPECT_LT(rsp, rbp);
    EXPECT_LT(rbp - rsp, 4096u);
    EXPECT_EQ(cecrash_async_thread_state_get_reg_count(&captured), 21u);
    EXPECT_TRUE(cecrash_async_thread_state_has_reg(&captured, 20));

    // Walking on from the capture reaches this test body.
    cecrash_async_frame_cursor cursor;
    cecrash_async_frame_cursor_init(&cursor, nullptr, &captured);
    ASSERT_EQ(cecrash_async_frame_cursor_next(&cursor), CECRASH_FRAME_ESUCCESS);
    ASSERT_EQ(cecrash_async_frame_cursor_next(&cursor), CECRASH_FRAME_ESUCCESS);
    uint64_t caller = 0;
    ASSERT_EQ(cecrash_async_frame_cursor_get_reg(&cursor, CECRASH_REG_IP, &caller), CECRASH_FRAME_ESUCCESS);
    EXPECT_NE(caller, rip);
    cecrash_async_frame_cursor_free(&cursor);
}

// A stack made in memory: each record is {saved frame pointer, return address}.
class FrameCursorTest : public ::testing::Test {
protected:
    uint64_t at(size_t index) const { return reinterpret_cast<uint64_t>(&stack_[index]); }

    cecrash_async_thread_state start(uint64_t rip, uint64_t rbp)
    {
        cecrash_async_thread_state state = state64();
        cecrash_async_thread_state_set_reg(&state, CECRASH_REG_IP, rip);
        cecrash_async_thread_state_set_reg(&state, CECRASH_REG_FP, rbp);
        return state;
    }

    uint64_t ip(const cecrash_async_frame_cursor& cursor)
    {
        uint64_t value = 0;
        EXPECT_EQ(cecrash_async_frame_cursor_get_reg(&cursor, CECRASH_REG_IP, &value), CECRASH_FRAME_ESUCCESS);
        return value;
    }

    std::array<uint64_t, 16> stack_{};
};

TEST_F(FrameCursorTest, WalksTheFramePointerChainUntilAZeroFramePointer)
{
    stack_[0] = at(4);
    stack_[1] = 0x5000;
    stack_[4] = 0;
    stack_[5] = 0x6000;
    const cecrash_async_thread_state initial = start(0x4000, at(0));
    cecrash_async_frame_cursor cursor;
    cecrash_async_frame_cursor_init(&cursor, nullptr, &initial);
    ASSERT_EQ(cecrash_async_frame_cursor_next(&cursor), CECRASH_FRAME_ESUCCESS);
    EXPECT_EQ(ip(cursor), 0x4000u);
    ASSERT_EQ(cecrash_async_frame_cursor_next(&cursor), CECRASH_FRAME_ESUCCESS);
    EXPECT_EQ(ip(cursor), 0x5000u);
    // The caller frame knows its instruction and frame pointers, and its stack pointer just
    // above the record; nothing else.
    uint64_t value = 0;
    EXPECT_EQ(cecrash_async_frame_cursor_get_reg(&cursor, CECRASH_REG_SP, &value), CECRASH_FRAME_ESUCCESS);
    EXPECT_EQ(value, at(2));
    EXPECT_EQ(cecrash_async_frame_cursor_get_reg(&cursor, 4, &value), CECRASH_FRAME_ENOTSUP);
    ASSERT_EQ(cecrash_async_frame_cursor_next(&cursor), CECRASH_FRAME_ESUCCESS);
    EXPECT_EQ(ip(cursor), 0x6000u);
    EXPECT_EQ(cecrash_async_frame_cursor_next(&cursor), CECRASH_FRAME_ENOFRAME);
    EXPECT_EQ(cursor.depth, 3u);
    cecrash_async_frame_cursor_free(&cursor);
}

TEST_F(FrameCursorTest, ReadersListRulesAndTheLowestAcceptedAddress)
{
    stack_[0] = at(2);
    stack_[1] = 4097;
    stack_[2] = at(4);
    stack_[3] = 4096;
    const cecrash_async_thread_state initial = start(0x4000, at(0));
    cecrash_async_frame_cursor cursor;
    cecrash_async_frame_cursor_init(&cursor, nullptr, &initial);
    // The first frame is the initial state, readers or not.
    ASSERT_EQ(cecrash_async_frame_cursor_next_with_readers(&cursor, nullptr, 0), CECRASH_FRAME_ESUCCESS);
    EXPECT_EQ(cecrash_async_frame_cursor_next_with_readers(&cursor, nullptr, 0), CECRASH_FRAME_EINVAL);
    ASSERT_EQ(cecrash_async_frame_cursor_next(&cursor), CECRASH_FRAME_ESUCCESS);
    EXPECT_EQ(ip(cursor), 4097u);
    EXPECT_EQ(cecrash_async_frame_cursor_next(&cursor), CECRASH_FRAME_ENOFRAME);
    EXPECT_EQ(ip(cursor), 4097u);
    cecrash_async_frame_cursor_free(&cursor);
}

TEST_F(FrameCursorTest, FramePointerThatMovesDownTheStackIsCorrupt)
{
    stack_[4] = at(0);
    stack_[5] = 0x5000;
    stack_[0] = at(8);
    stack_[1] = 0x6000;
    const cecrash_async_thread_state initial = start(0x4000, at(4));
    cecrash_async_frame_cursor cursor;
    cecrash_async_frame_cursor_init(&cursor, nullptr, &initial);
    ASSERT_EQ(cecrash_async_frame_cursor_next(&cursor), CECRASH_FRAME_ESUCCESS);
    ASSERT_EQ(cecrash_async_frame_cursor_next(&cursor), CECRASH_FRAME_ESUCCESS);
    EXPECT_EQ(cecrash_async_frame_cursor_next(&cursor), CECRASH_FRAME_EBADFRAME);
    cecrash_async_frame_cursor_free(&cursor);
}

TEST_F(FrameCursorTest, WalkThatMakesNoProgressEnds)
{
    // A record whose saved frame pointer is its own address would yield its return address
    // until the frame cap.
    stack_[0] = at(0);
    stack_[1] = 0x5000;
    const cecrash_async_thread_state initial = start(0x4000, at(0));
    cecrash_async_frame_cursor cursor;
    cecrash_async_frame_cursor_init(&cursor, nullptr, &initial);
    std::vector<uint64_t> frames;
    while (frames.size() < 16 && cecrash_async_frame_cursor_next(&cursor) == CECRASH_FRAME_ESUCCESS)
        frames.push_back(ip(cursor));
    EXPECT_EQ(frames, (std::vector<uint64_t>{0x4000, 0x5000}));

    // Whatever the reader, a caller whose stack pointer does not lie above the callee's ends
    // the walk.
    cecrash_async_thread_state withStack = start(0x4000, at(0));
    cecrash_async_thread_state_set_reg(&withStack, CECRASH_REG_SP, at(4));
    cecrash_async_frame_cursor_free(&cursor);
    cecrash_async_frame_cursor_init(&cursor, nullptr, &withStack);
    cecrash_async_frame_cursor_next(&cursor);
    const cecrash_async_frame_reader stuck = [](cecrash_async_image_list*, const cecrash_async_thread_state* current,
                                                const cecrash_async_thread_state*, cecrash_async_thread_state* next) {
        cecrash_async_thread_state_copy(next, current);
        cecrash_async_thread_state_set_reg(next, CECRASH_REG_IP, 0x7000);
        return CECRASH_FRAME_ESUCCESS;
    };
    EXPECT_EQ(cecrash_async_frame_cursor_next_with_readers(&cursor, &stuck, 1), CECRASH_FRAME_EBADFRAME);
    cecrash_async_frame_cursor_free(&cursor);
}

TEST_F(FrameCursorTest, SecondStepHasNoPreviousFrameAndUnreadableRecordsAreCorrupt)
{
    const cecrash_async_thread_state initial = start(0x4000, at(0));
    cecrash_async_frame_cursor cursor;
    cecrash_async_frame_cursor_init(&cursor, nullptr, &initial);
    cecrash_async_frame_cursor_next(&cursor);
    static bool sawPrevious = true;
    const cecrash_async_frame_reader spy = [](cecrash_async_image_list*, const cecrash_async_thread_state*,
                                              const cecrash_async_thread_state* previous, cecrash_async_thread_state*) {
        sawPrevious = previous != nullptr;
        return CECRASH_FRAME_EUNKNOWN;
    };
    EXPECT_EQ(cecrash_async_frame_cursor_next_with_readers(&cursor, &spy, 1), CECRASH_FRAME_EUNKNOWN);
    EXPECT_FALSE(sawPrevious);

    cecrash_async_thread_state unreadable = start(0x4000, 8);
    cecrash_async_thread_state next;
    EXPECT_EQ(cecrash_async_frame_cursor_read_frame_ptr(nullptr, &unreadable, nullptr, &next), CECRASH_FRAME_EBADFRAME);
    EXPECT_STREQ(cecrash_async_frame_cursor_error_name(2), "No frames are available");
    EXPECT_STREQ(cecrash_async_frame_cursor_error_name(8), "Unhandled error code");
    cecrash_async_frame_cursor_free(&cursor);
}

}  // namespace
