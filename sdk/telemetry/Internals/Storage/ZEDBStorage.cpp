#include "sdk/telemetry/Internals/Storage/ZEDBStorage.h"

#include "sdk/telemetry/Internals/Storage/ZEWalWriteGathering.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace ze {

namespace {

std::string errorMessage(sqlite3* db)
{
    return db ? std::string(sqlite3_errmsg(db)) : std::string();
}

// SQLite reads a "file:" URI; every byte outside the unreserved set and "/" is percent-encoded.
std::string fileUri(const std::filesystem::path& file)
{
    static const char* digits = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : std::filesystem::absolute(file).string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += digits[c >> 4];
            uri += digits[c & 0xF];
        }
    }
    return uri;
}

// Other connections to the file hold its write lock now and then: the checkpointer's for a few
// microseconds when it reads the log's index while a commit rewrites it, another store's on the
// same file for one of its transactions. Without waiting, a statement run meanwhile fails as
// "database is locked", and a failed delete of a sent batch sends its logs again. SQLite's own
// timeout sleeps whole milliseconds, so the wait yields first and then sleeps in steps that grow
// to a millisecond, for kZELockWait at most.
int waitForLock(void*, int attempt)
{
    using Clock = std::chrono::steady_clock;
    thread_local Clock::time_point started;
    const auto now = Clock::now();
    if (attempt == 0) {
        started = now;
    } else if (now - started >= kZELockWait) {
        return 0;
    }
    constexpr int kYields = 16;
    if (attempt < kYields) {
        std::this_thread::yield();
    } else {
        std::this_thread::sleep_for(std::chrono::microseconds(std::min(10 << std::min(attempt - kYields, 7), 1000)));
    }
    return 1;
}

constexpr const char* kCompanions[] = {"-wal", "-shm"};

// Something other than a file (a folder, say) where a file should be cannot be opened and never
// goes away by itself.
bool notAFile(const std::string& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

bool companionInTheWay(const std::filesystem::path& file)
{
    return std::any_of(std::begin(kCompanions), std::end(kCompanions),
        [&](const char* suffix) { return notAFile(file.string() + suffix); });
}

// The first "<file>.damaged-N" free for the store and both its companions.
std::optional<std::string> freeAsideName(const std::filesystem::path& file)
{
    for (int n = 1; n < 1000; ++n) {
        const std::string aside = file.string() + ".damaged-" + std::to_string(n);
        std::error_code error;
        const auto taken = [&](const std::string& path) {
            return std::filesystem::exists(std::filesystem::symlink_status(path, error));
        };
        if (!taken(aside) && !taken(aside + kCompanions[0]) && !taken(aside + kCompanions[1])) {
            return aside;
        }
    }
    return std::nullopt;
}

// The URI option must be switched on before SQLite is first used in the process.
int globalConfigurationResult()
{
    static const int result = ZEDBStorage::configureSQLite();
    return result;
}

} // namespace

ZEDBStorage::~ZEDBStorage()
{
    closeConnection();
}

void ZEDBStorage::initWithSchema(std::optional<ZEDBSchema> schema, unsigned version, const std::string& filename)
{
    static std::once_flag reported;
    std::call_once(reported, [] {
        const int result = globalConfigurationResult();
        if (result == SQLITE_OK) {
            ZELogDebug(kZELogTag, "SQLite global configuration successfully updated.");
        } else {
            ZELogError(kZELogTag, "Failed to update SQLite global configuration. Error: %@.", std::string(sqlite3_errstr(result)));
        }
    });
    schema_ = std::move(schema);
    int result = configureDatabaseWithSchema(schema_, version, filename);
    if (result == SQLITE_NOTADB || result == SQLITE_CORRUPT || notAFile(dbFileURL_.string())) {
        keepDamagedDatabase();
        result = configureDatabaseWithSchema(schema_, version, filename);
    } else if (companionInTheWay(dbFileURL_)) {
        // A folder in the shared-memory file's place lets the store open read-only: every write
        // fails. The store itself is sound and keeps its logs; only what is in the way goes.
        keepCompanionsAside();
        result = configureDatabaseWithSchema(schema_, version, filename);
    }
    if (result != SQLITE_OK) {
        ZELogError(kZELogTag, "Failed to initialize database.");
    }
}

