#include "sdk/crash-engine/macho/MachOImage.h"

#include "sdk/crash-engine/linux/MemoryReader.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kMagic32 = 0xfeedface;
constexpr uint32_t kMagic64 = 0xfeedfacf;
constexpr uint32_t kMagic32Swapped = 0xcefaedfe;
constexpr uint32_t kMagic64Swapped = 0xcffaedfe;
// A symbol defined in a section (N_SECT), not a debugging entry, whatever its external bit.
constexpr uint8_t kSymbolTypeMask = 0xee;
constexpr uint8_t kSymbolDefinedInSection = 0x0e;
// n_desc flag of a Thumb function.
constexpr uint16_t kThumbDefinition = 0x0008;
constexpr size_t kNameLength = 16;

// Segment command and section record layouts: the offsets of the fields read.
struct Layout {
    uint32_t segmentCommand;
    uint32_t segmentSize;
    uint32_t sectionSize;
    // Within a segment command.
    uint32_t vmaddr, vmsize, fileoff, filesize, nsects;
    // Within a section record.
    uint32_t addr, size;
    size_t word;
};
constexpr Layout kLayout64{CECRASH_LC_SEGMENT_64, 72, 80, 24, 32, 40, 48, 64, 32, 40, 8};
constexpr Layout kLayout32{CECRASH_LC_SEGMENT, 56, 68, 24, 28, 32, 36, 48, 32, 36, 4};

// Async-signal-safe.
const Layout& layoutOf(const cecrash_async_macho_image* image)
{
    return image->m64 ? kLayout64 : kLayout32;
}

// Async-signal-safe. A 32-bit field of the load commands, 0 outside them.
uint32_t commandWord(const cecrash_async_macho_image* image, uint64_t address, uint32_t offset)
{
    uint32_t value = 0;
    if (cecrash_async_mobject_read_uint32(&image->load_cmds, image->byteorder, address, offset, &value) != CECRASH_ESUCCESS)
        return 0;
    return value;
}

// Async-signal-safe. A word field (4 or 8 bytes by the image) of the load commands.
uint64_t commandAddress(const cecrash_async_macho_image* image, uint64_t address, uint32_t offset)
{
    if (!image->m64)
        return commandWord(image, address, offset);
    uint64_t value = 0;
    if (cecrash_async_mobject_read_uint64(&image->load_cmds, image->byteorder, address, offset, &value) != CECRASH_ESUCCESS)
        return 0;
    return value;
}

// Async-signal-safe. Whether the 16-character name field at address + offset equals name.
bool nameMatches(const cecrash_async_macho_image* image, uint64_t address, uint32_t offset, const char* name)
{
    const auto* field = static_cast<const char*>(
        cecrash_async_mobject_remap_address(&image->load_cmds, address, offset, kNameLength));
    return field != nullptr && cecrash_async_compare_strings_bounded(field, name, kNameLength) == 0;
}

// Async-signal-safe. The segment command's record must lie wholly inside the commands.
bool segmentReadable(const cecrash_async_macho_image* image, uint64_t command)
{
    return cecrash_async_mobject_remap_address(&image->load_cmds, command, 0, layoutOf(image).segmentSize) != nullptr;
}

// Async-signal-safe. Scans one range of the table for the nearest symbol at or below target.
void searchSymbols(const cecrash_async_macho_symtab_reader* reader, uint64_t table, uint32_t count, uint64_t target,
                   bool* found, cecrash_async_macho_symbol* best)
{
    for (uint32_t i = 0; i < count; ++i) {
        const cecrash_async_macho_symbol symbol = cecrash_async_macho_symtab_reader_read(reader, table, i);
        if ((symbol.n_type & kSymbolTypeMask) != kSymbolDefinedInSection)
            continue;
        if (symbol.normalized_value <= target && (!*found || symbol.normalized_value > best->normalized_value)) {
            *best = symbol;
            *found = true;
        }
    }
}

}  // namespace

