#include "sdk/crash-engine/AsyncList.h"
#include "sdk/crash-engine/ImageList.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>

namespace {

std::vector<int> values(AsyncList<int>& list)
{
    std::vector<int> out;
    list.setReading(true);
    for (auto* node = list.first(); node != nullptr; node = AsyncList<int>::next(node))
        out.push_back(node->value);
    list.setReading(false);
    return out;
}

TEST(AsyncListTest, KeepsInsertionOrderAndRemovesTheFirstMatch)
{
    AsyncList<int> list;
    list.append(2);
    list.append(3);
    list.prepend(1);
    list.append(2);
    EXPECT_EQ(values(list), (std::vector<int>{1, 2, 3, 2}));
    EXPECT_TRUE(list.removeFirst([](int v) { return v == 2; }));
    EXPECT_EQ(values(list), (std::vector<int>{1, 3, 2}));
    EXPECT_FALSE(list.removeFirst([](int v) { return v == 9; }));
    EXPECT_TRUE(list.removeFirst([](int v) { return v == 2; }));
    EXPECT_TRUE(list.removeFirst([](int v) { return v == 1; }));
    list.append(4);
    EXPECT_EQ(values(list), (std::vector<int>{3, 4}));
}

TEST(AsyncListTest, RemovalDuringAWalkLeavesTheReadersNodeAlive)
{
    AsyncList<int> list;
    list.append(1);
    list.append(2);
    list.append(3);
    list.setReading(true);
    auto* held = list.first();
    ASSERT_EQ(held->value, 1);
    EXPECT_TRUE(list.removeFirst([](int v) { return v == 1; }));
    // The node is recycled, not freed: the reader can still read it (checked by the address
    // sanitizer build), and it is handed out again only to a later insertion.
    EXPECT_EQ(held->value, 1);
    list.setReading(false);
    list.append(5);
    EXPECT_EQ(values(list), (std::vector<int>{2, 3, 5}));
    EXPECT_EQ(held->value, 5);
}

TEST(ImageListTest, HoldsTheLoadedImagesAndFollowsLoadingAndUnloading)
{
    cecrash_async_image_list list;
    cecrash_async_image_list_init(&list);
    cecrash_async_image_list_sync(&list);

    cecrash_async_image_list_set_reading(&list, true);
    const cecrash_async_image* self =
        cecrash_async_image_list_image_for_address(&list, reinterpret_cast<uint64_t>(&values));
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(std::string(self->name), std::filesystem::read_symlink("/proc/self/exe").string());
    EXPECT_TRUE(self->has_uuid);
    EXPECT_EQ(self->cpu_type, 0x1000007u);
    // The first image is the program itself, as the dynamic linker lists it.
    EXPECT_EQ(cecrash_async_image_list_next(&list, nullptr), self);
    EXPECT_EQ(cecrash_async_image_list_image_for_address(&list, 16), nullptr);
    cecrash_async_image_list_set_reading(&list, false);

    ASSERT_EQ(dlopen("libz.so.1", RTLD_NOW | RTLD_NOLOAD), nullptr) << "the test needs a library not yet loaded";
    void* library = dlopen("libz.so.1", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    const auto function = reinterpret_cast<uint64_t>(dlsym(library, "zlibVersion"));
    cecrash_async_image_list_sync(&list);
    cecrash_async_image_list_set_reading(&list, true);
    const cecrash_async_image* zlib = cecrash_async_image_list_image_for_address(&list, function);
    ASSERT_NE(zlib, nullptr);
    EXPECT_NE(std::string(zlib->name).find("libz.so"), std::string::npos);
    const uint64_t header = zlib->header_addr;
    cecrash_async_image_list_set_reading(&list, false);

    dlclose(library);
    cecrash_async_image_list_sync(&list);
    cecrash_async_image_list_set_reading(&list, true);
    bool stillListed = false;
    for (auto* image = cecrash_async_image_list_next(&list, nullptr); image != nullptr;
         image = cecrash_async_image_list_next(&list, image))
        stillListed = stillListed || image->header_addr == header;
    cecrash_async_image_list_set_reading(&list, false);
    EXPECT_FALSE(stillListed);

    // Bytes that are not an ELF header add nothing.
    const char notAnImage[64] = "plain text";
    cecrash_async_image_list_append(&list, reinterpret_cast<uint64_t>(notAnImage), "fake");
    cecrash_async_image_list_set_reading(&list, true);
    EXPECT_EQ(cecrash_async_image_list_image_for_address(&list, reinterpret_cast<uint64_t>(notAnImage)), nullptr);
    cecrash_async_image_list_set_reading(&list, false);
    cecrash_async_image_list_free(&list);
}

TEST(ImageListTest, ImageAtAListedAddressUnderAnotherPathReplacesTheOldRecord)
{
    // As after one library is unloaded and another mapped where it lay.
    cecrash_async_image_list list;
    cecrash_async_image_list_init(&list);
    cecrash_async_image_list_sync(&list);
    cecrash_async_image_list_set_reading(&list, true);
    const uint64_t header = cecrash_async_image_list_next(&list, nullptr)->header_addr;
    cecrash_async_image_list_set_reading(&list, false);
    cecrash_async_image_list_remove(&list, header);
    cecrash_async_image_list_append(&list, header, "/unloaded/library.so");
    list.generation = 0;

    cecrash_async_image_list_sync(&list);
    cecrash_async_image_list_set_reading(&list, true);
    std::vector<std::string> namesAtHeader;
    for (auto* image = cecrash_async_image_list_next(&list, nullptr); image != nullptr;
         image = cecrash_async_image_list_next(&list, image)) {
        if (image->header_addr == header)
            namesAtHeader.push_back(image->name);
    }
    cecrash_async_image_list_set_reading(&list, false);
    EXPECT_EQ(namesAtHeader, std::vector<std::string>{std::filesystem::read_symlink("/proc/self/exe").string()});
    cecrash_async_image_list_free(&list);
}

}  // namespace
