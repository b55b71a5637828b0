#include "sdk/telemetry/Internals/Storage/ZELogDBStorage.h"

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECommonSchemaLog.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"

#include <sqlite3.h>

#include <algorithm>

namespace ze {

namespace {

constexpr std::size_t kBatchIdLength = 36;
// Decoded logs kept for the rows stored last: a few batches of a busy unit.
constexpr std::size_t kKeptDecodedLogs = 256;

std::string joined(const std::vector<std::int64_t>& ids, const std::string& separator)
{
    std::string out;
    for (const auto id : ids) {
        out += (out.empty() ? "" : separator) + std::to_string(id);
    }
    return out;
}

// The text of a column that holds text; nothing for NULL or any other type.
std::optional<std::string_view> text(sqlite3_stmt* statement, int index)
{
    if (sqlite3_column_type(statement, index) != SQLITE_TEXT) {
        return std::nullopt;
    }
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
    return std::string_view(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, index)));
}

// The columns every reading of logs selects, in the order `storedLogFromStatement` reads them.
const std::string& storedLogColumns()
{
    static const std::string columns = ZEFormat("\"%@\", \"%@\", \"%@\"", "id", "log", "targetToken");
    return columns;
}

} // namespace

ZELogDBStorage::ZELogDBStorage()
{
    initWithSchema(logsSchema(), kZELogDatabaseSchemaVersion, kZELogDatabaseFileName);
}

ZEDBSchema ZELogDBStorage::logsSchema()
{
    return {{kZELogTableName,
        {{"id", {"INTEGER", "PRIMARY KEY", "AUTOINCREMENT"}},
            {"groupId", {"TEXT", "NOT NULL"}},
            {"log", {"TEXT", "NOT NULL"}},
            {"targetToken", {"TEXT"}},
            {"targetKey", {"TEXT"}},
            {"priority", {"INTEGER"}}}}};
}

std::string ZELogDBStorage::buildKeyFormatWithCount(std::size_t count)
{
    std::string out = "(";
    for (std::size_t i = 0; i < count; ++i) {
        out += i == 0 ? "?" : ",?";
    }
    return out + ")";
}

bool ZELogDBStorage::saveLog(const std::shared_ptr<ZEAbstractLog>& log, const std::string& groupId, std::uint64_t flags)
{
    return log && saveArchivedLog(archiveLog(log), groupId, flags);
}

std::optional<ZEArchivedLog> ZELogDBStorage::archiveLog(const std::shared_ptr<ZEAbstractLog>& log)
{
    if (!log) {
        return std::nullopt;
    }
    const auto archive = ZEUtility::archiveKeyedData(log);
    if (!archive) {
        return std::nullopt;
    }
    ZEArchivedLog archived;
    archived.text = crypto::base64Encode(*archive);
    archived.decoded = ZEUtility::unarchiveKeyedData<ZEAbstractLog>(archive);
    if (dynamic_cast<const ZECommonSchemaLog*>(log.get())) {
        archived.commonSchema = true;
        const auto tokens = log->transmissionTargetTokens();
        const std::optional<std::string> token = tokens && !tokens->empty() ? std::optional(*tokens->begin()) : std::nullopt;
        archived.encryptedToken = token ? targetTokenEncrypter_.encryptString(*token) : std::nullopt;
        archived.targetKey = ZEUtility::targetKeyFromTargetToken(token);
    }
    return archived;
}

const std::string& ZELogDBStorage::insertion(const ZEArchivedLog& archived, const std::string& groupId, std::uint64_t flags,
    ZEStorageBindableArray& values)
{
    static const std::string insertWithTarget
        = ZEFormat("INSERT INTO \"%@\" (\"%@\", \"%@\", \"%@\", \"%@\", \"%@\") VALUES (?, ?, ?, ?, ?)",
            kZELogTableName, "groupId", "log", "targetToken", "targetKey", "priority");
    static const std::string insertPlain
        = ZEFormat("INSERT INTO \"%@\" (\"%@\", \"%@\", \"%@\") VALUES (?, ?, ?)", kZELogTableName, "groupId", "log", "priority");
    values.addString(groupId);
    values.addString(archived.text);
    if (archived.commonSchema) {
        values.addString(archived.encryptedToken);
        values.addString(archived.targetKey);
    }
    values.addNumber(static_cast<std::int64_t>(flags & 0xFF));
    return archived.commonSchema ? insertWithTarget : insertPlain;
}

