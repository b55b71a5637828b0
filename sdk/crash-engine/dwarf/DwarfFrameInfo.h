// The entries of a call-frame section: a CIE (what a group of functions shares: alignment
// factors, return-address column, augmentation, initial instructions) and an FDE (one
// function's address range and its instructions), and the search for the FDE of an address.
#pragma once

#include "sdk/crash-engine/dwarf/DwarfPrimitives.h"

#include <cstdint>

struct cecrash_async_dwarf_cie_info {
    // Start of the content after the length field, from the section start.
    uint64_t cie_offset;
    // Length without the length field.
    uint64_t cie_length;
    uint64_t cie_id;
    uint8_t cie_version;
    // Version 4 only.
    uint8_t address_size;
    uint8_t segment_size;
    uint64_t code_alignment_factor;
    int64_t data_alignment_factor;
    // DWARF column of the return address.
    uint64_t return_address_register;
    struct {
        bool has_eh_augmentation;
        bool has_lsda_encoding;
        uint8_t lsda_encoding;
        bool has_personality_address;
        uint64_t personality_address;
        bool has_pointer_encoding;
        uint8_t pointer_encoding;
        bool signal_frame;
    } eh_augmentation;
    // From the section start.
    uint64_t initial_instructions_offset;
    uint64_t initial_instructions_length;
};

struct cecrash_async_dwarf_fde_info {
    uint64_t fde_offset;
    uint64_t fde_length;
    uint64_t cie_offset;
    uint64_t pc_start;
    // Exclusive.
    uint64_t pc_end;
    uint64_t instructions_offset;
    uint64_t instructions_length;
};

// The section an FDE search runs over.
struct cecrash_async_dwarf_frame_reader {
    cecrash_async_mobject* mobj;
    const cecrash_async_byteorder* byteorder;
    // Selects the 64-bit word instance of the readers.
    bool m64;
    // A debug-frame section (CIE pointers are section offsets, CIE ids all ones) rather than an
    // exception-frame one.
    bool debug_frame;
};

namespace cecrash::async {

// Async-signal-safe. Parses the CIE whose length field lies at `address` (a task address inside
// the view). 5 for bad ids, versions and lengths or fields outside the view, 4 for an unknown
// augmentation string.
template <typename machine_ptr>
cecrash_error_t dwarf_cie_info_init(cecrash_async_dwarf_cie_info* info, const cecrash_async_mobject* mobj,
                                    const cecrash_async_byteorder* byteorder,
                                    const gnu_ehptr_reader<machine_ptr>* ptr_reader, uint64_t address);

// Async-signal-safe. Parses the FDE whose length field lies at `address`, with its CIE.
template <typename machine_ptr>
cecrash_error_t dwarf_fde_info_init(cecrash_async_dwarf_fde_info* info, const cecrash_async_mobject* mobj,
                                    const cecrash_async_byteorder* byteorder, uint64_t address, bool debug_frame);

// Async-signal-safe. Walks the section from `offset` for the FDE whose range holds pc: 0, 8 at
// the section end or a zero terminator, 5 for a malformed entry.
template <typename machine_ptr>
cecrash_error_t dwarf_find_fde(const cecrash_async_dwarf_frame_reader* reader, uint64_t offset, uint64_t pc,
                               cecrash_async_dwarf_fde_info* info);

}  // namespace cecrash::async