int ZEDBStorage::configureSQLite()
{
    return sqlite3_config(SQLITE_CONFIG_URI, 1);
}

sqlite3* ZEDBStorage::openDatabaseAtFileURL(const std::filesystem::path& file, int& result)
{
    sqlite3* db = nullptr;
    // Through the layer that hands each commit's log frames to the system in one write.
    result = sqlite3_open_v2(fileUri(file).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI,
        ZEWalWriteGatheringName());
    if (result != SQLITE_OK) {
        ZELogError(kZELogTag, "Failed to open database with result: %d.", result);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_handler(db, waitForLock, nullptr);
    // With the write-ahead log a commit is in the log file before the insert returns, so killing
    // the process loses nothing committed; NORMAL syncs at checkpoints rather than per commit.
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    return db;
}

int ZEDBStorage::configureDatabaseWithSchema(const std::optional<ZEDBSchema>& schema, unsigned version,
    const std::string& filename)
{
    closeConnection();
    const bool existed = ZEUtility::fileExistsForPathComponent(filename);
    dbFileURL_ = ZEUtility::createFileAtPathComponent(filename, std::nullopt, false, false)
                     .value_or(ZEUtility::zavEdurovDirectoryURL() / filename);
    maxSizeInBytes_ = kZEDefaultDatabaseSizeInBytes;
    int result = SQLITE_OK;
    sqlite3* db = openDatabaseAtFileURL(dbFileURL_, result);
    if (!db) {
        return result;
    }
    const auto finish = [db](int code) {
        sqlite3_close(db);
        return code;
    };
    if (getPageCountInOpenedDatabase(db) == 0) {
        executeNonSelectionQuery(ZEFormat("PRAGMA page_size = %ld", kZENewDatabasePageSize), db, nullptr);
    }
    pageSize_ = getPageSizeInOpenedDatabase(db);
    if (pageSize_ == 0) {
        ZELogError(kZELogTag, "Failed to get storage page size.");
        return finish(SQLITE_ERROR);
    }
    const unsigned storedVersion = versionInOpenedDatabase(db, result);
    if (result != SQLITE_OK) {
        return finish(result);
    }
    if (schema) {
        result = createTablesWithSchema(*schema, db);
        if (result != SQLITE_OK) {
            ZELogError(kZELogTag, "Failed to create tables with schema with error \"%d\".", result);
            return finish(result);
        }
    }
    if (existed) {
        if (storedVersion < version) {
            ZELogInfo(kZELogTag, "Migrating \"%@\" database from version %lu to %lu.", filename, storedVersion, version);
            migrateDatabase(db, storedVersion);
        }
    } else {
        ZELogInfo(kZELogTag, "Created \"%@\" database with %lu version.", filename, version);
        customizeDatabase(db);
    }
    enableAutoVacuumInOpenedDatabase(db);
    setVersion(version, db);
    // After the vacuum, which cannot switch auto_vacuum on in this mode; the mode stays with the file.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr);
    return finish(SQLITE_OK);
}

sqlite3* ZEDBStorage::connection(int& result)
{
    result = SQLITE_OK;
    if (!db_) {
        db_ = openDatabaseAtFileURL(dbFileURL_, result);
        if (db_) {
            // In place of SQLite's checkpoint at the end of a commit.
            sqlite3_wal_hook(db_, [](void* self, sqlite3*, const char*, int pages) {
                auto* storage = static_cast<ZEDBStorage*>(self);
                if (storage->pageSize_ > 0 && pages >= storage->walCheckpointPages()) {
                    storage->checkpointer_.request();
                }
                return SQLITE_OK;
            }, this);
            sqlite3_commit_hook(db_, [](void* self) {
                ++static_cast<ZEDBStorage*>(self)->ownCommits_;
                return 0;
            }, this);
            sqlite3_rollback_hook(db_, [](void* self) { static_cast<ZEDBStorage*>(self)->rolledBack_ = true; }, this);
            pageLimitStale_ = true;
        }
    }
    return db_;
}

void ZEDBStorage::closeConnection()
{
    checkpointer_.stop();
    for (auto* kept : {&statements_, &selections_}) {
        for (const auto& [query, statement] : *kept) {
            sqlite3_finalize(statement);
        }
        kept->clear();
    }
    if (db_) {
        sqlite3_close(db_);
        db_ = nullptr;
    }
}

int ZEDBStorage::executeQueryUsingBlock(const std::function<int(sqlite3*)>& block)
{
    int result = SQLITE_OK;
    sqlite3* db = connection(result);
    if (!db) {
        return result;
    }
    if (pageSize_ == 0) {
        ZELogError(kZELogTag, "The database was not configured correctly. The page size is expected to be non zero.");
        closeConnection();
        return SQLITE_ERROR;
    }
    if (pageLimitStale_) {
        result = applyPageLimit(db);
        if (result == SQLITE_CORRUPT || result == SQLITE_NOTADB) {
            closeConnection();
            return result;
        }
        if (result != SQLITE_OK) {
            ZELogError(kZELogTag, "Failed to open database with specified maximum size constraint.");
        }
    }
    result = block(db);
    // What an operation wrote is stored only once committed: a transaction it left open (a
    // COMMIT that failed) would take every later write with it into a rollback, each reported
    // stored. It is rolled back now, and the operation counts as failed.
    if (!sqlite3_get_autocommit(db)) {
        ZELogError(kZELogTag, "An operation left a transaction open (result %d); it is rolled back.", result);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        if (result == SQLITE_OK) {
            result = SQLITE_ABORT;
        }
    }
    notePageLimitAfterOperation(db);
    // A file found corrupt is opened afresh next time rather than reused.
    if (result == SQLITE_CORRUPT || result == SQLITE_NOTADB) {
        closeConnection();
    }
    return result;
}

int ZEDBStorage::executeNonSelectionQuery(const std::string& query, const ZEStorageBindableArray* values)
{
    return executeQueryUsingBlock([&](sqlite3* db) { return executeNonSelectionQuery(query, db, values); });
}

std::vector<ZEDBRow> ZEDBStorage::executeSelectionQuery(const std::string& query, const ZEStorageBindableArray* values)
{
    std::vector<ZEDBRow> rows;
    executeQueryUsingBlock([&](sqlite3* db) {
        rows = executeSelectionQuery(query, db, nullptr, values);
        return SQLITE_OK;
    });
    return rows;
}

std::size_t ZEDBStorage::countEntriesForTable(const std::string& table, const std::string& condition,
    const ZEStorageBindableArray* values)
{
    std::string query = ZEFormat("SELECT COUNT(*) FROM \"%@\" ", table);
    if (!condition.empty()) {
        query += ZEFormat("WHERE %@", condition);
    }
    const auto rows = executeSelectionQuery(query, values);
    if (rows.empty() || rows[0].empty() || !std::holds_alternative<std::int64_t>(rows[0][0])) {
        return 0;
    }
    return static_cast<std::size_t>(std::get<std::int64_t>(rows[0][0]));
}

bool ZEDBStorage::createTable(const std::string& table, const std::vector<ZEDBColumn>& columns)
{
    const int result = executeQueryUsingBlock([&](sqlite3* db) {
        if (tableExists(table, db)) {
            return SQLITE_OK;
        }
        const int code = executeNonSelectionQuery(
            ZEFormat("CREATE TABLE \"%@\" (%@);", table, columnsQueryFromColumnsSchema(columns)), db, nullptr);
        if (code == SQLITE_OK) {
            ZELogVerbose(kZELogTag, "Table %@ has been created", table);
        } else {
            ZELogError(kZELogTag, "Failed to create table %@", table);
        }
        return code;
    });
    return result == SQLITE_OK;
}

bool ZEDBStorage::dropTable(const std::string& table)
{
    const int result = executeQueryUsingBlock([&](sqlite3* db) {
        if (!tableExists(table, db)) {
            return SQLITE_OK;
        }
        const int code = executeNonSelectionQuery(ZEFormat("DROP TABLE \"%@\";", table), db, nullptr);
        if (code == SQLITE_OK) {
            ZELogVerbose(kZELogTag, "Table %@ has been deleted", table);
        } else {
            ZELogError(kZELogTag, "Failed to delete table %@", table);
        }
        return code;
    });
    return result == SQLITE_OK;
}

void ZEDBStorage::dropDatabase()
{
    closeConnection();
    std::error_code error;
    std::filesystem::remove(dbFileURL_.string() + "-wal", error);
    std::filesystem::remove(dbFileURL_.string() + "-shm", error);
    if (ZEUtility::deleteFileAtURL(dbFileURL_)) {
        ZELogVerbose(kZELogTag, "Database %@ has been deleted.", "file://" + dbFileURL_.string());
    } else {
        ZELogError(kZELogTag, "Failed to delete database.");
    }
}

void ZEDBStorage::keepDamagedDatabase()
{
    closeConnection();
    const std::optional<std::string> aside = freeAsideName(dbFileURL_);
    if (aside && std::rename(dbFileURL_.c_str(), aside->c_str()) == 0) {
        for (const char* companion : kCompanions) {
            std::rename((dbFileURL_.string() + companion).c_str(), (*aside + companion).c_str());
        }
        ZELogError(kZELogTag, "The database %@ is damaged or not a file; it was kept as %@ and a new one is created.",
            dbFileURL_.string(), *aside);
        return;
    }
    dropDatabase();
}

void ZEDBStorage::keepCompanionsAside()
{
    closeConnection();
    const std::optional<std::string> aside = freeAsideName(dbFileURL_);
    for (const char* companion : kCompanions) {
        const std::string path = dbFileURL_.string() + companion;
        if (!notAFile(path)) {
            continue;
        }
        if (aside && std::rename(path.c_str(), (*aside + companion).c_str()) == 0) {
            ZELogError(kZELogTag, "%@ is not a file; it was kept as %@.", path, *aside + companion);
        } else {
            ZELogError(kZELogTag, "%@ is not a file and cannot be moved aside.", path);
        }
    }
}

void ZEDBStorage::setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler)
{
    const auto done = [&completionHandler](bool success) {
        if (completionHandler) {
            completionHandler(success);
        }
    };
    int result = SQLITE_OK;
    sqlite3* db = connection(result);
    if (!db) {
        done(false);
        return;
    }
    // Whatever happens below, the next operation applies the cap again unless it is set here.
    pageLimitStale_ = true;
    if (pageSize_ == 0) {
        ZELogError(kZELogTag, "The database was not configured correctly. The page size is expected to be non zero.");
        done(false);
        return;
    }
    const std::int64_t pageCount = getPageCountInOpenedDatabase(db);
    ZELogDebug(kZELogTag, "Found %ld pages in the database.", pageCount);
    const std::int64_t requestedPages = sizeInBytes / pageSize_ + (sizeInBytes % pageSize_ ? 1 : 0);
    if (pageCount > requestedPages) {
        ZELogWarning(kZELogTag,
            "Cannot change database size to %ld bytes as it would cause a loss of data. Maximum database size will not be changed.",
            sizeInBytes);
        done(false);
        return;
    }
    result = setMaxPageCount(requestedPages, db);
    if (result != SQLITE_OK) {
        ZELogError(kZELogTag, "Could not change maximum database size to %ld bytes. SQLite error code: %i", sizeInBytes, result);
        done(false);
        return;
    }
    const std::int64_t effectivePages = getMaxPageCountInOpenedDatabase(db);
    const std::int64_t effectiveBytes = effectivePages * pageSize_;
    if (effectivePages != requestedPages) {
        ZELogError(kZELogTag, "Could not change maximum database size to %ld bytes, current maximum size is %ld bytes.",
            sizeInBytes, effectiveBytes);
        done(false);
        return;
    }
    if (effectiveBytes == sizeInBytes) {
        ZELogInfo(kZELogTag, "Changed maximum database size to %ld bytes.", sizeInBytes);
    } else {
        ZELogInfo(kZELogTag, "Changed maximum database size to %ld bytes (next multiple of 4KiB).", effectiveBytes);
    }
    maxSizeInBytes_ = effectiveBytes;
    pageLimit_ = effectivePages;
    notePageLimitAfterOperation(db);
    pageLimitStale_ = false;
    done(true);
}

