// The loaded images of this process as ELF stands in for the original image format: the list
// from dl_iterate_phdr, and one image record read from an ELF header in memory (its text range,
// its GNU build-id as the 16-byte image UUID, its CPU type).
#pragma once

#include "sdk/crash-engine/AsyncSafe.h"
#include "sdk/crash-engine/linux/MemoryObject.h"

#include <cstdint>
#include <string>
#include <vector>

struct cecrash_async_image {
    // Address of the image's ELF header in memory.
    uint64_t header_addr;
    // From the header to the end of the last executable load segment, in bytes.
    uint64_t text_size;
    // Path of the image; owned (malloc).
    char* name;
    bool has_uuid;
    // The first 16 bytes of the GNU build-id, zero-padded when it is shorter.
    uint8_t uuid[16];
    uint32_t cpu_type;
    uint32_t cpu_subtype;
    // Images here are 64-bit little-endian; the unwind readers pick their word size by it.
    bool m64;
    const cecrash_async_byteorder* byteorder;
    // The call-frame section (.eh_frame), 0 when the image has none. Its size reaches to the end
    // of the load segment holding it: the section itself ends at a zero terminator.
    uint64_t eh_frame_addr;
    uint64_t eh_frame_size;
    // The sorted search table of the frame header: pairs of 32-bit (function start, FDE
    // address), each relative to table_base. Count 0 when the image has no usable table.
    uint64_t eh_frame_table_addr;
    uint64_t eh_frame_table_count;
    uint64_t eh_frame_table_base;
    // Position of the record in its image list.
    void* node;
};

// Builds a record from the header in memory. Answers 9 when the bytes there are not a 64-bit
// little-endian ELF header with load segments, or the read error. Not crash-time.
cecrash_error_t cecrash_async_image_init(cecrash_async_image* image, uint64_t header_addr, const char* path);
// Frees the name. Not crash-time.
void cecrash_async_image_free(cecrash_async_image* image);
// Async-signal-safe. A view of the image's section named in the original image format: here
// "__TEXT" / "__eh_frame" is the ELF call-frame section; every other section is 8 (absent).
cecrash_error_t cecrash_async_image_map_section(const cecrash_async_image* image, const char* segment, const char* section,
                                                cecrash_async_mobject* mobj);
// Async-signal-safe. header_addr <= address < header_addr + text_size.
bool cecrash_async_image_contains_address(const cecrash_async_image* image, uint64_t address);

struct LoadedImage {
    uint64_t headerAddress;
    std::string path;
};

// The images now loaded, in the dynamic linker's order; the main program is named by its
// executable path. Not crash-time.
std::vector<LoadedImage> cecrash_loaded_images();
// A number that changes whenever an image is loaded or unloaded. Not crash-time.
uint64_t cecrash_loaded_images_generation();
