#include "sdk/crash-engine/objc/ObjCMetadata.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/mman.h>
#include <vector>

namespace {

constexpr uint64_t kVmaddr = 0x100000000;
constexpr size_t kImageSize = 0x2000;

// Where the fixture puts things, as offsets from the image start.
enum : uint64_t {
    kStrings = 0x800,
    kMethlist = 0x900,
    kConst = 0xa00,
    kObjcData = 0xc00,
    kClasslist = 0xd00,
    kCatlist = 0xd10,
    kSelrefs = 0xd20,
    kLinkedit = 0xe00,
    kDraw = 0x1100,
    kResize = 0x1180,
    kShared = 0x1200,
    kExtra = 0x1300,
    kHelper = 0x1400,
};

// A 64-bit image with one class ("Widget": -draw, -resize:, +shared) and one category on it
// whose relative method list names its selector through "__objc_selrefs"; its symbol table
// has "_draw_alias" at -draw's address and "_helper" above everything.
class ObjCFixture {
public:
    explicit ObjCFixture(const std::string& className = "Widget", bool withCategories = true)
        : bytes_(kImageSize, 0)
    {
        size_t at = 0;
        const auto u32 = [&](uint32_t value) { put(at, value, 4); at += 4; };
        const auto u64 = [&](uint64_t value) { put(at, value, 8); at += 8; };
        const auto name16 = [&](const char* name) {
            std::memcpy(&bytes_[at], name, std::min<size_t>(16, std::strlen(name)));
            at += 16;
        };
        const auto section = [&](const char* sect, const char* seg, uint64_t offset, uint64_t size) {
            name16(sect);
            name16(seg);
            u64(kVmaddr + offset);
            u64(size);
            for (int i = 0; i < 8; ++i)
                u32(0);
        };
        u32(0xfeedfacf); u32(0x1000007); u32(3); u32(2); u32(4); u32(0); u32(0); u32(0);
        u32(0x19); u32(72 + 80);
        name16("__TEXT"); u64(kVmaddr); u64(kImageSize); u64(0); u64(kImageSize); u32(5); u32(5); u32(1); u32(0);
        section("__objc_methlist", "__TEXT", kMethlist, 0x100);
        const size_t dataSections = withCategories ? 5 : 4;
        u32(0x19); u32(static_cast<uint32_t>(72 + 80 * dataSections));
        name16("__DATA"); u64(kVmaddr + kConst); u64(0x400); u64(kConst); u64(0x400); u32(3); u32(3);
        u32(static_cast<uint32_t>(dataSections)); u32(0);
        section("__objc_const", "__DATA", kConst, 0x200);
        section("__objc_data", "__DATA", kObjcData, 0x100);
        section("__objc_classlist", "__DATA", kClasslist, 8);
        section("__objc_selrefs", "__DATA", kSelrefs, 8);
        if (withCategories)
            section("__objc_catlist", "__DATA", kCatlist, 8);
        u32(0x19); u32(72);
        name16("__LINKEDIT"); u64(kVmaddr + kLinkedit); u64(0x200); u64(kLinkedit); u64(0x200); u32(1); u32(1); u32(0); u32(0);
        u32(0x2); u32(24); u32(kLinkedit); u32(2); u32(kLinkedit + 32); u32(32);
        put(20, at - 32, 4);

        // Strings.
        text(kStrings, className);
        text(kStrings + 0x140, "draw");
        text(kStrings + 0x150, "resize:");
        text(kStrings + 0x160, "shared");
        text(kStrings + 0x170, "Extras");
        text(kStrings + 0x180, "extra");

        // Class and metaclass records: isa, superclass, cache, vtable, data.
        put(kObjcData, address(kObjcData + 0x40), 8);
        put(kObjcData + 32, address(kConst), 8);
        put(kObjcData + 0x40 + 32, address(kConst + 0x50), 8);
        put(kClasslist, address(kObjcData), 8);
        // Read-only data of the class and of its metaclass: name at 24, base methods at 32.
        put(kConst + 24, address(kStrings), 8);
        put(kConst + 32, address(kConst + 0xa0), 8);
        put(kConst + 0x50 + 24, address(kStrings), 8);
        put(kConst + 0x50 + 32, address(kConst + 0x100), 8);
        // Plain method lists: entry size 24 (name, types, implementation).
        methodList(kConst + 0xa0, {{kStrings + 0x140, kDraw}, {kStrings + 0x150, kResize}});
        methodList(kConst + 0x100, {{kStrings + 0x160, kShared}});
        // The category: name, class, instance methods, class methods, protocols, properties.
        put(kConst + 0x140, address(kStrings + 0x170), 8);
        put(kConst + 0x148, address(kObjcData), 8);
        put(kConst + 0x150, address(kMethlist), 8);
        put(kCatlist, address(kConst + 0x140), 8);
        // A relative list: 12-byte entries of offsets from each field; the selector's goes to
        // its reference.
        put(kMethlist, 0x8000000c, 4);
        put(kMethlist + 4, 1, 4);
        put(kMethlist + 8, static_cast<uint32_t>(kSelrefs - (kMethlist + 8)), 4);
        put(kMethlist + 16, static_cast<uint32_t>(kExtra - (kMethlist + 16)), 4);
        put(kSelrefs, address(kStrings + 0x180), 8);

        // Symbols: "_draw_alias" at -draw, "_helper" above all.
        text(kLinkedit + 32, "");
        text(kLinkedit + 33, "_draw_alias");
        text(kLinkedit + 45, "_helper");
        symbol(kLinkedit, 1, kDraw);
        symbol(kLinkedit + 16, 13, kHelper);
    }

