#include "sdk/crash-engine/compact/CompactUnwindReader.h"
#include "sdk/crash-engine/tests/ByteBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kNone = CECRASH_CFE_REG_NONE;

// A section with two common encodings and two first-level entries (and the sentinel): a
// regular page for functions 0x1000 and 0x1100, a compressed page for 0x2000 (common encoding
// 0) and 0x2080 (index 2: the page's first own encoding).
struct UnwindInfo {
    Bytes bytes;
    size_t compressedPage = 0;

    explicit UnwindInfo(uint32_t version = 1, uint32_t compressedKind = 3, uint8_t secondIndex = 2)
    {
        ByteBuilder b;
        b.u32(version).u32(28).u32(2).u32(0).u32(0).u32(36).u32(3);
        b.u32(0xc0de0000).u32(0xc0de0001);
        const size_t index = b.size();
        b.zeros(3 * 12);
        const size_t regular = b.size();
        b.u32(2).u16(8).u16(2).u32(0x1000).u32(0xaaaa).u32(0x1100).u32(0xbbbb);
        compressedPage = b.size();
        b.u32(compressedKind).u16(12).u16(2).u16(20).u16(1);
        b.u32(0x000000).u32(0x80u | (uint32_t{secondIndex} << 24)).u32(0xcccc);
        const uint32_t firstLevel[3][2] = {{0x1000, static_cast<uint32_t>(regular)},
                                           {0x2000, static_cast<uint32_t>(compressedPage)},
                                           {0x3000, 0}};
        for (int i = 0; i < 3; ++i) {
            b.patch(index + i * 12, firstLevel[i][0], 4);
            b.patch(index + i * 12 + 4, firstLevel[i][1], 4);
        }
        bytes = b.bytes();
    }
};

cecrash_async_mobject view(const Bytes& bytes)
{
    cecrash_async_mobject object;
    EXPECT_EQ(cecrash_async_mobject_init(&object, reinterpret_cast<uint64_t>(bytes.data()), bytes.size(), true), CECRASH_ESUCCESS);
    return object;
}

TEST(CompactUnwindReaderTest, FindsTheFunctionAndItsEncoding)
{
    UnwindInfo info;
    const cecrash_async_mobject object = view(info.bytes);
    cecrash_async_cfe_reader reader;
    ASSERT_EQ(cecrash_async_cfe_reader_init(&reader, &object, CECRASH_CPU_TYPE_X86_64), CECRASH_ESUCCESS);
    struct Case {
        uint32_t pc;
        cecrash_error_t error;
        uint32_t start;
        uint32_t encoding;
    };
    const Case cases[] = {
        {0x1050, CECRASH_ESUCCESS, 0x1000, 0xaaaa},
        {0x1100, CECRASH_ESUCCESS, 0x1100, 0xbbbb},
        {0x2000, CECRASH_ESUCCESS, 0x2000, 0xc0de0000},
        {0x2090, CECRASH_ESUCCESS, 0x2080, 0xcccc},
        // At the sentinel and beyond: the last real first-level entry.
        {0x3000, CECRASH_ESUCCESS, 0x2080, 0xcccc},
        {0x9000, CECRASH_ESUCCESS, 0x2080, 0xcccc},
        {0x0fff, CECRASH_ENOTFOUND, 0, 0},
    };
    for (const Case& c : cases) {
        uint32_t start = 0;
        uint32_t encoding = 0;
        EXPECT_EQ(cecrash_async_cfe_reader_find_pc(&reader, c.pc, &start, &encoding), c.error) << std::hex << c.pc;
        if (c.error == CECRASH_ESUCCESS) {
            EXPECT_EQ(start, c.start) << std::hex << c.pc;
            EXPECT_EQ(encoding, c.encoding) << std::hex << c.pc;
        }
    }
}