std::string ZEDBStorage::columnsQueryFromColumnsSchema(const std::vector<ZEDBColumn>& columns)
{
    std::string out;
    for (const auto& column : columns) {
        std::string words;
        for (const auto& word : column.words) {
            words += (words.empty() ? "" : " ") + word;
        }
        out += (out.empty() ? "" : ", ") + ZEFormat("\"%@\" %@", column.name, words);
    }
    return out;
}

int ZEDBStorage::createTablesWithSchema(const ZEDBSchema& schema, sqlite3* db)
{
    std::vector<std::string> statements;
    for (const auto& table : schema) {
        int result = SQLITE_OK;
        if (!tableExists(table.name, db, &result)) {
            statements.push_back(ZEFormat("CREATE TABLE \"%@\" (%@);", table.name, columnsQueryFromColumnsSchema(table.columns)));
        }
    }
    for (const auto& statement : statements) {
        const int result = executeNonSelectionQuery(statement, db, nullptr);
        if (result != SQLITE_OK) {
            return result;
        }
    }
    return SQLITE_OK;
}

ZEDBColumnIndexes ZEDBStorage::columnsIndexes(const ZEDBSchema& schema)
{
    ZEDBColumnIndexes indexes;
    for (const auto& table : schema) {
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
            indexes[table.name][table.columns[i].name] = i;
        }
    }
    return indexes;
}

