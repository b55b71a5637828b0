#include "sdk/crash-engine/dwarf/DwarfFrameInfo.h"

namespace cecrash::async {

namespace {

// The length field of a CIE or FDE: 4 bytes, or 12 in the 64-bit format.
struct EntryHeader {
    uint64_t length;
    // Task address of the content after the length field.
    uint64_t content;
    // Width of the id or CIE pointer field that opens the content.
    size_t id_size;
};

// Async-signal-safe.
cecrash_error_t readHeader(const cecrash_async_mobject* mobj, const cecrash_async_byteorder* order, uint64_t address,
                           EntryHeader* header)
{
    uint32_t length32 = 0;
    if (cecrash_async_mobject_read_uint32(mobj, order, address, 0, &length32) != CECRASH_ESUCCESS)
        return CECRASH_EINVAL;
    if (length32 == 0xffffffff) {
        if (cecrash_async_mobject_read_uint64(mobj, order, address, 4, &header->length) != CECRASH_ESUCCESS)
            return CECRASH_EINVAL;
        header->content = address + 12;
        header->id_size = 8;
    } else {
        header->length = length32;
        header->content = address + 4;
        header->id_size = 4;
    }
    return CECRASH_ESUCCESS;
}

// Async-signal-safe.
cecrash_error_t readId(const cecrash_async_mobject* mobj, const cecrash_async_byteorder* order,
                       const EntryHeader& header, uint64_t* id)
{
    return dwarf_read_sized(mobj, order, header.content, 0, header.id_size, id) == CECRASH_ESUCCESS ? CECRASH_ESUCCESS
                                                                                                   : CECRASH_EINVAL;
}

// Async-signal-safe. The length field and the id (or CIE pointer) of the entry at address, and
// the content's offset from the section start.
cecrash_error_t openEntry(const cecrash_async_mobject* mobj, const cecrash_async_byteorder* order, uint64_t address,
                          EntryHeader* header, uint64_t* contentOffset, uint64_t* id)
{
    if (const cecrash_error_t error = readHeader(mobj, order, address, header))
        return error;
    const uint64_t section = cecrash_async_mobject_base_address(mobj);
    if (header->content < section)
        return CECRASH_EINVAL;
    *contentOffset = header->content - section;
    return readId(mobj, order, *header, id);
}

// Async-signal-safe. All ones of the field's width: the id of a debug-frame CIE.
uint64_t debugFrameCieId(size_t id_size)
{
    return id_size == 8 ? ~uint64_t{0} : uint64_t{0xffffffff};
}

}  // namespace

template <typename machine_ptr>
cecrash_error_t dwarf_cie_info_init(cecrash_async_dwarf_cie_info* info, const cecrash_async_mobject* mobj,
                                    const cecrash_async_byteorder* byteorder,
                                    const gnu_ehptr_reader<machine_ptr>* ptr_reader, uint64_t address)
{
    cecrash_async_fill_bytes(info, 0, sizeof(*info));
    EntryHeader header;
    if (const cecrash_error_t error = openEntry(mobj, byteorder, address, &header, &info->cie_offset, &info->cie_id))
        return error;
    info->cie_length = header.length;
    if (info->cie_id != 0 && info->cie_id != debugFrameCieId(header.id_size))
        return CECRASH_EINVAL;

    int64_t at = static_cast<int64_t>(header.id_size);
    if (cecrash_async_mobject_read_uint8(mobj, header.content, at, &info->cie_version) != CECRASH_ESUCCESS)
        return CECRASH_EINVAL;
    if (info->cie_version != 1 && info->cie_version != 3 && info->cie_version != 4)
        return CECRASH_EINVAL;
    ++at;

    const int64_t augmentation = at;
    size_t augmentationLength = 0;
    for (;;) {
        uint8_t letter = 0;
        if (cecrash_async_mobject_read_uint8(mobj, header.content, at, &letter) != CECRASH_ESUCCESS)
            return CECRASH_EINVAL;
        ++at;
        if (letter == 0)
            break;
        if (augmentationLength == 0 && letter != 'z')
            return CECRASH_ENOTSUP;
        ++augmentationLength;
    }
    info->eh_augmentation.has_eh_augmentation = augmentationLength > 0;

    if (info->cie_version == 4) {
        if (cecrash_async_mobject_read_uint8(mobj, header.content, at, &info->address_size) != CECRASH_ESUCCESS
            || cecrash_async_mobject_read_uint8(mobj, header.content, at + 1, &info->segment_size) != CECRASH_ESUCCESS)
            return CECRASH_EINVAL;
        at += 2;
    }

    size_t size = 0;
    if (const cecrash_error_t error = dwarf_read_uleb128(mobj, header.content, at, &info->code_alignment_factor, &size))
        return error;
    at += static_cast<int64_t>(size);
    if (const cecrash_error_t error = dwarf_read_sleb128(mobj, header.content, at, &info->data_alignment_factor, &size))
        return error;
    at += static_cast<int64_t>(size);
    if (const cecrash_error_t error = dwarf_read_uleb128(mobj, header.content, at, &info->return_address_register, &size))
        return error;
    at += static_cast<int64_t>(size);

    if (info->eh_augmentation.has_eh_augmentation) {
        uint64_t dataLength = 0;
        if (const cecrash_error_t error = dwarf_read_uleb128(mobj, header.content, at, &dataLength, &size))
            return error;
        at += static_cast<int64_t>(size);
        const int64_t dataStart = at;
        for (size_t i = 1; i < augmentationLength; ++i) {
            uint8_t letter = 0;
            cecrash_async_mobject_read_uint8(mobj, header.content, augmentation + static_cast<int64_t>(i), &letter);
            if (letter == 'L') {
                if (cecrash_async_mobject_read_uint8(mobj, header.content, at, &info->eh_augmentation.lsda_encoding) != CECRASH_ESUCCESS)
                    return CECRASH_EINVAL;
                info->eh_augmentation.has_lsda_encoding = true;
                ++at;
            } else if (letter == 'P') {
                uint8_t encoding = 0;
                if (cecrash_async_mobject_read_uint8(mobj, header.content, at, &encoding) != CECRASH_ESUCCESS)
                    return CECRASH_EINVAL;
                ++at;
                machine_ptr personality = 0;
                if (const cecrash_error_t error = ptr_reader->read(mobj, header.content, at, encoding, &personality, &size))
                    return error;
                at += static_cast<int64_t>(size);
                info->eh_augmentation.has_personality_address = true;
                info->eh_augmentation.personality_address = personality;
            } else if (letter == 'R') {
                if (cecrash_async_mobject_read_uint8(mobj, header.content, at, &info->eh_augmentation.pointer_encoding) != CECRASH_ESUCCESS)
                    return CECRASH_EINVAL;
                info->eh_augmentation.has_pointer_encoding = true;
                ++at;
            } else if (letter == 'S') {
                info->eh_augmentation.signal_frame = true;
            } else {
                break;
            }
        }
        if (dataLength > INT64_MAX - static_cast<uint64_t>(dataStart))
            return CECRASH_EINVAL;
        at = dataStart + static_cast<int64_t>(dataLength);
    }

    const uint64_t consumed = static_cast<uint64_t>(at);
    if (consumed > header.length)
        return CECRASH_EINVAL;
    info->initial_instructions_offset = info->cie_offset + consumed;
    info->initial_instructions_length = header.length - consumed;
    return CECRASH_ESUCCESS;
}

template <typename machine_ptr>
cecrash_error_t dwarf_fde_info_init(cecrash_async_dwarf_fde_info* info, const cecrash_async_mobject* mobj,
                                    const cecrash_async_byteorder* byteorder, uint64_t address, bool debug_frame)
{
    cecrash_async_fill_bytes(info, 0, sizeof(*info));
    const uint64_t section = cecrash_async_mobject_base_address(mobj);
    EntryHeader header;
    uint64_t ciePointer = 0;
    if (const cecrash_error_t error = openEntry(mobj, byteorder, address, &header, &info->fde_offset, &ciePointer))
        return error;
    info->fde_length = header.length;
    uint64_t cieAddress = 0;
    if (debug_frame) {
        if (ciePointer >= cecrash_async_mobject_length(mobj))
            return CECRASH_EINVAL;
        cieAddress = section + ciePointer;
    } else {
        // The distance back from the pointer field itself.
        if (ciePointer > header.content - section)
            return CECRASH_EINVAL;
        cieAddress = header.content - ciePointer;
    }
    info->cie_offset = cieAddress - section;

    const gnu_ehptr_reader<machine_ptr> pointers(byteorder);
    cecrash_async_dwarf_cie_info cie;
    if (const cecrash_error_t error = dwarf_cie_info_init<machine_ptr>(&cie, mobj, byteorder, &pointers, cieAddress))
        return error;

    const uint8_t encoding = cie.eh_augmentation.has_eh_augmentation && cie.eh_augmentation.has_pointer_encoding
        ? cie.eh_augmentation.pointer_encoding
        : uint8_t{DW_EH_PE_absptr};
    int64_t at = static_cast<int64_t>(header.id_size);
    machine_ptr start = 0;
    size_t size = 0;
    if (const cecrash_error_t error = pointers.read(mobj, header.content, at, encoding, &start, &size))
        return error;
    at += static_cast<int64_t>(size);
    machine_ptr range = 0;
    if (const cecrash_error_t error = pointers.read(mobj, header.content, at, encoding & 0x0f, &range, &size))
        return error;
    at += static_cast<int64_t>(size);
    if (static_cast<machine_ptr>(start + range) < start)
        return CECRASH_EINVAL;
    info->pc_start = start;
    info->pc_end = static_cast<machine_ptr>(start + range);

    if (cie.eh_augmentation.has_eh_augmentation) {
        uint64_t dataLength = 0;
        if (const cecrash_error_t error = dwarf_read_uleb128(mobj, header.content, at, &dataLength, &size))
            return error;
        at += static_cast<int64_t>(size);
        if (dataLength > INT64_MAX - static_cast<uint64_t>(at))
            return CECRASH_EINVAL;
        at += static_cast<int64_t>(dataLength);
    }
    const uint64_t consumed = static_cast<uint64_t>(at);
    if (consumed > header.length)
        return CECRASH_EINVAL;
    info->instructions_offset = info->fde_offset + consumed;
    info->instructions_length = header.length - consumed;
    return CECRASH_ESUCCESS;
}

template <typename machine_ptr>
cecrash_error_t dwarf_find_fde(const cecrash_async_dwarf_frame_reader* reader, uint64_t offset, uint64_t pc,
                               cecrash_async_dwarf_fde_info* info)
{
    const cecrash_async_mobject* mobj = reader->mobj;
    const uint64_t section = cecrash_async_mobject_base_address(mobj);
    const uint64_t sectionLength = cecrash_async_mobject_length(mobj);
    while (offset < sectionLength) {
        EntryHeader header;
        if (const cecrash_error_t error = readHeader(mobj, reader->byteorder, section + offset, &header))
            return error;
        if (header.length == 0)
            return CECRASH_ENOTFOUND;
        uint64_t id = 0;
        if (const cecrash_error_t error = readId(mobj, reader->byteorder, header, &id))
            return error;
        const bool isCie = reader->debug_frame ? id == debugFrameCieId(header.id_size) : id == 0;
        if (!isCie) {
            if (const cecrash_error_t error =
                    dwarf_fde_info_init<machine_ptr>(info, mobj, reader->byteorder, section + offset, reader->debug_frame))
                return error;
            if (info->pc_start <= pc && pc < info->pc_end)
                return CECRASH_ESUCCESS;
        }
        const uint64_t contentOffset = header.content - section;
        if (header.length > UINT64_MAX - contentOffset)
            return CECRASH_EINVAL;
        offset = contentOffset + header.length;
    }
    return CECRASH_ENOTFOUND;
}

template cecrash_error_t dwarf_cie_info_init<uint32_t>(cecrash_async_dwarf_cie_info*, const cecrash_async_mobject*,
                                                       const cecrash_async_byteorder*, const gnu_ehptr_reader<uint32_t>*,
                                                       uint64_t);
template cecrash_error_t dwarf_cie_info_init<uint64_t>(cecrash_async_dwarf_cie_info*, const cecrash_async_mobject*,
                                                       const cecrash_async_byteorder*, const gnu_ehptr_reader<uint64_t>*,
                                                       uint64_t);
template cecrash_error_t dwarf_fde_info_init<uint32_t>(cecrash_async_dwarf_fde_info*, const cecrash_async_mobject*,
                                                       const cecrash_async_byteorder*, uint64_t, bool);
template cecrash_error_t dwarf_fde_info_init<uint64_t>(cecrash_async_dwarf_fde_info*, const cecrash_async_mobject*,
                                                       const cecrash_async_byteorder*, uint64_t, bool);
template cecrash_error_t dwarf_find_fde<uint32_t>(const cecrash_async_dwarf_frame_reader*, uint64_t, uint64_t,
                                                  cecrash_async_dwarf_fde_info*);
template cecrash_error_t dwarf_find_fde<uint64_t>(const cecrash_async_dwarf_frame_reader*, uint64_t, uint64_t,
                                                  cecrash_async_dwarf_fde_info*);

}  // namespace cecrash::async
