#include "sdk/crash-engine/compact/CompactUnwindReader.h"

#include "sdk/crash-engine/linux/MemoryReader.h"

namespace {

constexpr uint32_t kHeaderSize = 28;
constexpr uint32_t kIndexEntrySize = 12;
constexpr uint32_t kPageRegular = 2;
constexpr uint32_t kPageCompressed = 3;
constexpr uint32_t kModeMask = 0x0f000000;
constexpr uint32_t kCodeCount = 6;

// Register numbers of the thread state for the compact register codes 1 to 6.
constexpr uint32_t kRegisters64[kCodeCount + 1] = {CECRASH_CFE_REG_NONE, 4, 13, 14, 15, 16, 1};
constexpr uint32_t kRegisters32[kCodeCount + 1] = {CECRASH_CFE_REG_NONE, 6, 5, 4, 8, 7, 1};

// Async-signal-safe. A 32-bit field of the section, at section offset `at`.
bool field(const cecrash_async_cfe_reader* reader, uint64_t at, uint32_t* value)
{
    return cecrash_async_mobject_read_uint32(reader->mobj, reader->byteorder, cecrash_async_mobject_base_address(reader->mobj),
                                             static_cast<int64_t>(at), value)
        == CECRASH_ESUCCESS;
}

// Async-signal-safe.
bool field16(const cecrash_async_cfe_reader* reader, uint64_t at, uint16_t* value)
{
    return cecrash_async_mobject_read_uint16(reader->mobj, reader->byteorder, cecrash_async_mobject_base_address(reader->mobj),
                                             static_cast<int64_t>(at), value)
        == CECRASH_ESUCCESS;
}

// Async-signal-safe. Whether count entries of `size` bytes at section offset `at` lie inside.
bool inside(const cecrash_async_cfe_reader* reader, uint64_t at, uint64_t count, uint64_t size)
{
    if (count == 0)
        return at <= cecrash_async_mobject_length(reader->mobj);
    return cecrash_async_mobject_remap_address(reader->mobj, cecrash_async_mobject_base_address(reader->mobj),
                                               static_cast<int64_t>(at), count * size)
        != nullptr;
}

// Async-signal-safe. The last of `count` sorted entries whose key is at or below address: 8
// when the first key is above it (or there are none).
template <typename Key>
cecrash_error_t searchSorted(uint32_t count, uint32_t address, Key key, uint32_t* found)
{
    if (count == 0)
        return CECRASH_ENOTFOUND;
    int64_t low = 0;
    int64_t high = static_cast<int64_t>(count) - 1;
    while (low <= high) {
        const int64_t middle = (low + high) / 2;
        const uint32_t value = key(static_cast<uint32_t>(middle));
        if (value < address) {
            if (middle == high || key(static_cast<uint32_t>(middle + 1)) > address) {
                *found = static_cast<uint32_t>(middle);
                return CECRASH_ESUCCESS;
            }
            low = middle + 1;
        } else if (value > address) {
            if (middle == 0)
                return CECRASH_ENOTFOUND;
            high = middle - 1;
        } else {
            *found = static_cast<uint32_t>(middle);
            return CECRASH_ESUCCESS;
        }
    }
    return CECRASH_ENOTFOUND;
}

// Async-signal-safe. The register number of a compact code for the CPU: 5 above 6, 4 for
// a CPU other than the two x86 ones.
cecrash_error_t mapCode(uint32_t cpu, uint32_t code, uint32_t* reg)
{
    if (code > kCodeCount)
        return CECRASH_EINVAL;
    if (cpu == CECRASH_CPU_TYPE_X86_64)
        *reg = kRegisters64[code];
    else if (cpu == CECRASH_CPU_TYPE_X86)
        *reg = kRegisters32[code];
    else
        return CECRASH_ENOTSUP;
    return CECRASH_ESUCCESS;
}

// Async-signal-safe. A word of the thread's width from memory.
cecrash_error_t readWord(uint64_t address, size_t width, uint64_t* value)
{
    *value = 0;
    return cecrash_async_copy_from_task(address, 0, value, width);
}

// Async-signal-safe. Frameless and frame registers of arm64 from their pair flags.
void arm64Pairs(cecrash_async_cfe_entry* entry, uint32_t encoding)
{
    const uint32_t pairs[5][3] = {{0x10, 31, 30}, {0x08, 29, 28}, {0x04, 27, 26}, {0x02, 25, 24}, {0x01, 23, 22}};
    for (const auto& pair : pairs) {
        if ((encoding & pair[0]) != 0) {
            entry->register_list[entry->register_count++] = pair[1];
            entry->register_list[entry->register_count++] = pair[2];
        }
    }
}

}  // namespace