bool ZELogDBStorage::fitsInStore(const ZEArchivedLog& archived) const
{
    return static_cast<std::int64_t>(archived.text.size()) < appliedMaxPageCount() * pageSize();
}

std::vector<bool> ZELogDBStorage::saveArchivedLogs(const std::vector<ZEArchivedLogWithFlags>& logs, const std::string& groupId)
{
    const bool allArchived = std::all_of(logs.begin(), logs.end(), [](const auto& entry) { return entry.log.has_value(); });
    if (logs.size() > 1 && allArchived) {
        // A commit writes the pages every insert touches (the table's root, its sequence, the
        // file's header) once, however many rows it holds.
        std::vector<std::int64_t> ids;
        const int result = executeQueryUsingBlock([&](sqlite3* db) {
            if (!std::all_of(logs.begin(), logs.end(), [this](const auto& entry) { return fitsInStore(*entry.log); })) {
                return SQLITE_TOOBIG;
            }
            int code = executeRepeatedNonSelectionQuery("BEGIN", db, nullptr);
            for (std::size_t i = 0; code == SQLITE_OK && i < logs.size(); ++i) {
                ZEStorageBindableArray values;
                const std::string& insert = insertion(*logs[i].log, groupId, logs[i].flags, values);
                code = executeRepeatedNonSelectionQuery(insert, db, &values);
                ids.push_back(static_cast<std::int64_t>(sqlite3_last_insert_rowid(db)));
            }
            if (code == SQLITE_OK) {
                code = executeRepeatedNonSelectionQuery("COMMIT", db, nullptr);
            }
            if (code != SQLITE_OK && !sqlite3_get_autocommit(db)) {
                executeRepeatedNonSelectionQuery("ROLLBACK", db, nullptr);
            }
            return code;
        });
        if (result == SQLITE_OK) {
            for (std::size_t i = 0; i < ids.size(); ++i) {
                ZELogVerbose(kZELogTag, "Log is stored with id: '%ld'", static_cast<long>(ids[i]));
                keepDecoded(ids[i], *logs[i].log);
            }
            return std::vector<bool>(logs.size(), true);
        }
        // A full store makes room for each log by itself, as it would have for each alone.
    }
    return ZEStorage::saveArchivedLogs(logs, groupId);
}

