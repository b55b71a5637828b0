// The base of the SDK's SQLite stores: one database file under the SDK folder, tables made from a
// declarative schema, a schema version kept in user_version with hooks for new and older files, a
// size cap enforced through SQLite's page limit, and re-creation of a file SQLite calls corrupt or
// of a store that something other than files (a folder) stands in for (what was there is kept
// beside it as "<file>.damaged-<n>").
//
// The database runs in write-ahead-log mode with synchronous=NORMAL on one connection kept open
// between operations: a committed row survives the process being killed at any moment, and a
// write costs tens of microseconds rather than an open, an fsync and a close.
#pragma once

#include "sdk/telemetry/Internals/Storage/ZEStorageBindable.h"
#include "sdk/telemetry/Internals/Storage/ZEWalCheckpointer.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ze {

struct ZEDBColumn {
    std::string name;
    std::vector<std::string> words; // type and constraints, e.g. {"TEXT", "NOT NULL"}
};
struct ZEDBTable {
    std::string name;
    std::vector<ZEDBColumn> columns;
};
using ZEDBSchema = std::vector<ZEDBTable>;
// NULL, TEXT, or INTEGER read as a signed 32-bit value.
using ZEDBValue = std::variant<std::monostate, std::string, std::int64_t>;
using ZEDBRow = std::vector<ZEDBValue>;
using ZEDBColumnIndexes = std::map<std::string, std::map<std::string, std::size_t>>;

// How many selection texts a store keeps prepared; selections whose text varies more are prepared again.
inline constexpr std::size_t kZEKeptSelectionCount = 16;

// Default cap of a store, set again at every configuration: 10 MiB.
inline constexpr std::int64_t kZEDefaultDatabaseSizeInBytes = 10 * 1024 * 1024;
// Page size of a store file made afresh. A log is a few kilobytes of text, and a commit writes
// every page it touches (the row's, the index's, the table's root, the sequence, the header) whole
// into the write-ahead log: on 4 KiB pages an insert wrote about eight times the log's size.
// A file made earlier keeps its own page size.
inline constexpr std::int64_t kZENewDatabasePageSize = 1024;
// The write-ahead log is copied back into the file (a checkpoint, which syncs both) once it holds
// this much, on a thread of the store's own. SQLite counts 1,000 pages by default; on small pages
// that came four times as often.
inline constexpr std::int64_t kZEWalCheckpointBytes = 4 * 1024 * 1024;
// How long a statement waits for a lock another connection to the file holds before it fails.
inline constexpr std::chrono::milliseconds kZELockWait{500};

class ZEDBStorage {
public:
    virtual ~ZEDBStorage();
    ZEDBStorage(const ZEDBStorage&) = delete;
    ZEDBStorage& operator=(const ZEDBStorage&) = delete;

    const std::filesystem::path& dbFileURL() const { return dbFileURL_; }
    std::int64_t maxSizeInBytes() const { return maxSizeInBytes_; }
    std::int64_t pageSize() const { return pageSize_; }
    // The page limit SQLite reported when the cap was last applied to the open connection.
    std::int64_t appliedMaxPageCount() const { return pageLimit_; }
    const std::optional<ZEDBSchema>& schema() const { return schema_; }
    // Pages of write-ahead log that set off a checkpoint: kZEWalCheckpointBytes on this file's pages.
    std::int64_t walCheckpointPages() const { return pageSize_ > 0 ? kZEWalCheckpointBytes / pageSize_ : 0; }

