#include "sdk/telemetry/Internals/Storage/ZEStorageBindable.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"

#include <sqlite3.h>

namespace ze {

int ZEStorageTextType::bindWithStatement(sqlite3_stmt* statement, int index) const
{
    if (!value) {
        return sqlite3_bind_null(statement, index);
    }
    return sqlite3_bind_text(statement, index, value->c_str(), -1, SQLITE_TRANSIENT);
}

int ZEStorageNumberType::bindWithStatement(sqlite3_stmt* statement, int index) const
{
    return sqlite3_bind_int64(statement, index, value.value_or(0));
}

void ZEStorageBindableArray::addString(std::optional<std::string> value)
{
    array.push_back(std::make_shared<ZEStorageTextType>(std::move(value)));
}

void ZEStorageBindableArray::addNumber(std::optional<std::int64_t> value)
{
    array.push_back(std::make_shared<ZEStorageNumberType>(value));
}

int ZEStorageBindableArray::bindAllValuesWithStatement(sqlite3_stmt* statement, sqlite3* db) const
{
    for (std::size_t i = 0; i < array.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        const int result = array[i]->bindWithStatement(statement, index);
        if (result != SQLITE_OK) {
            ZELogError(kZELogTag, "Binding query parameter %d failed with error: %d. Message: %@", index, result,
                std::string(sqlite3_errmsg(db)));
            return result;
        }
    }
    return SQLITE_OK;
}

} // namespace ze
