// Reading a store's file as it stands on disk, for tests of when the write-ahead log is copied
// back into it.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <string>

namespace ze::test {

// Rows of `table` in `file` itself, as a copy of it without its write-ahead log reads them; -1
// when they cannot be counted.
inline int rowsInFileAlone(const std::filesystem::path& file, const std::string& table)
{
    const auto copy = file.parent_path() / "alone.sqlite";
    std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
    sqlite3* db = nullptr;
    sqlite3_open(copy.c_str(), &db);
    sqlite3_stmt* count = nullptr;
    int rows = -1;
    const std::string query = "SELECT COUNT(*) FROM " + table;
    if (sqlite3_prepare_v2(db, query.c_str(), -1, &count, nullptr) == SQLITE_OK && sqlite3_step(count) == SQLITE_ROW) {
        rows = sqlite3_column_int(count, 0);
    }
    sqlite3_finalize(count);
    sqlite3_close(db);
    std::filesystem::remove(copy);
    return rows;
}

} // namespace ze::test
