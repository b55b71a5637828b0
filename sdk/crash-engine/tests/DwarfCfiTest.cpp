#include "sdk/crash-engine/FrameCursor.h"
#include "sdk/crash-engine/ImageList.h"
#include "sdk/crash-engine/dwarf/DwarfCfaState.h"
#include "sdk/crash-engine/dwarf/DwarfExpression.h"
#include "sdk/crash-engine/dwarf/DwarfFrameReader.h"
#include "sdk/crash-engine/tests/ByteBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

using namespace cecrash::async;

namespace {

using Bytes = std::vector<uint8_t>;
using State64 = dwarf_cfa_state<uint64_t, int64_t>;
const cecrash_async_byteorder* const kLittle = cecrash_async_byteorder_little_endian();

uint64_t addressOf(const Bytes& bytes)
{
    return reinterpret_cast<uint64_t>(bytes.data());
}

cecrash_async_mobject view(const Bytes& bytes)
{
    cecrash_async_mobject object;
    EXPECT_EQ(cecrash_async_mobject_init(&object, addressOf(bytes), bytes.size(), true), CECRASH_ESUCCESS);
    return object;
}

TEST(DwarfPrimitivesTest, Leb128NumbersAndTheirLimits)
{
    struct Case {
        Bytes bytes;
        bool isSigned;
        cecrash_error_t error;
        uint64_t value;
        size_t size;
    };
    Bytes longest(9, 0x80);
    longest.push_back(0x01);
    Bytes tooLong(10, 0x80);
    tooLong.push_back(0x01);
    const Case cases[] = {
        {{0x02}, false, CECRASH_ESUCCESS, 2, 1},
        {{0xe5, 0x8e, 0x26}, false, CECRASH_ESUCCESS, 624485, 3},
        {longest, false, CECRASH_ESUCCESS, uint64_t{1} << 63, 10},
        {tooLong, false, CECRASH_ENOTSUP, 0, 0},
        {{0x80}, false, CECRASH_EINVAL, 0, 0},
        {{0x7f}, true, CECRASH_ESUCCESS, static_cast<uint64_t>(-1), 1},
        {{0x80, 0x7f}, true, CECRASH_ESUCCESS, static_cast<uint64_t>(-128), 2},
        {{0x3f}, true, CECRASH_ESUCCESS, 63, 1},
        {Bytes(10, 0x80), true, CECRASH_ENOTSUP, 0, 0},
        {{0xff}, true, CECRASH_EINVAL, 0, 0},
    };
    for (const Case& c : cases) {
        const cecrash_async_mobject object = view(c.bytes);
        uint64_t value = 0;
        int64_t signedValue = 0;
        size_t size = 0;
        const cecrash_error_t error = c.isSigned ? dwarf_read_sleb128(&object, addressOf(c.bytes), 0, &signedValue, &size)
                                                 : dwarf_read_uleb128(&object, addressOf(c.bytes), 0, &value, &size);
        EXPECT_EQ(error, c.error) << testing::PrintToString(c.bytes);
        if (c.error == CECRASH_ESUCCESS) {
            EXPECT_EQ(c.isSigned ? static_cast<uint64_t>(signedValue) : value, c.value) << testing::PrintToString(c.bytes);
            EXPECT_EQ(size, c.size);
        }
    }
}

TEST(DwarfPrimitivesTest, PointerEncodings)
{
    static uint64_t indirectTarget = 0x1122334455667788;
    ByteBuilder builder;
    builder.u32(0x10).u16(0xfff0).u8(0).u64(0x0102030405060708).u64(reinterpret_cast<uint64_t>(&indirectTarget));
    const Bytes& bytes = builder.bytes();
    const cecrash_async_mobject object = view(bytes);
    const uint64_t base = addressOf(bytes);
    struct Case {
        const char* label;
        int64_t offset;
        uint8_t encoding;
        std::optional<uint64_t> dataBase;
        cecrash_error_t error;
        uint64_t value;
        size_t size;
    };
    const Case cases[] = {
        {"omitted", 0, DW_EH_PE_omit, std::nullopt, CECRASH_ENOTFOUND, 0, 0},
        {"pc-relative 32-bit", 0, DW_EH_PE_pcrel | DW_EH_PE_sdata4, std::nullopt, CECRASH_ESUCCESS, base + 0x10, 4},
        {"unsigned 16-bit", 4, DW_EH_PE_udata2, std::nullopt, CECRASH_ESUCCESS, 0xfff0, 2},
        {"signed 16-bit", 4, DW_EH_PE_sdata2, std::nullopt, CECRASH_ESUCCESS, static_cast<uint64_t>(-16), 2},
        {"machine word", 7, DW_EH_PE_absptr, std::nullopt, CECRASH_ESUCCESS, 0x0102030405060708, 8},
        {"data-relative without a base", 0, DW_EH_PE_datarel | DW_EH_PE_udata4, std::nullopt, CECRASH_ENOTSUP, 0, 0},
        {"data-relative", 0, DW_EH_PE_datarel | DW_EH_PE_udata4, 0x1000, CECRASH_ESUCCESS, 0x1010, 4},
        {"text-relative is never set here", 0, DW_EH_PE_textrel | DW_EH_PE_udata4, std::nullopt, CECRASH_ENOTSUP, 0, 0},
        {"aligned without the section base", 0, DW_EH_PE_aligned, std::nullopt, CECRASH_ENOTSUP, 0, 0},
        {"unknown format", 0, 0x05, std::nullopt, CECRASH_ENOTSUP, 0, 0},
        {"indirect", 15, DW_EH_PE_indirect | DW_EH_PE_absptr, std::nullopt, CECRASH_ESUCCESS, 0x1122334455667788, 8},
        {"past the end", 20, DW_EH_PE_udata4, std::nullopt, CECRASH_EINVAL, 0, 0},
    };
    for (const Case& c : cases) {
        gnu_ehptr_reader<uint64_t> reader(kLittle);
        if (c.dataBase)
            reader.set_data_base(*c.dataBase);
        uint64_t value = 0;
        size_t size = 0;
        EXPECT_EQ(reader.read(&object, base, c.offset, c.encoding, &value, &size), c.error) << c.label;
        if (c.error == CECRASH_ESUCCESS) {
            EXPECT_EQ(value, c.value) << c.label;
            EXPECT_EQ(size, c.size) << c.label;
        }
    }
    // An aligned value skips what rounds its place up to a whole word, counted as consumed.
    gnu_ehptr_reader<uint64_t> aligned(kLittle);
    // At offset 1 of a section loaded at 0x4001 the place is 0x4002: 6 bytes of padding.
    aligned.set_frame_section_base(base, 0x4001);
    uint64_t value = 0;
    size_t size = 0;
    ASSERT_EQ(aligned.read(&object, base, 1, DW_EH_PE_aligned, &value, &size), CECRASH_ESUCCESS);
    EXPECT_EQ(value, 0x0102030405060708u);
    EXPECT_EQ(size, 14u);
}

// A call-frame section of one CIE ("zR", pc-relative pointers) and one FDE covering 0x100
// bytes at `start`, then the zero terminator. The FDE's program: after 1 byte the CFA is
// rsp + 16 with rbp saved at CFA - 16; after 4 bytes the CFA is rbp + 16.
struct FrameSection {
    Bytes bytes;
    size_t fdeAt = 0;
    uint64_t start = 0;

