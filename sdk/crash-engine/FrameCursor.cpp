#include "sdk/crash-engine/FrameCursor.h"

#include "sdk/crash-engine/compact/CompactUnwindReader.h"
#include "sdk/crash-engine/dwarf/DwarfFrameReader.h"
#include "sdk/crash-engine/linux/MemoryReader.h"

namespace {

const char* const kFrameErrorNames[] = {
    "No error",
    "Unknown error",
    "No frames are available",
    "Corrupted frame",
    "Operation not supported",
    "Invalid argument",
    "Internal error",
    "Invalid register",
};

// An unwound instruction pointer in the first page is the end of the stack, not a frame.
constexpr uint64_t kLowestFrameAddress = 4096;

// Unwind tables first (compact, then call-frame information); frame pointers where a function
// has none or they cannot be applied.
const cecrash_async_frame_reader kReaders[] = {
    cecrash_async_frame_cursor_read_compact_unwind,
    cecrash_async_frame_cursor_read_dwarf_unwind,
    cecrash_async_frame_cursor_read_frame_ptr,
};

// Async-signal-safe. True unless both states know the stack pointer and the caller's does not
// lie strictly beyond the callee's in the stack's direction of growth.
bool movesUpTheStack(const cecrash_async_thread_state* callee, const cecrash_async_thread_state* caller)
{
    if (!cecrash_async_thread_state_has_reg(callee, CECRASH_REG_SP) || !cecrash_async_thread_state_has_reg(caller, CECRASH_REG_SP))
        return true;
    const uint64_t from = cecrash_async_thread_state_get_reg(callee, CECRASH_REG_SP);
    const uint64_t to = cecrash_async_thread_state_get_reg(caller, CECRASH_REG_SP);
    return cecrash_async_thread_state_get_stackgrowth(callee) == CECRASH_STACK_DIRECTION_UP ? to < from : to > from;
}

}  // namespace

const char* cecrash_async_frame_cursor_error_name(int32_t code)
{
    if (code < 0 || code > 7)
        return "Unhandled error code";
    return kFrameErrorNames[code];
}

cecrash_error_t cecrash_async_frame_cursor_init(cecrash_async_frame_cursor* cursor, cecrash_async_image_list* image_list,
                                                const cecrash_async_thread_state* state)
{
    cursor->image_list = image_list;
    cursor->depth = 0;
    cecrash_async_readable_pages_begin();
    cecrash_async_fill_bytes(&cursor->prev_frame, 0, sizeof(cursor->prev_frame));
    cecrash_async_thread_state_copy(&cursor->frame, state);
    return CECRASH_ESUCCESS;
}

cecrash_async_frame_error_t cecrash_async_frame_cursor_next(cecrash_async_frame_cursor* cursor)
{
    return cecrash_async_frame_cursor_next_with_readers(cursor, kReaders, sizeof(kReaders) / sizeof(kReaders[0]));
}

cecrash_async_frame_error_t cecrash_async_frame_cursor_next_with_readers(cecrash_async_frame_cursor* cursor,
                                                                         const cecrash_async_frame_reader* readers,
                                                                         size_t reader_count)
{
    if (cursor->depth == 0) {
        cursor->depth = 1;
        return CECRASH_FRAME_ESUCCESS;
    }
    if (reader_count == 0)
        return CECRASH_FRAME_EINVAL;
    const cecrash_async_thread_state* previous = cursor->depth == 1 ? nullptr : &cursor->prev_frame;
    cecrash_async_thread_state next;
    cecrash_async_frame_error_t result = CECRASH_FRAME_EUNKNOWN;
    for (size_t i = 0; i < reader_count; ++i) {
        result = readers[i](cursor->image_list, &cursor->frame, previous, &next);
        if (result == CECRASH_FRAME_ESUCCESS)
            break;
    }
    if (result != CECRASH_FRAME_ESUCCESS)
        return result;
    if (!cecrash_async_thread_state_has_reg(&next, CECRASH_REG_IP)
        || cecrash_async_thread_state_get_reg(&next, CECRASH_REG_IP) <= kLowestFrameAddress)
        return CECRASH_FRAME_ENOFRAME;
    // Each caller's frame lies further up the stack; a step that does not move could only
    // repeat itself up to the frame cap.
    if (!movesUpTheStack(&cursor->frame, &next))
        return CECRASH_FRAME_EBADFRAME;
    cecrash_async_thread_state_copy(&cursor->prev_frame, &cursor->frame);
    cecrash_async_thread_state_copy(&cursor->frame, &next);
    cursor->depth += 1;
    return CECRASH_FRAME_ESUCCESS;
}