bool ZEDBStorage::tableExists(const std::string& table, sqlite3* db, int* result)
{
    ZEStorageBindableArray values;
    values.addString(table);
    const auto rows = executeSelectionQuery(
        "SELECT COUNT(*) FROM \"sqlite_master\" WHERE \"type\"='table' AND \"name\"=?;", db, result, &values);
    return !rows.empty() && !rows[0].empty() && std::holds_alternative<std::int64_t>(rows[0][0])
        && std::get<std::int64_t>(rows[0][0]) != 0;
}

unsigned ZEDBStorage::versionInOpenedDatabase(sqlite3* db, int& result)
{
    const auto rows = executeSelectionQuery("PRAGMA user_version", db, &result, nullptr);
    if (rows.empty() || rows[0].empty() || !std::holds_alternative<std::int64_t>(rows[0][0])) {
        return 0;
    }
    return static_cast<unsigned>(std::get<std::int64_t>(rows[0][0]));
}

int ZEDBStorage::setVersion(unsigned version, sqlite3* db)
{
    return executeNonSelectionQuery(ZEFormat("PRAGMA user_version = %lu", version), db, nullptr);
}

void ZEDBStorage::enableAutoVacuumInOpenedDatabase(sqlite3* db)
{
    const auto rows = executeSelectionQuery("PRAGMA auto_vacuum", db, nullptr, nullptr);
    const bool full = !rows.empty() && !rows[0].empty() && std::holds_alternative<std::int64_t>(rows[0][0])
        && std::get<std::int64_t>(rows[0][0]) == 1;
    if (!full) {
        ZELogDebug(kZELogTag, "Vacuuming database and enabling auto_vacuum");
        executeNonSelectionQuery("PRAGMA auto_vacuum = FULL;", db, nullptr);
        executeNonSelectionQuery("VACUUM;", db, nullptr);
    }
}

