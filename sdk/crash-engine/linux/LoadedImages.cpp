#include "sdk/crash-engine/linux/LoadedImages.h"

#include "sdk/crash-engine/linux/MemoryReader.h"
#include "sdk/crash-engine/linux/SystemFacts.h"
#include "sdk/crash-engine/ThreadState.h"

#include <cstdlib>
#include <cstring>
#include <elf.h>
#include <link.h>

namespace {

// Images with more program headers than this are refused as malformed.
constexpr uint16_t kMaxProgramHeaders = 512;
// The build-id note of the GNU toolchain.
constexpr uint32_t kBuildIdNoteType = 3;
// Notes larger than this are not build-ids worth reading.
constexpr uint64_t kMaxNoteBytes = 4096;

uint64_t alignUp(uint64_t value, uint64_t alignment)
{
    return (value + alignment - 1) & ~(alignment - 1);
}

// Finds the GNU build-id among the notes of one PT_NOTE segment.
bool readBuildId(uint64_t notesAddress, uint64_t notesSize, uint8_t* uuid)
{
    uint64_t offset = 0;
    const uint64_t end = notesSize < kMaxNoteBytes ? notesSize : kMaxNoteBytes;
    while (offset + sizeof(Elf64_Nhdr) <= end) {
        Elf64_Nhdr note;
        if (cecrash_async_copy_from_task(notesAddress, static_cast<int64_t>(offset), &note, sizeof(note)) != CECRASH_ESUCCESS)
            return false;
        const uint64_t nameAt = offset + sizeof(note);
        const uint64_t descAt = nameAt + alignUp(note.n_namesz, 4);
        const uint64_t nextAt = descAt + alignUp(note.n_descsz, 4);
        if (nextAt > end)
            return false;
        char name[4] = {};
        if (note.n_type == kBuildIdNoteType && note.n_namesz == 4
            && cecrash_async_copy_from_task(notesAddress, static_cast<int64_t>(nameAt), name, 4) == CECRASH_ESUCCESS
            && memcmp(name, "GNU", 4) == 0 && note.n_descsz > 0) {
            const size_t length = note.n_descsz < 16 ? note.n_descsz : 16;
            memset(uuid, 0, 16);
            return cecrash_async_copy_from_task(notesAddress, static_cast<int64_t>(descAt), uuid, length) == CECRASH_ESUCCESS;
        }
        offset = nextAt;
    }
    return false;
}

// The frame header's encodings that the search table is used with: 32-bit signed values
// relative to the header (the form every GNU and LLVM linker writes).
constexpr uint8_t kHeaderPointerPcRelative32 = 0x1b;
constexpr uint8_t kHeaderCount32 = 0x03;
constexpr uint8_t kHeaderTableDataRelative32 = 0x3b;

// Reads the frame header at `header` (PT_GNU_EH_FRAME): the call-frame section's address and
// the search table. Anything unexpected leaves the image without them.
void readFrameHeader(cecrash_async_image* image, uint64_t header, uint64_t headerSize)
{
    uint8_t fields[12] = {};
    if (headerSize < sizeof(fields) || cecrash_async_copy_from_task(header, 0, fields, sizeof(fields)) != CECRASH_ESUCCESS)
        return;
    if (fields[0] != 1 || fields[1] != kHeaderPointerPcRelative32)
        return;
    int32_t framePointer = 0;
    memcpy(&framePointer, fields + 4, 4);
    image->eh_frame_addr = header + 4 + static_cast<uint64_t>(static_cast<int64_t>(framePointer));
    if (fields[2] == kHeaderCount32 && fields[3] == kHeaderTableDataRelative32) {
        uint32_t count = 0;
        memcpy(&count, fields + 8, 4);
        if (uint64_t{count} * 8 <= headerSize - sizeof(fields)) {
            image->eh_frame_table_addr = header + sizeof(fields);
            image->eh_frame_table_count = count;
            image->eh_frame_table_base = header;
        }
    }
}

}  // namespace