cecrash_error_t cecrash_async_macho_init(cecrash_async_macho_image* image, const char* name, uint64_t header_addr)
{
    memset(image, 0, sizeof(*image));
    image->header_addr = header_addr;
    if (cecrash_async_copy_from_task(header_addr, 0, &image->header, sizeof(image->header)) != CECRASH_ESUCCESS)
        return CECRASH_EINTERNAL;
    switch (image->header.magic) {
    case kMagic32:
    case kMagic64:
        image->byteorder = cecrash_async_byteorder_little_endian();
        break;
    case kMagic32Swapped:
    case kMagic64Swapped:
        image->byteorder = cecrash_async_byteorder_big_endian();
        break;
    default:
        return CECRASH_EINVAL;
    }
    image->m64 = image->header.magic == kMagic64 || image->header.magic == kMagic64Swapped;
    image->header_size = image->m64 ? 32 : 28;
    image->ncmds = image->byteorder->swap32(image->header.ncmds);
    const uint32_t commandsSize = image->byteorder->swap32(image->header.sizeofcmds);
    if (cecrash_async_mobject_init(&image->load_cmds, header_addr + image->header_size, commandsSize, true) != CECRASH_ESUCCESS)
        return CECRASH_EINVAL;
    const uint64_t text = cecrash_async_macho_find_segment_cmd(image, "__TEXT");
    if (text == 0 || !segmentReadable(image, text)) {
        cecrash_async_mobject_free(&image->load_cmds);
        return CECRASH_EINVAL;
    }
    const Layout& layout = layoutOf(image);
    image->text_vmaddr = commandAddress(image, text, layout.vmaddr);
    image->text_size = commandAddress(image, text, layout.vmsize);
    image->vmaddr_slide = static_cast<int64_t>(header_addr - image->text_vmaddr);
    image->name = strdup(name);
    if (image->name == nullptr) {
        cecrash_async_mobject_free(&image->load_cmds);
        return CECRASH_ENOMEM;
    }
    return CECRASH_ESUCCESS;
}

void cecrash_async_macho_free(cecrash_async_macho_image* image)
{
    free(image->name);
    image->name = nullptr;
    cecrash_async_mobject_free(&image->load_cmds);
}

uint32_t cecrash_async_macho_cpu_type(const cecrash_async_macho_image* image)
{
    return image->byteorder->swap32(image->header.cputype);
}

uint32_t cecrash_async_macho_cpu_subtype(const cecrash_async_macho_image* image)
{
    return image->byteorder->swap32(image->header.cpusubtype);
}

bool cecrash_async_macho_contains_address(const cecrash_async_macho_image* image, uint64_t address)
{
    return address >= image->header_addr && address - image->header_addr < image->text_size;
}

uint64_t cecrash_async_macho_next_command(const cecrash_async_macho_image* image, uint64_t previous)
{
    const cecrash_async_mobject* commands = &image->load_cmds;
    if (previous == 0) {
        if (cecrash_async_mobject_length(commands) < 8)
            return 0;
        const uint64_t first = cecrash_async_mobject_base_address(commands);
        const uint32_t size = commandWord(image, first, 4);
        return size >= 8 && cecrash_async_mobject_remap_address(commands, first, 0, size) != nullptr ? first : 0;
    }
    const uint32_t size = commandWord(image, previous, 4);
    if (size < 8 || previous + size < previous)
        return 0;
    const uint64_t next = previous + size;
    if (cecrash_async_mobject_remap_address(commands, next, 0, 8) == nullptr)
        return 0;
    const uint32_t nextSize = commandWord(image, next, 4);
    if (nextSize < 8 || cecrash_async_mobject_remap_address(commands, next, 0, nextSize) == nullptr)
        return 0;
    return next;
}

uint64_t cecrash_async_macho_next_command_type(const cecrash_async_macho_image* image, uint64_t previous, uint32_t type)
{
    for (uint64_t command = cecrash_async_macho_next_command(image, previous); command != 0;
         command = cecrash_async_macho_next_command(image, command)) {
        if (commandWord(image, command, 0) == type)
            return command;
    }
    return 0;
}

uint64_t cecrash_async_macho_find_command(const cecrash_async_macho_image* image, uint32_t type)
{
    return cecrash_async_macho_next_command_type(image, 0, type);
}

uint64_t cecrash_async_macho_find_segment_cmd(const cecrash_async_macho_image* image, const char* segname)
{
    const uint32_t type = layoutOf(image).segmentCommand;
    for (uint64_t command = cecrash_async_macho_find_command(image, type); command != 0;
         command = cecrash_async_macho_next_command_type(image, command, type)) {
        if (nameMatches(image, command, 8, segname))
            return command;
    }
    return 0;
}

cecrash_error_t cecrash_async_macho_map_segment(const cecrash_async_macho_image* image, const char* segname,
                                                cecrash_async_macho_segment_mapping* mapping)
{
    const uint64_t segment = cecrash_async_macho_find_segment_cmd(image, segname);
    if (segment == 0)
        return CECRASH_ENOTFOUND;
    if (!segmentReadable(image, segment))
        return CECRASH_EINVAL;
    const Layout& layout = layoutOf(image);
    const uint64_t address = commandAddress(image, segment, layout.vmaddr) + static_cast<uint64_t>(image->vmaddr_slide);
    if (const cecrash_error_t error =
            cecrash_async_mobject_init(&mapping->mobj, address, commandAddress(image, segment, layout.vmsize), false))
        return error;
    mapping->fileoff = commandAddress(image, segment, layout.fileoff);
    mapping->filesize = commandAddress(image, segment, layout.filesize);
    return CECRASH_ESUCCESS;
}