    explicit FrameSection(const Bytes& fdeProgram = {0x41, 0x0e, 0x10, 0x86, 0x02, 0x43, 0x0d, 0x06},
                          const std::string& augmentation = "zR", uint8_t version = 1)
    {
        ByteBuilder b;
        b.u32(0).u32(0).u8(version).text(augmentation).uleb(1).sleb(-8).uleb(16);
        if (!augmentation.empty())
            b.uleb(1).u8(DW_EH_PE_pcrel | DW_EH_PE_sdata4);
        b.raw({0x0c, 0x07, 0x08, 0x90, 0x01});
        while (b.size() % 4 != 0)
            b.u8(0);
        b.patch(0, b.size() - 4, 4);
        fdeAt = b.size();
        b.u32(0).u32(static_cast<uint32_t>(fdeAt + 4)).u32(0).u32(0x100);
        if (!augmentation.empty())
            b.uleb(0);
        b.raw(fdeProgram);
        while (b.size() % 4 != 0)
            b.u8(0);
        b.patch(fdeAt, b.size() - fdeAt - 4, 4);
        b.u32(0);
        bytes = b.bytes();
        // The function lies 0x1000 bytes past the FDE's start field.
        const uint64_t field = addressOf(bytes) + fdeAt + 8;
        start = field + 0x1000;
        ByteBuilder patcher;
        patcher.raw(bytes).patch(fdeAt + 8, 0x1000, 4);
        bytes = patcher.bytes();
        start = addressOf(bytes) + fdeAt + 8 + 0x1000;
    }
};

TEST(DwarfFrameInfoTest, FindsTheFdeAndItsCieWithAbsoluteAddresses)
{
    FrameSection section;
    cecrash_async_mobject object = view(section.bytes);
    const cecrash_async_dwarf_frame_reader reader{&object, kLittle, true, false};
    cecrash_async_dwarf_fde_info fde;
    ASSERT_EQ(dwarf_find_fde<uint64_t>(&reader, 0, section.start + 5, &fde), CECRASH_ESUCCESS);
    EXPECT_EQ(fde.pc_start, section.start);
    EXPECT_EQ(fde.pc_end, section.start + 0x100);
    EXPECT_EQ(fde.cie_offset, 0u);
    // The program and the padding that aligns the entry.
    EXPECT_EQ(fde.instructions_length, 11u);
    // The range's end is exclusive; after the last FDE comes the terminator.
    EXPECT_EQ(dwarf_find_fde<uint64_t>(&reader, 0, section.start + 0x100, &fde), CECRASH_ENOTFOUND);
    EXPECT_EQ(dwarf_find_fde<uint64_t>(&reader, 0, section.start - 1, &fde), CECRASH_ENOTFOUND);

    const gnu_ehptr_reader<uint64_t> pointers(kLittle);
    cecrash_async_dwarf_cie_info cie;
    ASSERT_EQ(dwarf_cie_info_init<uint64_t>(&cie, &object, kLittle, &pointers, addressOf(section.bytes)), CECRASH_ESUCCESS);
    EXPECT_EQ(cie.cie_offset, 4u);
    EXPECT_EQ(cie.code_alignment_factor, 1u);
    EXPECT_EQ(cie.data_alignment_factor, -8);
    EXPECT_EQ(cie.return_address_register, 16u);
    EXPECT_TRUE(cie.eh_augmentation.has_eh_augmentation);
    EXPECT_TRUE(cie.eh_augmentation.has_pointer_encoding);
    EXPECT_EQ(cie.eh_augmentation.pointer_encoding, 0x1b);
    EXPECT_EQ(cie.initial_instructions_offset, 17u);
    EXPECT_EQ(cie.initial_instructions_length, 7u);
}

TEST(DwarfFrameInfoTest, MalformedCiesAreRefused)
{
    struct Case {
        const char* label;
        std::string augmentation;
        uint8_t version;
        cecrash_error_t error;
    };
    const Case cases[] = {
        {"version 3", "zR", 3, CECRASH_ESUCCESS},
        {"no augmentation", "", 1, CECRASH_ESUCCESS},
        {"version 2", "zR", 2, CECRASH_EINVAL},
        {"augmentation without z", "eh", 1, CECRASH_ENOTSUP},
    };
    for (const Case& c : cases) {
        FrameSection section({0x00}, c.augmentation, c.version);
        cecrash_async_mobject object = view(section.bytes);
        const gnu_ehptr_reader<uint64_t> pointers(kLittle);
        cecrash_async_dwarf_cie_info cie;
        EXPECT_EQ(dwarf_cie_info_init<uint64_t>(&cie, &object, kLittle, &pointers, addressOf(section.bytes)), c.error) << c.label;
    }

    // A CIE whose id is neither 0 nor all ones, a CIE pointer before the section, and the
    // 64-bit length form.
    FrameSection badId;
    ByteBuilder patched;
    patched.raw(badId.bytes).patch(4, 5, 4);
    cecrash_async_mobject object = view(patched.bytes());
    const gnu_ehptr_reader<uint64_t> pointers(kLittle);
    cecrash_async_dwarf_cie_info cie;
    EXPECT_EQ(dwarf_cie_info_init<uint64_t>(&cie, &object, kLittle, &pointers, addressOf(patched.bytes())), CECRASH_EINVAL);

    FrameSection farPointer;
    ByteBuilder far;
    far.raw(farPointer.bytes).patch(farPointer.fdeAt + 4, 0x10000, 4);
    object = view(far.bytes());
    cecrash_async_dwarf_fde_info fde;
    EXPECT_EQ(dwarf_fde_info_init<uint64_t>(&fde, &object, kLittle, addressOf(far.bytes()) + farPointer.fdeAt, false),
              CECRASH_EINVAL);

    ByteBuilder wide;
    wide.u32(0xffffffff).u64(0).u64(0).u8(4).text("").u8(8).u8(0).uleb(1).sleb(-8).uleb(16).u8(0x0c).u8(0x07).u8(0x08);
    wide.patch(4, wide.size() - 12, 8);
    object = view(wide.bytes());
    ASSERT_EQ(dwarf_cie_info_init<uint64_t>(&cie, &object, kLittle, &pointers, addressOf(wide.bytes())), CECRASH_ESUCCESS);
    EXPECT_EQ(cie.cie_offset, 12u);
    EXPECT_EQ(cie.address_size, 8u);
    EXPECT_EQ(cie.initial_instructions_length, 3u);
}

// Runs a program on a state with the usual x86-64 CIE factors; pc 0 runs it to the end.
cecrash_error_t run(State64& state, const Bytes& program, uint64_t pc = 0, uint64_t initialLocation = 0x1000,
                    uint8_t segmentSize = 0)
{
    cecrash_async_dwarf_cie_info cie{};
    cie.code_alignment_factor = 1;
    cie.data_alignment_factor = -8;
    cie.return_address_register = 16;
    cie.segment_size = segmentSize;
    const gnu_ehptr_reader<uint64_t> pointers(kLittle);
    cecrash_async_mobject object = view(program);
    return state.eval_program(&object, pc, initialLocation, &cie, &pointers, kLittle, addressOf(program), 0, program.size());
}

TEST(DwarfCfaStateTest, OpcodeTable)
{
    struct Rule {
        uint32_t column;
        cecrash_dwarf_cfa_reg_rule_t kind;
        uint64_t value;
    };
    struct Case {
        const char* label;
        Bytes program;
        uint64_t pc;
        cecrash_error_t error;
        std::optional<uint64_t> cfaOffset;
        std::optional<Rule> rule;
    };
    Bytes manyRules;
    for (uint32_t column = 0; column <= 100; ++column) {
        ByteBuilder b;
        b.u8(0x05).uleb(column).uleb(1);
        manyRules.insert(manyRules.end(), b.bytes().begin(), b.bytes().end());
    }
    const Case cases[] = {
        {"def_cfa and offset", {0x0c, 0x07, 0x08, 0x86, 0x02}, 0, CECRASH_ESUCCESS, 8, Rule{6, CECRASH_DWARF_CFA_REG_RULE_OFFSET, static_cast<uint64_t>(-16)}},
        {"advance past the pc stops", {0x0c, 0x07, 0x08, 0x42, 0x0e, 0x20}, 0x1001, CECRASH_ESUCCESS, 8, std::nullopt},
        {"advance to the pc runs that row", {0x0c, 0x07, 0x08, 0x42, 0x0e, 0x20}, 0x1002, CECRASH_ESUCCESS, 0x20, std::nullopt},
        {"advance_loc1 and 2", {0x0c, 0x07, 0x08, 0x02, 0x10, 0x03, 0x00, 0x01, 0x0e, 0x20}, 0x1010, CECRASH_ESUCCESS, 8, std::nullopt},
        {"a pc below the start runs nothing", {0x0c, 0x07, 0x08}, 0x0fff, CECRASH_ESUCCESS, std::nullopt, std::nullopt},
        {"offset_extended_sf", {0x0c, 0x07, 0x08, 0x11, 0x03, 0x7e}, 0, CECRASH_ESUCCESS, 8, Rule{3, CECRASH_DWARF_CFA_REG_RULE_OFFSET, 16}},
        {"val_offset", {0x0c, 0x07, 0x08, 0x14, 0x03, 0x01}, 0, CECRASH_ESUCCESS, 8, Rule{3, CECRASH_DWARF_CFA_REG_RULE_VAL_OFFSET, static_cast<uint64_t>(-8)}},
        {"register", {0x0c, 0x07, 0x08, 0x09, 0x10, 0x03}, 0, CECRASH_ESUCCESS, 8, Rule{16, CECRASH_DWARF_CFA_REG_RULE_REGISTER, 3}},
        {"same value", {0x0c, 0x07, 0x08, 0x08, 0x03}, 0, CECRASH_ESUCCESS, 8, Rule{3, CECRASH_DWARF_CFA_REG_RULE_SAME_VALUE, 0}},
        {"def_cfa_sf scales", {0x12, 0x07, 0x7e}, 0, CECRASH_ESUCCESS, 16, std::nullopt},
        {"args size is skipped", {0x0c, 0x07, 0x08, 0x2e, 0x10, 0x0e, 0x18}, 0, CECRASH_ESUCCESS, 0x18, std::nullopt},
        {"sixth remember_state", {0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a}, 0, CECRASH_ENOMEM, std::nullopt, std::nullopt},
        {"restore_state at level 0", {0x0b}, 0, CECRASH_EINVAL, std::nullopt, std::nullopt},
        {"remember and restore", {0x0c, 0x07, 0x08, 0x0a, 0x0e, 0x20, 0x0b}, 0, CECRASH_ESUCCESS, 8, std::nullopt},
        {"def_cfa_offset before def_cfa", {0x0e, 0x10}, 0, CECRASH_EINVAL, std::nullopt, std::nullopt},
        {"def_cfa_offset after an expression", {0x0f, 0x01, 0x30, 0x0e, 0x10}, 0, CECRASH_EINVAL, std::nullopt, std::nullopt},
        {"def_cfa_register after an expression", {0x0f, 0x01, 0x30, 0x0d, 0x06}, 0, CECRASH_EINVAL, std::nullopt, std::nullopt},
        {"101 distinct rules", manyRules, 0, CECRASH_ENOMEM, std::nullopt, std::nullopt},
        {"column beyond 32 bits", {0x05, 0x80, 0x80, 0x80, 0x80, 0x20, 0x01}, 0, CECRASH_ENOTSUP, std::nullopt, std::nullopt},
        {"operand past the end", {0x0c, 0x07}, 0, CECRASH_EINVAL, std::nullopt, std::nullopt},
        {"expression block past the end", {0x10, 0x06, 0x05, 0x30}, 0, CECRASH_EINVAL, std::nullopt, std::nullopt},
        {"unknown opcode", {0x0c, 0x07, 0x08, 0x2f}, 0, CECRASH_ENOTSUP, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        State64 state;
        EXPECT_EQ(run(state, c.program, c.pc), c.error) << c.label;
        if (c.cfaOffset) {
            EXPECT_NE(state.get_cfa_rule().type, State64::CFA_UNDEFINED) << c.label;
            EXPECT_EQ(state.get_cfa_rule().offset, *c.cfaOffset) << c.label;
        } else if (c.error == CECRASH_ESUCCESS) {
            EXPECT_EQ(state.get_cfa_rule().type, State64::CFA_UNDEFINED) << c.label;
        }
        if (c.rule) {
            cecrash_dwarf_cfa_reg_rule_t kind;
            uint64_t value = 0;
            ASSERT_TRUE(state.get_register_rule(c.rule->column, &kind, &value)) << c.label;
            EXPECT_EQ(kind, c.rule->kind) << c.label;
            EXPECT_EQ(value, c.rule->value) << c.label;
        }
    }
    State64 segmented;
    EXPECT_EQ(run(segmented, {0x01, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0x1000, 1), CECRASH_ENOTSUP);
}

TEST(DwarfCfaStateTest, RestoreAndUndefinedGoBackToTheRulesTheProgramStartedWith)
{
    State64 state;
    ASSERT_EQ(run(state, {0x0c, 0x07, 0x08, 0x86, 0x02}), CECRASH_ESUCCESS);
    // The function's program saves rbp and rbx elsewhere, then restores both: rbp returns to
    // the rule the initial instructions gave it, rbx (no initial rule) loses its rule.
    ASSERT_EQ(run(state, {0x86, 0x04, 0x83, 0x03, 0xc6, 0xc3}), CECRASH_ESUCCESS);
    cecrash_dwarf_cfa_reg_rule_t kind;
    uint64_t value = 0;
    ASSERT_TRUE(state.get_register_rule(6, &kind, &value));
    EXPECT_EQ(value, static_cast<uint64_t>(-16));
    EXPECT_FALSE(state.get_register_rule(3, &kind, &value));
    ASSERT_EQ(run(state, {0x07, 0x06}), CECRASH_ESUCCESS);
    EXPECT_FALSE(state.get_register_rule(6, &kind, &value));
    EXPECT_EQ(state.get_register_count(), 0u);

    // Rules come out bucket by bucket (column modulo 14), in chain order within a bucket.
    State64 ordered;
    ASSERT_TRUE(ordered.set_register(15, CECRASH_DWARF_CFA_REG_RULE_OFFSET, 1));
    ASSERT_TRUE(ordered.set_register(1, CECRASH_DWARF_CFA_REG_RULE_OFFSET, 2));
    ASSERT_TRUE(ordered.set_register(0, CECRASH_DWARF_CFA_REG_RULE_OFFSET, 3));
    dwarf_cfa_state_iterator<uint64_t, int64_t> rules(&ordered);
    std::vector<uint32_t> columns;
    uint32_t column = 0;
    while (rules.next(&column, &kind, &value))
        columns.push_back(column);
    EXPECT_EQ(columns, (std::vector<uint32_t>{0, 15, 1}));
    EXPECT_FALSE(rules.next(&column, &kind, &value));
}

TEST(DwarfCfaStateTest, ApplyingRulesGivesTheCallersRegisters)
{
    // A frame record as a function's prologue leaves it: saved rbp, then the return address.
    uint64_t frame[4] = {0xdead0000, 0x4242, 0, 0};
    const uint64_t rbp = reinterpret_cast<uint64_t>(&frame[0]);
    cecrash_async_thread_state current;
    cecrash_async_thread_state_init(&current, CECRASH_CPU_TYPE_X86_64);
    cecrash_async_thread_state_set_reg(&current, CECRASH_REG_IP, 0x1234);
    cecrash_async_thread_state_set_reg(&current, CECRASH_REG_FP, rbp);
    cecrash_async_thread_state_set_reg(&current, CECRASH_REG_SP, rbp - 32);
    cecrash_async_thread_state_set_reg(&current, 4, 77);
    cecrash_async_thread_state_set_reg(&current, 3, 99);

    cecrash_async_dwarf_cie_info cie{};
    cie.return_address_register = 16;
    State64 state;
    // CFA = rbp + 16; rbp at CFA - 16; the return address (column 16, no register) at CFA - 8.
    ASSERT_EQ(run(state, {0x0c, 0x06, 0x10, 0x86, 0x02, 0x90, 0x01}), CECRASH_ESUCCESS);
    cecrash_async_thread_state caller;
    ASSERT_EQ(state.apply_state(&cie, &current, kLittle, &caller), CECRASH_ESUCCESS);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, CECRASH_REG_IP), 0x4242u);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, CECRASH_REG_FP), 0xdead0000u);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, CECRASH_REG_SP), rbp + 16);
    // Callee-saved rbx keeps its value, volatile rax is gone.
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, 4), 77u);
    EXPECT_FALSE(cecrash_async_thread_state_has_reg(&caller, 3));

    // Without a return-address rule the column maps to no register: nothing gives the caller's
    // instruction pointer.
    State64 noReturn;
    ASSERT_EQ(run(noReturn, {0x0c, 0x06, 0x10}), CECRASH_ESUCCESS);
    EXPECT_EQ(noReturn.apply_state(&cie, &current, kLittle, &caller), CECRASH_EINVAL);

    // An expression rule: rbp is saved at the address (CFA - 16) the block computes, and an
    // undefined CFA cannot be applied.
    // The rule points into the program's bytes, so they must outlive it.
    const Bytes program = {0x0c, 0x06, 0x10, 0x10, 0x06, 0x03, 0x08, 0x10, 0x1c, 0x90, 0x01};
    State64 withExpression;
    ASSERT_EQ(run(withExpression, program), CECRASH_ESUCCESS);
    ASSERT_EQ(withExpression.apply_state(&cie, &current, kLittle, &caller), CECRASH_ESUCCESS);
    EXPECT_EQ(cecrash_async_thread_state_get_reg(&caller, CECRASH_REG_FP), 0xdead0000u);
    State64 undefined;
    EXPECT_EQ(undefined.apply_state(&cie, &current, kLittle, &caller), CECRASH_EINVAL);
}

