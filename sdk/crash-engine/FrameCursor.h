// The frame cursor: starts from one thread state and yields the caller frames one by one,
// asking a list of frame readers in order: the image's compact unwind table, its call-frame
// information, then the frame pointers.
#pragma once

#include "sdk/crash-engine/ImageList.h"
#include "sdk/crash-engine/ThreadState.h"

#include <cstddef>
#include <cstdint>

// Result codes of the cursor and its readers.
enum cecrash_async_frame_error_t : int32_t {
    CECRASH_FRAME_ESUCCESS = 0,
    CECRASH_FRAME_EUNKNOWN = 1,
    CECRASH_FRAME_ENOFRAME = 2,
    CECRASH_FRAME_EBADFRAME = 3,
    CECRASH_FRAME_ENOTSUP = 4,
    CECRASH_FRAME_EINVAL = 5,
    CECRASH_FRAME_EINTERNAL = 6,
    CECRASH_FRAME_EBADREG = 7,
};

// Async-signal-safe. The text of a cursor code; other values "Unhandled error code".
const char* cecrash_async_frame_cursor_error_name(int32_t code);

struct cecrash_async_frame_cursor {
    // Borrowed; may be null for a walk that needs no image lookups.
    cecrash_async_image_list* image_list;
    // Frames returned so far.
    uint32_t depth;
    cecrash_async_thread_state prev_frame;
    cecrash_async_thread_state frame;
};

// A frame reader fills next with the caller's registers of current; previous is null while
// the cursor is still on its first frame.
using cecrash_async_frame_reader = cecrash_async_frame_error_t (*)(cecrash_async_image_list* image_list,
                                                                   const cecrash_async_thread_state* current,
                                                                   const cecrash_async_thread_state* previous,
                                                                   cecrash_async_thread_state* next);

// Async-signal-safe.
cecrash_error_t cecrash_async_frame_cursor_init(cecrash_async_frame_cursor* cursor, cecrash_async_image_list* image_list,
                                                const cecrash_async_thread_state* state);
// Async-signal-safe. The first call yields the initial state itself.
cecrash_async_frame_error_t cecrash_async_frame_cursor_next(cecrash_async_frame_cursor* cursor);
// Async-signal-safe.
cecrash_async_frame_error_t cecrash_async_frame_cursor_next_with_readers(cecrash_async_frame_cursor* cursor,
                                                                         const cecrash_async_frame_reader* readers,
                                                                         size_t reader_count);
// Async-signal-safe. 4 when the current frame does not know the register.
cecrash_async_frame_error_t cecrash_async_frame_cursor_get_reg(const cecrash_async_frame_cursor* cursor, uint32_t reg,
                                                               uint64_t* value);
// Async-signal-safe.
const char* cecrash_async_frame_cursor_get_regname(const cecrash_async_frame_cursor* cursor, uint32_t reg);
// Async-signal-safe.
size_t cecrash_async_frame_cursor_get_regcount(const cecrash_async_frame_cursor* cursor);
// Async-signal-safe.
void cecrash_async_frame_cursor_free(cecrash_async_frame_cursor* cursor);

// Async-signal-safe. The frame-pointer reader: the frame pointer points at the caller's saved
// frame pointer, the return address lies one register above it.
cecrash_async_frame_error_t cecrash_async_frame_cursor_read_frame_ptr(cecrash_async_image_list* image_list,
                                                                      const cecrash_async_thread_state* current,
                                                                      const cecrash_async_thread_state* previous,
                                                                      cecrash_async_thread_state* next);