TEST(CompactUnwindReaderTest, MalformedSectionsAreRefused)
{
    struct Case {
        const char* label;
        UnwindInfo info;
        uint32_t cpu;
        cecrash_error_t initError;
        cecrash_error_t findError;
    };
    const Case cases[] = {
        {"version 2", UnwindInfo(2), CECRASH_CPU_TYPE_X86_64, CECRASH_ENOTSUP, CECRASH_ESUCCESS},
        {"another CPU", UnwindInfo(), 12, CECRASH_ENOTSUP, CECRASH_ESUCCESS},
        {"unknown page kind", UnwindInfo(1, 7), CECRASH_CPU_TYPE_X86_64, CECRASH_ESUCCESS, CECRASH_EINVAL},
        {"encoding index past the page's own", UnwindInfo(1, 3, 3), CECRASH_CPU_TYPE_X86_64, CECRASH_ESUCCESS, CECRASH_EINVAL},
    };
    for (const Case& c : cases) {
        const cecrash_async_mobject object = view(c.info.bytes);
        cecrash_async_cfe_reader reader;
        ASSERT_EQ(cecrash_async_cfe_reader_init(&reader, &object, c.cpu), c.initError) << c.label;
        if (c.initError != CECRASH_ESUCCESS)
            continue;
        uint32_t start = 0;
        uint32_t encoding = 0;
        EXPECT_EQ(cecrash_async_cfe_reader_find_pc(&reader, 0x2090, &start, &encoding), c.findError) << c.label;
    }
    // An index of the sentinel alone, and a header cut short.
    UnwindInfo empty;
    ByteBuilder patched;
    patched.raw(empty.bytes).patch(24, 1, 4);
    cecrash_async_mobject object = view(patched.bytes());
    cecrash_async_cfe_reader reader;
    ASSERT_EQ(cecrash_async_cfe_reader_init(&reader, &object, CECRASH_CPU_TYPE_X86_64), CECRASH_ESUCCESS);
    uint32_t start = 0;
    uint32_t encoding = 0;
    EXPECT_EQ(cecrash_async_cfe_reader_find_pc(&reader, 0x1000, &start, &encoding), CECRASH_ENOTFOUND);
    const Bytes cut(20, 0);
    object = view(cut);
    EXPECT_EQ(cecrash_async_cfe_reader_init(&reader, &object, CECRASH_CPU_TYPE_X86_64), CECRASH_EINVAL);
}

TEST(CompactUnwindEntryTest, EncodingsDecodeIntoEntries)
{
    std::array<uint32_t, 6> codes = {3, 1, 6, 0, 0, 0};
    const uint32_t permutation = cecrash_async_cfe_register_encode(codes.data(), 3);
    struct Case {
        const char* label;
        uint32_t cpu;
        uint32_t encoding;
        cecrash_error_t error;
        uint32_t type;
        int64_t stackOffset;
        uint32_t adjust;
        uint32_t returnRegister;
        std::vector<uint32_t> registers;
    };
    const Case cases[] = {
        // rbx, an empty slot, r12.
        {"frame", CECRASH_CPU_TYPE_X86_64, 0x01020081, CECRASH_ESUCCESS, 1, -16, 0, kNone, {4, kNone, 13}},
        {"frame, 32-bit", CECRASH_CPU_TYPE_X86, 0x01030001, CECRASH_ESUCCESS, 1, -12, 0, kNone, {6}},
        {"frameless immediate", CECRASH_CPU_TYPE_X86_64, 0x02050000 | (3u << 10) | permutation, CECRASH_ESUCCESS, 2, 40, 0, kNone, {14, 4, 1}},
        {"frameless indirect", CECRASH_CPU_TYPE_X86_64, 0x03100000 | (1u << 13) | (3u << 10) | permutation, CECRASH_ESUCCESS, 3, 0x10, 8, kNone, {14, 4, 1}},
        {"dwarf", CECRASH_CPU_TYPE_X86_64, 0x04001234, CECRASH_ESUCCESS, 4, 0x1234, 0, kNone, {}},
        {"none", CECRASH_CPU_TYPE_X86_64, 0x00000000, CECRASH_ESUCCESS, 5, 0, 0, kNone, {}},
        {"unknown mode", CECRASH_CPU_TYPE_X86_64, 0x05000000, CECRASH_ENOTSUP, 0, 0, 0, 0, {}},
        {"register code 7", CECRASH_CPU_TYPE_X86_64, 0x01000007, CECRASH_EINVAL, 0, 0, 0, 0, {}},
        {"another CPU", 12, 0x01000001, CECRASH_ENOTSUP, 0, 0, 0, 0, {}},
        {"arm64 frameless", CECRASH_CPU_TYPE_ARM64, 0x02003011, CECRASH_ESUCCESS, 2, 48, 0, 32, {31, 30, 23, 22}},
        {"arm64 frame", CECRASH_CPU_TYPE_ARM64, 0x04000008, CECRASH_ESUCCESS, 1, -16, 0, kNone, {29, 28}},
        {"arm64 dwarf", CECRASH_CPU_TYPE_ARM64, 0x03000040, CECRASH_ESUCCESS, 4, 0x40, 0, kNone, {}},
    };
    for (const Case& c : cases) {
        cecrash_async_cfe_entry entry;
        ASSERT_EQ(cecrash_async_cfe_entry_init(&entry, c.cpu, c.encoding), c.error) << c.label;
        if (c.error != CECRASH_ESUCCESS)
            continue;
        EXPECT_EQ(entry.type, c.type) << c.label;
        EXPECT_EQ(entry.stack_offset, c.stackOffset) << c.label;
        EXPECT_EQ(entry.stack_adjust, c.adjust) << c.label;
        EXPECT_EQ(entry.return_address_register, c.returnRegister) << c.label;
        EXPECT_EQ(std::vector<uint32_t>(entry.register_list, entry.register_list + entry.register_count), c.registers) << c.label;
    }
}

