// Names for addresses from an image's class metadata, and the symbol lookup that asks the
// symbol table and the class metadata and keeps the better answer: a method is named
// "-[Class selector]" or "+[Class selector]". Works on Mach-O images (the modern metadata and
// the legacy module format); this system has no such runtime, so only images read from
// elsewhere carry it. Everything is async-signal-safe.
#pragma once

#include "sdk/crash-engine/macho/MachOImage.h"

#include <cstddef>
#include <cstdint>

// Symbolication strategies: bit 0 the symbol table, bit 1 the class metadata.
constexpr uint32_t CECRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE = 1;
constexpr uint32_t CECRASH_ASYNC_SYMBOL_STRATEGY_OBJC = 2;
// Longest name handed to a symbol callback, without its NUL.
constexpr size_t CECRASH_ASYNC_SYMBOL_NAME_MAX = 255;

// A NUL-terminated string in memory, mapped when first used.
struct cecrash_async_objc_task_string {
    const cecrash_async_macho_image* image;
    uint64_t address;
    bool mapped;
    cecrash_async_mobject mobj;
    size_t length;
};

// Async-signal-safe.
void cecrash_async_objc_task_string_init(cecrash_async_objc_task_string* string, const cecrash_async_macho_image* image,
                                         uint64_t address);
// Async-signal-safe. Maps a page at the address, then 2, 3, ... pages until the NUL is in
// view: 0, the mapping's error, or 5 when the string runs into unreadable memory.
cecrash_error_t cecrash_async_objc_task_string_length(cecrash_async_objc_task_string* string, size_t* length);
// Async-signal-safe. The characters (not NUL-terminated beyond length); null on error.
const char* cecrash_async_objc_task_string_pointer(cecrash_async_objc_task_string* string);
// Async-signal-safe.
void cecrash_async_objc_task_string_free(cecrash_async_objc_task_string* string);

// The sections of one image, kept mapped between lookups in it, and a cache of read-only class
// data by class data pointer.
struct cecrash_async_objc_cache {
    bool got_modern_metadata;
    const cecrash_async_macho_image* last_image;
    struct {
        bool mapped;
        cecrash_async_mobject mobj;
    } objc_const, objc_const_ax, methlist, selrefs, classlist, catlist, objc_data, data;
    // 0 or 1024 entries in one 16 KB block from the kernel.
    size_t class_cache_size;
    uint64_t* class_cache_keys;
    uint64_t* class_cache_values;
};

using cecrash_async_objc_found_method_cb = void (*)(bool is_class_method, cecrash_async_objc_task_string* class_name,
                                                    cecrash_async_objc_task_string* method_name, uint64_t imp,
                                                    void* context);
using cecrash_async_found_symbol_cb = void (*)(uint64_t address, const char* name, void* context);

// Async-signal-safe.
cecrash_error_t cecrash_async_objc_cache_init(cecrash_async_objc_cache* cache);
// Async-signal-safe. Unmaps the sections and releases the class cache.
void cecrash_async_objc_cache_free(cecrash_async_objc_cache* cache);

// Async-signal-safe. Every method of every class and category of the image: 0; 7 without a cache; 8 when the
// metadata's sections are missing; 9 when a pointer leads outside what can be read.
cecrash_error_t cecrash_async_objc_for_each_method(const cecrash_async_macho_image* image, cecrash_async_objc_cache* cache,
                                                   cecrash_async_objc_found_method_cb callback, void* context);
// Async-signal-safe. The method whose implementation starts nearest at or below address, reported once; 8 when
// none does.
cecrash_error_t cecrash_async_objc_find_method(const cecrash_async_macho_image* image, cecrash_async_objc_cache* cache,
                                               uint64_t address, cecrash_async_objc_found_method_cb callback,
                                               void* context);
// Async-signal-safe. The symbol for an address by the enabled strategies: 0 after calling back once; 8 when no
// strategy found one; 6 when one did but no name could be read.
cecrash_error_t cecrash_async_find_symbol(const cecrash_async_macho_image* image, uint32_t strategy,
                                          cecrash_async_objc_cache* cache, uint64_t address,
                                          cecrash_async_found_symbol_cb callback, void* context);
