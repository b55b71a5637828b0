#include "sdk/crash-engine/dwarf/DwarfPrimitives.h"

#include "sdk/crash-engine/linux/MemoryReader.h"

namespace cecrash::async {

namespace {

// The size of the view a task read makes.
constexpr uint64_t kTaskReadWindow = 4096;

// Async-signal-safe. A view of up to one window of process memory at address + offset.
cecrash_error_t taskWindow(uint64_t address, int64_t offset, cecrash_async_mobject* object, uint64_t* start)
{
    if (!cecrash_async_offset_address(address, offset, start))
        return CECRASH_EINVAL;
    return cecrash_async_mobject_init(object, *start, kTaskReadWindow, false);
}

}  // namespace

cecrash_error_t dwarf_read_uleb128(const cecrash_async_mobject* object, uint64_t address, int64_t offset,
                                   uint64_t* result, size_t* size)
{
    uint64_t value = 0;
    unsigned shift = 0;
    size_t count = 0;
    for (;;) {
        uint8_t byte = 0;
        if (cecrash_async_mobject_read_uint8(object, address, offset + static_cast<int64_t>(count), &byte) != CECRASH_ESUCCESS)
            return CECRASH_EINVAL;
        ++count;
        value |= static_cast<uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0)
            break;
        if (shift >= 63)
            return CECRASH_ENOTSUP;
        shift += 7;
    }
    *result = value;
    *size = count;
    return CECRASH_ESUCCESS;
}

cecrash_error_t dwarf_read_sleb128(const cecrash_async_mobject* object, uint64_t address, int64_t offset,
                                   int64_t* result, size_t* size)
{
    uint64_t value = 0;
    unsigned shift = 0;
    size_t count = 0;
    uint8_t byte = 0x80;
    while (shift < 64 && (byte & 0x80) != 0) {
        if (cecrash_async_mobject_read_uint8(object, address, offset + static_cast<int64_t>(count), &byte) != CECRASH_ESUCCESS)
            return CECRASH_EINVAL;
        ++count;
        value |= static_cast<uint64_t>(byte & 0x7f) << shift;
        shift += 7;
    }
    if ((byte & 0x80) != 0)
        return CECRASH_ENOTSUP;
    if (shift < 64 && (byte & 0x40) != 0)
        value |= ~uint64_t{0} << shift;
    *result = static_cast<int64_t>(value);
    *size = count;
    return CECRASH_ESUCCESS;
}

cecrash_error_t dwarf_read_task_uleb128(uint64_t address, int64_t offset, uint64_t* result, size_t* size)
{
    cecrash_async_mobject object;
    uint64_t start = 0;
    if (const cecrash_error_t error = taskWindow(address, offset, &object, &start))
        return error;
    const cecrash_error_t error = dwarf_read_uleb128(&object, start, 0, result, size);
    cecrash_async_mobject_free(&object);
    return error;
}

cecrash_error_t dwarf_read_task_sleb128(uint64_t address, int64_t offset, int64_t* result, size_t* size)
{
    cecrash_async_mobject object;
    uint64_t start = 0;
    if (const cecrash_error_t error = taskWindow(address, offset, &object, &start))
        return error;
    const cecrash_error_t error = dwarf_read_sleb128(&object, start, 0, result, size);
    cecrash_async_mobject_free(&object);
    return error;
}

cecrash_error_t dwarf_read_sized(const cecrash_async_mobject* object, const cecrash_async_byteorder* order,
                                 uint64_t address, int64_t offset, size_t size, uint64_t* result)
{
    switch (size) {
    case 1: {
        uint8_t value = 0;
        const cecrash_error_t error = cecrash_async_mobject_read_uint8(object, address, offset, &value);
        *result = value;
        return error;
    }
    case 2: {
        uint16_t value = 0;
        const cecrash_error_t error = cecrash_async_mobject_read_uint16(object, order, address, offset, &value);
        *result = value;
        return error;
    }
    case 4: {
        uint32_t value = 0;
        const cecrash_error_t error = cecrash_async_mobject_read_uint32(object, order, address, offset, &value);
        *result = value;
        return error;
    }
    case 8:
        return cecrash_async_mobject_read_uint64(object, order, address, offset, result);
    default:
        return CECRASH_EINVAL;
    }
}

template <typename machine_ptr>
gnu_ehptr_reader<machine_ptr>::gnu_ehptr_reader(const cecrash_async_byteorder* order)
    : order_(order)
{
}

template <typename machine_ptr>
void gnu_ehptr_reader<machine_ptr>::set_frame_section_base(uint64_t mapped_base, uint64_t load_address)
{
    has_frame_section_ = true;
    frame_section_mapped_ = mapped_base;
    frame_section_load_ = load_address;
}

