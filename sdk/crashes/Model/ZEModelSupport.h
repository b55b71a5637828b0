// Helpers the crash models share: arrays of model objects compared and serialised element by
// element, and unsigned 64-bit values kept in the archive's signed numbers.
#pragma once

#include "sdk/telemetry/Internals/Model/ZESerializableObject.h"

#include <algorithm>
#include <vector>

namespace ze {

template <class T>
ZEJson ZESerializeArray(const std::vector<std::shared_ptr<T>>& objects)
{
    ZEJson array = ZEJson::array();
    for (const auto& object : objects) {
        array.push_back(object->serializeToDictionary());
    }
    return array;
}

template <class T>
bool ZEEqualArrays(const std::vector<std::shared_ptr<T>>& a, const std::vector<std::shared_ptr<T>>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) { return ZEEqualObjects(x, y); });
}

template <class T>
bool ZEEqualArrays(const std::optional<std::vector<std::shared_ptr<T>>>& a, const std::optional<std::vector<std::shared_ptr<T>>>& b)
{
    if (!a || !b) {
        return !a && !b;
    }
    return ZEEqualArrays(*a, *b);
}

inline std::optional<std::int64_t> ZEToArchiveNumber(const std::optional<std::uint64_t>& value)
{
    return value ? std::optional(static_cast<std::int64_t>(*value)) : std::nullopt;
}

inline std::optional<std::uint64_t> ZEFromArchiveNumber(const std::optional<std::int64_t>& value)
{
    return value ? std::optional(static_cast<std::uint64_t>(*value)) : std::nullopt;
}

} // namespace ze
