#include "sdk/crash-engine/macho/MachOImage.h"
#include "sdk/crash-engine/tests/ByteBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

// The image's own idea of where it loads; in memory it lies wherever the buffer does.
constexpr uint64_t kVmaddr = 0x100000000;
constexpr size_t kImageSize = 0xc00;
constexpr size_t kLinkedit = 0x800;

ByteBuilder& name16(ByteBuilder& b, const std::string& name)
{
    std::string padded = name;
    padded.resize(16, '\0');
    for (char c : padded)
        b.u8(static_cast<uint8_t>(c));
    return b;
}

struct Symbol {
    std::string name;
    uint8_t type;
    uint16_t desc;
    uint64_t offset;
};

// A 64-bit image: "__TEXT" with "__text" and "__unwind_info", "__LINKEDIT" holding the symbol
// and string tables, a symbol table command and a dynamic symbol table whose first two symbols
// are local and the next two global.
struct MachOFixture {
    Bytes bytes;
    size_t symtabCommand = 0;
    size_t strsizeField = 0;

    explicit MachOFixture(uint32_t magic = 0xfeedfacf)
    {
        const Symbol symbols[] = {
            {"_local_a", 0x0e, 0, 0x400},
            {"_local_b", 0x0e, 0, 0x480},
            {"_global_a", 0x0f, 0, 0x440},
            {"_global_tie", 0x0f, 0, 0x440},
            {"_debug_entry", 0x24, 0, 0x4f0},
        };
        ByteBuilder strings;
        strings.u8(0);
        ByteBuilder table;
        for (const Symbol& symbol : symbols) {
            table.u32(static_cast<uint32_t>(strings.size())).u8(symbol.type).u8(1).u16(symbol.desc).u64(kVmaddr + symbol.offset);
            strings.text(symbol.name);
        }

        ByteBuilder b;
        b.u32(magic).u32(0x1000007).u32(3).u32(2).u32(4).u32(0).u32(0).u32(0);
        b.u32(0x19).u32(72 + 2 * 80);
        name16(b, "__TEXT").u64(kVmaddr).u64(kImageSize).u64(0).u64(kImageSize).u32(5).u32(5).u32(2).u32(0);
        name16(b, "__text");
        name16(b, "__TEXT").u64(kVmaddr + 0x400).u64(0x100).u32(0x400).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
        name16(b, "__unwind_info");
        name16(b, "__TEXT").u64(kVmaddr + 0x500).u64(0x40).u32(0x500).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0);
        b.u32(0x19).u32(72);
        name16(b, "__LINKEDIT").u64(kVmaddr + kLinkedit).u64(0x400).u64(kLinkedit).u64(0x400).u32(1).u32(1).u32(0).u32(0);
        symtabCommand = b.size();
        b.u32(0x2).u32(24).u32(kLinkedit).u32(5).u32(static_cast<uint32_t>(kLinkedit + table.size()));
        strsizeField = b.size();
        b.u32(static_cast<uint32_t>(strings.size()));
        b.u32(0xb).u32(80).u32(0).u32(2).u32(2).u32(2);
        b.zeros(80 - 24);
        b.patch(20, b.size() - 32, 4);
        b.zeros(kLinkedit - b.size()).raw(table.bytes()).raw(strings.bytes());
        b.zeros(kImageSize - b.size());
        bytes = b.bytes();
    }

    uint64_t base() const { return reinterpret_cast<uint64_t>(bytes.data()); }
};

struct Found {
    uint64_t address = 0;
    std::string name;
};

cecrash_error_t lookUp(const cecrash_async_macho_image* image, uint64_t address, Found* found)
{
    return cecrash_async_macho_find_symbol_by_address(
        image, address,
        [](uint64_t symbol, const char* name, void* context) {
            auto* out = static_cast<Found*>(context);
            out->address = symbol;
            out->name = name;
        },
        found);
}

