// The small readers of the call-frame information: LEB128 numbers, sized values and pointers in
// the exception-frame pointer encodings, each read through a bounded memory view.
#pragma once

#include "sdk/crash-engine/AsyncSafe.h"
#include "sdk/crash-engine/linux/MemoryObject.h"

#include <cstddef>
#include <cstdint>

namespace cecrash::async {

// Pointer encodings of exception-frame data: format in the low four bits, base in bits 4-6,
// the indirect flag in bit 7; 0xff omits the value.
enum : uint8_t {
    DW_EH_PE_absptr = 0x00,
    DW_EH_PE_uleb128 = 0x01,
    DW_EH_PE_udata2 = 0x02,
    DW_EH_PE_udata4 = 0x03,
    DW_EH_PE_udata8 = 0x04,
    DW_EH_PE_sleb128 = 0x09,
    DW_EH_PE_sdata2 = 0x0a,
    DW_EH_PE_sdata4 = 0x0b,
    DW_EH_PE_sdata8 = 0x0c,
    DW_EH_PE_pcrel = 0x10,
    DW_EH_PE_textrel = 0x20,
    DW_EH_PE_datarel = 0x30,
    DW_EH_PE_funcrel = 0x40,
    DW_EH_PE_aligned = 0x50,
    DW_EH_PE_indirect = 0x80,
    DW_EH_PE_omit = 0xff,
};

// Async-signal-safe. An unsigned LEB128 number at address + offset; size gets its byte count.
// 5 when a byte lies outside the view, 4 when it does not end within 64 bits.
cecrash_error_t dwarf_read_uleb128(const cecrash_async_mobject* object, uint64_t address, int64_t offset,
                                   uint64_t* result, size_t* size);
// Async-signal-safe. As above, signed.
cecrash_error_t dwarf_read_sleb128(const cecrash_async_mobject* object, uint64_t address, int64_t offset,
                                   int64_t* result, size_t* size);
// Async-signal-safe. The same over the process's memory: a view of up to 4096 bytes at the
// address, then one number read from it.
cecrash_error_t dwarf_read_task_uleb128(uint64_t address, int64_t offset, uint64_t* result, size_t* size);
cecrash_error_t dwarf_read_task_sleb128(uint64_t address, int64_t offset, int64_t* result, size_t* size);
// Async-signal-safe. An unsigned value of 1, 2, 4 or 8 bytes; any other size or a value outside
// the view: 5.
cecrash_error_t dwarf_read_sized(const cecrash_async_mobject* object, const cecrash_async_byteorder* order,
                                 uint64_t address, int64_t offset, size_t size, uint64_t* result);

// Reads pointers in the exception-frame encodings for one machine word (uint32_t or uint64_t).
// The four bases start unset; a value relative to an unset base is refused with 4.
template <typename machine_ptr>
class gnu_ehptr_reader {
public:
    explicit gnu_ehptr_reader(const cecrash_async_byteorder* order);

    void set_frame_section_base(uint64_t mapped_base, uint64_t load_address);
    void set_text_base(machine_ptr base);
    void set_data_base(machine_ptr base);
    void set_func_base(machine_ptr base);

    // Async-signal-safe. The pointer at location + offset; size gets the bytes consumed
    // (alignment padding included). 8 for the omitted encoding, 4 for an unknown or unset base
    // or an unknown format, 5 outside the view, or the error of an indirect read.
    cecrash_error_t read(const cecrash_async_mobject* object, uint64_t location, int64_t offset, uint8_t encoding,
                         machine_ptr* result, size_t* size) const;

private:
    const cecrash_async_byteorder* order_;
    bool has_frame_section_ = false;
    uint64_t frame_section_mapped_ = 0;
    uint64_t frame_section_load_ = 0;
    bool has_text_ = false;
    machine_ptr text_ = 0;
    bool has_data_ = false;
    machine_ptr data_ = 0;
    bool has_func_ = false;
    machine_ptr func_ = 0;
};

extern template class gnu_ehptr_reader<uint32_t>;
extern template class gnu_ehptr_reader<uint64_t>;

}  // namespace cecrash::async
