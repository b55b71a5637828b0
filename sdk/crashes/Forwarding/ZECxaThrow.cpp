// Every throw in the program enters the C++ runtime through __cxa_throw; this definition comes
// first in the link, records the thread's stack and hands the throw on unchanged. The runtime's
// own header is left out on purpose: its declaration of the same function would clash.
#include "sdk/crashes/Forwarding/ZEThrowRecord.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace std {
class type_info;
}

namespace {

using CxaThrow = void (*)(void*, std::type_info*, void (*)(void*));

pthread_key_t g_recordKey;
pthread_once_t g_keyOnce = PTHREAD_ONCE_INIT;
std::atomic<bool> g_capturing{false};
std::atomic<CxaThrow> g_runtimeThrow{nullptr};

void createKey()
{
    pthread_key_create(&g_recordKey, std::free);
}

CxaThrow runtimeThrow()
{
    CxaThrow next = g_runtimeThrow.load();
    if (!next) {
        next = reinterpret_cast<CxaThrow>(dlsym(RTLD_NEXT, "__cxa_throw"));
        g_runtimeThrow = next;
    }
    return next;
}

// Kept out of line so that the stack it takes starts with its own frame and then __cxa_throw's,
// both left out: the record starts at the function that threw.
__attribute__((noinline)) void record(const void* thrownObject, const void* thrownType)
{
    pthread_once(&g_keyOnce, createKey);
    auto* record = static_cast<ze::ZEThrowRecord*>(pthread_getspecific(g_recordKey));
    if (!record) {
        record = static_cast<ze::ZEThrowRecord*>(std::calloc(1, sizeof(ze::ZEThrowRecord)));
        if (!record || pthread_setspecific(g_recordKey, record) != 0) {
            std::free(record);
            return;
        }
    }
    void* addresses[ze::kZEThrowRecordCapacity];
    const int count = backtrace(addresses, ze::kZEThrowRecordCapacity);
    constexpr int kSkipped = 2;
    for (int index = kSkipped; index < count; ++index) {
        record->frames[index - kSkipped] = reinterpret_cast<std::uintptr_t>(addresses[index]);
    }
    record->frameCount = count > kSkipped ? static_cast<std::uint32_t>(count - kSkipped) : 0;
    record->thrownObject = thrownObject;
    record->thrownType = thrownType;
}

} // namespace

namespace ze {

void ZEStartThrowCapture()
{
    pthread_once(&g_keyOnce, createKey);
    runtimeThrow();
    g_capturing = true;
}

const ZEThrowRecord* ZECurrentThreadThrowRecord()
{
    if (!g_capturing) {
        return nullptr;
    }
    return static_cast<const ZEThrowRecord*>(pthread_getspecific(g_recordKey));
}

} // namespace ze

extern "C" [[noreturn]] void __cxa_throw(void* thrownObject, std::type_info* type, void (*destructor)(void*))
{
    if (g_capturing) {
        record(thrownObject, type);
    }
    const CxaThrow next = runtimeThrow();
    if (!next) {
        std::abort();
    }
    next(thrownObject, type, destructor);
    std::abort();
}