TEST(MachOImageTest, HeaderSegmentsAndSections)
{
    MachOFixture fixture;
    cecrash_async_macho_image image;
    ASSERT_EQ(cecrash_async_macho_init(&image, "/fixture/app", fixture.base()), CECRASH_ESUCCESS);
    EXPECT_TRUE(image.m64);
    EXPECT_EQ(image.header_size, 32u);
    EXPECT_EQ(cecrash_async_macho_cpu_type(&image), 0x1000007u);
    EXPECT_EQ(image.vmaddr_slide, static_cast<int64_t>(fixture.base() - kVmaddr));
    EXPECT_TRUE(cecrash_async_macho_contains_address(&image, fixture.base() + kImageSize - 1));
    EXPECT_FALSE(cecrash_async_macho_contains_address(&image, fixture.base() + kImageSize));
    EXPECT_STREQ(image.name, "/fixture/app");

    cecrash_async_mobject section;
    ASSERT_EQ(cecrash_async_macho_map_section(&image, "__TEXT", "__unwind_info", &section), CECRASH_ESUCCESS);
    EXPECT_EQ(cecrash_async_mobject_base_address(&section), fixture.base() + 0x500);
    EXPECT_EQ(cecrash_async_mobject_length(&section), 0x40u);
    EXPECT_EQ(cecrash_async_macho_map_section(&image, "__TEXT", "__eh_frame", &section), CECRASH_ENOTFOUND);
    EXPECT_EQ(cecrash_async_macho_map_section(&image, "__DWARF", "__debug_frame", &section), CECRASH_ENOTFOUND);
    cecrash_async_macho_segment_mapping linkedit;
    ASSERT_EQ(cecrash_async_macho_map_segment(&image, "__LINKEDIT", &linkedit), CECRASH_ESUCCESS);
    EXPECT_EQ(linkedit.fileoff, kLinkedit);
    cecrash_async_macho_mapped_segment_free(&linkedit);
    cecrash_async_macho_free(&image);
}

TEST(MachOImageTest, BadHeadersAreRefused)
{
    struct Case {
        uint32_t magic;
        cecrash_error_t error;
    };
    // A universal file's header, a 32-bit magic over 64-bit commands (whose segment commands
    // it does not look for), and garbage.
    const Case cases[] = {{0xcafebabe, CECRASH_EINVAL}, {0xbebafeca, CECRASH_EINVAL}, {0xfeedface, CECRASH_EINVAL}, {0x7f454c46, CECRASH_EINVAL}};
    for (const Case& c : cases) {
        MachOFixture fixture(c.magic);
        cecrash_async_macho_image image;
        EXPECT_EQ(cecrash_async_macho_init(&image, "x", fixture.base()), c.error) << std::hex << c.magic;
        EXPECT_EQ(image.name, nullptr);
    }
    cecrash_async_macho_image image;
    EXPECT_EQ(cecrash_async_macho_init(&image, "x", 8), CECRASH_EINTERNAL);
}

TEST(MachOImageTest, NearestSymbolPrefersTheHigherOfGlobalsAndLocals)
{
    MachOFixture fixture;
    cecrash_async_macho_image image;
    ASSERT_EQ(cecrash_async_macho_init(&image, "app", fixture.base()), CECRASH_ESUCCESS);
    struct Case {
        uint64_t offset;
        cecrash_error_t error;
        const char* name;
        uint64_t symbol;
    };
    const Case cases[] = {
        // Global 0x440 beats local 0x400; of two globals at 0x440 the first in the table wins.
        {0x450, CECRASH_ESUCCESS, "_global_a", 0x440},
        {0x440, CECRASH_ESUCCESS, "_global_a", 0x440},
        // Local 0x480 beats global 0x440; the debugging entry at 0x4f0 is no symbol.
        {0x4f8, CECRASH_ESUCCESS, "_local_b", 0x480},
        {0x3ff, CECRASH_ENOTFOUND, nullptr, 0},
    };
    for (const Case& c : cases) {
        Found found;
        EXPECT_EQ(lookUp(&image, fixture.base() + c.offset, &found), c.error) << std::hex << c.offset;
        if (c.name != nullptr) {
            EXPECT_EQ(found.name, c.name);
            EXPECT_EQ(found.address, fixture.base() + c.symbol);
        }
    }
    uint64_t address = 0;
    ASSERT_EQ(cecrash_async_macho_find_symbol_by_name(&image, "_local_b", &address), CECRASH_ESUCCESS);
    EXPECT_EQ(address, fixture.base() + 0x480);
    EXPECT_EQ(cecrash_async_macho_find_symbol_by_name(&image, "local_b", &address), CECRASH_ENOTFOUND);
    EXPECT_EQ(cecrash_async_macho_find_symbol_by_name(&image, "_debug_entry", &address), CECRASH_ENOTFOUND);
    cecrash_async_macho_free(&image);
}