int ZEDBStorage::executeQuery(const std::string& query, sqlite3* db, const ZEStorageBindableArray* values,
    const std::function<int(sqlite3_stmt*)>& block)
{
    sqlite3_stmt* statement = nullptr;
    int result = sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr);
    if (result != SQLITE_OK) {
        ZELogError(kZELogTag, "Failed to prepare SQLite statement, result=%d\n\t%@", result, errorMessage(db));
        sqlite3_finalize(statement);
        return result;
    }
    result = values ? values->bindAllValuesWithStatement(statement, db) : SQLITE_OK;
    if (result == SQLITE_OK) {
        result = block(statement);
    }
    const int finalized = sqlite3_finalize(statement);
    if (finalized != SQLITE_OK && finalized != result) {
        ZELogError(kZELogTag, "Failed to finalize SQLite statement, result=%d\n\t%@", finalized, errorMessage(db));
    }
    return result;
}

int ZEDBStorage::stepNonSelection(sqlite3_stmt* statement, sqlite3* db)
{
    const int result = sqlite3_step(statement);
    if (result == SQLITE_DONE) {
        return SQLITE_OK;
    }
    if (result == SQLITE_CORRUPT || result == SQLITE_NOTADB) {
        ZELogError(kZELogTag, "A database file is corrupted, result=%d\n\t%@", result, errorMessage(db));
    } else if (result == SQLITE_FULL) {
        ZELogDebug(kZELogTag, "Query failed with error: %d\n\t%@", result, errorMessage(db));
    } else {
        ZELogError(kZELogTag, "Could not execute the statement, result=%d\n\t%@", result, errorMessage(db));
    }
    return result;
}