template <typename machine_ptr>
void gnu_ehptr_reader<machine_ptr>::set_text_base(machine_ptr base)
{
    has_text_ = true;
    text_ = base;
}

template <typename machine_ptr>
void gnu_ehptr_reader<machine_ptr>::set_data_base(machine_ptr base)
{
    has_data_ = true;
    data_ = base;
}

template <typename machine_ptr>
void gnu_ehptr_reader<machine_ptr>::set_func_base(machine_ptr base)
{
    has_func_ = true;
    func_ = base;
}

template <typename machine_ptr>
cecrash_error_t gnu_ehptr_reader<machine_ptr>::read(const cecrash_async_mobject* object, uint64_t location,
                                                   int64_t offset, uint8_t encoding, machine_ptr* result,
                                                   size_t* size) const
{
    if (encoding == DW_EH_PE_omit)
        return CECRASH_ENOTFOUND;
    machine_ptr base = 0;
    size_t consumed = 0;
    switch (encoding & 0x70) {
    case DW_EH_PE_absptr:
        break;
    case DW_EH_PE_pcrel:
        base = static_cast<machine_ptr>(location + static_cast<uint64_t>(offset));
        break;
    case DW_EH_PE_textrel:
        if (!has_text_)
            return CECRASH_ENOTSUP;
        base = text_;
        break;
    case DW_EH_PE_datarel:
        if (!has_data_)
            return CECRASH_ENOTSUP;
        base = data_;
        break;
    case DW_EH_PE_funcrel:
        if (!has_func_)
            return CECRASH_ENOTSUP;
        base = func_;
        break;
    case DW_EH_PE_aligned: {
        if (!has_frame_section_)
            return CECRASH_ENOTSUP;
        // The padding is what rounds the value's load address up to a whole word.
        const uint64_t at = location + static_cast<uint64_t>(offset) - frame_section_mapped_ + frame_section_load_;
        const uint64_t word = sizeof(machine_ptr);
        consumed = static_cast<size_t>((word - at % word) % word);
        break;
    }
    default:
        return CECRASH_ENOTSUP;
    }
    const int64_t at = offset + static_cast<int64_t>(consumed);
    uint64_t raw = 0;
    size_t width = 0;
    cecrash_error_t error = CECRASH_ESUCCESS;
    switch (encoding & 0x0f) {
    case DW_EH_PE_absptr:
        width = sizeof(machine_ptr);
        error = dwarf_read_sized(object, order_, location, at, width, &raw);
        break;
    case DW_EH_PE_uleb128:
        error = dwarf_read_uleb128(object, location, at, &raw, &width);
        break;
    case DW_EH_PE_udata2:
    case DW_EH_PE_sdata2:
        width = 2;
        error = dwarf_read_sized(object, order_, location, at, width, &raw);
        if (error == CECRASH_ESUCCESS && (encoding & 0x0f) == DW_EH_PE_sdata2)
            raw = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(raw)));
        break;
    case DW_EH_PE_udata4:
    case DW_EH_PE_sdata4:
        width = 4;
        error = dwarf_read_sized(object, order_, location, at, width, &raw);
        if (error == CECRASH_ESUCCESS && (encoding & 0x0f) == DW_EH_PE_sdata4)
            raw = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(raw)));
        break;
    case DW_EH_PE_udata8:
    case DW_EH_PE_sdata8:
        width = 8;
        error = dwarf_read_sized(object, order_, location, at, width, &raw);
        break;
    case DW_EH_PE_sleb128: {
        int64_t value = 0;
        error = dwarf_read_sleb128(object, location, at, &value, &width);
        raw = static_cast<uint64_t>(value);
        break;
    }
    default:
        return CECRASH_ENOTSUP;
    }
    if (error != CECRASH_ESUCCESS)
        return error;
    machine_ptr value = static_cast<machine_ptr>(base + static_cast<machine_ptr>(raw));
    if ((encoding & DW_EH_PE_indirect) != 0) {
        machine_ptr target = 0;
        if (const cecrash_error_t readError = cecrash_async_copy_from_task(value, 0, &target, sizeof(target)))
            return readError;
        value = sizeof(machine_ptr) == 8 ? static_cast<machine_ptr>(order_->swap64(target))
                                        : static_cast<machine_ptr>(order_->swap32(static_cast<uint32_t>(target)));
    }
    *result = value;
    *size = consumed + width;
    return CECRASH_ESUCCESS;
}

template class gnu_ehptr_reader<uint32_t>;
template class gnu_ehptr_reader<uint64_t>;

}  // namespace cecrash::async
