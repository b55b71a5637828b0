// The tree kept in SQLite in write-ahead-log mode, one row per leaf keyed by its path, so that a
// write touches only the rows below the location it replaces and nothing ever rewrites the whole
// tree. A store file SQLite cannot read is set aside (numbered, every copy kept) and a new one
// started; a folder that cannot be written is an error, never a silent in-memory store.
#pragma once

#include "platform/rtdb/TreeStore.h"

#include <filesystem>

struct sqlite3;
struct sqlite3_stmt;

namespace qv {

class SqliteTreeStore final : public TreeStore {
public:
    explicit SqliteTreeStore(std::filesystem::path folder);
    ~SqliteTreeStore() override;
    SqliteTreeStore(const SqliteTreeStore&) = delete;
    SqliteTreeStore& operator=(const SqliteTreeStore&) = delete;

    // The file inside the folder.
    static constexpr const char* kFileName = "tree.sqlite";

    std::optional<DatabaseValue> load(std::string& error) override;
    DatabaseResult append(const std::vector<DatabaseWrite>& writes, const WriteTag* tag) override;
    bool contains(const WriteTag& tag) override;
    void forgetBelow(const std::string& origin, std::uint64_t sequence) override;
    DatabaseResult commit() override;

private:
    // Opens the file and makes the tables; false with `error` set when that fails.
    bool open(std::string& error);
    // Opens the batch the next commit() ends, unless one is open; false when it cannot.
    bool beginBatch();
    void close();
    bool exec(const char* sql);
    sqlite3_stmt* prepare(const char* sql);
    bool writeOne(const DatabaseWrite& write);
    bool insertLeaves(std::string& path, const DatabaseValue& value);
    DatabaseError failure(const std::string& what) const;

    std::filesystem::path folder_;
    sqlite3* db_ = nullptr;
    bool inBatch_ = false;
    sqlite3_stmt* deleteAt_ = nullptr;
    sqlite3_stmt* deleteBelow_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* findTag_ = nullptr;
    sqlite3_stmt* addTag_ = nullptr;
    sqlite3_stmt* forgetTags_ = nullptr;
};

}  // namespace qv
