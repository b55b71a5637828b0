// The stored form of database values: JSON in which integers, doubles (always written with a
// fraction or an exponent) and booleans stay distinct.
#pragma once

#include "platform/rtdb/DatabaseValue.h"

#include <optional>
#include <string>
#include <string_view>

namespace qv {

std::string encodeValue(const DatabaseValue& value);
void encodeValue(const DatabaseValue& value, std::string& out);
// Nothing when `text` is not one complete JSON document, or nests deeper than the database
// allows. Arrays read as maps keyed by index.
std::optional<DatabaseValue> decodeValue(std::string_view text);

// A group of writes as stored in the write logs: [[path, value], ...].
void encodeWrites(const std::vector<DatabaseWrite>& writes, std::string& out);
// The group back from its decoded form (arrays read as maps keyed by index); nothing when it is
// not a list of [path, value] pairs, or a write in it would be refused.
std::optional<std::vector<DatabaseWrite>> writesFromValue(const DatabaseValue& group);

}  // namespace qv
