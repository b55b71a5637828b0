// The compact unwind reader: the first frame reader of the cursor for images that carry a
// "__TEXT" / "__unwind_info" section. It finds the encoding of the function holding an address,
// decodes it into an unwind entry and applies that to the registers. Functions whose encoding
// refers to DWARF or carries no unwind information are left to the next readers. ELF images
// have no such section, so on this system the reader always passes.
#pragma once

#include "sdk/crash-engine/FrameCursor.h"
#include "sdk/crash-engine/linux/MemoryObject.h"

#include <cstdint>

constexpr uint32_t CECRASH_CPU_TYPE_ARM64 = 0x100000c;
// No register: the return address lies on the stack / an empty slot of a register list.
constexpr uint32_t CECRASH_CFE_REG_NONE = 0x7fffffff;
constexpr uint32_t CECRASH_CFE_SAVED_REGISTER_MAX = 10;

enum cecrash_async_cfe_entry_type : uint32_t {
    CECRASH_CFE_ENTRY_TYPE_FRAME_PTR = 1,
    CECRASH_CFE_ENTRY_TYPE_FRAMELESS_IMMD = 2,
    CECRASH_CFE_ENTRY_TYPE_FRAMELESS_INDIRECT = 3,
    CECRASH_CFE_ENTRY_TYPE_DWARF = 4,
    CECRASH_CFE_ENTRY_TYPE_NONE = 5,
};

struct cecrash_async_cfe_reader {
    const cecrash_async_mobject* mobj;
    uint32_t cputype;
    const cecrash_async_byteorder* byteorder;
    struct {
        uint32_t version;
        uint32_t common_encodings_offset;
        uint32_t common_encodings_count;
        uint32_t personality_offset;
        uint32_t personality_count;
        uint32_t index_offset;
        uint32_t index_count;
    } header;
};

struct cecrash_async_cfe_entry {
    uint32_t type;
    int32_t cpu_type;
    // Frame: offset of the saved registers from the frame pointer (negative). Frameless: the
    // stack size, or for the indirect form the offset of the size's immediate in the function.
    // DWARF: the FDE's offset in the call-frame section.
    int64_t stack_offset;
    uint32_t stack_adjust;
    uint32_t return_address_register;
    uint32_t register_count;
    uint32_t register_list[CECRASH_CFE_SAVED_REGISTER_MAX];
};

// Async-signal-safe, all of what follows. 0; 4 for another CPU or a version other than 1;
// 5 when the header lies outside the section.
cecrash_error_t cecrash_async_cfe_reader_init(cecrash_async_cfe_reader* reader, const cecrash_async_mobject* mobj,
                                              uint32_t cputype);
// Async-signal-safe. The function holding pc (relative to the image base): 0; 8 before the first function or
// with an empty index; 5 when a table lies outside the section or a page is malformed.
cecrash_error_t cecrash_async_cfe_reader_find_pc(const cecrash_async_cfe_reader* reader, uint32_t pc,
                                                 uint32_t* function_base, uint32_t* encoding);
// Async-signal-safe.
void cecrash_async_cfe_reader_free(cecrash_async_cfe_reader* reader);

// Async-signal-safe. 0; 4 for an unsupported CPU or mode; 5 for a bad register code or permutation.
cecrash_error_t cecrash_async_cfe_entry_init(cecrash_async_cfe_entry* entry, uint32_t cpu_type, uint32_t encoding);
// Async-signal-safe.
void cecrash_async_cfe_entry_free(cecrash_async_cfe_entry* entry);

// Async-signal-safe. Register codes (1 to 6) <-> the permutation number of a frameless encoding. Encoding a count
// other than 1 to 6 gives 0; decoding a count above 6 gives 5.
uint32_t cecrash_async_cfe_register_encode(const uint32_t* registers, uint32_t count);
// Async-signal-safe.
cecrash_error_t cecrash_async_cfe_register_decode(uint32_t permutation, uint32_t count, uint32_t* registers);

// Async-signal-safe. The caller's registers by the entry: 0, 8 when a register it needs is unknown, 4 for DWARF
// and none entries, 5 for an overflowing frame, or the error of a memory read.
cecrash_error_t cecrash_async_cfe_entry_apply(uint64_t function_address, const cecrash_async_thread_state* current,
                                              const cecrash_async_cfe_entry* entry, cecrash_async_thread_state* next);

// Async-signal-safe. The frame reader (frame codes of the cursor).
cecrash_async_frame_error_t cecrash_async_frame_cursor_read_compact_unwind(cecrash_async_image_list* image_list,
                                                                           const cecrash_async_thread_state* current,
                                                                           const cecrash_async_thread_state* previous,
                                                                           cecrash_async_thread_state* next);
