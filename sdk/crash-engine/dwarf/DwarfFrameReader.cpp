#include "sdk/crash-engine/dwarf/DwarfFrameReader.h"

#include "sdk/crash-engine/dwarf/DwarfCfaState.h"

using namespace cecrash::async;

namespace {

// Async-signal-safe. The FDE of pc through the image's sorted search table: 8 when the table
// has none for it, 4 when there is no usable table.
template <typename machine_ptr>
cecrash_error_t findThroughTable(const cecrash_async_image* image, const cecrash_async_dwarf_frame_reader* reader,
                                 uint64_t pc, cecrash_async_dwarf_fde_info* info)
{
    if (image->eh_frame_table_count == 0)
        return CECRASH_ENOTSUP;
    cecrash_async_mobject table;
    if (cecrash_async_mobject_init(&table, image->eh_frame_table_addr, image->eh_frame_table_count * 8, true) != CECRASH_ESUCCESS)
        return CECRASH_ENOTSUP;
    const uint64_t base = image->eh_frame_table_base;
    uint64_t low = 0;
    uint64_t high = image->eh_frame_table_count;
    uint64_t fde = 0;
    bool found = false;
    while (low < high) {
        const uint64_t middle = low + (high - low) / 2;
        uint32_t start = 0;
        cecrash_async_mobject_read_uint32(&table, reader->byteorder, image->eh_frame_table_addr,
                                          static_cast<int64_t>(middle * 8), &start);
        if (base + static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(start))) <= pc) {
            uint32_t entry = 0;
            cecrash_async_mobject_read_uint32(&table, reader->byteorder, image->eh_frame_table_addr,
                                              static_cast<int64_t>(middle * 8 + 4), &entry);
            fde = base + static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(entry)));
            found = true;
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    cecrash_async_mobject_free(&table);
    if (!found)
        return CECRASH_ENOTFOUND;
    if (const cecrash_error_t error = dwarf_fde_info_init<machine_ptr>(info, reader->mobj, reader->byteorder, fde, false))
        return error;
    return info->pc_start <= pc && pc < info->pc_end ? CECRASH_ESUCCESS : CECRASH_ENOTFOUND;
}

// Async-signal-safe. Steps 4 to 6 of the reader for one word size.
template <typename machine_ptr, typename machine_ptr_s>
cecrash_async_frame_error_t unwind(const cecrash_async_image* image, const cecrash_async_dwarf_frame_reader* reader,
                                   uint64_t pc, const cecrash_async_thread_state* current, cecrash_async_thread_state* next)
{
    cecrash_async_dwarf_fde_info fde;
    cecrash_error_t found = reader->debug_frame ? CECRASH_ENOTSUP : findThroughTable<machine_ptr>(image, reader, pc, &fde);
    if (found == CECRASH_ENOTSUP)
        found = dwarf_find_fde<machine_ptr>(reader, 0, pc, &fde);
    if (found != CECRASH_ESUCCESS)
        return CECRASH_FRAME_ENOTSUP;
    const uint64_t section = cecrash_async_mobject_base_address(reader->mobj);
    const gnu_ehptr_reader<machine_ptr> pointers(reader->byteorder);
    cecrash_async_dwarf_cie_info cie;
    if (dwarf_cie_info_init<machine_ptr>(&cie, reader->mobj, reader->byteorder, &pointers, section + fde.cie_offset)
        != CECRASH_ESUCCESS)
        return CECRASH_FRAME_ENOTSUP;
    dwarf_cfa_state<machine_ptr, machine_ptr_s> state;
    const machine_ptr location = static_cast<machine_ptr>(fde.pc_start);
    if (state.eval_program(reader->mobj, static_cast<machine_ptr>(pc), location, &cie, &pointers, reader->byteorder,
                           section, cie.initial_instructions_offset, cie.initial_instructions_length)
            != CECRASH_ESUCCESS
        || state.eval_program(reader->mobj, static_cast<machine_ptr>(pc), location, &cie, &pointers, reader->byteorder,
                              section, fde.instructions_offset, fde.instructions_length)
            != CECRASH_ESUCCESS)
        return CECRASH_FRAME_ENOTSUP;
    if (state.apply_state(&cie, current, reader->byteorder, next) != CECRASH_ESUCCESS)
        return CECRASH_FRAME_ENOFRAME;
    return CECRASH_FRAME_ESUCCESS;
}

}  // namespace

cecrash_async_frame_error_t cecrash_async_frame_cursor_read_dwarf_unwind(cecrash_async_image_list* image_list,
                                                                         const cecrash_async_thread_state* current,
                                                                         const cecrash_async_thread_state* previous,
                                                                         cecrash_async_thread_state* next)
{
    if (!cecrash_async_thread_state_has_reg(current, CECRASH_REG_IP))
        return CECRASH_FRAME_EBADFRAME;
    const uint64_t ip = cecrash_async_thread_state_get_reg(current, CECRASH_REG_IP);
    if (ip == 0 || image_list == nullptr)
        return CECRASH_FRAME_ENOTSUP;
    const uint64_t pc = previous == nullptr ? ip : ip - 1;

    cecrash_async_image_list_set_reading(image_list, true);
    cecrash_async_frame_error_t result = CECRASH_FRAME_ENOTSUP;
    if (const cecrash_async_image* image = cecrash_async_image_list_image_for_address(image_list, pc)) {
        cecrash_async_mobject section;
        bool debugFrame = false;
        bool mapped = cecrash_async_image_map_section(image, "__TEXT", "__eh_frame", &section) == CECRASH_ESUCCESS;
        if (!mapped) {
            debugFrame = true;
            mapped = cecrash_async_image_map_section(image, "__DWARF", "__debug_frame", &section) == CECRASH_ESUCCESS;
        }
        if (!mapped) {
            result = CECRASH_FRAME_ENOFRAME;
        } else {
            const cecrash_async_dwarf_frame_reader reader{&section, image->byteorder, image->m64, debugFrame};
            result = image->m64 ? unwind<uint64_t, int64_t>(image, &reader, pc, current, next)
                                : unwind<uint32_t, int32_t>(image, &reader, pc, current, next);
            cecrash_async_mobject_free(&section);
        }
    }
    cecrash_async_image_list_set_reading(image_list, false);
    return result;
}