    int configureDatabaseWithSchema(const std::optional<ZEDBSchema>& schema, unsigned version, const std::string& filename);
    // Runs `block` on the open database with the size cap applied; answers its code, or the
    // code that kept it from running.
    int executeQueryUsingBlock(const std::function<int(sqlite3*)>& block);
    int executeNonSelectionQuery(const std::string& query, const ZEStorageBindableArray* values = nullptr);
    // The same on the connection `executeQueryUsingBlock` handed out, with the statement prepared
    // once and kept until the connection closes: for the statements run on every store.
    int executeRepeatedNonSelectionQuery(const std::string& query, sqlite3* db, const ZEStorageBindableArray* values);
    std::vector<ZEDBRow> executeSelectionQuery(const std::string& query, const ZEStorageBindableArray* values);
    // A selection on the connection `executeQueryUsingBlock` handed out, calling `row` with the
    // statement standing on each row (column texts stay valid only until `row` returns; `row` must
    // not run the same selection). The statement is kept for the next selection of the same text;
    // at most kZEKeptSelectionCount texts are kept, a new one beyond them displacing one of them.
    int executeRepeatedSelectionQuery(const std::string& query, sqlite3* db, const ZEStorageBindableArray* values,
        const std::function<void(sqlite3_stmt*)>& row);
    std::size_t countEntriesForTable(const std::string& table, const std::string& condition,
        const ZEStorageBindableArray* values);
    bool createTable(const std::string& table, const std::vector<ZEDBColumn>& columns);
    bool dropTable(const std::string& table);
    void dropDatabase();
    // Rounds up to whole pages; refuses a cap below what the file already holds.
    void setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler);

    static int configureSQLite();
    static sqlite3* openDatabaseAtFileURL(const std::filesystem::path& file, int& result);
    static std::string columnsQueryFromColumnsSchema(const std::vector<ZEDBColumn>& columns);
    static int createTablesWithSchema(const ZEDBSchema& schema, sqlite3* db);
    static ZEDBColumnIndexes columnsIndexes(const ZEDBSchema& schema);
    static bool tableExists(const std::string& table, sqlite3* db, int* result = nullptr);
    static unsigned versionInOpenedDatabase(sqlite3* db, int& result);
    static int setVersion(unsigned version, sqlite3* db);
    static void enableAutoVacuumInOpenedDatabase(sqlite3* db);
    static int executeNonSelectionQuery(const std::string& query, sqlite3* db, const ZEStorageBindableArray* values);
    static int executeQuery(const std::string& query, sqlite3* db, const ZEStorageBindableArray* values,
        const std::function<int(sqlite3_stmt*)>& block);
    static std::vector<ZEDBRow> executeSelectionQuery(const std::string& query, sqlite3* db, int* result,
        const ZEStorageBindableArray* values);
    static ZEDBValue columnValueFromStatement(sqlite3_stmt* statement, int index);
    static std::int64_t getPageSizeInOpenedDatabase(sqlite3* db);
    static std::int64_t getPageCountInOpenedDatabase(sqlite3* db);
    static std::int64_t getMaxPageCountInOpenedDatabase(sqlite3* db);
    static int setMaxPageCount(std::int64_t pageCount, sqlite3* db);

protected:
    ZEDBStorage() = default;
    // Configures the file (re-creating it once when SQLite calls it corrupt). Subclasses call it
    // from their constructor, so that the hooks below reach them.
    void initWithSchema(std::optional<ZEDBSchema> schema, unsigned version, const std::string& filename);
    // Called once for a newly created file, with the connection open.
    virtual void customizeDatabase(sqlite3* db) { (void)db; }
    // Called for an existing file whose stored version is below the requested one.
    virtual void migrateDatabase(sqlite3* db, unsigned fromVersion) { (void)db, (void)fromVersion; }

private:
    // The open connection, opened on first use; nothing when it cannot be opened.
    sqlite3* connection(int& result);
    void closeConnection();
    // Moves a file SQLite called corrupt aside; deletes it only when it cannot be moved.
    void keepDamagedDatabase();
    // Moves what is not a file in the place of the store's log or shared memory aside, keeping
    // the store.
    void keepCompanionsAside();
    static std::int64_t querySingleValue(const std::string& query, sqlite3* db);
    using KeptStatements = std::map<std::string, sqlite3_stmt*, std::less<>>;
    // The statement kept in `kept` for `query` on the open connection, prepared on first use;
    // when `kept` already holds `limit` statements, one of them is finalized to make room.
    static sqlite3_stmt* repeatedStatement(KeptStatements& kept, std::size_t limit, const std::string& query,
        sqlite3* db, int& result);
    // Runs `step` on the statement kept in `kept` for `query`, with `values` bound, and leaves it
    // reset for the next use; on any other connection the statement is prepared for this use only.
    int executeKeptQuery(KeptStatements& kept, std::size_t limit, const std::string& query, sqlite3* db,
        const ZEStorageBindableArray* values, const std::function<int(sqlite3_stmt*)>& step);
    // Applies the size cap to the open connection and records the page limit SQLite answers.
    int applyPageLimit(sqlite3* db);
    // A connection keeps its page limit until it reads a file that another connection grew past
    // it, when SQLite raises the limit to the file's size. Whether anyone else wrote shows in the
    // file's data version, which our own commits also move: one step each, counted by the commit
    // hook. Any other change since the last operation, or a rollback, has the cap applied again.
    void notePageLimitAfterOperation(sqlite3* db);
    static unsigned dataVersion(sqlite3* db);
    // Steps a statement that returns no rows; SQLITE_OK when it ran to the end.
    static int stepNonSelection(sqlite3_stmt* statement, sqlite3* db);
    // Steps a selection to its end, calling `row` on each row; SQLITE_OK when it reached the end.
    static int stepSelection(sqlite3_stmt* statement, sqlite3* db, const std::function<void(sqlite3_stmt*)>& row);

    std::filesystem::path dbFileURL_;
    std::int64_t maxSizeInBytes_ = 0;
    std::int64_t pageSize_ = 0;
    std::int64_t pageLimit_ = 0;
    bool pageLimitStale_ = true;
    unsigned dataVersion_ = 0;
    unsigned ownCommits_ = 0;
    bool rolledBack_ = false;
    std::optional<ZEDBSchema> schema_;
    sqlite3* db_ = nullptr;
    KeptStatements statements_;
    KeptStatements selections_;
    ZEWalCheckpointer checkpointer_{[this] {
        int result = 0;
        return openDatabaseAtFileURL(dbFileURL_, result);
    }};
};

} // namespace ze