    uint64_t address(uint64_t offset) const { return reinterpret_cast<uint64_t>(bytes_.data()) + offset; }

private:
    void put(uint64_t offset, uint64_t value, size_t width)
    {
        for (size_t i = 0; i < width; ++i)
            bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    void text(uint64_t offset, const std::string& value)
    {
        std::memcpy(&bytes_[offset], value.data(), value.size());
        bytes_[offset + value.size()] = 0;
    }
    void methodList(uint64_t offset, std::initializer_list<std::pair<uint64_t, uint64_t>> methods)
    {
        put(offset, 24, 4);
        put(offset + 4, methods.size(), 4);
        uint64_t entry = offset + 8;
        for (const auto& [name, imp] : methods) {
            put(entry, address(name), 8);
            put(entry + 16, address(imp), 8);
            entry += 24;
        }
    }
    void symbol(uint64_t offset, uint32_t name, uint64_t value)
    {
        put(offset, name, 4);
        put(offset + 4, 0x0f, 1);
        put(offset + 5, 1, 1);
        put(offset + 8, kVmaddr + value, 8);
    }

    std::vector<uint8_t> bytes_;
};

struct Named {
    uint64_t address = 0;
    std::string name;
    int calls = 0;
};

cecrash_error_t findSymbol(const cecrash_async_macho_image* image, uint32_t strategy, cecrash_async_objc_cache* cache,
                           uint64_t address, Named* named)
{
    return cecrash_async_find_symbol(
        image, strategy, cache, address,
        [](uint64_t start, const char* name, void* context) {
            auto* out = static_cast<Named*>(context);
            out->address = start;
            out->name = name;
            ++out->calls;
        },
        named);
}

class ObjCMetadataTest : public ::testing::Test {
protected:
    void load(const ObjCFixture& fixture)
    {
        ASSERT_EQ(cecrash_async_macho_init(&image_, "app", fixture.address(0)), CECRASH_ESUCCESS);
        cecrash_async_objc_cache_init(&cache_);
        loaded_ = true;
    }
    void TearDown() override
    {
        if (loaded_) {
            cecrash_async_objc_cache_free(&cache_);
            cecrash_async_macho_free(&image_);
        }
    }

