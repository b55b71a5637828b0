// The checks a value passes before it is written: keys of every map, the depth below the
// location written, doubles that are numbers, strings that are UTF-8.
#pragma once

#include "platform/rtdb/DatabaseError.h"
#include "platform/rtdb/DatabaseValue.h"

namespace qv {

// Nothing when `value` may be written at `path`, otherwise the error to report.
DatabaseResult checkWrite(const DatabasePath& path, const DatabaseValue& value);
// The same for a multi-key update: every key a valid relative path, no key inside another.
// On success `writes` receives the update as writes.
DatabaseResult checkUpdate(const DatabasePath& path, const DatabaseUpdate& values, std::vector<DatabaseWrite>& writes);
// Nothing when observers and reads may use `path` (".info" allowed).
DatabaseResult checkRead(const DatabasePath& path);

}  // namespace qv