cecrash_async_frame_error_t cecrash_async_frame_cursor_get_reg(const cecrash_async_frame_cursor* cursor, uint32_t reg,
                                                               uint64_t* value)
{
    if (!cecrash_async_thread_state_has_reg(&cursor->frame, reg))
        return CECRASH_FRAME_ENOTSUP;
    *value = cecrash_async_thread_state_get_reg(&cursor->frame, reg);
    return CECRASH_FRAME_ESUCCESS;
}

const char* cecrash_async_frame_cursor_get_regname(const cecrash_async_frame_cursor* cursor, uint32_t reg)
{
    return cecrash_async_thread_state_get_reg_name(&cursor->frame, reg);
}

size_t cecrash_async_frame_cursor_get_regcount(const cecrash_async_frame_cursor* cursor)
{
    return cecrash_async_thread_state_get_reg_count(&cursor->frame);
}

void cecrash_async_frame_cursor_free(cecrash_async_frame_cursor* cursor)
{
    cecrash_async_readable_pages_end();
    cursor->image_list = nullptr;
}

cecrash_async_frame_error_t cecrash_async_frame_cursor_read_frame_ptr(cecrash_async_image_list*,
                                                                      const cecrash_async_thread_state* current,
                                                                      const cecrash_async_thread_state* previous,
                                                                      cecrash_async_thread_state* next)
{
    if (!cecrash_async_thread_state_has_reg(current, CECRASH_REG_FP))
        return CECRASH_FRAME_EBADFRAME;
    const uint64_t framePointer = cecrash_async_thread_state_get_reg(current, CECRASH_REG_FP);
    if (framePointer == 0)
        return CECRASH_FRAME_ENOFRAME;
    if (previous != nullptr && cecrash_async_thread_state_has_reg(previous, CECRASH_REG_FP)) {
        const uint64_t previousPointer = cecrash_async_thread_state_get_reg(previous, CECRASH_REG_FP);
        // The frame pointer must move up the stack: one equal to the previous would read the
        // same record again and again.
        const int32_t direction = cecrash_async_thread_state_get_stackgrowth(current);
        if (direction == CECRASH_STACK_DIRECTION_DOWN && framePointer <= previousPointer)
            return CECRASH_FRAME_EBADFRAME;
        if (direction == CECRASH_STACK_DIRECTION_UP && framePointer >= previousPointer)
            return CECRASH_FRAME_EBADFRAME;
    }
    const size_t wordSize = cecrash_async_thread_state_get_greg_size(current);
    uint64_t frameRecord[2] = {0, 0};
    if (wordSize == 8) {
        if (cecrash_async_copy_from_task(framePointer, 0, frameRecord, 16) != CECRASH_ESUCCESS)
            return CECRASH_FRAME_EBADFRAME;
    } else {
        uint32_t narrow[2] = {0, 0};
        if (cecrash_async_copy_from_task(framePointer, 0, narrow, 8) != CECRASH_ESUCCESS)
            return CECRASH_FRAME_EBADFRAME;
        frameRecord[0] = narrow[0];
        frameRecord[1] = narrow[1];
    }
    cecrash_async_thread_state_copy(next, current);
    cecrash_async_thread_state_clear_all_regs(next);
    cecrash_async_thread_state_set_reg(next, CECRASH_REG_FP, frameRecord[0]);
    cecrash_async_thread_state_set_reg(next, CECRASH_REG_IP, frameRecord[1]);
    // The caller's stack pointer is where the return left it: just above the frame record. An
    // unwind-table reader needs it to go on from a frame this reader found.
    const uint64_t stackPointer = cecrash_async_thread_state_get_stackgrowth(current) == CECRASH_STACK_DIRECTION_DOWN
        ? framePointer + 2 * wordSize
        : framePointer - 2 * wordSize;
    cecrash_async_thread_state_set_reg(next, CECRASH_REG_SP, stackPointer);
    return CECRASH_FRAME_ESUCCESS;
}