    cecrash_async_macho_image image_{};
    cecrash_async_objc_cache cache_{};
    bool loaded_ = false;
};

TEST_F(ObjCMetadataTest, MethodsAreNamedWithTheirClassAndKind)
{
    ObjCFixture fixture;
    load(fixture);
    const uint32_t objc = CECRASH_ASYNC_SYMBOL_STRATEGY_OBJC;
    const uint32_t both = objc | CECRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE;
    struct Case {
        const char* label;
        uint32_t strategy;
        uint64_t offset;
        const char* name;
        uint64_t start;
    };
    const Case cases[] = {
        {"exactly at an implementation", objc, kDraw, "-[Widget draw]", kDraw},
        {"inside a method", objc, kResize + 0x10, "-[Widget resize:]", kResize},
        {"a class method", objc, kShared + 4, "+[Widget shared]", kShared},
        {"a category's method under its class's name", objc, kExtra + 1, "-[Widget extra]", kExtra},
        {"same address as a symbol: the class metadata wins", both, kDraw + 8, "-[Widget draw]", kDraw},
        {"a symbol above every method", both, kHelper + 8, "_helper", kHelper},
        {"the symbol table alone", CECRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE, kDraw + 8, "_draw_alias", kDraw},
    };
    for (const Case& c : cases) {
        Named named;
        ASSERT_EQ(findSymbol(&image_, c.strategy, &cache_, fixture.address(c.offset), &named), CECRASH_ESUCCESS) << c.label;
        EXPECT_EQ(named.name, c.name) << c.label;
        EXPECT_EQ(named.address, fixture.address(c.start)) << c.label;
        EXPECT_EQ(named.calls, 1) << c.label;
    }
    Named none;
    EXPECT_EQ(findSymbol(&image_, both, &cache_, fixture.address(kDraw - 1), &none), CECRASH_ENOTFOUND);
    EXPECT_EQ(findSymbol(&image_, 0, &cache_, fixture.address(kDraw), &none), CECRASH_ENOTFOUND);
    EXPECT_EQ(cecrash_async_objc_for_each_method(&image_, nullptr, nullptr, nullptr), CECRASH_EACCESS);
}

TEST_F(ObjCMetadataTest, LongClassNamesAreCutAndLoseTheirBracket)
{
    ObjCFixture fixture(std::string(300, 'K'));
    load(fixture);
    Named named;
    ASSERT_EQ(findSymbol(&image_, CECRASH_ASYNC_SYMBOL_STRATEGY_OBJC, &cache_, fixture.address(kDraw), &named), CECRASH_ESUCCESS);
    EXPECT_EQ(named.name.size(), 255u);
    EXPECT_EQ(named.name, "-[" + std::string(253, 'K'));
}

TEST_F(ObjCMetadataTest, AnImageWithoutCategoriesYieldsNoNames)
{
    ObjCFixture fixture("Widget", false);
    load(fixture);
    Named named;
    EXPECT_EQ(findSymbol(&image_, CECRASH_ASYNC_SYMBOL_STRATEGY_OBJC, &cache_, fixture.address(kDraw), &named), CECRASH_ENOTFOUND);
    // The symbol table still answers when it is asked too.
    ASSERT_EQ(findSymbol(&image_, CECRASH_ASYNC_SYMBOL_STRATEGY_OBJC | CECRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE, &cache_,
                         fixture.address(kDraw), &named),
              CECRASH_ESUCCESS);
    EXPECT_EQ(named.name, "_draw_alias");
}

TEST_F(ObjCMetadataTest, LegacyModulesOfA32BitImage)
{
    // A 32-bit image's pointers must lie below 4 GB: the fixture is mapped there.
    void* low = mmap(nullptr, 0x1000, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    ASSERT_NE(low, MAP_FAILED);
    auto* bytes = static_cast<uint8_t*>(low);
    const auto base = static_cast<uint32_t>(reinterpret_cast<uint64_t>(low));
    const auto put = [&](uint32_t offset, uint32_t value) { std::memcpy(bytes + offset, &value, 4); };
    const auto name16 = [&](uint32_t offset, const char* name) { std::memcpy(bytes + offset, name, std::strlen(name)); };
    // Header, "__TEXT" over the whole page, "__OBJC" with "__module_info".
    put(0, 0xfeedface); put(4, 7); put(8, 3); put(12, 2); put(16, 2); put(20, 56 + 56 + 68); put(24, 0);
    put(28, 0x1); put(32, 56); name16(36, "__TEXT"); put(52, 0x1000); put(56, 0x1000); put(72, 0);
    put(84, 0x1); put(88, 56 + 68); name16(92, "__OBJC"); put(108, 0x1000 + 0x200); put(112, 0x100); put(132, 1);
    name16(140, "__module_info"); name16(156, "__OBJC"); put(172, 0x1000 + 0x200); put(176, 16);
    // One module whose symbol table lists one class; the class has one list, its metaclass an
    // array of lists ended by all ones.
    put(0x200 + 12, base + 0x220);
    put(0x220 + 8, 1);
    put(0x220 + 12, base + 0x240);
    put(0x240, base + 0x280); put(0x240 + 8, base + 0x300); put(0x240 + 16, 0x4000); put(0x240 + 28, base + 0x2c0);
    put(0x280 + 8, base + 0x300); put(0x280 + 28, base + 0x2e0);
    put(0x2e0, base + 0x2d0); put(0x2e4, 0xffffffff);
    put(0x2c0 + 4, 1); put(0x2c0 + 8, base + 0x310); put(0x2c0 + 16, base + 0x800);
    put(0x2d0 + 4, 0);
    std::memcpy(bytes + 0x300, "Old", 4);
    std::memcpy(bytes + 0x310, "run", 4);

    cecrash_async_macho_image image;
    ASSERT_EQ(cecrash_async_macho_init(&image, "old", reinterpret_cast<uint64_t>(low)), CECRASH_ESUCCESS);
    cecrash_async_objc_cache cache;
    cecrash_async_objc_cache_init(&cache);
    Named named;
    EXPECT_EQ(findSymbol(&image, CECRASH_ASYNC_SYMBOL_STRATEGY_OBJC, &cache, base + 0x810, &named), CECRASH_ESUCCESS);
    EXPECT_EQ(named.name, "-[Old run]");
    EXPECT_EQ(named.address, base + 0x800u);
    cecrash_async_objc_cache_free(&cache);
    cecrash_async_macho_free(&image);
    munmap(low, 0x1000);
}

}  // namespace
