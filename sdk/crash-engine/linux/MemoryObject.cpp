#include "sdk/crash-engine/linux/MemoryObject.h"

#include "sdk/crash-engine/linux/MemoryReader.h"

namespace {

// Async-signal-safe. Loads a value of 1, 2, 4 or 8 bytes of the view at address + offset: the
// parsers read many small fields, so this is the readers' hot path.
template <typename Value>
__attribute__((no_sanitize_address)) cecrash_error_t readValue(const cecrash_async_mobject* object, uint64_t address,
                                                                int64_t offset, Value* out)
{
    uint64_t at = 0;
    if (!cecrash_async_offset_address(address, offset, &at))
        return CECRASH_EINVAL;
    const uint64_t local = at - static_cast<uint64_t>(object->vm_slide);
    if (local < object->address || local - object->address > object->length
        || object->length - (local - object->address) < sizeof(Value))
        return CECRASH_EINVAL;
    __builtin_memcpy(out, reinterpret_cast<const void*>(local), sizeof(Value));
    return CECRASH_ESUCCESS;
}

}  // namespace

cecrash_error_t cecrash_async_mobject_init(cecrash_async_mobject* object, uint64_t task_address, uint64_t length,
                                           bool require_whole)
{
    object->address = 0;
    object->task_address = task_address;
    object->length = 0;
    object->vm_slide = 0;
    if (length == 0 || task_address + length < task_address)
        return CECRASH_ENOMEM;
    const uint64_t readable = cecrash_async_readable_length(task_address, length);
    if (readable == 0 || (require_whole && readable < length))
        return CECRASH_ENOMEM;
    object->address = static_cast<uintptr_t>(task_address);
    object->length = readable;
    return CECRASH_ESUCCESS;
}

uint64_t cecrash_async_mobject_base_address(const cecrash_async_mobject* object)
{
    return object->task_address;
}

uint64_t cecrash_async_mobject_length(const cecrash_async_mobject* object)
{
    return object->length;
}

bool cecrash_async_mobject_verify_local_pointer(const cecrash_async_mobject* object, uintptr_t local, int64_t offset,
                                                size_t length)
{
    uint64_t start = 0;
    if (!cecrash_async_offset_address(local, offset, &start))
        return false;
    if (start < object->address || start + length < start)
        return false;
    const uint64_t end = object->address + object->length;
    return start + length <= end;
}

const void* cecrash_async_mobject_remap_address(const cecrash_async_mobject* object, uint64_t address, int64_t offset,
                                                size_t length)
{
    uint64_t local = 0;
    if (!cecrash_async_offset_address(address, -object->vm_slide, &local))
        return nullptr;
    if (!cecrash_async_mobject_verify_local_pointer(object, static_cast<uintptr_t>(local), offset, length))
        return nullptr;
    uint64_t at = 0;
    cecrash_async_offset_address(local, offset, &at);
    return reinterpret_cast<const void*>(at);
}

cecrash_error_t cecrash_async_mobject_read_uint8(const cecrash_async_mobject* object, uint64_t address, int64_t offset,
                                                 uint8_t* result)
{
    return readValue(object, address, offset, result);
}

cecrash_error_t cecrash_async_mobject_read_uint16(const cecrash_async_mobject* object, const cecrash_async_byteorder* order,
                                                  uint64_t address, int64_t offset, uint16_t* result)
{
    uint16_t raw = 0;
    const cecrash_error_t error = readValue(object, address, offset, &raw);
    if (error == CECRASH_ESUCCESS)
        *result = order->swap16(raw);
    return error;
}

cecrash_error_t cecrash_async_mobject_read_uint32(const cecrash_async_mobject* object, const cecrash_async_byteorder* order,
                                                  uint64_t address, int64_t offset, uint32_t* result)
{
    uint32_t raw = 0;
    const cecrash_error_t error = readValue(object, address, offset, &raw);
    if (error == CECRASH_ESUCCESS)
        *result = order->swap32(raw);
    return error;
}

cecrash_error_t cecrash_async_mobject_read_uint64(const cecrash_async_mobject* object, const cecrash_async_byteorder* order,
                                                  uint64_t address, int64_t offset, uint64_t* result)
{
    uint64_t raw = 0;
    const cecrash_error_t error = readValue(object, address, offset, &raw);
    if (error == CECRASH_ESUCCESS)
        *result = order->swap64(raw);
    return error;
}

void cecrash_async_mobject_free(cecrash_async_mobject* object)
{
    object->address = 0;
    object->length = 0;
}