void cecrash_async_macho_mapped_segment_free(cecrash_async_macho_segment_mapping* mapping)
{
    cecrash_async_mobject_free(&mapping->mobj);
}

cecrash_error_t cecrash_async_macho_map_section(const cecrash_async_macho_image* image, const char* segname,
                                                const char* sectname, cecrash_async_mobject* mobj)
{
    const uint64_t segment = cecrash_async_macho_find_segment_cmd(image, segname);
    if (segment == 0)
        return CECRASH_ENOTFOUND;
    const Layout& layout = layoutOf(image);
    const uint32_t sections = commandWord(image, segment, layout.nsects);
    for (uint32_t i = 0; i < sections; ++i) {
        const uint64_t record = segment + layout.segmentSize + uint64_t{i} * layout.sectionSize;
        if (cecrash_async_mobject_remap_address(&image->load_cmds, record, 0, layout.sectionSize) == nullptr)
            return CECRASH_EINVAL;
        if (!nameMatches(image, record, 0, sectname))
            continue;
        const uint64_t address = commandAddress(image, record, layout.addr) + static_cast<uint64_t>(image->vmaddr_slide);
        return cecrash_async_mobject_init(mobj, address, commandAddress(image, record, layout.size), true);
    }
    return CECRASH_ENOTFOUND;
}

cecrash_error_t cecrash_async_macho_symtab_reader_init(cecrash_async_macho_symtab_reader* reader,
                                                       const cecrash_async_macho_image* image)
{
    memset(reader, 0, sizeof(*reader));
    reader->image = image;
    const uint64_t symtab = cecrash_async_macho_find_command(image, CECRASH_LC_SYMTAB);
    if (symtab == 0)
        return CECRASH_ENOTFOUND;
    const uint64_t dysymtab = cecrash_async_macho_find_command(image, CECRASH_LC_DYSYMTAB);
    if (cecrash_async_macho_map_segment(image, "__LINKEDIT", &reader->linkedit) != CECRASH_ESUCCESS)
        return CECRASH_EINTERNAL;
    const uint32_t symoff = commandWord(image, symtab, 8);
    const uint32_t nsyms = commandWord(image, symtab, 12);
    const uint32_t stroff = commandWord(image, symtab, 16);
    const uint32_t strsize = commandWord(image, symtab, 20);
    const uint64_t entrySize = image->m64 ? 16 : 12;
    const uint64_t base = cecrash_async_mobject_base_address(&reader->linkedit.mobj);
    const int64_t symbolsAt = static_cast<int64_t>(symoff) - static_cast<int64_t>(reader->linkedit.fileoff);
    const int64_t stringsAt = static_cast<int64_t>(stroff) - static_cast<int64_t>(reader->linkedit.fileoff);
    if (cecrash_async_mobject_remap_address(&reader->linkedit.mobj, base, symbolsAt, nsyms * entrySize) == nullptr
        || cecrash_async_mobject_remap_address(&reader->linkedit.mobj, base, stringsAt, strsize) == nullptr) {
        cecrash_async_macho_mapped_segment_free(&reader->linkedit);
        return CECRASH_EINTERNAL;
    }
    reader->symtab = base + static_cast<uint64_t>(symbolsAt);
    reader->nsyms = nsyms;
    reader->string_table = base + static_cast<uint64_t>(stringsAt);
    reader->string_table_size = strsize;
    if (dysymtab != 0) {
        const uint64_t firstLocal = commandWord(image, dysymtab, 8);
        const uint64_t localCount = commandWord(image, dysymtab, 12);
        const uint64_t firstGlobal = commandWord(image, dysymtab, 16);
        const uint64_t globalCount = commandWord(image, dysymtab, 20);
        if (nsyms < firstGlobal + globalCount || nsyms < firstLocal + localCount) {
            cecrash_async_macho_mapped_segment_free(&reader->linkedit);
            return CECRASH_EINVAL;
        }
        reader->has_ranges = true;
        reader->globals = reader->symtab + firstGlobal * entrySize;
        reader->nglobals = static_cast<uint32_t>(globalCount);
        reader->locals = reader->symtab + firstLocal * entrySize;
        reader->nlocals = static_cast<uint32_t>(localCount);
    }
    return CECRASH_ESUCCESS;
}

