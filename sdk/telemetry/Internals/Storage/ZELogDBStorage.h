// The persistent queue of logs waiting to be sent: the table "logs" of "Logs.sqlite" (version 5),
// each log archived as Base64 text with its group, priority and, for common-schema logs, its
// encrypted transmission target token. When the file reaches its cap, a new log makes room by
// evicting logs of equal or lower priority, lowest priority and oldest first.
#pragma once

#include "sdk/telemetry/Internals/Storage/ZEDBStorage.h"
#include "sdk/telemetry/Internals/Storage/ZEStorage.h"
#include "sdk/telemetry/Internals/Util/ZEEncrypter.h"

#include <atomic>
#include <map>

namespace ze {

inline constexpr const char* kZELogTableName = "logs";
inline constexpr const char* kZELogDatabaseFileName = "Logs.sqlite";
inline constexpr unsigned kZELogDatabaseSchemaVersion = 5;

class ZELogDBStorage final : public ZEDBStorage, public ZEStorage {
public:
    ZELogDBStorage();

    bool saveLog(const std::shared_ptr<ZEAbstractLog>& log, const std::string& groupId, std::uint64_t flags) override;
    std::optional<ZEArchivedLog> archiveLog(const std::shared_ptr<ZEAbstractLog>& log) override;
    bool saveArchivedLog(const std::optional<ZEArchivedLog>& log, const std::string& groupId, std::uint64_t flags) override;
    // In one transaction when every log fits as it is; otherwise, or when that transaction fails,
    // one by one, each making room for itself as a single log does.
    std::vector<bool> saveArchivedLogs(const std::vector<ZEArchivedLogWithFlags>& logs, const std::string& groupId) override;
    std::size_t countLogs() override;
    ZELogArray deleteLogsWithGroupId(const std::string& groupId) override;
    void deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId) override;
    bool loadLogsWithGroupId(const std::string& groupId, std::uint64_t limit,
        const std::vector<std::string>& excludedTargetKeys, const ZELoadDataCompletionHandler& completion) override;
    void setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler) override
    {
        ZEDBStorage::setMaxStorageSize(sizeInBytes, completionHandler);
    }

    // Logs given up since creation: evicted to make room, or refused as too large or for lack of room.
    std::uint64_t droppedLogsCount() const { return dropped_.load(); }

    static ZEDBSchema logsSchema();
    // "(?)", "(?,?)", ... for `count` values.
    static std::string buildKeyFormatWithCount(std::size_t count);

private:
    struct StoredLog {
        std::int64_t id = 0;
        std::shared_ptr<ZEAbstractLog> log;
    };

    // The insert that stores `archived`, and the values it binds.
    static const std::string& insertion(const ZEArchivedLog& archived, const std::string& groupId, std::uint64_t flags,
        ZEStorageBindableArray& values);
    // Whether a log of this archive can be stored at all: it must be smaller than the store's cap.
    bool fitsInStore(const ZEArchivedLog& archived) const;
    void customizeDatabase(sqlite3* db) override;
    void migrateDatabase(sqlite3* db, unsigned fromVersion) override;
    static int createPriorityIndex(sqlite3* db);

    // The logs selected by `query`, whose columns are "id", "log" and "targetToken", in its
    // order; the ones that cannot be read are deleted and left out.
    std::vector<StoredLog> logsWithQuery(const std::string& query, const ZEStorageBindableArray& values);
    // Appends the logs with these ids to `read`, in this order, including the ones that cannot be read.
    int readLogsWithIds(const std::vector<std::int64_t>& ids, sqlite3* db, std::vector<StoredLog>& read);
    // Reads the row the statement stands on; the log is empty when it cannot be read.
    StoredLog storedLogFromStatement(sqlite3_stmt* statement);
    // Deletes the logs that could not be read and answers the others.
    std::vector<StoredLog> readableLogs(std::vector<StoredLog> logs);
    bool deleteLogsFromDBWithColumnValues(const std::vector<std::int64_t>& ids);
    static int deleteLogsFromDBWithIds(const std::vector<std::int64_t>& ids, sqlite3* db);
    // Pending batch keys of exactly this group: the group id followed by one batch id.
    std::vector<std::string> batchKeysOfGroup(const std::string& groupId) const;

    // Keeps the log its caller's thread decoded from a row just stored, for the next load of
    // that row: decoding a batch on the store's queue held up every log enqueued meanwhile.
    void keepDecoded(std::int64_t id, const ZEArchivedLog& archived);

    struct DecodedLog {
        std::string text;
        std::shared_ptr<ZEAbstractLog> log;
    };
    std::map<std::string, std::vector<std::int64_t>> batches_;
    // By row id, a few batches' worth; a row's text must still match for its log to be used.
    std::map<std::int64_t, DecodedLog> decoded_;
    ZEEncrypter targetTokenEncrypter_;
    std::atomic<std::uint64_t> dropped_{0};
};

} // namespace ze
