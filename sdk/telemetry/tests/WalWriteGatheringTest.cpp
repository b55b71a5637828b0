#include "sdk/telemetry/Internals/Storage/ZEWalWriteGathering.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

namespace ze {
namespace {

class ZEWalWriteGatheringTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() / ("wal-gathering-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        file = (folder / "store.sqlite").string();
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // A connection through the gathering layer (or SQLite's own), in write-ahead log mode.
    static sqlite3* open(const std::string& path, bool gathering)
    {
        sqlite3* db = nullptr;
        const int result = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
            gathering ? ZEWalWriteGatheringName() : nullptr);
        EXPECT_EQ(result, SQLITE_OK);
        exec(db, "PRAGMA page_size = 1024; PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
                 "CREATE TABLE IF NOT EXISTS t (x TEXT)");
        return db;
    }

    static void exec(sqlite3* db, const std::string& sql)
    {
        char* message = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << sql << ": " << (message ? message : "");
        sqlite3_free(message);
    }

    static std::string text(sqlite3* db, const std::string& sql)
    {
        sqlite3_stmt* statement = nullptr;
        std::string value = "(no row)";
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
            value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        } else {
            value = sqlite3_errmsg(db);
        }
        sqlite3_finalize(statement);
        return value;
    }

    static std::string insertRows(int count, int size)
    {
        return "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(count)
            + ") INSERT INTO t SELECT hex(randomblob(" + std::to_string(size / 2) + ")) FROM n";
    }

    std::filesystem::path folder;
    std::string file;
};

TEST_F(ZEWalWriteGatheringTest, IsRegistered)
{
    ASSERT_NE(ZEWalWriteGatheringName(), nullptr);
    EXPECT_NE(sqlite3_vfs_find(ZEWalWriteGatheringName()), nullptr);
}

// Another connection, through SQLite's own layer, reads every commit as soon as it returns: a
// commit's frames are in the file before SQLite lets anyone see it.
TEST_F(ZEWalWriteGatheringTest, EveryCommitIsInTheFileBeforeAnotherConnectionSeesIt)
{
    sqlite3* writer = open(file, true);
    sqlite3* reader = open(file, false);
    struct Step {
        const char* what;
        std::string sql;
        long long rows; // in the table afterwards
    };
    const Step steps[] = {
        {"one small row", insertRows(1, 100), 1},
        {"rows over several pages", insertRows(20, 3000), 21},
        {"a commit larger than what is gathered at once", insertRows(1500, 1000), 1521},
        {"a rolled-back transaction", "BEGIN; " + insertRows(50, 2000) + "; ROLLBACK", 1521},
        {"a commit after the rollback", insertRows(3, 500), 1524},
        {"deleting most rows", "DELETE FROM t WHERE rowid > 10", 10},
        {"the log restarted by the other connection", "SELECT 1", 10},
        {"a commit at the log's start", insertRows(5, 3000), 15},
        {"a commit spilling pages before it ends", "PRAGMA cache_size = 2; " + insertRows(300, 2000), 315},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        if (std::string(step.what) == "the log restarted by the other connection") {
            exec(reader, "PRAGMA wal_checkpoint(TRUNCATE)");
        }
        exec(writer, step.sql);
        EXPECT_EQ(text(reader, "SELECT count(*) FROM t"), std::to_string(step.rows));
        EXPECT_EQ(text(reader, "PRAGMA quick_check"), "ok");
    }
    sqlite3_close(writer);
    EXPECT_EQ(text(reader, "PRAGMA integrity_check"), "ok");
    sqlite3_close(reader);
}

// A log another connection began (its header not written through this layer) is appended to.
TEST_F(ZEWalWriteGatheringTest, ALogBegunByAnotherConnectionIsContinued)
{
    sqlite3* other = open(file, false);
    exec(other, "PRAGMA wal_autocheckpoint = 0; " + insertRows(10, 1500));
    sqlite3* writer = open(file, true);
    exec(writer, insertRows(10, 1500));
    EXPECT_EQ(text(other, "SELECT count(*) FROM t"), "20");
    EXPECT_EQ(text(other, "PRAGMA integrity_check"), "ok");
    sqlite3_close(writer);
    sqlite3_close(other);
}

// A process killed right after a commit returned loses nothing of it.
TEST_F(ZEWalWriteGatheringTest, ACommitSurvivesTheProcessBeingKilledRightAfter)
{
    int acknowledged[2];
    ASSERT_EQ(::pipe(acknowledged), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(acknowledged[0]);
        sqlite3* db = open(file, true);
        for (int i = 0; i < 40; ++i) {
            if (sqlite3_exec(db, insertRows(1, 2500).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
                ::_exit(1);
            }
            const char ack = 1;
            if (::write(acknowledged[1], &ack, 1) != 1) {
                ::_exit(1);
            }
        }
        ::raise(SIGKILL);
        ::_exit(1);
    }
    ::close(acknowledged[1]);
    int acks = 0;
    char ack = 0;
    while (::read(acknowledged[0], &ack, 1) == 1) {
        ++acks;
    }
    ::close(acknowledged[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(acks, 40);

    sqlite3* db = open(file, false);
    EXPECT_EQ(text(db, "SELECT count(*) FROM t"), std::to_string(acks));
    EXPECT_EQ(text(db, "PRAGMA integrity_check"), "ok");
    sqlite3_close(db);
}

} // namespace
} // namespace ze