TEST(CompactUnwindEntryTest, PermutationsRoundTrip)
{
    // Every ordered choice of 1 to 5 of the six codes encodes and decodes to itself.
    std::array<uint32_t, 6> all = {1, 2, 3, 4, 5, 6};
    for (uint32_t count = 1; count <= 5; ++count) {
        std::vector<uint32_t> seen;
        do {
            const uint32_t permutation = cecrash_async_cfe_register_encode(all.data(), count);
            uint32_t decoded[6] = {};
            ASSERT_EQ(cecrash_async_cfe_register_decode(permutation, count, decoded), CECRASH_ESUCCESS);
            ASSERT_TRUE(std::equal(decoded, decoded + count, all.begin())) << count << " " << permutation;
            seen.push_back(permutation);
            std::reverse(all.begin() + count, all.end());
        } while (std::next_permutation(all.begin(), all.end()));
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(std::unique(seen.begin(), seen.end()) - seen.begin(), static_cast<ptrdiff_t>(seen.size()));
    }
    // Six registers decode like five, the last digit 0 taking the one code left.
    const uint32_t six[] = {6, 5, 4, 3, 2, 1};
    const uint32_t permutation = cecrash_async_cfe_register_encode(six, 6);
    EXPECT_EQ(permutation, cecrash_async_cfe_register_encode(six, 5));
    uint32_t decoded[6] = {};
    ASSERT_EQ(cecrash_async_cfe_register_decode(permutation, 6, decoded), CECRASH_ESUCCESS);
    EXPECT_TRUE(std::equal(decoded, decoded + 6, six));
    EXPECT_EQ(cecrash_async_cfe_register_decode(0, 7, decoded), CECRASH_EINVAL);
    EXPECT_EQ(cecrash_async_cfe_register_encode(six, 7), 0u);
    EXPECT_EQ(cecrash_async_cfe_register_decode(1000, 1, decoded), CECRASH_EINVAL);
}

cecrash_async_thread_state registers(uint64_t sp, uint64_t fp)
{
    cecrash_async_thread_state state;
    cecrash_async_thread_state_init(&state, CECRASH_CPU_TYPE_X86_64);
    cecrash_async_thread_state_set_reg(&state, CECRASH_REG_IP, 0x1234);
    if (sp != 0)
        cecrash_async_thread_state_set_reg(&state, CECRASH_REG_SP, sp);
    if (fp != 0)
        cecrash_async_thread_state_set_reg(&state, CECRASH_REG_FP, fp);
    return state;
}