TEST(DwarfExpressionTest, OperationTable)
{
    static uint64_t memoryWord = 0xfeedface;
    cecrash_async_thread_state state;
    cecrash_async_thread_state_init(&state, CECRASH_CPU_TYPE_X86_64);
    cecrash_async_thread_state_set_reg(&state, CECRASH_REG_SP, 0x8000);
    struct Case {
        const char* label;
        Bytes program;
        std::vector<uint64_t> initial;
        cecrash_error_t error;
        uint64_t result;
    };
    ByteBuilder deref;
    deref.u8(0x0e).u64(reinterpret_cast<uint64_t>(&memoryWord)).u8(0x06);
    ByteBuilder shr;
    shr.u8(0x0e).u64(0x8000000000000000).u8(0x31).u8(0x25);
    ByteBuilder shra;
    shra.u8(0x0e).u64(0x8000000000000000).u8(0x31).u8(0x26);
    const Case cases[] = {
        {"literals and plus", {0x33, 0x34, 0x22}, {}, CECRASH_ESUCCESS, 7},
        {"const1s sign-extends", {0x09, 0xff}, {}, CECRASH_ESUCCESS, static_cast<uint64_t>(-1)},
        {"const2u", {0x0a, 0x34, 0x12}, {}, CECRASH_ESUCCESS, 0x1234},
        {"consts", {0x11, 0x7f}, {}, CECRASH_ESUCCESS, static_cast<uint64_t>(-1)},
        {"minus: beneath less top", {0x35, 0x33, 0x1c}, {}, CECRASH_ESUCCESS, 2},
        {"plus_uconst", {0x33, 0x23, 0x80, 0x01}, {}, CECRASH_ESUCCESS, 131},
        {"shr fills with zeros", shr.bytes(), {}, CECRASH_ESUCCESS, 0x4000000000000000},
        {"shra fills with ones", shra.bytes(), {}, CECRASH_ESUCCESS, 0xc000000000000000},
        {"division is unsigned", {0x09, 0xfe, 0x32, 0x1b}, {}, CECRASH_ESUCCESS, 0x7fffffffffffffff},
        {"division by zero", {0x31, 0x30, 0x1b}, {}, CECRASH_EINVAL, 0},
        {"comparison", {0x33, 0x34, 0x2d}, {}, CECRASH_ESUCCESS, 1},
        {"pick", {0x31, 0x32, 0x15, 0x01}, {}, CECRASH_ESUCCESS, 1},
        {"pick beyond the stack", {0x31, 0x15, 0x01}, {}, CECRASH_EINVAL, 0},
        {"rot", {0x31, 0x32, 0x33, 0x17}, {}, CECRASH_ESUCCESS, 2},
        {"bra taken", {0x31, 0x28, 0x01, 0x00, 0x35}, {100}, CECRASH_ESUCCESS, 100},
        {"bra not taken", {0x30, 0x28, 0x01, 0x00, 0x35}, {100}, CECRASH_ESUCCESS, 5},
        {"branch outside the bytes", {0x31, 0x28, 0x05, 0x00}, {}, CECRASH_EINVAL, 0},
        {"skip", {0x2f, 0x01, 0x00, 0x35, 0x36}, {}, CECRASH_ESUCCESS, 6},
        {"breg of the stack pointer", {0x77, 0x08}, {}, CECRASH_ESUCCESS, 0x8008},
        {"breg of a register the state lacks", {0x76, 0x00}, {}, CECRASH_ENOTFOUND, 0},
        {"bregx of an unmapped column", {0x92, 0x10, 0x00}, {}, CECRASH_ENOTSUP, 0},
        {"deref reads memory", deref.bytes(), {}, CECRASH_ESUCCESS, 0xfeedface},
        {"initial values come first", {0x23, 0x02}, {40}, CECRASH_ESUCCESS, 42},
        {"dup of an empty stack", {0x12}, {}, CECRASH_EINVAL, 0},
        {"plus of an empty stack", {0x22}, {}, CECRASH_EINTERNAL, 0},
        {"xderef of one entry", {0x30, 0x18}, {}, CECRASH_EINVAL, 0},
        {"deref_size above the word", {0x30, 0x94, 0x09}, {}, CECRASH_EINVAL, 0},
        {"register location is not supported", {0x50}, {}, CECRASH_ENOTSUP, 0},
        {"empty program", {}, {}, CECRASH_EINVAL, 0},
        {"operand past the end", {0x0c, 0x01}, {}, CECRASH_EINVAL, 0},
    };
    for (const Case& c : cases) {
        Bytes program = c.program;
        program.push_back(0);
        cecrash_async_mobject object = view(program);
        uint64_t result = 0;
        const cecrash_error_t error = dwarf_expression_eval<uint64_t, int64_t>(
            &object, &state, kLittle, addressOf(program), 0, c.program.size(), c.initial.data(), c.initial.size(), &result);
        EXPECT_EQ(error, c.error) << c.label;
        if (c.error == CECRASH_ESUCCESS) {
            EXPECT_EQ(result, c.result) << c.label;
        }
    }
    Bytes overflow(101, 0x30);
    cecrash_async_mobject object = view(overflow);
    uint64_t result = 0;
    EXPECT_EQ((dwarf_expression_eval<uint64_t, int64_t>(&object, &state, kLittle, addressOf(overflow), 0, overflow.size(),
                                                        nullptr, 0, &result)),
              CECRASH_EINTERNAL);
}

