// Reading numbers out of text and ordering names the way people expect to see them listed.
#pragma once

#include <QString>

#include <cstdint>

namespace qv {

// The leading integer of `text`: white space and line breaks skipped, an optional sign, then
// decimal digits up to the first other character. 0 when there are no digits; clamped to the
// 64-bit range on overflow.
std::int64_t integerValue(const QString& text);

// Orders names as a file browser lists them: case-insensitive, digit runs compared by value
// ("Speaker 2" before "Speaker 10"), in the current locale. Negative, zero or positive.
int localizedStandardCompare(const QString& a, const QString& b);

}  // namespace qv
