#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/Md5.h"
#include "platform/foundation/Random.h"
#include "platform/foundation/Timestamp.h"
#include "platform/foundation/Uuid.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

namespace qv {
namespace {

TEST(UtilitiesTest, CreateUuidGivesFreshUpperCaseHexWithoutHyphens)
{
    QRegularExpression form("^[0-9A-F]{12}4[0-9A-F]{3}[89AB][0-9A-F]{15}$");
    std::set<QString> seen;
    for (int i = 0; i < 1000; ++i) {
        QString uuid = createUUID();
        ASSERT_TRUE(form.match(uuid).hasMatch()) << uuid.toStdString();
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(UtilitiesTest, Md5IsLowerCaseHexOfTheWholeBlock)
{
    const struct {
        QByteArray bytes;
        const char* digest;
    } cases[] = {
        {QByteArray(), "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {QByteArray("\0", 1), "93b885adfe0da089cdf634904fd59f71"},
        {"The quick brown fox jumps over the lazy dog", "9e107d9d372bb6826bd81d3542a419d6"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(md5Hex(c.bytes), c.digest);
}

TEST(UtilitiesTest, Md5OfAFileIsThatOfItsWholeContentsReadInPieces)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // Past one piece, so that the pieces must join up.
    QByteArray bytes(3 * (1 << 20) + 7, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 31 % 251);
    const QString path = folder.filePath("data");
    std::ofstream(path.toStdString(), std::ios::binary).write(bytes.constData(), bytes.size());
    EXPECT_EQ(md5HexOfFile(path), md5Hex(bytes));
    EXPECT_EQ(md5HexOfFile(folder.filePath("missing")), QString());
}

TEST(UtilitiesTest, RandomBelowIsInRangeAndUniform)
{
    EXPECT_EQ(randomBelow(0), 0u);
    EXPECT_EQ(randomBelow(1), 0u);
    for (int i = 0; i < 1000; ++i)
        ASSERT_LT(randomBelow(0x80000001u), 0x80000001u);

    // 20000 draws over 10 buckets: each expects 2000 with a deviation of about 42.
    std::vector<int> buckets(10);
    for (int i = 0; i < 20000; ++i)
        ++buckets[randomBelow(10)];
    for (int count : buckets) {
        EXPECT_GT(count, 1700);
        EXPECT_LT(count, 2300);
    }
}

TEST(UtilitiesTest, TimestampIsWallClockMilliseconds)
{
    qint64 before = QDateTime::currentMSecsSinceEpoch();
    std::int64_t now = timestampNow();
    qint64 after = QDateTime::currentMSecsSinceEpoch();
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);
}

TEST(UtilitiesTest, ResourcesAreFoundBesideTheProgramInTheBuildTreeOrWhereItIsInstalled)
{
    QTemporaryDir root;
    const std::filesystem::path base = root.path().toStdString();
    auto touch = [&](const std::filesystem::path& relative) {
        std::filesystem::create_directories((base / relative).parent_path());
        std::ofstream(base / relative) << "movie";
    };
    touch("build/app/resources/missing media.mov");
    touch("prefix/share/quorvantelle/resources/missing media.mov");
    touch("both/bin/resources/missing media.mov");
    touch("both/share/quorvantelle/resources/missing media.mov");
    std::filesystem::create_directories(base / "bare/bin/resources/missing media.mov");

    const struct {
        const char* executable;
        const char* found;  // empty: not found
    } cases[] = {
        {"build/app/quorvantelle", "build/app/resources/missing media.mov"},
        {"prefix/bin/quorvantelle", "prefix/share/quorvantelle/resources/missing media.mov"},
        {"both/bin/quorvantelle", "both/bin/resources/missing media.mov"},
        // A folder under the resource's name is not the resource.
        {"bare/bin/quorvantelle", ""},
        {"elsewhere/quorvantelle", ""},
    };
    for (const auto& c : cases) {
        const auto found = pathForResource("missing media", "mov", base / c.executable);
        if (c.found[0] == '\0')
            EXPECT_FALSE(found) << c.executable;
        else
            EXPECT_EQ(found, base / c.found) << c.executable;
    }
    // The running test program has none of its own.
    EXPECT_FALSE(pathForResource("no such resource", "mov"));
}

}  // namespace
}  // namespace qv
