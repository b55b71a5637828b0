// A Mach-O image read from memory without trusting it: the header, the load commands, segments
// and sections mapped as bounded views, and its symbol table. Images here are ELF; the reader
// serves images in that format wherever they come from (tests build them as byte fixtures).
// Everything is async-signal-safe except building and freeing the record (the name's copy).
#pragma once

#include "sdk/crash-engine/AsyncSafe.h"
#include "sdk/crash-engine/linux/MemoryObject.h"

#include <cstddef>
#include <cstdint>

// Load command types the reader looks for.
constexpr uint32_t CECRASH_LC_SEGMENT = 0x1;
constexpr uint32_t CECRASH_LC_SYMTAB = 0x2;
constexpr uint32_t CECRASH_LC_DYSYMTAB = 0xb;
constexpr uint32_t CECRASH_LC_SEGMENT_64 = 0x19;

// The 32-bit header layout; a 64-bit header adds a reserved word.
struct cecrash_async_macho_header {
    uint32_t magic;
    uint32_t cputype;
    uint32_t cpusubtype;
    uint32_t filetype;
    uint32_t ncmds;
    uint32_t sizeofcmds;
    uint32_t flags;
};

struct cecrash_async_macho_image {
    uint64_t header_addr;
    // header_addr minus the "__TEXT" segment's address.
    int64_t vmaddr_slide;
    // Owned (malloc).
    char* name;
    // As read, in the image's byte order.
    cecrash_async_macho_header header;
    uint32_t header_size;
    uint32_t ncmds;
    cecrash_async_mobject load_cmds;
    uint64_t text_vmaddr;
    uint64_t text_size;
    bool m64;
    const cecrash_async_byteorder* byteorder;
};

struct cecrash_async_macho_segment_mapping {
    cecrash_async_mobject mobj;
    uint64_t fileoff;
    uint64_t filesize;
};

// A symbol table entry as the reader delivers it.
struct cecrash_async_macho_symbol {
    uint32_t n_strx;
    uint8_t n_type;
    uint8_t n_sect;
    uint16_t n_desc;
    uint64_t n_value;
    // n_value with bit 0 set when the entry defines a Thumb function.
    uint64_t normalized_value;
};

struct cecrash_async_macho_symtab_reader {
    const cecrash_async_macho_image* image;
    cecrash_async_macho_segment_mapping linkedit;
    uint64_t symtab;
    uint32_t nsyms;
    uint64_t string_table;
    uint32_t string_table_size;
    // With a dynamic symbol table: the externally defined and the local symbols.
    bool has_ranges;
    uint64_t globals;
    uint32_t nglobals;
    uint64_t locals;
    uint32_t nlocals;
};

using cecrash_async_macho_found_symbol_cb = void (*)(uint64_t address, const char* name, void* context);

// Builds the record from the header at header_addr: 0; 5 for a bad magic (a universal file's
// included), a truncated segment command or no "__TEXT"; 6 when the header cannot be read.
// On failure nothing stays allocated. Not crash-time.
cecrash_error_t cecrash_async_macho_init(cecrash_async_macho_image* image, const char* name, uint64_t header_addr);
// Not crash-time.
void cecrash_async_macho_free(cecrash_async_macho_image* image);

// Async-signal-safe.
uint32_t cecrash_async_macho_cpu_type(const cecrash_async_macho_image* image);
// Async-signal-safe.
uint32_t cecrash_async_macho_cpu_subtype(const cecrash_async_macho_image* image);
// Async-signal-safe. header_addr <= address < header_addr + the "__TEXT" size.
bool cecrash_async_macho_contains_address(const cecrash_async_macho_image* image, uint64_t address);

// Async-signal-safe. The load command after previous (0: the first), as a task address; 0 when the walk ends: a
// command under 8 bytes or one that does not lie wholly inside the commands.
uint64_t cecrash_async_macho_next_command(const cecrash_async_macho_image* image, uint64_t previous);
// Async-signal-safe.
uint64_t cecrash_async_macho_next_command_type(const cecrash_async_macho_image* image, uint64_t previous, uint32_t type);
// Async-signal-safe.
uint64_t cecrash_async_macho_find_command(const cecrash_async_macho_image* image, uint32_t type);
// Async-signal-safe.
uint64_t cecrash_async_macho_find_segment_cmd(const cecrash_async_macho_image* image, const char* segname);

// Async-signal-safe. The segment's memory (its readable prefix) and file range; 8 without such a segment.
cecrash_error_t cecrash_async_macho_map_segment(const cecrash_async_macho_image* image, const char* segname,
                                                cecrash_async_macho_segment_mapping* mapping);
// Async-signal-safe.
void cecrash_async_macho_mapped_segment_free(cecrash_async_macho_segment_mapping* mapping);
// Async-signal-safe. The whole section; 8 when absent, 5 when a section record lies outside the commands.
cecrash_error_t cecrash_async_macho_map_section(const cecrash_async_macho_image* image, const char* segname,
                                                const char* sectname, cecrash_async_mobject* mobj);

// Async-signal-safe. 8 without a symbol table, 6 when a table lies outside "__LINKEDIT", 5 for inconsistent ranges.
cecrash_error_t cecrash_async_macho_symtab_reader_init(cecrash_async_macho_symtab_reader* reader,
                                                       const cecrash_async_macho_image* image);
// Async-signal-safe.
cecrash_async_macho_symbol cecrash_async_macho_symtab_reader_read(const cecrash_async_macho_symtab_reader* reader,
                                                                  uint64_t table, uint32_t index);
// Async-signal-safe. The NUL-terminated name at a string offset, or null when it runs past the table.
const char* cecrash_async_macho_symtab_reader_symbol_name(const cecrash_async_macho_symtab_reader* reader, uint32_t n_strx);
// Async-signal-safe.
void cecrash_async_macho_symtab_reader_free(cecrash_async_macho_symtab_reader* reader);

// Async-signal-safe. The nearest defined symbol at or below address: 0 after calling back once, 8 when none lies
// at or below it, 5 when its name is not a terminated string of the table.
cecrash_error_t cecrash_async_macho_find_symbol_by_address(const cecrash_async_macho_image* image, uint64_t address,
                                                           cecrash_async_macho_found_symbol_cb callback, void* context);
// Async-signal-safe. The address of the defined symbol with exactly that name (leading underscore included); 8.
cecrash_error_t cecrash_async_macho_find_symbol_by_name(const cecrash_async_macho_image* image, const char* name,
                                                        uint64_t* address);
