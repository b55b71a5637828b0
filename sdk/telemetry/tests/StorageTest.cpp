#include "ZESqliteTestSupport.h"
#include "ZETestSupport.h"

#include "sdk/telemetry/Internals/Model/CommonSchema/ZECommonSchemaLog.h"
#include "sdk/telemetry/Internals/Model/ZEStartServiceLog.h"
#include "sdk/telemetry/Internals/Storage/ZELogDBStorage.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEFileIO.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace ze {
namespace {

using test::SdkTest;

// A log told apart by its first service name, padded to about `size` bytes.
std::shared_ptr<ZEAbstractLog> makeLog(const std::string& name, std::size_t size = 0)
{
    auto log = std::make_shared<ZEStartServiceLog>();
    log->services = std::vector<std::string>{name, std::string(size, 'x')};
    log->timestamp = ZEUtility::now();
    log->device = test::validDevice();
    return log;
}

std::string nameOf(const std::shared_ptr<ZEAbstractLog>& log)
{
    const auto* start = dynamic_cast<const ZEStartServiceLog*>(log.get());
    return start && start->services && !start->services->empty() ? start->services->front() : "";
}

std::vector<std::string> names(const ZELogArray& logs)
{
    std::vector<std::string> out;
    for (const auto& log : logs) {
        out.push_back(nameOf(log));
    }
    return out;
}

class ZELogDBStorageTest : public SdkTest {
protected:
    // Every stored log of the group, in load order, without reserving them for long.
    std::vector<std::string> load(ZELogDBStorage& storage, const std::string& group, std::uint64_t limit = 1000,
        bool* more = nullptr, std::optional<std::string>* batch = nullptr, std::vector<std::string> excluded = {})
    {
        std::vector<std::string> loaded;
        const bool waiting = storage.loadLogsWithGroupId(group, limit, excluded,
            [&](const ZELogArray& logs, const std::optional<std::string>& batchId) {
                loaded = names(logs);
                if (batch) {
                    *batch = batchId;
                }
            });
        if (more) {
            *more = waiting;
        }
        return loaded;
    }

    // What is stored, read through a second store so that nothing gets reserved.
    std::vector<std::string> peek(const std::string& group)
    {
        ZELogDBStorage reader;
        return load(reader, group);
    }

    // A batch of three stored logs, loaded as for sending.
    std::optional<std::string> sendableBatch(ZELogDBStorage& storage)
    {
        for (int i = 0; i < 3; ++i) {
            storage.saveLog(makeLog("n" + std::to_string(i)), "Analytics", ZEFlagsNormal);
        }
        std::optional<std::string> batch;
        EXPECT_EQ(load(storage, "Analytics", 50, nullptr, &batch).size(), 3u);
        return batch;
    }

    std::filesystem::path databaseFile() { return ZEUtility::zavEdurovDirectoryURL() / kZELogDatabaseFileName; }