TEST(CompactUnwindEntryTest, ApplyingEntriesGivesTheCallersRegisters)
{
    // Frame: saved registers below the frame pointer, the unused middle slot's word is poison.
    uint64_t frame[6] = {0x13, 0xdead, 0x4, 0x7ffe0000, 0x5000, 0};
    const uint64_t fp = reinterpret_cast<uint64_t>(&frame[3]);
    cecrash_async_cfe_entry entry;
    ASSERT_EQ(cecrash_async_cfe_entry_init(&entry, CECRASH_CPU_TYPE_X86_64, 0x01030000 | (4u << 6) | 2u), CECRASH_ESUCCESS);
    cecrash_async_thread_state current = registers(fp - 64, fp);
    cecrash_async_thread_state caller;
    ASSERT_EQ(cecrash_async_cfe_entry_apply(0, &current, &entry, &caller), CECRASH_ESUCCESS);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, CECRASH_REG_IP), 0x5000u);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, CECRASH_REG_FP), 0x7ffe0000u);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, CECRASH_REG_SP), fp + 16);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, 13), 0x13u);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, 15), 0x4u);
    EXPECT_FALSE(cecrash_async_thread_state_has_reg(&caller, 4));

    // Frameless, immediate: 24 bytes of stack, rbx saved below the return address.
    uint64_t stack[4] = {0, 0x77, 0x6000, 0};
    const uint32_t rbx[] = {1};
    ASSERT_EQ(cecrash_async_cfe_entry_init(&entry, CECRASH_CPU_TYPE_X86_64,
                                           0x02030000 | (1u << 10) | cecrash_async_cfe_register_encode(rbx, 1)),
              CECRASH_ESUCCESS);
    current = registers(reinterpret_cast<uint64_t>(&stack[0]), 0);
    ASSERT_EQ(cecrash_async_cfe_entry_apply(0, &current, &entry, &caller), CECRASH_ESUCCESS);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, CECRASH_REG_IP), 0x6000u);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, 4), 0x77u);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, CECRASH_REG_SP), reinterpret_cast<uint64_t>(&stack[3]));

    // Frameless, indirect: the stack size is the immediate at offset 4 of the function's code,
    // plus the adjustment.
    const uint8_t code[8] = {0x48, 0x81, 0xec, 0x90, 0x10, 0x00, 0x00, 0x00};
    ASSERT_EQ(cecrash_async_cfe_entry_init(&entry, CECRASH_CPU_TYPE_X86_64, 0x03030000 | (1u << 13)), CECRASH_ESUCCESS);
    std::vector<uint64_t> deep(0x1098 / 8 + 1, 0);
    deep[0x1098 / 8 - 1] = 0x7000;
    current = registers(reinterpret_cast<uint64_t>(deep.data()), 0);
    ASSERT_EQ(cecrash_async_cfe_entry_apply(reinterpret_cast<uint64_t>(code), &current, &entry, &caller), CECRASH_ESUCCESS);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, CECRASH_REG_IP), 0x7000u);

    // What an entry needs must be known; DWARF and none entries are for other readers.
    current = registers(0, 0);
    EXPECT_EQ(cecrash_async_cfe_entry_apply(0, &current, &entry, &caller), CECRASH_ENOTFOUND);
    ASSERT_EQ(cecrash_async_cfe_entry_init(&entry, CECRASH_CPU_TYPE_X86_64, 0x01000000), CECRASH_ESUCCESS);
    EXPECT_EQ(cecrash_async_cfe_entry_apply(0, &current, &entry, &caller), CECRASH_ENOTFOUND);
    ASSERT_EQ(cecrash_async_cfe_entry_init(&entry, CECRASH_CPU_TYPE_X86_64, 0x04000010), CECRASH_ESUCCESS);
    EXPECT_EQ(cecrash_async_cfe_entry_apply(0, &current, &entry, &caller), CECRASH_ENOTSUP);

    // ELF images have no compact table: the reader passes the frame on.
    cecrash_async_thread_state next;
    current = registers(fp, fp);
    EXPECT_EQ(cecrash_async_frame_cursor_read_compact_unwind(nullptr, &current, nullptr, &next), CECRASH_FRAME_ENOTSUP);
}

}  // namespace