int ZEDBStorage::executeNonSelectionQuery(const std::string& query, sqlite3* db, const ZEStorageBindableArray* values)
{
    return executeQuery(query, db, values, [db](sqlite3_stmt* statement) { return stepNonSelection(statement, db); });
}

sqlite3_stmt* ZEDBStorage::repeatedStatement(KeptStatements& kept, std::size_t limit, const std::string& query,
    sqlite3* db, int& result)
{
    result = SQLITE_OK;
    auto found = kept.find(query);
    if (found == kept.end()) {
        if (kept.size() >= limit) {
            sqlite3_finalize(kept.begin()->second);
            kept.erase(kept.begin());
        }
        sqlite3_stmt* statement = nullptr;
        result = sqlite3_prepare_v3(db, query.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (result != SQLITE_OK) {
            ZELogError(kZELogTag, "Failed to prepare SQLite statement, result=%d\n\t%@", result, errorMessage(db));
            sqlite3_finalize(statement);
            return nullptr;
        }
        found = kept.emplace(query, statement).first;
    }
    return found->second;
}

int ZEDBStorage::executeRepeatedNonSelectionQuery(const std::string& query, sqlite3* db, const ZEStorageBindableArray* values)
{
    const auto step = [db](sqlite3_stmt* statement) { return stepNonSelection(statement, db); };
    return executeKeptQuery(statements_, SIZE_MAX, query, db, values, step);
}

int ZEDBStorage::executeRepeatedSelectionQuery(const std::string& query, sqlite3* db, const ZEStorageBindableArray* values,
    const std::function<void(sqlite3_stmt*)>& row)
{
    const auto step = [db, &row](sqlite3_stmt* statement) { return stepSelection(statement, db, row); };
    return executeKeptQuery(selections_, kZEKeptSelectionCount, query, db, values, step);
}

int ZEDBStorage::executeKeptQuery(KeptStatements& kept, std::size_t limit, const std::string& query, sqlite3* db,
    const ZEStorageBindableArray* values, const std::function<int(sqlite3_stmt*)>& step)
{
    if (db != db_) {
        return executeQuery(query, db, values, step);
    }
    int result = SQLITE_OK;
    sqlite3_stmt* statement = repeatedStatement(kept, limit, query, db, result);
    if (!statement) {
        return result;
    }
    result = values ? values->bindAllValuesWithStatement(statement, db) : SQLITE_OK;
    if (result == SQLITE_OK) {
        result = step(statement);
    }
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return result;
}

int ZEDBStorage::stepSelection(sqlite3_stmt* statement, sqlite3* db, const std::function<void(sqlite3_stmt*)>& row)
{
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        row(statement);
    }
    if (step != SQLITE_DONE) {
        ZELogError(kZELogTag, "Query failed with error: %d\n\t%@", step, errorMessage(db));
        return step;
    }
    return SQLITE_OK;
}

