// Mutated inputs for the readers of untrusted bytes: stored reports and call-frame sections.
// Bounded iterations with a fixed seed, so a finding reproduces; the sanitizer build turns any
// read outside a buffer into a failure.
#include "sdk/crash-engine/CECrashReport.h"
#include "sdk/crash-engine/CECrashReportTextFormatter.h"
#include "sdk/crash-engine/dwarf/DwarfCfaState.h"
#include "sdk/crash-engine/tests/ByteBuilder.h"
#include "sdk/crash-engine/tests/ReportFixture.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace cecrash::async;

namespace {

using Bytes = std::vector<uint8_t>;

// Flips, overwrites, truncates or duplicates a few bytes of seed.
Bytes mutate(const Bytes& seed, std::mt19937& random)
{
    Bytes bytes = seed;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < edits && !bytes.empty(); ++i) {
        const size_t at = random() % bytes.size();
        switch (random() % 5) {
        case 0:
            bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
            break;
        case 1:
            bytes[at] = static_cast<uint8_t>(random());
            break;
        case 2:
            bytes[at] = (random() % 2 == 0) ? 0xff : 0x80;
            break;
        case 3:
            bytes.resize(at);
            break;
        default:
            bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.begin() + static_cast<ptrdiff_t>(at),
                         bytes.begin() + static_cast<ptrdiff_t>(std::min(bytes.size(), at + 1 + random() % 8)));
            break;
        }
    }
    return bytes;
}

TEST(FuzzTest, ReportDecoderSurvivesMutatedReports)
{
    ReportFixture fixture;
    fixture.signal.address = 0x7fff00001234;
    const Bytes seed = fixture.bytes();
    std::mt19937 random(20261209);
    size_t decoded = 0;
    for (int i = 0; i < 20000; ++i) {
        const Bytes input = mutate(seed, random);
        std::unique_ptr<CECrashReport> report = CECrashReport::initWithData(input, nullptr);
        if (report == nullptr)
            continue;
        ++decoded;
        // Whatever decodes must also format.
        CECrashReportTextFormatter::stringValueForCrashReport(*report, 0);
    }
    // Mutations that keep the message well-formed still decode: the loop exercised both paths.
    EXPECT_GT(decoded, 0u);
    EXPECT_LT(decoded, 20000u);
}

TEST(FuzzTest, CallFrameReaderSurvivesMutatedSections)
{
    // A CIE with personality, LSDA and pointer encodings, and an FDE whose program uses the
    // expression forms as well as the plain rules.
    static uint64_t personality = 0;
    ByteBuilder b;
    b.u32(0).u32(0).u8(1).text("zPLR").uleb(1).sleb(-8).uleb(16).uleb(11);
    b.u8(DW_EH_PE_absptr).u64(reinterpret_cast<uint64_t>(&personality)).u8(DW_EH_PE_absptr).u8(DW_EH_PE_pcrel | DW_EH_PE_sdata4);
    b.raw({0x0c, 0x07, 0x08, 0x90, 0x01});
    while (b.size() % 4 != 0)
        b.u8(0);
    b.patch(0, b.size() - 4, 4);
    const size_t fdeAt = b.size();
    b.u32(0).u32(static_cast<uint32_t>(fdeAt + 4)).u32(0x1000).u32(0x100).uleb(0);
    b.raw({0x41, 0x0e, 0x10, 0x86, 0x02, 0x0a, 0x43, 0x0d, 0x06, 0x10, 0x03, 0x02, 0x77, 0x08, 0x16, 0x0c, 0x02, 0x30,
           0x22, 0x0b, 0x0f, 0x03, 0x77, 0x10, 0x06, 0x2e, 0x08, 0xc6});
    while (b.size() % 4 != 0)
        b.u8(0);
    b.patch(fdeAt, b.size() - fdeAt - 4, 4);
    b.u32(0);
    const Bytes seed = b.bytes();

    uint64_t stack[8] = {0, 0x4242, 0, 0, 0, 0, 0, 0};
    cecrash_async_thread_state current;
    cecrash_async_thread_state_init(&current, CECRASH_CPU_TYPE_X86_64);
    cecrash_async_thread_state_set_reg(&current, CECRASH_REG_SP, reinterpret_cast<uint64_t>(&stack[0]));
    cecrash_async_thread_state_set_reg(&current, CECRASH_REG_FP, reinterpret_cast<uint64_t>(&stack[0]));
    cecrash_async_thread_state_set_reg(&current, 4, 1);

    std::mt19937 random(1209);
    size_t applied = 0;
    for (int i = 0; i < 20000; ++i) {
        const Bytes section = mutate(seed, random);
        if (section.empty())
            continue;
        cecrash_async_mobject object;
        if (cecrash_async_mobject_init(&object, reinterpret_cast<uint64_t>(section.data()), section.size(), true) != CECRASH_ESUCCESS)
            continue;
        const cecrash_async_dwarf_frame_reader reader{&object, cecrash_async_byteorder_little_endian(), true, i % 7 == 0};
        const uint64_t base = reinterpret_cast<uint64_t>(section.data());
        // Any pc in the first function's neighbourhood.
        const uint64_t pc = base + fdeAt + 8 + 0x1000 + random() % 0x120;
        cecrash_async_dwarf_fde_info fde;
        if (dwarf_find_fde<uint64_t>(&reader, 0, pc, &fde) != CECRASH_ESUCCESS)
            continue;
        const gnu_ehptr_reader<uint64_t> pointers(cecrash_async_byteorder_little_endian());
        cecrash_async_dwarf_cie_info cie;
        if (dwarf_cie_info_init<uint64_t>(&cie, &object, cecrash_async_byteorder_little_endian(), &pointers, base + fde.cie_offset)
            != CECRASH_ESUCCESS)
            continue;
        dwarf_cfa_state<uint64_t, int64_t> state;
        if (state.eval_program(&object, pc, fde.pc_start, &cie, &pointers, cecrash_async_byteorder_little_endian(), base,
                               cie.initial_instructions_offset, cie.initial_instructions_length)
                != CECRASH_ESUCCESS
            || state.eval_program(&object, pc, fde.pc_start, &cie, &pointers, cecrash_async_byteorder_little_endian(), base,
                                  fde.instructions_offset, fde.instructions_length)
                != CECRASH_ESUCCESS)
            continue;
        cecrash_async_thread_state caller;
        if (state.apply_state(&cie, &current, cecrash_async_byteorder_little_endian(), &caller) == CECRASH_ESUCCESS)
            ++applied;
    }
    EXPECT_GT(applied, 0u);
}

}  // namespace