    long long pragma(const std::string& name)
    {
        sqlite3* db = nullptr;
        sqlite3_open(databaseFile().c_str(), &db);
        sqlite3_stmt* statement = nullptr;
        long long value = -1;
        if (sqlite3_prepare_v2(db, ("PRAGMA " + name).c_str(), -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW) {
            value = sqlite3_column_int64(statement, 0);
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return value;
    }
};

TEST_F(ZELogDBStorageTest, CreatesTheStoreOnceAndStampsItsVersion)
{
    {
        ZELogDBStorage storage;
        EXPECT_EQ(storage.maxSizeInBytes(), 10'485'760);
        EXPECT_GT(storage.pageSize(), 0);
        EXPECT_TRUE(storage.saveLog(makeLog("kept"), "Analytics", ZEFlagsNormal));
    }
    EXPECT_EQ(countLogs(ZELogLevelInfo, "Created \"Logs.sqlite\" database with 5 version."), 1);
    EXPECT_EQ(pragma("user_version"), 5);
    EXPECT_EQ(pragma("auto_vacuum"), 1);
    EXPECT_EQ(ZEDBStorage::columnsQueryFromColumnsSchema(ZELogDBStorage::logsSchema()[0].columns),
        "\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, \"groupId\" TEXT NOT NULL, \"log\" TEXT NOT NULL, "
        "\"targetToken\" TEXT, \"targetKey\" TEXT, \"priority\" INTEGER");

    // A second start with the same version neither re-creates nor migrates, and keeps the log.
    ZELogDBStorage again;
    EXPECT_EQ(countLogs(ZELogLevelInfo, "Created \"Logs.sqlite\" database with 5 version."), 1);
    EXPECT_EQ(load(again, "Analytics"), std::vector<std::string>{"kept"});
}

TEST_F(ZELogDBStorageTest, AnOlderStoreLosesItsLogsAndANewerOneIsStampedDown)
{
    {
        ZELogDBStorage storage;
        storage.saveLog(makeLog("old"), "Analytics", ZEFlagsNormal);
    }
    sqlite3* db = nullptr;
    sqlite3_open(databaseFile().c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version = 6", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    {
        ZELogDBStorage newer;
        EXPECT_EQ(newer.countLogs(), 1u);
    }
    EXPECT_EQ(pragma("user_version"), 5);

    sqlite3_open(databaseFile().c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version = 4", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ZELogDBStorage migrated;
    EXPECT_EQ(countLogs(ZELogLevelInfo, "Migrating \"Logs.sqlite\" database from version 4 to 5."), 1);
    EXPECT_EQ(migrated.countLogs(), 0u);
    EXPECT_TRUE(migrated.saveLog(makeLog("new"), "Analytics", ZEFlagsNormal));
}

TEST_F(ZELogDBStorageTest, ADamagedFileIsKeptAsideAndANewStoreCreated)
{
    std::filesystem::create_directories(databaseFile().parent_path());
    std::ofstream(databaseFile()) << "this is not a database, but it is somebody's data";
    ZELogDBStorage storage;
    EXPECT_EQ(ZEReadFile(databaseFile().string() + ".damaged-1"), "this is not a database, but it is somebody's data");
    EXPECT_TRUE(storage.saveLog(makeLog("fresh"), "Analytics", ZEFlagsNormal));
    EXPECT_EQ(load(storage, "Analytics"), std::vector<std::string>{"fresh"});
}

// A folder where the store or its write-ahead files should be can never be opened: left there, it
// turned every later log away with an error of its own. It is set aside, and only it.
TEST_F(ZELogDBStorageTest, AFolderInTheStoresPlaceOrItsFilesIsSetAsideOnceAndLogsAreTakenAgain)
{
    // The error lines logged since the first `from` lines.
    const auto errorsSince = [this](std::size_t from) {
        std::vector<std::string> errors;
        const auto lines = logs();
        for (std::size_t i = from; i < lines.size(); ++i) {
            if (lines[i].level == ZELogLevelError) {
                errors.push_back(lines[i].message);
            }
        }
        return errors;
    };
    for (const std::string suffix : {"", "-wal", "-shm"}) {
        SCOPED_TRACE("a folder at Logs.sqlite" + suffix);
        std::filesystem::remove_all(databaseFile().parent_path());
        if (!suffix.empty()) {
            ZELogDBStorage earlier;
            ASSERT_TRUE(earlier.saveLog(makeLog("earlier"), "Analytics", ZEFlagsNormal));
        }
        std::filesystem::remove(databaseFile().string() + suffix);
        std::filesystem::create_directories(databaseFile().string() + suffix + "/inside");
        const std::size_t beforeOpening = logs().size();

        ZELogDBStorage storage;
        const std::size_t beforeStoring = logs().size();
        for (const char* name : {"one", "two", "three"}) {
            EXPECT_TRUE(storage.saveLog(makeLog(name), "Analytics", ZEFlagsNormal));
        }
        // With only its log or shared memory in the way, the store itself and its logs stay.
        const std::vector<std::string> kept = suffix.empty() ? std::vector<std::string>{"one", "two", "three"}
                                                             : std::vector<std::string>{"earlier", "one", "two", "three"};
        EXPECT_EQ(load(storage, "Analytics"), kept);
        EXPECT_EQ(errorsSince(beforeStoring), std::vector<std::string>{});
        const auto opening = errorsSince(beforeOpening);
        const std::string setAside = suffix.empty()
            ? "The database " + databaseFile().string() + " is damaged or not a file; it was kept as "
                + databaseFile().string() + ".damaged-1 and a new one is created."
            : databaseFile().string() + suffix + " is not a file; it was kept as " + databaseFile().string() + ".damaged-1"
                + suffix + ".";
        EXPECT_EQ(std::count(opening.begin(), opening.end(), setAside), 1) << (opening.empty() ? "" : opening.front());
        // What stood there is kept, whole, beside the new store.
        EXPECT_TRUE(std::filesystem::is_directory(databaseFile().string() + ".damaged-1" + suffix + "/inside"));
        EXPECT_TRUE(std::filesystem::is_regular_file(databaseFile()));
    }
}

TEST_F(ZELogDBStorageTest, LoadsBatchesByPriorityAndAgeAndNeverTwiceWhilePending)
{
    ZELogDBStorage storage;
    for (int i = 0; i < 51; ++i) {
        storage.saveLog(makeLog("n" + std::to_string(i)), "Analytics", ZEFlagsNormal);
    }
    storage.saveLog(makeLog("critical"), "Analytics", ZEFlagsCritical);
    storage.saveLog(makeLog("other group"), "Analytics_critical", ZEFlagsNormal);

    bool more = false;
    std::optional<std::string> batch;
    const auto first = load(storage, "Analytics", 50, &more, &batch);
    ASSERT_EQ(first.size(), 50u);
    EXPECT_EQ(first.front(), "critical");
    EXPECT_EQ(first[1], "n0");
    EXPECT_TRUE(more);
    ASSERT_TRUE(batch);

    // The pending batch is left out; exactly two remain, so nothing more is waiting.
    const auto second = load(storage, "Analytics", 2, &more);
    EXPECT_EQ(second, (std::vector<std::string>{"n49", "n50"}));
    EXPECT_FALSE(more);

    storage.deleteLogsWithBatchId(*batch, "Analytics");
    EXPECT_EQ(storage.countLogs(), 3u);

    // An empty load answers an empty batch without an id.
    std::optional<std::string> none = std::string("unset");
    EXPECT_TRUE(load(storage, "Crashes", 50, &more, &none).empty());
    EXPECT_FALSE(none);
    EXPECT_FALSE(more);

    // Batches live in memory only: a new store loads the reserved rows again.
    ZELogDBStorage restarted;
    EXPECT_EQ(load(restarted, "Analytics").size(), 2u);
}

TEST_F(ZELogDBStorageTest, DeletingAGroupLeavesTheBatchesOfGroupsThatShareItsPrefix)
{
    ZELogDBStorage storage;
    storage.saveLog(makeLog("a"), "Analytics", ZEFlagsNormal);
    storage.saveLog(makeLog("c"), "Analytics_critical", ZEFlagsNormal);
    std::optional<std::string> criticalBatch;
    load(storage, "Analytics_critical", 50, nullptr, &criticalBatch);
    ASSERT_TRUE(criticalBatch);

    EXPECT_EQ(names(storage.deleteLogsWithGroupId("Analytics")), std::vector<std::string>{"a"});
    // Analytics_critical's batch is still reserved, and its successful send still deletes it.
    EXPECT_TRUE(load(storage, "Analytics_critical").empty());
    storage.deleteLogsWithBatchId(*criticalBatch, "Analytics_critical");
    EXPECT_EQ(storage.countLogs(), 0u);
}

TEST_F(ZELogDBStorageTest, ExcludedTargetKeysLeaveOutTheirLogsAndThoseWithoutAKey)
{
    ZELogDBStorage storage;
    auto withKey = [](const std::string& name, const std::string& token) {
        auto log = std::make_shared<ZECommonSchemaLog>();
        log->name = name;
        log->ver = "3.0";
        log->timestamp = ZEUtility::now();
        log->device = test::validDevice();
        log->addTransmissionTargetToken(token);
        return log;
    };
    storage.saveLog(withKey("paused", "keyA-secretA"), "Analytics/one", ZEFlagsNormal);
    storage.saveLog(withKey("running", "keyB-secretB"), "Analytics/one", ZEFlagsNormal);
    storage.saveLog(makeLog("no key"), "Analytics/one", ZEFlagsNormal);

    ZELogArray loaded;
    storage.loadLogsWithGroupId("Analytics/one", 50, {"keyA"}, [&](const ZELogArray& logs, const auto&) { loaded = logs; });
    ASSERT_EQ(loaded.size(), 1u);
    const auto* log = dynamic_cast<const ZECommonSchemaLog*>(loaded[0].get());
    ASSERT_TRUE(log);
    EXPECT_EQ(log->name, "running");
    // The token comes back decrypted; the file holds only its encrypted form.
    EXPECT_EQ(log->transmissionTargetTokens(), (std::set<std::string>{"keyB-secretB"}));
    EXPECT_EQ(ZEReadFile(databaseFile())->find("secretB"), std::string::npos);
}

TEST_F(ZELogDBStorageTest, BatchesMatchTheWholeRowQueryWithMixedPrioritiesPendingBatchesAndTargetKeys)
{
    ZELogDBStorage storage;
    // Row ids follow the order of saving in a new file, so a row's id names its log.
    std::vector<std::string> byId{""};
    const auto save = [&](std::shared_ptr<ZEAbstractLog> log, const std::string& name, const std::string& group,
                          std::uint64_t flags) {
        ASSERT_TRUE(storage.saveLog(log, group, flags));
        byId.push_back(name);
    };
    const std::vector<std::uint64_t> priorities{ZEFlagsNormal, ZEFlagsCritical, 3, ZEFlagsNormal, 0, ZEFlagsCritical};
    for (int i = 0; i < 36; ++i) {
        const std::string name = "log" + std::to_string(i);
        const std::uint64_t flags = priorities[i % priorities.size()];
        if (i % 3 == 0) {
            save(makeLog(name), name, "G", flags);
        } else {
            auto log = std::make_shared<ZECommonSchemaLog>();
            log->name = name;
            log->ver = "3.0";
            log->timestamp = ZEUtility::now();
            log->device = test::validDevice();
            log->addTransmissionTargetToken(i % 3 == 1 ? "keyA-secret" : "keyB-secret");
            save(log, name, "G", flags);
        }
        save(makeLog("other" + std::to_string(i)), "other", "H", flags);
    }
    const auto label = [](const std::shared_ptr<ZEAbstractLog>& log) {
        const auto* common = dynamic_cast<const ZECommonSchemaLog*>(log.get());
        return common ? common->name.value_or("") : nameOf(log);
    };

    // The query every batch was once read with, whole rows sorted, run on its own connection.
    std::vector<std::int64_t> pending;
    const auto expected = [&](std::uint64_t limit, const std::vector<std::string>& keys, bool& more) {
        std::string sql = "SELECT * FROM \"logs\" WHERE \"groupId\" = ?";
        if (!keys.empty()) {
            sql += " AND \"targetKey\" NOT IN " + ZELogDBStorage::buildKeyFormatWithCount(keys.size());
        }
        if (!pending.empty()) {
            sql += " AND \"id\" NOT IN " + ZELogDBStorage::buildKeyFormatWithCount(pending.size());
        }
        sql += " ORDER BY \"priority\" DESC, \"id\" ASC LIMIT " + std::to_string(limit + 1);
        sqlite3* db = nullptr;
        sqlite3_open(databaseFile().c_str(), &db);
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK) << sql;
        int index = 1;
        sqlite3_bind_text(statement, index++, "G", -1, SQLITE_TRANSIENT);
        for (const auto& key : keys) {
            sqlite3_bind_text(statement, index++, key.c_str(), -1, SQLITE_TRANSIENT);
        }
        for (const auto id : pending) {
            sqlite3_bind_int64(statement, index++, id);
        }
        std::vector<std::int64_t> ids;
        while (sqlite3_step(statement) == SQLITE_ROW) {
            ids.push_back(sqlite3_column_int64(statement, 0));
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        more = ids.size() > limit;
        ids.resize(std::min<std::size_t>(ids.size(), limit));
        std::vector<std::string> names;
        for (const auto id : ids) {
            names.push_back(byId.at(static_cast<std::size_t>(id)));
        }
        pending.insert(pending.end(), ids.begin(), ids.end());
        return names;
    };

    // More different exclusion lists than the store keeps prepared, each load leaving its batch pending.
    const std::vector<std::vector<std::string>> exclusions{{}, {"keyA"}, {"keyB"}, {"keyA", "keyB"}, {"keyC"}};
    for (std::size_t round = 0; round < 20; ++round) {
        auto keys = exclusions[round % exclusions.size()];
        for (std::size_t extra = 0; extra < round / exclusions.size(); ++extra) {
            keys.push_back("unused" + std::to_string(extra));
        }
        const std::uint64_t limit = 1 + round % 4;
        bool wantMore = false;
        const auto want = expected(limit, keys, wantMore);
        ZELogArray loaded;
        const bool more = storage.loadLogsWithGroupId("G", limit, keys, [&](const ZELogArray& logs, const auto&) { loaded = logs; });
        std::vector<std::string> got;
        for (const auto& log : loaded) {
            got.push_back(label(log));
        }
        EXPECT_EQ(got, want) << "round " << round;
        EXPECT_EQ(more, wantMore) << "round " << round;
    }
    // The other group was never touched.
    EXPECT_EQ(peek("H").size(), 36u);
}

TEST_F(ZELogDBStorageTest, ALoadWithoutALimitReadsEveryLog)
{
    ZELogDBStorage storage;
    storage.saveLog(makeLog("first"), "Analytics", ZEFlagsNormal);
    storage.saveLog(makeLog("second"), "Analytics", ZEFlagsCritical);
    bool more = true;
    EXPECT_EQ(load(storage, "Analytics", UINT64_MAX, &more), (std::vector<std::string>{"second", "first"}));
    EXPECT_FALSE(more);
}

TEST_F(ZELogDBStorageTest, AnUnreadableRowIsDeletedWhenLoaded)
{
    ZELogDBStorage storage;
    storage.saveLog(makeLog("good"), "Analytics", ZEFlagsNormal);
    storage.saveLog(makeLog("damaged"), "Analytics", ZEFlagsNormal);
    storage.executeNonSelectionQuery("UPDATE \"logs\" SET \"log\" = 'bm90IGFuIGFyY2hpdmU=' WHERE \"id\" = 2");
    EXPECT_EQ(load(storage, "Analytics"), std::vector<std::string>{"good"});
    EXPECT_EQ(countLogs(ZELogLevelError, "Deserialization failed for log with Id 2"), 1);
    EXPECT_EQ(storage.countLogs(), 1u);
}

// A load may hand out the log decoded when it was stored; it must still be the stored log alone.
TEST_F(ZELogDBStorageTest, ALoadedLogIsTheStoredOneAndNoOneElses)
{
    ZELogDBStorage storage;
    auto log = makeLog("stored");
    const auto archived = storage.archiveLog(log);
    ASSERT_TRUE(storage.saveArchivedLog(archived, "Analytics", ZEFlagsNormal));
    // Changed by its caller after it was stored: what goes out is what was stored.
    std::static_pointer_cast<ZEStartServiceLog>(log)->services = std::vector<std::string>{"changed later"};

    ZELogArray loaded;
    storage.loadLogsWithGroupId("Analytics", 50, {}, [&](const ZELogArray& logs, const auto&) { loaded = logs; });
    ASSERT_EQ(names(loaded), std::vector<std::string>{"stored"});
    EXPECT_NE(loaded[0], log);
    // Whoever loaded it may change it; a later reading of the row does not see that.
    std::static_pointer_cast<ZEStartServiceLog>(loaded[0])->services = std::vector<std::string>{"changed by the sender"};
    const ZELogArray deleted = storage.deleteLogsWithGroupId("Analytics");
    EXPECT_EQ(names(deleted), std::vector<std::string>{"stored"});
}

TEST_F(ZELogDBStorageTest, AFullStoreEvictsEqualOrLowerPrioritiesOldestFirstAndCountsWhatItDrops)
{
    ZELogDBStorage storage;
    bool changed = false;
    storage.setMaxStorageSize(40 * 1024, [&](bool success) { changed = success; });
    ASSERT_TRUE(changed);

    // Priority 2 first, then priority 1 until the store is full.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(storage.saveLog(makeLog("critical" + std::to_string(i), 2000), "g", ZEFlagsCritical));
    }
    int normal = 0;
    while (storage.droppedLogsCount() == 0 && normal < 200) {
        ASSERT_TRUE(storage.saveLog(makeLog("normal" + std::to_string(normal), 2000), "g", ZEFlagsNormal));
        ++normal;
    }
    ASSERT_LT(normal, 200);
    // The new normal log pushed out the oldest normal one; the critical ones stayed.
    auto stored = peek("g");
    EXPECT_EQ(std::count(stored.begin(), stored.end(), "normal0"), 0);
    EXPECT_EQ(stored.front(), "critical0");

    // A critical log evicts every normal log before any critical one.
    std::uint64_t criticalSaved = 3;
    while (std::count_if(stored.begin(), stored.end(), [](const auto& n) { return n.rfind("normal", 0) == 0; }) > 0) {
        ASSERT_TRUE(storage.saveLog(makeLog("critical" + std::to_string(criticalSaved++), 2000), "g", ZEFlagsCritical));
        stored = peek("g");
    }
    EXPECT_EQ(stored.front(), "critical0");

    // With only critical logs left, a normal one finds nothing to evict and is refused.
    const auto droppedBefore = storage.droppedLogsCount();
    EXPECT_FALSE(storage.saveLog(makeLog("refused", 2000), "g", ZEFlagsNormal));
    EXPECT_EQ(storage.droppedLogsCount(), droppedBefore + 1);
    EXPECT_EQ(countLogs(ZELogLevelError, "Storage is full and no logs with equal or lower priority exist; discarding the log."), 1);
    EXPECT_EQ(peek("g").front(), "critical0");

    // The file never grew past its cap.
    EXPECT_LE(std::filesystem::file_size(databaseFile()), 40u * 1024);
}

// Another connection holding the file's write lock, as the checkpointer does for a moment and
// another store on the same file does for a transaction.
class WriteLockHolder {
public:
    explicit WriteLockHolder(const std::filesystem::path& file)
    {
        sqlite3_open(file.c_str(), &db_);
        EXPECT_EQ(sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~WriteLockHolder()
    {
        if (releasing_.joinable()) {
            releasing_.join();
        } else {
            release();
        }
        sqlite3_close(db_);
    }
    void releaseAfter(std::chrono::milliseconds delay)
    {
        releasing_ = std::thread([this, delay] {
            std::this_thread::sleep_for(delay);
            release();
        });
    }
    void release() { sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr); }

private:
    sqlite3* db_ = nullptr;
    std::thread releasing_;
};

TEST_F(ZELogDBStorageTest, ASentBatchIsDeletedOnceAnotherConnectionLetsGoOfTheWriteLock)
{
    ZELogDBStorage storage;
    const auto batch = sendableBatch(storage);
    ASSERT_TRUE(batch);
    {
        WriteLockHolder other(databaseFile());
        other.releaseAfter(std::chrono::milliseconds(20));
        storage.deleteLogsWithBatchId(*batch, "Analytics");
    }
    EXPECT_EQ(storage.countLogs(), 0u);
    EXPECT_TRUE(storage.saveLog(makeLog("after"), "Analytics", ZEFlagsNormal));
}

TEST_F(ZELogDBStorageTest, ASentBatchWhoseDeletionFailsIsNotLoadedAgain)
{
    ZELogDBStorage storage;
    const auto batch = sendableBatch(storage);
    ASSERT_TRUE(batch);
    {
        WriteLockHolder other(databaseFile());
        storage.deleteLogsWithBatchId(*batch, "Analytics");
        EXPECT_EQ(storage.countLogs(), 3u);
    }
    EXPECT_TRUE(load(storage, "Analytics").empty()) << "a sent batch would go out twice";
    storage.saveLog(makeLog("later"), "Analytics", ZEFlagsNormal);
    EXPECT_EQ(load(storage, "Analytics"), (std::vector<std::string>{"later"}));
}

// An operation whose COMMIT failed leaves its transaction open on the store's connection: every
// later insert would then go into that transaction, answer stored, and vanish with its rollback.
// The open transaction is rolled back at once and the operation counts as failed; what comes
// after is committed, as another connection sees.
TEST_F(ZELogDBStorageTest, ATransactionLeftOpenIsRolledBackAndWhatFollowsIsCommitted)
{
    ZELogDBStorage storage;
    ASSERT_TRUE(storage.saveLog(makeLog("before"), "Analytics", ZEFlagsNormal));
    EXPECT_NE(storage.executeQueryUsingBlock([](sqlite3* db) {
        return sqlite3_exec(db, "BEGIN; INSERT INTO logs (groupId, log, priority) VALUES ('Analytics', 'bm90IGEgbG9n', 1);",
            nullptr, nullptr, nullptr);
    }),
        SQLITE_OK);
    ASSERT_TRUE(storage.saveLog(makeLog("after"), "Analytics", ZEFlagsNormal));
    EXPECT_EQ(peek("Analytics"), (std::vector<std::string>{"before", "after"}));
}

TEST_F(ZELogDBStorageTest, AFullStoreWhoseLogsCannotBeDeletedSaysSo)
{
    ZELogDBStorage storage;
    storage.setMaxStorageSize(40 * 1024, nullptr);
    for (int i = 0; i < 200 && storage.droppedLogsCount() == 0; ++i) {
        ASSERT_TRUE(storage.saveLog(makeLog("normal" + std::to_string(i), 2000), "g", ZEFlagsNormal));
    }
    ASSERT_GT(storage.droppedLogsCount(), 0u);
    // As on a full disk: deleting needs room too, and there is none.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(databaseFile().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other,
                  "CREATE TABLE ballast (b); CREATE TRIGGER needsRoom BEFORE DELETE ON logs "
                  "BEGIN INSERT INTO ballast VALUES (randomblob(200000)); END;",
                  nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(other);

    const auto stored = peek("g");
    EXPECT_FALSE(storage.saveLog(makeLog("refused", 2000), "g", ZEFlagsNormal));
    EXPECT_EQ(peek("g"), stored);
    EXPECT_EQ(countLogs(ZELogLevelError, "Storage is full and no logs with equal or lower priority exist; discarding the log."), 0);
    EXPECT_EQ(countLogs(ZELogLevelError,
                  "Storage is full and a log with equal or lower priority could not be deleted to make room (result 13); "
                  "discarding the log."),
        1);
}

TEST_F(ZELogDBStorageTest, ALogAsLargeAsTheWholeStoreIsRefusedWithoutEvictingAnything)
{
    ZELogDBStorage storage;
    storage.setMaxStorageSize(24 * 1024, nullptr);
    ASSERT_TRUE(storage.saveLog(makeLog("small"), "g", ZEFlagsNormal));
    EXPECT_FALSE(storage.saveLog(makeLog("huge", 24 * 1024), "g", ZEFlagsCritical));
    EXPECT_EQ(load(storage, "g"), std::vector<std::string>{"small"});
    EXPECT_EQ(storage.droppedLogsCount(), 1u);
}

// Logs stored together (enqueued on several threads at once) fare exactly as each would alone:
// one that cannot be stored is refused by itself, and a full store makes room for each.
TEST_F(ZELogDBStorageTest, LogsStoredTogetherFareAsEachWouldAlone)
{
    constexpr std::size_t kUnarchivable = SIZE_MAX;
    struct Log {
        std::string name;
        std::uint64_t flags = ZEFlagsNormal;
        std::size_t size = 0;
    };
    struct Case {
        const char* what;
        bool fullFirst;
        std::vector<Log> logs;
        std::vector<bool> stored;
        std::vector<std::string> loaded; // in load order; for a full store, the last ones loaded
    };
    const std::vector<Case> cases = {
        {"all fit", false, {{"a"}, {"b", ZEFlagsCritical}, {"c"}}, {true, true, true}, {"b", "a", "c"}},
        {"one cannot be archived", false, {{"a"}, {"none", ZEFlagsNormal, kUnarchivable}, {"c"}}, {true, false, true}, {"a", "c"}},
        {"one is larger than the store", false, {{"a"}, {"huge", ZEFlagsCritical, 24 * 1024}, {"c"}}, {true, false, true},
            {"a", "c"}},
        {"the store is full", true, {{"a", ZEFlagsNormal, 2000}, {"b", ZEFlagsNormal, 2000}, {"c", ZEFlagsNormal, 2000}},
            {true, true, true}, {"a", "b", "c"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        {
            ZELogDBStorage storage;
            storage.setMaxStorageSize(24 * 1024, nullptr);
            int filler = 0;
            while (c.fullFirst && storage.droppedLogsCount() == 0 && filler < 200) {
                ASSERT_TRUE(storage.saveLog(makeLog("filler" + std::to_string(filler++), 2000), "g", ZEFlagsNormal));
            }
            const auto droppedBefore = storage.droppedLogsCount();
            std::vector<std::optional<ZEArchivedLog>> archived;
            for (const auto& log : c.logs) {
                archived.push_back(log.size == kUnarchivable ? std::nullopt : storage.archiveLog(makeLog(log.name, log.size)));
            }
            std::vector<ZEArchivedLogWithFlags> together;
            for (std::size_t i = 0; i < c.logs.size(); ++i) {
                together.push_back({archived[i], c.logs[i].flags});
            }
            EXPECT_EQ(storage.saveArchivedLogs(together, "g"), c.stored);
            const auto loaded = load(storage, "g");
            ASSERT_GE(loaded.size(), c.loaded.size());
            EXPECT_EQ(std::vector<std::string>(loaded.end() - static_cast<std::ptrdiff_t>(c.loaded.size()), loaded.end()), c.loaded);
            if (c.fullFirst) {
                // The oldest fillers made room, and the file kept to its cap.
                EXPECT_EQ(std::count(loaded.begin(), loaded.end(), "filler0"), 0);
                EXPECT_EQ(loaded.size() + storage.droppedLogsCount(), static_cast<std::size_t>(filler) + c.logs.size());
                EXPECT_LE(std::filesystem::file_size(databaseFile()), 24u * 1024);
            } else {
                EXPECT_EQ(loaded.size(), c.loaded.size());
                EXPECT_EQ(storage.droppedLogsCount() - droppedBefore,
                    static_cast<std::uint64_t>(std::count(c.stored.begin(), c.stored.end(), false)));
            }
        }
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(databaseFile().string() + suffix);
        }
    }
}

// The store's own commits never copy the write-ahead log back into the file; a thread of its own
// does, once the log holds 4 MiB.
TEST_F(ZELogDBStorageTest, TheLogIsCopiedBackIntoTheFileOnceItHoldsFourMebibytes)
{
    const auto rowsInFileAlone = [this] { return test::rowsInFileAlone(databaseFile(), "logs"); };
    sqlite3* reader = nullptr;
    {
        ZELogDBStorage storage;
        storage.setMaxStorageSize(64 * 1024 * 1024, nullptr);
        ASSERT_TRUE(storage.saveLog(makeLog("first"), "g", ZEFlagsNormal));
        // Another connection keeps the log from being copied back when the store closes.
        ASSERT_EQ(sqlite3_open(databaseFile().c_str(), &reader), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(reader, "SELECT COUNT(*) FROM logs", nullptr, nullptr, nullptr), SQLITE_OK);
        ASSERT_EQ(rowsInFileAlone(), 0);
        constexpr std::size_t kLogs = 1000; // some 4 KiB of log pages each
        for (std::size_t i = 0; i < kLogs; ++i) {
            ASSERT_TRUE(storage.saveLog(makeLog("filler", 3000), "g", ZEFlagsNormal));
        }
    }
    // Closing the store let the checkpoint it had asked for end.
    EXPECT_GT(rowsInFileAlone(), 0);
    sqlite3_close(reader);
}

// A store made afresh has small pages; a file made earlier keeps its 4 KiB pages. Either way the
// cap is rounded up to whole pages of the file and never set below what the file holds.
TEST_F(ZELogDBStorageTest, TheCapIsRoundedUpToWholePagesOfTheFileAndNeverBelowTheContent)
{
    struct Case {
        std::int64_t earlierPageSize; // 0: no file before the store
        std::int64_t pageSize;
        std::int64_t roundedCap; // for a request of 100,000 bytes
    };
    int round = 0;
    for (const auto& c : {Case{0, 1024, 100'352}, Case{4096, 4096, 102'400}}) {
        SCOPED_TRACE(c.pageSize);
        ++round;
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(databaseFile().string() + suffix);
        }
        if (c.earlierPageSize != 0) {
            std::filesystem::create_directories(databaseFile().parent_path());
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(databaseFile().c_str(), &db), SQLITE_OK);
            sqlite3_exec(db, ("PRAGMA page_size = " + std::to_string(c.earlierPageSize) + "; CREATE TABLE earlier (x);").c_str(),
                nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        ZELogDBStorage storage;
        ASSERT_EQ(storage.pageSize(), c.pageSize);
        EXPECT_EQ(pragma("page_size"), c.pageSize);
        // The write-ahead log is checkpointed at the same size in bytes whatever the pages.
        EXPECT_EQ(storage.walCheckpointPages() * c.pageSize, 4 * 1024 * 1024);

        bool result = false;
        storage.setMaxStorageSize(100'000, [&](bool success) { result = success; });
        EXPECT_TRUE(result);
        EXPECT_EQ(storage.maxSizeInBytes(), c.roundedCap);
        EXPECT_EQ(countLogs(ZELogLevelInfo,
                      "Changed maximum database size to " + std::to_string(c.roundedCap) + " bytes (next multiple of 4KiB)."),
            1);
        result = false;
        storage.setMaxStorageSize(40'960, [&](bool success) { result = success; });
        EXPECT_TRUE(result);
        EXPECT_EQ(storage.maxSizeInBytes(), 40'960);
        EXPECT_EQ(countLogs(ZELogLevelInfo, "Changed maximum database size to 40960 bytes."), round);

        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(storage.saveLog(makeLog("filler", 3000), "g", ZEFlagsNormal));
        }
        result = true;
        storage.setMaxStorageSize(4096, [&](bool success) { result = success; });
        EXPECT_FALSE(result);
        EXPECT_EQ(storage.maxSizeInBytes(), 40'960);
    }
}

TEST_F(ZELogDBStorageTest, TheCapHoldsAfterAnotherConnectionGrewTheFilePastIt)
{
    ZELogDBStorage storage;
    storage.setMaxStorageSize(40 * 1024, nullptr);
    const std::int64_t capPages = 40 * 1024 / storage.pageSize();
    ASSERT_EQ(storage.appliedMaxPageCount(), capPages);
    ASSERT_TRUE(storage.saveLog(makeLog("before"), "g", ZEFlagsNormal));

    // Another connection grows the file well past the cap; reading it raises our connection's
    // page limit to the file's size. Then that connection deletes its rows again.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(databaseFile().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "INSERT INTO logs (groupId, log, priority) VALUES ('other', hex(randomblob(60000)), 1)",
                  nullptr, nullptr, nullptr),
        SQLITE_OK);
    EXPECT_EQ(storage.countLogs(), 2u);
    ASSERT_EQ(sqlite3_exec(other, "DELETE FROM logs WHERE groupId = 'other'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);

    // Filling the store again evicts at the cap rather than at the size the file once had.
    for (int i = 0; i < 60 && storage.droppedLogsCount() == 0; ++i) {
        ASSERT_TRUE(storage.saveLog(makeLog("n" + std::to_string(i), 2000), "g", ZEFlagsNormal));
    }
    EXPECT_GT(storage.droppedLogsCount(), 0u);
    EXPECT_EQ(storage.appliedMaxPageCount(), capPages);
    const auto pages = storage.executeSelectionQuery("PRAGMA page_count", nullptr);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_LE(std::get<std::int64_t>(pages[0][0]), capPages);
}

TEST_F(ZELogDBStorageTest, IntegersReadBackAsTheirLow32Bits)
{
    ZELogDBStorage storage;
    const auto rows = storage.executeSelectionQuery("SELECT 4294967297, NULL, 'text'", nullptr);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(std::get<std::int64_t>(rows[0][0]), 1);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(rows[0][1]));
    EXPECT_EQ(std::get<std::string>(rows[0][2]), "text");
    EXPECT_TRUE(storage.executeSelectionQuery("SELECT FROM nowhere", nullptr).empty());
    EXPECT_EQ(ZELogDBStorage::buildKeyFormatWithCount(3), "(?,?,?)");
}

} // namespace
} // namespace ze