bool ZELogDBStorage::saveArchivedLog(const std::optional<ZEArchivedLog>& archived, const std::string& groupId,
    std::uint64_t flags)
{
    if (!archived) {
        ++dropped_;
        return false;
    }
    const std::int64_t priority = static_cast<std::int64_t>(flags & 0xFF);
    const std::string& base64 = archived->text;
    ZEStorageBindableArray values;
    const std::string& insert = insertion(*archived, groupId, flags, values);

    const int result = executeQueryUsingBlock([&](sqlite3* db) {
        if (!fitsInStore(*archived)) {
            ZELogError(kZELogTag, "Log is too large (%tu bytes) to store in database. Current maximum database size is %tu bytes.",
                base64.size(), appliedMaxPageCount() * pageSize());
            return SQLITE_ERROR;
        }
        int code = executeRepeatedNonSelectionQuery(insert, db, &values);
        if (code != SQLITE_FULL) {
            if (code == SQLITE_OK) {
                ZELogVerbose(kZELogTag, "Log is stored with id: '%ld'", static_cast<long>(sqlite3_last_insert_rowid(db)));
                keepDecoded(sqlite3_last_insert_rowid(db), *archived);
            }
            return code;
        }
        ZEStorageBindableArray priorityValue;
        priorityValue.addNumber(priority);
        const auto candidates = executeSelectionQuery(
            ZEFormat("SELECT \"%@\" FROM \"%@\" WHERE \"%@\" <= ? ORDER BY \"%@\" ASC, \"%@\" ASC", "id", kZELogTableName,
                "priority", "priority", "id"),
            db, nullptr, &priorityValue);
        long deleted = 0;
        bool deletionFailed = false;
        for (const auto& row : candidates) {
            if (row.empty() || !std::holds_alternative<std::int64_t>(row[0])) {
                continue;
            }
            const std::int64_t id = std::get<std::int64_t>(row[0]);
            const int deletion = deleteLogsFromDBWithIds({id}, db);
            if (deletion != SQLITE_OK) {
                // On a full disk even a deletion may find no room.
                ZELogError(kZELogTag,
                    "Storage is full and a log with equal or lower priority could not be deleted to make room (result %d); discarding the log.",
                    deletion);
                code = deletion;
                deletionFailed = true;
                break;
            }
            ++deleted;
            ++dropped_;
            ZELogDebug(kZELogTag, "Deleted a log with id %@ to store a new log.", id);
            code = executeRepeatedNonSelectionQuery(insert, db, &values);
            if (code != SQLITE_FULL) {
                break;
            }
        }
        if (deleted > 0) {
            ZELogDebug(kZELogTag, "Log storage was over capacity, %ld oldest log(s) with equal or lower priority deleted.", deleted);
        }
        if (code == SQLITE_OK) {
            ZELogVerbose(kZELogTag, "Log is stored with id: '%ld'", static_cast<long>(sqlite3_last_insert_rowid(db)));
            keepDecoded(sqlite3_last_insert_rowid(db), *archived);
        } else if (code == SQLITE_FULL && !deletionFailed) {
            ZELogError(kZELogTag, "Storage is full and no logs with equal or lower priority exist; discarding the log.");
        }
        return code;
    });
    if (result != SQLITE_OK) {
        ++dropped_;
    }
    return result == SQLITE_OK;
}

std::size_t ZELogDBStorage::countLogs()
{
    return countEntriesForTable(kZELogTableName, "", nullptr);
}

std::vector<std::string> ZELogDBStorage::batchKeysOfGroup(const std::string& groupId) const
{
    std::vector<std::string> keys;
    for (const auto& [key, ids] : batches_) {
        if (key.size() == groupId.size() + kBatchIdLength && key.compare(0, groupId.size(), groupId) == 0
            && ZEUuid::fromString(std::string_view(key).substr(groupId.size()))) {
            keys.push_back(key);
        }
    }
    return keys;
}

ZELogArray ZELogDBStorage::deleteLogsWithGroupId(const std::string& groupId)
{
    ZEStorageBindableArray values;
    values.addString(groupId);
    const auto stored = logsWithQuery(
        ZEFormat("SELECT %@ FROM \"%@\" WHERE \"%@\" = ?", storedLogColumns(), kZELogTableName, "groupId"), values);
    const int result = executeQueryUsingBlock([&](sqlite3* db) {
        return executeNonSelectionQuery(ZEFormat("DELETE FROM \"%@\" WHERE \"%@\" = ?", kZELogTableName, "groupId"), db, &values);
    });
    const std::string description = ZEFormat("Deletion of log(s) by %@ with value(s) '%@'", "groupId", groupId);
    if (result == SQLITE_OK) {
        ZELogVerbose(kZELogTag, "%@ succeeded.", description);
    } else {
        ZELogError(kZELogTag, "%@ failed.", description);
    }
    for (const auto& key : batchKeysOfGroup(groupId)) {
        batches_.erase(key);
    }
    ZELogArray logs;
    for (const auto& entry : stored) {
        logs.push_back(entry.log);
    }
    return logs;
}

void ZELogDBStorage::deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId)
{
    const auto found = batches_.find(groupId + batchId);
    if (found == batches_.end() || found->second.empty()) {
        return;
    }
    // Logs that could not be deleted stay reserved, so that they are not loaded and sent again.
    if (deleteLogsFromDBWithColumnValues(found->second)) {
        batches_.erase(found);
    }
}

bool ZELogDBStorage::deleteLogsFromDBWithColumnValues(const std::vector<std::int64_t>& ids)
{
    const int result = executeQueryUsingBlock([&](sqlite3* db) { return deleteLogsFromDBWithIds(ids, db); });
    return result == SQLITE_OK;
}

