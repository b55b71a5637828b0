// The loaded images of the process, kept for crash time: changed by ordinary threads, read by
// the crash handler without a lock (see AsyncList). Images stay in the order they were added.
#pragma once

#include "sdk/crash-engine/AsyncList.h"
#include "sdk/crash-engine/linux/LoadedImages.h"

#include <cstdint>
#include <vector>

struct cecrash_async_image_list {
    AsyncList<cecrash_async_image*>* list;
    // Records of removed images: a crash-time reader may still hold one, so they live on until
    // the list is freed.
    std::vector<cecrash_async_image*>* retired;
    // The loaded-images generation the list last matched.
    uint64_t generation;
};

// Not crash-time.
void cecrash_async_image_list_init(cecrash_async_image_list* list);
// Frees every record, listed or retired. Not crash-time.
void cecrash_async_image_list_free(cecrash_async_image_list* list);
// Adds the image whose ELF header lies at header_addr; an unreadable header adds nothing.
// Not crash-time.
void cecrash_async_image_list_append(cecrash_async_image_list* list, uint64_t header_addr, const char* path);
// Unlinks the image with that header; an unknown address changes nothing. Not crash-time.
void cecrash_async_image_list_remove(cecrash_async_image_list* list, uint64_t header_addr);
// Adds the images loaded since the last call and removes the unloaded ones. Not crash-time.
void cecrash_async_image_list_sync(cecrash_async_image_list* list);

// Async-signal-safe. Marks the list as being read (true) or done (false).
void cecrash_async_image_list_set_reading(cecrash_async_image_list* list, bool reading);
// Async-signal-safe. The image after previous, or the first one when previous is null.
cecrash_async_image* cecrash_async_image_list_next(cecrash_async_image_list* list, cecrash_async_image* previous);
// Async-signal-safe. The first image whose text range holds the address, or null.
cecrash_async_image* cecrash_async_image_list_image_for_address(cecrash_async_image_list* list, uint64_t address);