// Nested functions of the test itself, each built with frame pointers and call-frame
// information alike, so that both readers can walk them.
struct LiveWalk {
    cecrash_async_image_list* images;
    std::vector<uint64_t> byTables;
    std::vector<uint64_t> byFramePointers;
};

std::vector<uint64_t> walk(cecrash_async_image_list* images, const cecrash_async_thread_state* state,
                           cecrash_async_frame_reader reader)
{
    std::vector<uint64_t> frames;
    cecrash_async_frame_cursor cursor;
    cecrash_async_frame_cursor_init(&cursor, images, state);
    while (frames.size() < 64 && cecrash_async_frame_cursor_next_with_readers(&cursor, &reader, 1) == CECRASH_FRAME_ESUCCESS) {
        uint64_t ip = 0;
        cecrash_async_frame_cursor_get_reg(&cursor, CECRASH_REG_IP, &ip);
        frames.push_back(ip);
    }
    cecrash_async_frame_cursor_free(&cursor);
    return frames;
}

extern "C" __attribute__((noinline)) int dwarfWalkInnermost(LiveWalk* live)
{
    const cecrash_error_t error = cecrash_async_capture_current_thread_state(
        [](cecrash_async_thread_state* state, void* context) {
            auto* walkInto = static_cast<LiveWalk*>(context);
            walkInto->byTables = walk(walkInto->images, state, cecrash_async_frame_cursor_read_dwarf_unwind);
            walkInto->byFramePointers = walk(walkInto->images, state, cecrash_async_frame_cursor_read_frame_ptr);
            return CECRASH_ESUCCESS;
        },
        live);
    return static_cast<int>(error) + 1;
}