int ZEDBStorage::applyPageLimit(sqlite3* db)
{
    // The same statement each time for one cap: preparing a pragma costs more than running it.
    int result = SQLITE_OK;
    sqlite3_stmt* statement = repeatedStatement(
        statements_, SIZE_MAX, ZEFormat("PRAGMA max_page_count = %ld", maxSizeInBytes_ / pageSize_), db, result);
    if (!statement) {
        return result;
    }
    result = sqlite3_step(statement);
    if (result == SQLITE_ROW) {
        pageLimit_ = sqlite3_column_int64(statement, 0);
        result = sqlite3_step(statement);
    }
    sqlite3_reset(statement);
    if (result != SQLITE_DONE) {
        ZELogError(kZELogTag, "Query failed with error: %d\n\t%@", result, errorMessage(db));
        return result;
    }
    notePageLimitAfterOperation(db);
    pageLimitStale_ = false;
    return SQLITE_OK;
}

void ZEDBStorage::notePageLimitAfterOperation(sqlite3* db)
{
    const unsigned version = dataVersion(db);
    if (version != dataVersion_ + ownCommits_ || rolledBack_) {
        pageLimitStale_ = true;
    }
    dataVersion_ = version;
    ownCommits_ = 0;
    rolledBack_ = false;
}

unsigned ZEDBStorage::dataVersion(sqlite3* db)
{
    unsigned version = 0;
    sqlite3_file_control(db, "main", SQLITE_FCNTL_DATA_VERSION, &version);
    return version;
}

std::vector<ZEDBRow> ZEDBStorage::executeSelectionQuery(const std::string& query, sqlite3* db, int* result,
    const ZEStorageBindableArray* values)
{
    std::vector<ZEDBRow> rows;
    const int code = executeQuery(query, db, values, [&rows, db](sqlite3_stmt* statement) {
        return stepSelection(statement, db, [&rows](sqlite3_stmt* standing) {
            ZEDBRow row;
            const int count = sqlite3_column_count(standing);
            for (int i = 0; i < count; ++i) {
                row.push_back(columnValueFromStatement(standing, i));
            }
            if (!row.empty()) {
                rows.push_back(std::move(row));
            }
        });
    });
    if (result) {
        *result = code;
    }
    return rows;
}

ZEDBValue ZEDBStorage::columnValueFromStatement(sqlite3_stmt* statement, int index)
{
    const int type = sqlite3_column_type(statement, index);
    switch (type) {
    case SQLITE_NULL:
        return std::monostate{};
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
        return std::string(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, index)));
    }
    case SQLITE_INTEGER:
        return static_cast<std::int64_t>(sqlite3_column_int(statement, index));
    default:
        ZELogError(kZELogTag, "Could not retrieve column value at index %d from statement: unknown type %d.", index, type);
        return std::monostate{};
    }
}

std::int64_t ZEDBStorage::querySingleValue(const std::string& query, sqlite3* db)
{
    sqlite3_stmt* statement = nullptr;
    std::int64_t value = 0;
    if (sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
        value = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
    return value;
}

std::int64_t ZEDBStorage::getPageSizeInOpenedDatabase(sqlite3* db)
{
    return querySingleValue("PRAGMA page_size;", db);
}

std::int64_t ZEDBStorage::getPageCountInOpenedDatabase(sqlite3* db)
{
    return querySingleValue("PRAGMA page_count;", db);
}

std::int64_t ZEDBStorage::getMaxPageCountInOpenedDatabase(sqlite3* db)
{
    return querySingleValue("PRAGMA max_page_count;", db);
}

int ZEDBStorage::setMaxPageCount(std::int64_t pageCount, sqlite3* db)
{
    int result = SQLITE_OK;
    executeSelectionQuery(ZEFormat("PRAGMA max_page_count = %ld", pageCount), db, &result, nullptr);
    return result;
}

} // namespace ze
