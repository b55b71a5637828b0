// The frame cursor's reader of call-frame information: finds the FDE of the current frame's
// instruction in its image's call-frame section, runs the CIE's and the FDE's instructions up
// to it and applies the resulting rules to produce the caller's registers.
#pragma once

#include "sdk/crash-engine/FrameCursor.h"

// Async-signal-safe. Frame codes: 3 without an instruction pointer, 4 for address 0, no image
// holding it or no FDE for it, 2 when the image has no call-frame section or the rules cannot
// be applied.
//
// The instruction pointer of a caller frame is a return address, which for a call that never
// returns (abort) lies past the end of the calling function: callers are looked up one byte
// before it. The first frame, the interrupted instruction itself, is looked up where it is.
cecrash_async_frame_error_t cecrash_async_frame_cursor_read_dwarf_unwind(cecrash_async_image_list* image_list,
                                                                         const cecrash_async_thread_state* current,
                                                                         const cecrash_async_thread_state* previous,
                                                                         cecrash_async_thread_state* next);