cecrash_error_t cecrash_async_cfe_reader_init(cecrash_async_cfe_reader* reader, const cecrash_async_mobject* mobj,
                                              uint32_t cputype)
{
    reader->mobj = mobj;
    reader->cputype = cputype;
    reader->byteorder = cecrash_async_byteorder_little_endian();
    if (cputype != CECRASH_CPU_TYPE_X86 && cputype != CECRASH_CPU_TYPE_X86_64 && cputype != CECRASH_CPU_TYPE_ARM64)
        return CECRASH_ENOTSUP;
    uint32_t words[kHeaderSize / 4];
    for (uint32_t i = 0; i < kHeaderSize / 4; ++i) {
        if (!field(reader, i * 4, &words[i]))
            return CECRASH_EINVAL;
    }
    reader->header = {words[0], words[1], words[2], words[3], words[4], words[5], words[6]};
    return reader->header.version == 1 ? CECRASH_ESUCCESS : CECRASH_ENOTSUP;
}

cecrash_error_t cecrash_async_cfe_reader_find_pc(const cecrash_async_cfe_reader* reader, uint32_t pc,
                                                 uint32_t* function_base, uint32_t* encoding)
{
    const auto& header = reader->header;
    if (!inside(reader, header.common_encodings_offset, header.common_encodings_count, 4))
        return CECRASH_EINVAL;
    if (header.index_count <= 1)
        return CECRASH_ENOTFOUND;
    const uint32_t entries = header.index_count - 1;
    if (!inside(reader, header.index_offset, entries, kIndexEntrySize))
        return CECRASH_EINVAL;
    const auto firstLevel = [&](uint32_t index, uint32_t fieldOffset) {
        uint32_t value = 0;
        field(reader, uint64_t{header.index_offset} + uint64_t{index} * kIndexEntrySize + fieldOffset, &value);
        return value;
    };
    uint32_t level = 0;
    if (const cecrash_error_t error =
            searchSorted(entries, pc, [&](uint32_t index) { return firstLevel(index, 0); }, &level))
        return error;
    const uint32_t firstFunction = firstLevel(level, 0);
    const uint64_t page = firstLevel(level, 4);

    uint32_t kind = 0;
    if (!field(reader, page, &kind))
        return CECRASH_EINVAL;
    uint16_t entryOffset = 0;
    uint16_t entryCount = 0;
    if (!field16(reader, page + 4, &entryOffset) || !field16(reader, page + 6, &entryCount))
        return CECRASH_EINVAL;
    const uint64_t entriesAt = page + entryOffset;
    if (kind == kPageRegular) {
        if (!inside(reader, entriesAt, entryCount, 8))
            return CECRASH_EINVAL;
        const auto regular = [&](uint32_t index, uint32_t fieldOffset) {
            uint32_t value = 0;
            field(reader, entriesAt + uint64_t{index} * 8 + fieldOffset, &value);
            return value;
        };
        uint32_t found = 0;
        if (const cecrash_error_t error = searchSorted(entryCount, pc, [&](uint32_t index) { return regular(index, 0); }, &found))
            return error;
        *function_base = regular(found, 0);
        *encoding = regular(found, 4);
        return CECRASH_ESUCCESS;
    }
    if (kind != kPageCompressed)
        return CECRASH_EINVAL;
    uint16_t encodingsOffset = 0;
    uint16_t encodingsCount = 0;
    if (!field16(reader, page + 8, &encodingsOffset) || !field16(reader, page + 10, &encodingsCount))
        return CECRASH_EINVAL;
    if (!inside(reader, entriesAt, entryCount, 4))
        return CECRASH_EINVAL;
    const auto compressed = [&](uint32_t index) {
        uint32_t value = 0;
        field(reader, entriesAt + uint64_t{index} * 4, &value);
        return value;
    };
    uint32_t found = 0;
    if (const cecrash_error_t error = searchSorted(
            entryCount, pc, [&](uint32_t index) { return (compressed(index) & 0xffffff) + firstFunction; }, &found))
        return error;
    const uint32_t entry = compressed(found);
    *function_base = (entry & 0xffffff) + firstFunction;
    const uint32_t index = entry >> 24;
    if (index < header.common_encodings_count) {
        field(reader, uint64_t{header.common_encodings_offset} + uint64_t{index} * 4, encoding);
        return CECRASH_ESUCCESS;
    }
    const uint64_t pageEncodingsAt = page + encodingsOffset;
    if (!inside(reader, pageEncodingsAt, encodingsCount, 4) || index - header.common_encodings_count >= encodingsCount)
        return CECRASH_EINVAL;
    field(reader, pageEncodingsAt + uint64_t{index - header.common_encodings_count} * 4, encoding);
    return CECRASH_ESUCCESS;
}

