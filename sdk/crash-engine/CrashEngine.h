// The crash capture engine: catches a fatal signal on an alternate stack, writes a report of
// the dying process, and reads stored reports back at the next launch.
//
// Rules for crash-time code (everything a signal handler can reach; each such function says
// "Async-signal-safe." in the line above its declaration):
// - no heap: no malloc, new, std::string, std::vector or anything that may allocate;
// - no locks: no mutex, no stdio, no iostream, no logging; atomics only;
// - system calls only from the async-signal-safe set (open, write, close, syscall, ...);
// - everything it reads was prepared before the crash (the writer state, the image list, the
//   report path, the thread-control slots) and is published with a full memory barrier;
// - memory of the process is read only through cecrash_async_copy_from_task or a memory object
//   (linux/MemoryObject.h); both check that the pages are readable first and cannot fault.
#pragma once

#include "sdk/crash-engine/CECrashReport.h"
#include "sdk/crash-engine/CECrashReportTextFormatter.h"
#include "sdk/crash-engine/CECrashReporter.h"