extern "C" __attribute__((noinline)) int dwarfWalkMiddle(LiveWalk* live)
{
    return dwarfWalkInnermost(live) + 1;
}

extern "C" __attribute__((noinline)) int dwarfWalkOutermost(LiveWalk* live)
{
    return dwarfWalkMiddle(live) + 1;
}

TEST(DwarfFrameReaderTest, LiveWalkThroughTheTablesEqualsTheFramePointerWalk)
{
    cecrash_async_image_list images;
    cecrash_async_image_list_init(&images);
    cecrash_async_image_list_sync(&images);
    LiveWalk live{&images, {}, {}};
    EXPECT_EQ(dwarfWalkOutermost(&live), 3);
    // The capture, the two callers, this test body: frame pointers and tables agree on them,
    // and the tables go on further through the test framework's frames.
    ASSERT_GE(live.byFramePointers.size(), 4u);
    ASSERT_GE(live.byTables.size(), 4u);
    EXPECT_EQ(std::vector<uint64_t>(live.byTables.begin(), live.byTables.begin() + 4),
              std::vector<uint64_t>(live.byFramePointers.begin(), live.byFramePointers.begin() + 4));
    EXPECT_GT(live.byTables.size(), 8u);

    // An address in no image, or an image without tables for it, is left to the next reader.
    cecrash_async_thread_state nowhere;
    cecrash_async_thread_state_init(&nowhere, CECRASH_CPU_TYPE_X86_64);
    cecrash_async_thread_state next;
    EXPECT_EQ(cecrash_async_frame_cursor_read_dwarf_unwind(&images, &nowhere, nullptr, &next), CECRASH_FRAME_EBADFRAME);
    cecrash_async_thread_state_set_reg(&nowhere, CECRASH_REG_IP, 0x10);
    EXPECT_EQ(cecrash_async_frame_cursor_read_dwarf_unwind(&images, &nowhere, nullptr, &next), CECRASH_FRAME_ENOTSUP);
    cecrash_async_image_list_free(&images);
}

}  // namespace