void cecrash_async_cfe_reader_free(cecrash_async_cfe_reader* reader)
{
    reader->mobj = nullptr;
}

uint32_t cecrash_async_cfe_register_encode(const uint32_t* registers, uint32_t count)
{
    if (count < 1 || count > kCodeCount)
        return 0;
    static const uint32_t kWeights[5][5] = {{1}, {5, 1}, {20, 4, 1}, {60, 12, 3, 1}, {120, 24, 6, 2, 1}};
    const uint32_t* weights = kWeights[count < 5 ? count - 1 : 4];
    const uint32_t digits = count < 5 ? count : 5;
    uint32_t permutation = 0;
    for (uint32_t i = 0; i < digits; ++i) {
        uint32_t smaller = 0;
        for (uint32_t j = 0; j < i; ++j) {
            if (registers[j] < registers[i])
                ++smaller;
        }
        permutation += (registers[i] - 1 - smaller) * weights[i];
    }
    return permutation;
}

cecrash_error_t cecrash_async_cfe_register_decode(uint32_t permutation, uint32_t count, uint32_t* registers)
{
    if (count > kCodeCount)
        return CECRASH_EINVAL;
    uint32_t digits[kCodeCount] = {};
    uint32_t p = permutation;
    switch (count) {
    case 0:
        return CECRASH_ESUCCESS;
    case 1:
        digits[0] = p;
        break;
    case 2:
        digits[0] = p / 5;
        digits[1] = p % 5;
        break;
    case 3:
        digits[0] = p / 20;
        p %= 20;
        digits[1] = p / 4;
        digits[2] = p % 4;
        break;
    case 4:
        digits[0] = p / 60;
        p %= 60;
        digits[1] = p / 12;
        p %= 12;
        digits[2] = p / 3;
        digits[3] = p % 3;
        break;
    default:
        digits[0] = p / 120;
        p %= 120;
        digits[1] = p / 24;
        p %= 24;
        digits[2] = p / 6;
        p %= 6;
        digits[3] = p / 2;
        digits[4] = p % 2;
        break;
    }
    bool used[kCodeCount + 1] = {};
    for (uint32_t slot = 0; slot < count; ++slot) {
        uint32_t remaining = digits[slot];
        uint32_t code = 0;
        for (uint32_t candidate = 1; candidate <= kCodeCount; ++candidate) {
            if (used[candidate])
                continue;
            if (remaining == 0) {
                code = candidate;
                break;
            }
            --remaining;
        }
        if (code == 0)
            return CECRASH_EINVAL;
        used[code] = true;
        registers[slot] = code;
    }
    return CECRASH_ESUCCESS;
}

