#include "ZESqliteTestSupport.h"
#include "ZETestSupport.h"

#include "sdk/telemetry/Internals/Storage/ZEWalCheckpointer.h"

#include <sqlite3.h>

namespace ze {
namespace {

using test::SdkTest;

class ZEWalCheckpointerTest : public SdkTest {
protected:
    std::filesystem::path file() const { return home / "store.sqlite"; }

    sqlite3* open(const std::filesystem::path& path) const
    {
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        return db;
    }

    int rowsInFileAlone() const { return test::rowsInFileAlone(file(), "t"); }
};

TEST_F(ZEWalCheckpointerTest, ARequestedCheckpointCopiesTheLogIntoTheFileWhileTheWriterKeepsItsConnection)
{
    std::filesystem::create_directories(home);
    sqlite3* writer = open(file());
    ASSERT_EQ(sqlite3_exec(writer, "CREATE TABLE t (x); PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_wal_autocheckpoint(writer, 0);
    ASSERT_EQ(rowsInFileAlone(), 0);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(sqlite3_exec(writer, "INSERT INTO t VALUES (randomblob(3000));", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ASSERT_EQ(rowsInFileAlone(), 0) << "the log was copied back before anyone asked";

    int opened = 0;
    ZEWalCheckpointer checkpointer([&] {
        ++opened;
        return open(file());
    });
    checkpointer.request();
    checkpointer.stop();
    EXPECT_EQ(rowsInFileAlone(), 3);

    // A later request starts it again; the writer's connection stayed open throughout.
    ASSERT_EQ(sqlite3_exec(writer, "INSERT INTO t VALUES (1);", nullptr, nullptr, nullptr), SQLITE_OK);
    checkpointer.request();
    checkpointer.stop();
    EXPECT_EQ(rowsInFileAlone(), 4);
    EXPECT_EQ(opened, 2);
    sqlite3_close(writer);
}

} // namespace
} // namespace ze
