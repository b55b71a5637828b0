#include "sdk/crash-engine/ImageList.h"

#include <algorithm>

namespace {

using Node = AsyncList<cecrash_async_image*>::Node;

}  // namespace

void cecrash_async_image_list_init(cecrash_async_image_list* list)
{
    list->list = new AsyncList<cecrash_async_image*>;
    list->retired = new std::vector<cecrash_async_image*>;
    list->generation = 0;
}

void cecrash_async_image_list_free(cecrash_async_image_list* list)
{
    list->list->setReading(true);
    for (Node* node = list->list->first(); node != nullptr; node = AsyncList<cecrash_async_image*>::next(node)) {
        cecrash_async_image_free(node->value);
        delete node->value;
    }
    list->list->setReading(false);
    for (cecrash_async_image* image : *list->retired) {
        cecrash_async_image_free(image);
        delete image;
    }
    delete list->list;
    delete list->retired;
    list->list = nullptr;
    list->retired = nullptr;
}

void cecrash_async_image_list_append(cecrash_async_image_list* list, uint64_t header_addr, const char* path)
{
    auto* image = new cecrash_async_image;
    if (cecrash_async_image_init(image, header_addr, path) != CECRASH_ESUCCESS) {
        cecrash_async_image_free(image);
        delete image;
        return;
    }
    // Writers are serialised by the caller (enable time, the sync), so the node is set before
    // another writer could recycle it.
    image->node = list->list->append(image);
}

void cecrash_async_image_list_remove(cecrash_async_image_list* list, uint64_t header_addr)
{
    cecrash_async_image* removed = nullptr;
    list->list->removeFirst([&](cecrash_async_image* image) {
        if (image->header_addr != header_addr)
            return false;
        removed = image;
        return true;
    });
    if (removed != nullptr)
        list->retired->push_back(removed);
}

void cecrash_async_image_list_sync(cecrash_async_image_list* list)
{
    const uint64_t generation = cecrash_loaded_images_generation();
    if (generation != 0 && generation == list->generation)
        return;
    const std::vector<LoadedImage> loaded = cecrash_loaded_images();
    // A library unloaded and another loaded at the same address share a header address: an
    // image is the same only when its path is too.
    std::vector<LoadedImage> listed;
    list->list->setReading(true);
    for (Node* node = list->list->first(); node != nullptr; node = AsyncList<cecrash_async_image*>::next(node))
        listed.push_back({node->value->header_addr, node->value->name});
    list->list->setReading(false);
    const auto same = [](const LoadedImage& a, const LoadedImage& b) {
        return a.headerAddress == b.headerAddress && a.path == b.path;
    };
    for (const LoadedImage& image : listed) {
        if (std::none_of(loaded.begin(), loaded.end(), [&](const LoadedImage& now) { return same(now, image); }))
            cecrash_async_image_list_remove(list, image.headerAddress);
    }
    for (const LoadedImage& image : loaded) {
        if (std::none_of(listed.begin(), listed.end(), [&](const LoadedImage& before) { return same(before, image); }))
            cecrash_async_image_list_append(list, image.headerAddress, image.path.c_str());
    }
    list->generation = generation;
}

void cecrash_async_image_list_set_reading(cecrash_async_image_list* list, bool reading)
{
    list->list->setReading(reading);
}

cecrash_async_image* cecrash_async_image_list_next(cecrash_async_image_list* list, cecrash_async_image* previous)
{
    Node* node = previous == nullptr ? list->list->first()
                                     : AsyncList<cecrash_async_image*>::next(static_cast<Node*>(previous->node));
    return node != nullptr ? node->value : nullptr;
}

cecrash_async_image* cecrash_async_image_list_image_for_address(cecrash_async_image_list* list, uint64_t address)
{
    for (cecrash_async_image* image = cecrash_async_image_list_next(list, nullptr); image != nullptr;
         image = cecrash_async_image_list_next(list, image)) {
        if (cecrash_async_image_contains_address(image, address))
            return image;
    }
    return nullptr;
}
