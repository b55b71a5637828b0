#include "sdk/crashes/Forwarding/ZECrashesUncaughtCXXExceptionHandlerManager.h"

#include "sdk/crashes/Forwarding/ZEThrowRecord.h"

#include <cxxabi.h>
#include <execinfo.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <typeinfo>
#include <vector>

namespace ze {

namespace {

struct HandlerList {
    std::atomic_flag lock = ATOMIC_FLAG_INIT;
    std::vector<ZECrashesUncaughtCXXExceptionHandler> handlers;
    bool installed = false;
    std::terminate_handler previous = nullptr;
};

HandlerList& list()
{
    static HandlerList shared;
    return shared;
}

class SpinLock {
public:
    SpinLock() { while (list().lock.test_and_set(std::memory_order_acquire)) { } }
    ~SpinLock() { release(); }
    void release()
    {
        if (held_) {
            held_ = false;
            list().lock.clear(std::memory_order_release);
        }
    }

private:
    bool held_ = true;
};

void callHandlers(const CXXExceptionInfo& info)
{
    for (const auto handler : list().handlers) {
        handler(&info);
    }
}

// The C++ runtime's exception pointer holds exactly the address of the thrown object, the same
// address its throw entry receives.
const void* thrownObjectOf(const std::exception_ptr& exception)
{
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    const void* object = nullptr;
    std::memcpy(&object, &exception, sizeof object);
    return object;
}

[[noreturn]] void cxxTerminateHandler()
{
    std::exception_ptr current = std::current_exception();
    SpinLock guard;
    std::terminate_handler previous = list().previous;
    if (current) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        CXXExceptionInfo info{&current, type->name(), nullptr, 0, nullptr};
        const void* thrownObject = thrownObjectOf(current);
        std::uint64_t fresh[kZEThrowRecordCapacity] = {};
#if ZE_CAPTURES_THROW_SITES
        const ZEThrowRecord* record = ZECurrentThreadThrowRecord();
#else
        const ZEThrowRecord* record = nullptr;
#endif
        // A record of an earlier, caught throw on this thread says nothing about this exception.
        if (record && record->thrownObject == thrownObject && record->thrownType == type && record->frameCount > 0) {
            for (std::uint32_t index = 0; index < record->frameCount; ++index) {
                fresh[index] = record->frames[index];
            }
            info.frames = fresh;
            info.frameCount = record->frameCount;
        } else {
            void* addresses[kZEThrowRecordCapacity];
            const int count = backtrace(addresses, kZEThrowRecordCapacity);
            for (int index = 1; index < count; ++index) {
                fresh[index - 1] = reinterpret_cast<std::uintptr_t>(addresses[index]);
            }
            info.frames = fresh;
            info.frameCount = count > 1 ? static_cast<std::uint32_t>(count - 1) : 0;
        }
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& exception) {
            info.message = exception.what();
            callHandlers(info);
        } catch (const std::exception* exception) {
            info.message = exception ? exception->what() : nullptr;
            callHandlers(info);
        } catch (const std::string& text) {
            info.message = text.c_str();
            callHandlers(info);
        } catch (const std::string* text) {
            info.message = text ? text->c_str() : nullptr;
            callHandlers(info);
        } catch (const char* text) {
            info.message = text;
            callHandlers(info);
        } catch (...) {
            callHandlers(info);
        }
    }
    guard.release();
    if (previous) {
        previous();
    }
    std::abort();
}

} // namespace

void ZECrashesUncaughtCXXExceptionHandlerManager::addCXXExceptionHandler(ZECrashesUncaughtCXXExceptionHandler handler)
{
#if ZE_CAPTURES_THROW_SITES
    ZEStartThrowCapture();
#endif
    SpinLock guard;
    if (!list().installed) {
        list().previous = std::set_terminate(cxxTerminateHandler);
        list().installed = true;
    }
    list().handlers.push_back(handler);
}

void ZECrashesUncaughtCXXExceptionHandlerManager::removeCXXExceptionHandler(ZECrashesUncaughtCXXExceptionHandler handler)
{
    SpinLock guard;
    auto& handlers = list().handlers;
    for (auto it = handlers.begin(); it != handlers.end(); ++it) {
        if (*it == handler) {
            handlers.erase(it);
            break;
        }
    }
    if (list().installed && handlers.empty()) {
        const std::terminate_handler replaced = std::set_terminate(list().previous);
        if (replaced == cxxTerminateHandler) {
            list().installed = false;
            list().previous = nullptr;
        } else {
            std::set_terminate(replaced);
        }
    }
}

std::uint64_t ZECrashesUncaughtCXXExceptionHandlerManager::countCXXExceptionHandler()
{
    SpinLock guard;
    return list().handlers.size();
}

} // namespace ze