int ZELogDBStorage::deleteLogsFromDBWithIds(const std::vector<std::int64_t>& ids, sqlite3* db)
{
    ZEStorageBindableArray values;
    for (const auto id : ids) {
        values.addNumber(id);
    }
    const int result = executeNonSelectionQuery(
        ZEFormat("DELETE FROM \"%@\" WHERE \"%@\" IN %@", kZELogTableName, "id", buildKeyFormatWithCount(ids.size())), db, &values);
    const std::string description = ZEFormat("Deletion of log(s) by %@ with value(s) '%@'", "id", joined(ids, "','"));
    if (result == SQLITE_OK) {
        ZELogVerbose(kZELogTag, "%@ succeeded.", description);
    } else {
        ZELogError(kZELogTag, "%@ failed.", description);
    }
    return result;
}

bool ZELogDBStorage::loadLogsWithGroupId(const std::string& groupId, std::uint64_t limit,
    const std::vector<std::string>& excludedTargetKeys, const ZELoadDataCompletionHandler& completion)
{
    std::vector<std::int64_t> excludedIds;
    for (const auto& key : batchKeysOfGroup(groupId)) {
        const auto& ids = batches_.at(key);
        excludedIds.insert(excludedIds.end(), ids.begin(), ids.end());
    }
    ZEStorageBindableArray values;
    values.addString(groupId);
    std::string condition = ZEFormat("\"%@\" = ?", "groupId");
    if (!excludedTargetKeys.empty()) {
        condition += ZEFormat(" AND \"%@\" NOT IN %@", "targetKey", buildKeyFormatWithCount(excludedTargetKeys.size()));
        for (const auto& key : excludedTargetKeys) {
            values.addString(key);
        }
    }
    if (!excludedIds.empty()) {
        condition += ZEFormat(" AND \"%@\" NOT IN %@", "id", buildKeyFormatWithCount(excludedIds.size()));
        for (const auto id : excludedIds) {
            values.addNumber(id);
        }
    }
    // A negative limit is none; one row past the batch tells whether more are waiting.
    values.addNumber(limit >= static_cast<std::uint64_t>(INT64_MAX) ? -1 : static_cast<std::int64_t>(limit) + 1);
    const std::string query = ZEFormat("SELECT \"%@\" FROM \"%@\" WHERE %@ ORDER BY \"%@\" DESC, \"%@\" ASC LIMIT ?", "id",
        kZELogTableName, condition, "priority", "id");

    // The order is found on ids alone, so that sorting does not carry every log's text; one read
    // transaction holds the batch, for one snapshot and one lock rather than one per row.
    std::vector<StoredLog> read;
    executeQueryUsingBlock([&](sqlite3* db) {
        int result = executeRepeatedNonSelectionQuery("BEGIN", db, nullptr);
        if (result != SQLITE_OK) {
            return result;
        }
        std::vector<std::int64_t> selected;
        result = executeRepeatedSelectionQuery(query, db, &values,
            [&selected](sqlite3_stmt* statement) { selected.push_back(sqlite3_column_int64(statement, 0)); });
        if (result == SQLITE_OK) {
            result = readLogsWithIds(selected, db, read);
        }
        const int ended = executeRepeatedNonSelectionQuery("COMMIT", db, nullptr);
        return result != SQLITE_OK ? result : ended;
    });
    auto stored = readableLogs(std::move(read));
    const bool more = stored.size() > limit;
    if (more) {
        stored.resize(static_cast<std::size_t>(limit));
    }
    ZELogArray logs;
    std::optional<std::string> batchId;
    if (!stored.empty()) {
        batchId = ZEUuid::create().UUIDString();
        std::vector<std::int64_t> ids;
        for (const auto& entry : stored) {
            ids.push_back(entry.id);
            logs.push_back(entry.log);
        }
        batches_[groupId + *batchId] = ids;
        ZELogVerbose(kZELogTag, "Load log(s) with id(s) '%@' as batch Id:%@", joined(ids, "','"), *batchId);
    }
    if (completion) {
        completion(logs, batchId);
    }
    return more;
}