cecrash_async_macho_symbol cecrash_async_macho_symtab_reader_read(const cecrash_async_macho_symtab_reader* reader,
                                                                  uint64_t table, uint32_t index)
{
    const cecrash_async_macho_image* image = reader->image;
    const cecrash_async_mobject* linkedit = &reader->linkedit.mobj;
    const int64_t at = static_cast<int64_t>(uint64_t{index} * (image->m64 ? 16 : 12));
    cecrash_async_macho_symbol symbol{};
    cecrash_async_mobject_read_uint32(linkedit, image->byteorder, table, at, &symbol.n_strx);
    cecrash_async_mobject_read_uint8(linkedit, table, at + 4, &symbol.n_type);
    cecrash_async_mobject_read_uint8(linkedit, table, at + 5, &symbol.n_sect);
    cecrash_async_mobject_read_uint16(linkedit, image->byteorder, table, at + 6, &symbol.n_desc);
    if (image->m64) {
        cecrash_async_mobject_read_uint64(linkedit, image->byteorder, table, at + 8, &symbol.n_value);
    } else {
        uint32_t value = 0;
        cecrash_async_mobject_read_uint32(linkedit, image->byteorder, table, at + 8, &value);
        symbol.n_value = value;
    }
    symbol.normalized_value = (symbol.n_desc & kThumbDefinition) != 0 ? (symbol.n_value | 1) : symbol.n_value;
    return symbol;
}

const char* cecrash_async_macho_symtab_reader_symbol_name(const cecrash_async_macho_symtab_reader* reader, uint32_t n_strx)
{
    if (n_strx >= reader->string_table_size)
        return nullptr;
    const auto* name = static_cast<const char*>(
        cecrash_async_mobject_remap_address(&reader->linkedit.mobj, reader->string_table, n_strx, 1));
    if (name == nullptr)
        return nullptr;
    for (uint32_t i = n_strx; i < reader->string_table_size; ++i) {
        if (name[i - n_strx] == '\0')
            return name;
    }
    return nullptr;
}

void cecrash_async_macho_symtab_reader_free(cecrash_async_macho_symtab_reader* reader)
{
    cecrash_async_macho_mapped_segment_free(&reader->linkedit);
}

cecrash_error_t cecrash_async_macho_find_symbol_by_address(const cecrash_async_macho_image* image, uint64_t address,
                                                           cecrash_async_macho_found_symbol_cb callback, void* context)
{
    cecrash_async_macho_symtab_reader reader;
    if (const cecrash_error_t error = cecrash_async_macho_symtab_reader_init(&reader, image))
        return error;
    const uint64_t target = address - static_cast<uint64_t>(image->vmaddr_slide);
    bool found = false;
    cecrash_async_macho_symbol best{};
    if (reader.has_ranges) {
        searchSymbols(&reader, reader.globals, reader.nglobals, target, &found, &best);
        searchSymbols(&reader, reader.locals, reader.nlocals, target, &found, &best);
    } else {
        searchSymbols(&reader, reader.symtab, reader.nsyms, target, &found, &best);
    }
    cecrash_error_t result = CECRASH_ENOTFOUND;
    if (found) {
        const char* name = cecrash_async_macho_symtab_reader_symbol_name(&reader, best.n_strx);
        result = name != nullptr ? CECRASH_ESUCCESS : CECRASH_EINVAL;
        if (name != nullptr)
            callback(best.normalized_value + static_cast<uint64_t>(image->vmaddr_slide), name, context);
    }
    cecrash_async_macho_symtab_reader_free(&reader);
    return result;
}

cecrash_error_t cecrash_async_macho_find_symbol_by_name(const cecrash_async_macho_image* image, const char* name,
                                                        uint64_t* address)
{
    cecrash_async_macho_symtab_reader reader;
    if (const cecrash_error_t error = cecrash_async_macho_symtab_reader_init(&reader, image))
        return error;
    cecrash_error_t result = CECRASH_ENOTFOUND;
    for (uint32_t i = 0; i < reader.nsyms && result != CECRASH_ESUCCESS; ++i) {
        const cecrash_async_macho_symbol symbol = cecrash_async_macho_symtab_reader_read(&reader, reader.symtab, i);
        if ((symbol.n_type & kSymbolTypeMask) != kSymbolDefinedInSection)
            continue;
        const char* candidate = cecrash_async_macho_symtab_reader_symbol_name(&reader, symbol.n_strx);
        if (candidate != nullptr && cecrash_async_compare_strings(candidate, name) == 0) {
            *address = symbol.n_value + static_cast<uint64_t>(image->vmaddr_slide);
            result = CECRASH_ESUCCESS;
        }
    }
    cecrash_async_macho_symtab_reader_free(&reader);
    return result;
}
