// The stored form of database values: JSON in which integers, doubles (always written with a
// fraction or an exponent) and booleans stay distinct.
#pragma once

#include "platform/rtdb/DatabaseError.h"
#include "platform/rtdb/DatabaseValue.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

std::string encodeValue(const DatabaseValue& value);
void encodeValue(const DatabaseValue& value, std::string& out);
// Nothing when `text` is not one complete JSON document, or nests deeper than the database
// allows. Arrays read as maps keyed by index.
std::optional<DatabaseValue> decodeValue(std::string_view text);

// A map around the one about to be read, outermost first: what it has read so far, and the key
// under which the next one lies in it.
struct EnclosingMap {
    const std::vector<DatabaseValue::Entry>* read;
    std::string key;
};
// Names, for a map about to be read, a map it is likely to equal, or null. A map read that equals
// the one named is that very value, its nodes shared, and no copy of it is built even while it is
// read. Asked only for maps outside any that was given one: inside, each map's counterpart is
// the named map's child at the same place. Given `maxValues`, a document holding more values
// (each map, list and leaf counted) reads as nothing, and is not built past that many.
using ExpectedMap = std::function<DatabaseValue(const std::vector<EnclosingMap>& enclosing)>;
std::optional<DatabaseValue> decodeValue(std::string_view text, const ExpectedMap& expected, std::size_t maxValues = 0);

// A group of writes as stored in the write logs: [[path, value], ...].
void encodeWrites(const std::vector<DatabaseWrite>& writes, std::string& out);
// The group back from its decoded form (arrays read as maps keyed by index); nothing when it is
// not a list of [path, value] pairs, or a write in it would be refused (then, given `refusal`,
// the error that write would meet).
std::optional<std::vector<DatabaseWrite>> writesFromValue(const DatabaseValue& group, DatabaseResult* refusal = nullptr);

}  // namespace qv