std::vector<ZELogDBStorage::StoredLog> ZELogDBStorage::logsWithQuery(const std::string& query,
    const ZEStorageBindableArray& values)
{
    std::vector<StoredLog> read;
    executeQueryUsingBlock([&](sqlite3* db) {
        return executeRepeatedSelectionQuery(
            query, db, &values, [&](sqlite3_stmt* statement) { read.push_back(storedLogFromStatement(statement)); });
    });
    return readableLogs(std::move(read));
}

int ZELogDBStorage::readLogsWithIds(const std::vector<std::int64_t>& ids, sqlite3* db, std::vector<StoredLog>& read)
{
    static const std::string query
        = ZEFormat("SELECT %@ FROM \"%@\" WHERE \"%@\" = ?", storedLogColumns(), kZELogTableName, "id");
    for (const auto id : ids) {
        ZEStorageBindableArray value;
        value.addNumber(id);
        const int result = executeRepeatedSelectionQuery(
            query, db, &value, [&](sqlite3_stmt* statement) { read.push_back(storedLogFromStatement(statement)); });
        if (result != SQLITE_OK) {
            return result;
        }
    }
    return SQLITE_OK;
}

void ZELogDBStorage::keepDecoded(std::int64_t id, const ZEArchivedLog& archived)
{
    if (!archived.decoded) {
        return;
    }
    decoded_.insert_or_assign(id, DecodedLog{archived.text, archived.decoded});
    if (decoded_.size() > kKeptDecodedLogs) {
        decoded_.erase(decoded_.begin());
    }
}

ZELogDBStorage::StoredLog ZELogDBStorage::storedLogFromStatement(sqlite3_stmt* statement)
{
    StoredLog stored;
    stored.id = sqlite3_column_int64(statement, 0);
    const auto archived = text(statement, 1);
    // A kept log is handed out once: whoever loads it may change it, and a later load of the
    // same row decodes it afresh.
    if (const auto kept = decoded_.find(stored.id); kept != decoded_.end()) {
        if (archived && kept->second.text == *archived) {
            stored.log = std::move(kept->second.log);
        }
        decoded_.erase(kept);
    }
    if (!stored.log) {
        const auto data = archived ? crypto::base64DecodeIgnoringUnknown(*archived) : std::nullopt;
        stored.log = ZEUtility::unarchiveKeyedData<ZEAbstractLog>(data);
    }
    if (!stored.log) {
        ZELogError(kZELogTag, "Deserialization failed for log with Id %@", stored.id);
        return stored;
    }
    if (const auto token = text(statement, 2)) {
        if (token->empty()) {
            ZELogError(kZELogTag, "Unexpected empty target token for log with Id %@.", stored.id);
        } else if (const auto decrypted = targetTokenEncrypter_.decryptString(std::string(*token))) {
            stored.log->addTransmissionTargetToken(*decrypted);
        } else {
            ZELogError(kZELogTag, "Failed to decrypt the target token for log with Id %@.", stored.id);
        }
    }
    return stored;
}

std::vector<ZELogDBStorage::StoredLog> ZELogDBStorage::readableLogs(std::vector<StoredLog> logs)
{
    std::vector<std::int64_t> unreadable;
    std::erase_if(logs, [&unreadable](const StoredLog& entry) {
        if (!entry.log) {
            unreadable.push_back(entry.id);
        }
        return !entry.log;
    });
    if (!unreadable.empty()) {
        deleteLogsFromDBWithColumnValues(unreadable);
    }
    return logs;
}

void ZELogDBStorage::customizeDatabase(sqlite3* db)
{
    createPriorityIndex(db);
}

void ZELogDBStorage::migrateDatabase(sqlite3* db, unsigned fromVersion)
{
    (void)fromVersion;
    executeNonSelectionQuery(ZEFormat("DROP TABLE \"%@\";", kZELogTableName), db, nullptr);
    createTablesWithSchema(logsSchema(), db);
    createPriorityIndex(db);
}

int ZELogDBStorage::createPriorityIndex(sqlite3* db)
{
    return executeNonSelectionQuery(
        ZEFormat("CREATE INDEX \"ix_%@_%@\" ON \"%@\" (\"%@\")", kZELogTableName, "priority", kZELogTableName, "priority"),
        db, nullptr);
}

} // namespace ze
