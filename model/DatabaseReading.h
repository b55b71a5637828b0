// Reading database values the forgiving way the stored records need: a missing key reads as 0,
// NO or nothing, and a value of another kind than expected reads the same way.
#pragma once

#include "platform/rtdb/DatabaseValue.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

inline std::int64_t intChild(const qv::DatabaseValue& node, std::string_view key)
{
    return node.child(key).toInt(0);
}

inline bool boolChild(const qv::DatabaseValue& node, std::string_view key)
{
    return node.child(key).toBool(false);
}

// The child's string; nothing when it is absent or not a string.
inline std::optional<QString> stringChild(const qv::DatabaseValue& node, std::string_view key)
{
    const qv::DatabaseValue child = node.child(key);
    if (const std::string* text = child.stringIfAny())
        return QString::fromStdString(*text);
    return std::nullopt;
}

// Sets `field` from the child's string when there is one; leaves it otherwise.
inline void readStringChild(const qv::DatabaseValue& node, std::string_view key, QString& field)
{
    if (auto text = stringChild(node, key))
        field = *text;
}