TEST(MachOImageTest, MalformedTablesEndTheWalkOrTheLookup)
{
    // A string table cut before the winning name's terminator.
    MachOFixture cut;
    ByteBuilder patched;
    patched.raw(cut.bytes).patch(cut.strsizeField, 1 + 9 + 9 + 5, 4);
    cecrash_async_macho_image image;
    ASSERT_EQ(cecrash_async_macho_init(&image, "app", reinterpret_cast<uint64_t>(patched.bytes().data())), CECRASH_ESUCCESS);
    Found found;
    EXPECT_EQ(lookUp(&image, reinterpret_cast<uint64_t>(patched.bytes().data()) + 0x450, &found), CECRASH_EINVAL);
    cecrash_async_macho_free(&image);

    // A load command of size 4 ends the walk: the symbol tables after it are never reached.
    MachOFixture small;
    ByteBuilder shrunk;
    shrunk.raw(small.bytes).patch(small.symtabCommand + 4, 4, 4);
    ASSERT_EQ(cecrash_async_macho_init(&image, "app", reinterpret_cast<uint64_t>(shrunk.bytes().data())), CECRASH_ESUCCESS);
    EXPECT_EQ(cecrash_async_macho_find_command(&image, CECRASH_LC_SYMTAB), 0u);
    EXPECT_EQ(cecrash_async_macho_find_command(&image, CECRASH_LC_DYSYMTAB), 0u);
    EXPECT_EQ(lookUp(&image, reinterpret_cast<uint64_t>(shrunk.bytes().data()) + 0x450, &found), CECRASH_ENOTFOUND);
    cecrash_async_macho_free(&image);
}

TEST(MemoryObjectTest, AViewStopsAtTheFirstUnreadablePage)
{
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* pages = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(mprotect(static_cast<uint8_t*>(pages) + page, page, PROT_NONE), 0);
    const uint64_t start = reinterpret_cast<uint64_t>(pages) + 16;
    cecrash_async_mobject object;
    ASSERT_EQ(cecrash_async_mobject_init(&object, start, page, false), CECRASH_ESUCCESS);
    EXPECT_EQ(cecrash_async_mobject_length(&object), page - 16);
    uint32_t value = 1;
    EXPECT_EQ(cecrash_async_mobject_read_uint32(&object, cecrash_async_byteorder_little_endian(), start, page - 20, &value),
              CECRASH_ESUCCESS);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(cecrash_async_mobject_read_uint32(&object, cecrash_async_byteorder_little_endian(), start, page - 18, &value),
              CECRASH_EINVAL);
    EXPECT_EQ(cecrash_async_mobject_read_uint8(&object, start, -1, reinterpret_cast<uint8_t*>(&value)), CECRASH_EINVAL);
    EXPECT_EQ(cecrash_async_mobject_init(&object, start, page, true), CECRASH_ENOMEM);
    EXPECT_EQ(cecrash_async_mobject_init(&object, reinterpret_cast<uint64_t>(pages) + page, 8, false), CECRASH_ENOMEM);
    EXPECT_EQ(cecrash_async_mobject_init(&object, start, 0, false), CECRASH_ENOMEM);
    munmap(pages, 2 * page);
}

}  // namespace