cecrash_error_t cecrash_async_cfe_entry_init(cecrash_async_cfe_entry* entry, uint32_t cpu_type, uint32_t encoding)
{
    entry->type = CECRASH_CFE_ENTRY_TYPE_NONE;
    entry->cpu_type = static_cast<int32_t>(cpu_type);
    entry->stack_offset = 0;
    entry->stack_adjust = 0;
    entry->return_address_register = CECRASH_CFE_REG_NONE;
    entry->register_count = 0;
    for (uint32_t& slot : entry->register_list)
        slot = CECRASH_CFE_REG_NONE;
    const uint32_t mode = (encoding & kModeMask) >> 24;

    if (cpu_type == CECRASH_CPU_TYPE_ARM64) {
        switch (mode) {
        case 0:
            return CECRASH_ESUCCESS;
        case 2:
            entry->type = CECRASH_CFE_ENTRY_TYPE_FRAMELESS_IMMD;
            entry->stack_offset = static_cast<int64_t>((encoding >> 12) & 0xfff) * 16;
            entry->return_address_register = 32;
            arm64Pairs(entry, encoding);
            return CECRASH_ESUCCESS;
        case 3:
            entry->type = CECRASH_CFE_ENTRY_TYPE_DWARF;
            entry->stack_offset = encoding & 0xffffff;
            return CECRASH_ESUCCESS;
        case 4:
            entry->type = CECRASH_CFE_ENTRY_TYPE_FRAME_PTR;
            arm64Pairs(entry, encoding);
            entry->stack_offset = -static_cast<int64_t>(entry->register_count) * 8;
            return CECRASH_ESUCCESS;
        default:
            return CECRASH_ENOTSUP;
        }
    }
    if (cpu_type != CECRASH_CPU_TYPE_X86 && cpu_type != CECRASH_CPU_TYPE_X86_64)
        return CECRASH_ENOTSUP;
    const int64_t word = cpu_type == CECRASH_CPU_TYPE_X86_64 ? 8 : 4;
    switch (mode) {
    case 0:
        return CECRASH_ESUCCESS;
    case 1: {
        entry->type = CECRASH_CFE_ENTRY_TYPE_FRAME_PTR;
        entry->stack_offset = -static_cast<int64_t>((encoding >> 16) & 0xff) * word;
        const uint32_t saved = encoding & 0x7fff;
        for (uint32_t slot = 0; slot < 5 && (saved >> (3 * slot)) != 0; ++slot) {
            uint32_t reg = CECRASH_CFE_REG_NONE;
            if (const cecrash_error_t error = mapCode(cpu_type, (saved >> (3 * slot)) & 0x7, &reg))
                return error;
            entry->register_list[slot] = reg;
            entry->register_count = slot + 1;
        }
        return CECRASH_ESUCCESS;
    }
    case 2:
    case 3: {
        entry->type = mode == 2 ? CECRASH_CFE_ENTRY_TYPE_FRAMELESS_IMMD : CECRASH_CFE_ENTRY_TYPE_FRAMELESS_INDIRECT;
        const int64_t size = (encoding >> 16) & 0xff;
        entry->stack_offset = mode == 2 ? size * word : size;
        if (mode == 3)
            entry->stack_adjust = static_cast<uint32_t>(((encoding >> 13) & 0x7) * static_cast<uint32_t>(word));
        const uint32_t count = (encoding >> 10) & 0x7;
        uint32_t codes[kCodeCount] = {};
        if (cecrash_async_cfe_register_decode(encoding & 0x3ff, count, codes) != CECRASH_ESUCCESS)
            return CECRASH_EINVAL;
        for (uint32_t slot = 0; slot < count; ++slot) {
            if (const cecrash_error_t error = mapCode(cpu_type, codes[slot], &entry->register_list[slot]))
                return error;
        }
        entry->register_count = count;
        return CECRASH_ESUCCESS;
    }
    case 4:
        entry->type = CECRASH_CFE_ENTRY_TYPE_DWARF;
        entry->stack_offset = encoding & 0xffffff;
        return CECRASH_ESUCCESS;
    default:
        return CECRASH_ENOTSUP;
    }
}

void cecrash_async_cfe_entry_free(cecrash_async_cfe_entry*)
{
}