cecrash_error_t cecrash_async_image_init(cecrash_async_image* image, uint64_t header_addr, const char* path)
{
    memset(image, 0, sizeof(*image));
    Elf64_Ehdr header;
    if (const cecrash_error_t error = cecrash_async_copy_from_task(header_addr, 0, &header, sizeof(header)))
        return error;
    if (memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64
        || header.e_ident[EI_DATA] != ELFDATA2LSB || header.e_phentsize != sizeof(Elf64_Phdr)
        || header.e_phnum == 0 || header.e_phnum > kMaxProgramHeaders)
        return CECRASH_EINVALID_DATA;

    // The segment that maps file offset 0 holds the header; its address fixes the load bias.
    bool haveBias = false;
    uint64_t bias = 0;
    uint64_t textEnd = 0;
    uint64_t loadEnd = 0;
    for (uint16_t i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr segment;
        const int64_t at = static_cast<int64_t>(header.e_phoff + uint64_t{i} * sizeof(Elf64_Phdr));
        if (const cecrash_error_t error = cecrash_async_copy_from_task(header_addr, at, &segment, sizeof(segment)))
            return error;
        if (segment.p_type != PT_LOAD)
            continue;
        if (!haveBias && segment.p_offset == 0) {
            bias = header_addr - segment.p_vaddr;
            haveBias = true;
        }
        const uint64_t end = segment.p_vaddr + segment.p_memsz;
        if (end > loadEnd)
            loadEnd = end;
        if ((segment.p_flags & PF_X) != 0 && end > textEnd)
            textEnd = end;
    }
    if (!haveBias)
        return CECRASH_EINVALID_DATA;
    const uint64_t end = bias + (textEnd != 0 ? textEnd : loadEnd);
    image->header_addr = header_addr;
    image->text_size = end > header_addr ? end - header_addr : 0;

    for (uint16_t i = 0; i < header.e_phnum && !image->has_uuid; ++i) {
        Elf64_Phdr segment;
        const int64_t at = static_cast<int64_t>(header.e_phoff + uint64_t{i} * sizeof(Elf64_Phdr));
        if (cecrash_async_copy_from_task(header_addr, at, &segment, sizeof(segment)) != CECRASH_ESUCCESS)
            break;
        if (segment.p_type == PT_NOTE)
            image->has_uuid = readBuildId(bias + segment.p_vaddr, segment.p_memsz, image->uuid);
    }
    for (uint16_t i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr segment;
        const int64_t at = static_cast<int64_t>(header.e_phoff + uint64_t{i} * sizeof(Elf64_Phdr));
        if (cecrash_async_copy_from_task(header_addr, at, &segment, sizeof(segment)) != CECRASH_ESUCCESS)
            break;
        if (segment.p_type == PT_GNU_EH_FRAME)
            readFrameHeader(image, bias + segment.p_vaddr, segment.p_memsz);
    }
    // The call-frame section runs at most to the end of the load segment that holds it.
    for (uint16_t i = 0; i < header.e_phnum && image->eh_frame_addr != 0; ++i) {
        Elf64_Phdr segment;
        const int64_t at = static_cast<int64_t>(header.e_phoff + uint64_t{i} * sizeof(Elf64_Phdr));
        if (cecrash_async_copy_from_task(header_addr, at, &segment, sizeof(segment)) != CECRASH_ESUCCESS)
            break;
        const uint64_t start = bias + segment.p_vaddr;
        if (segment.p_type == PT_LOAD && image->eh_frame_addr >= start && image->eh_frame_addr - start < segment.p_memsz)
            image->eh_frame_size = segment.p_memsz - (image->eh_frame_addr - start);
    }
    if (image->eh_frame_size == 0) {
        image->eh_frame_addr = 0;
        image->eh_frame_table_count = 0;
    }
    image->m64 = true;
    image->byteorder = cecrash_async_byteorder_little_endian();
    image->cpu_type = CECRASH_CPU_TYPE_X86_64;
    image->cpu_subtype = CECRASH_CPU_SUBTYPE_X86_ALL;
    image->name = strdup(path);
    return image->name != nullptr ? CECRASH_ESUCCESS : CECRASH_ENOMEM;
}

void cecrash_async_image_free(cecrash_async_image* image)
{
    free(image->name);
    image->name = nullptr;
}

cecrash_error_t cecrash_async_image_map_section(const cecrash_async_image* image, const char* segment, const char* section,
                                                cecrash_async_mobject* mobj)
{
    if (cecrash_async_compare_strings(segment, "__TEXT") != 0 || cecrash_async_compare_strings(section, "__eh_frame") != 0
        || image->eh_frame_addr == 0)
        return CECRASH_ENOTFOUND;
    return cecrash_async_mobject_init(mobj, image->eh_frame_addr, image->eh_frame_size, false);
}

bool cecrash_async_image_contains_address(const cecrash_async_image* image, uint64_t address)
{
    return address >= image->header_addr && address - image->header_addr < image->text_size;
}

std::vector<LoadedImage> cecrash_loaded_images()
{
    struct Collector {
        std::vector<LoadedImage> images;
        std::string executable;
    } collector{{}, cecrash_executable_path()};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* out = static_cast<Collector*>(data);
            for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                if (segment.p_type == PT_LOAD && segment.p_offset == 0) {
                    const char* name = info->dlpi_name != nullptr ? info->dlpi_name : "";
                    std::string path = name[0] != '\0' ? name : (out->images.empty() ? out->executable : "");
                    out->images.push_back({info->dlpi_addr + segment.p_vaddr, std::move(path)});
                    break;
                }
            }
            return 0;
        },
        &collector);
    return collector.images;
}

uint64_t cecrash_loaded_images_generation()
{
    uint64_t generation = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t size, void* data) {
            if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof(info->dlpi_subs))
                *static_cast<uint64_t*>(data) = info->dlpi_adds * 0x100000001ull + info->dlpi_subs;
            return 1;
        },
        &generation);
    return generation;
}