cecrash_error_t cecrash_async_cfe_entry_apply(uint64_t function_address, const cecrash_async_thread_state* current,
                                              const cecrash_async_cfe_entry* entry, cecrash_async_thread_state* next)
{
    cecrash_async_thread_state_copy(next, current);
    cecrash_async_thread_state_clear_volatile_regs(next);
    const size_t word = cecrash_async_thread_state_get_greg_size(current);
    uint64_t savedAt = 0;
    switch (entry->type) {
    case CECRASH_CFE_ENTRY_TYPE_FRAMELESS_IMMD:
    case CECRASH_CFE_ENTRY_TYPE_FRAMELESS_INDIRECT: {
        if (!cecrash_async_thread_state_has_reg(current, CECRASH_REG_SP))
            return CECRASH_ENOTFOUND;
        uint64_t size = static_cast<uint64_t>(entry->stack_offset);
        if (entry->type == CECRASH_CFE_ENTRY_TYPE_FRAMELESS_INDIRECT) {
            uint32_t immediate = 0;
            if (const cecrash_error_t error = cecrash_async_copy_from_task(function_address, entry->stack_offset, &immediate, 4))
                return error;
            size = uint64_t{immediate} + entry->stack_adjust;
        }
        const uint64_t stackPointer = cecrash_async_thread_state_get_reg(current, CECRASH_REG_SP) + size;
        const uint64_t savedBytes = uint64_t{entry->register_count} * word;
        if (entry->return_address_register == CECRASH_CFE_REG_NONE) {
            uint64_t returnAddress = 0;
            if (const cecrash_error_t error = readWord(stackPointer - word, word, &returnAddress))
                return error;
            cecrash_async_thread_state_set_reg(next, CECRASH_REG_IP, returnAddress);
            savedAt = stackPointer - word - savedBytes;
        } else {
            if (!cecrash_async_thread_state_has_reg(current, entry->return_address_register))
                return CECRASH_ENOTFOUND;
            cecrash_async_thread_state_set_reg(next, CECRASH_REG_IP,
                                               cecrash_async_thread_state_get_reg(current, entry->return_address_register));
            savedAt = stackPointer - savedBytes;
        }
        cecrash_async_thread_state_set_reg(next, CECRASH_REG_SP, stackPointer);
        break;
    }
    case CECRASH_CFE_ENTRY_TYPE_FRAME_PTR: {
        if (!cecrash_async_thread_state_has_reg(current, CECRASH_REG_FP))
            return CECRASH_ENOTFOUND;
        const uint64_t framePointer = cecrash_async_thread_state_get_reg(current, CECRASH_REG_FP);
        if (framePointer + 2 * word < framePointer)
            return CECRASH_EINVAL;
        uint64_t record[2] = {0, 0};
        if (const cecrash_error_t error = readWord(framePointer, word, &record[0]))
            return error;
        if (const cecrash_error_t error = readWord(framePointer + word, word, &record[1]))
            return error;
        cecrash_async_thread_state_set_reg(next, CECRASH_REG_FP, record[0]);
        cecrash_async_thread_state_set_reg(next, CECRASH_REG_IP, record[1]);
        cecrash_async_thread_state_set_reg(next, CECRASH_REG_SP, framePointer + 2 * word);
        savedAt = framePointer + static_cast<uint64_t>(entry->stack_offset);
        break;
    }
    default:
        return CECRASH_ENOTSUP;
    }
    // An empty slot keeps its place: its stack word is skipped, not read.
    for (uint32_t slot = 0; slot < entry->register_count; ++slot) {
        if (entry->register_list[slot] == CECRASH_CFE_REG_NONE)
            continue;
        uint64_t value = 0;
        if (const cecrash_error_t error = readWord(savedAt + slot * word, word, &value))
            return error;
        cecrash_async_thread_state_set_reg(next, entry->register_list[slot], value);
    }
    return CECRASH_ESUCCESS;
}

cecrash_async_frame_error_t cecrash_async_frame_cursor_read_compact_unwind(cecrash_async_image_list* image_list,
                                                                           const cecrash_async_thread_state* current,
                                                                           const cecrash_async_thread_state*,
                                                                           cecrash_async_thread_state* next)
{
    if (!cecrash_async_thread_state_has_reg(current, CECRASH_REG_IP))
        return CECRASH_FRAME_EBADFRAME;
    const uint64_t ip = cecrash_async_thread_state_get_reg(current, CECRASH_REG_IP);
    if (ip == 0 || image_list == nullptr)
        return CECRASH_FRAME_ENOTSUP;
    cecrash_async_image_list_set_reading(image_list, true);
    cecrash_async_frame_error_t result = CECRASH_FRAME_ENOTSUP;
    const cecrash_async_image* image = cecrash_async_image_list_image_for_address(image_list, ip);
    cecrash_async_mobject section;
    if (image != nullptr && cecrash_async_image_map_section(image, "__TEXT", "__unwind_info", &section) == CECRASH_ESUCCESS) {
        cecrash_async_cfe_reader reader;
        uint32_t start = 0;
        uint32_t encoding = 0;
        cecrash_async_cfe_entry entry;
        if (cecrash_async_cfe_reader_init(&reader, &section, image->cpu_type) != CECRASH_ESUCCESS) {
            result = CECRASH_FRAME_EINVAL;
        } else if (cecrash_async_cfe_reader_find_pc(&reader, static_cast<uint32_t>(ip - image->header_addr), &start, &encoding)
                       == CECRASH_ESUCCESS
                   && cecrash_async_cfe_entry_init(&entry, image->cpu_type, encoding) == CECRASH_ESUCCESS) {
            if (entry.type == CECRASH_CFE_ENTRY_TYPE_NONE)
                result = CECRASH_FRAME_ENOFRAME;
            else if (image->header_addr + start < image->header_addr)
                result = CECRASH_FRAME_EINVAL;
            else
                result = cecrash_async_cfe_entry_apply(image->header_addr + start, current, &entry, next) == CECRASH_ESUCCESS
                    ? CECRASH_FRAME_ESUCCESS
                    : CECRASH_FRAME_ENOFRAME;
        }
        cecrash_async_cfe_reader_free(&reader);
        cecrash_async_mobject_free(&section);
    }
    cecrash_async_image_list_set_reading(image_list, false);
    return result;
}
