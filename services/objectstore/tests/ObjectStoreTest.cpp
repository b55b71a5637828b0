#include "services/objectstore/ObjectStore.h"

#include "platform/foundation/Md5.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace qv::objectstore {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kNow = 1'800'000'000;
const std::string kKey = "0123456789ABCDEF0123456789ABCDEF.m4a";

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// How the client checks a transfer: status 200 and an "Etag" whose characters 1 to 32 are the
// lower-case MD5 of what it sent.
bool clientAccepts(const HttpResponse& response, const std::string& body)
{
    const auto etag = response.header("etag");
    return response.status == 200 && etag && etag->size() >= 33
        && etag->substr(1, 32) == md5Hex(QByteArray::fromStdString(body)).toStdString();
}

class ObjectStoreTest : public ::testing::Test {
protected:
    fs::path folder = fs::temp_directory_path() / ("qv-objectstore-" + std::to_string(getpid()) + "-"
                                                   + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    UploadSigner signer{"service secret"};
    std::int64_t now = kNow;
    std::size_t limit = 64;
    std::unique_ptr<ObjectStore> store;

    void SetUp() override
    {
        fs::remove_all(folder);
        store = std::make_unique<ObjectStore>(folder, signer, [this] { return now; }, limit);
    }
    void TearDown() override { fs::remove_all(folder); }

    HttpRequest put(const std::string& key, std::string body, std::int64_t expires = kNow + 900)
    {
        HttpRequest request{"PUT", "/" + key, parseQuery(signer.signedPutUrl("http://127.0.0.1:1", key, expires)),
                            {{"Content-Type", "audio/mp4"}}, std::move(body)};
        return request;
    }

    // Nothing but the stored objects: no temporary file is ever left beside them.
    std::vector<std::string> folderContents() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::ranges::sort(names);
        return names;
    }
};

TEST_F(ObjectStoreTest, StoresTheBodyAndAnswersTheEtagTheClientVerifies)
{
    const std::string body = "audio bytes";
    const HttpResponse response = store->handlePut(put(kKey, body));
    EXPECT_TRUE(clientAccepts(response, body)) << response.status << " " << response.body;
    EXPECT_EQ(response.header("Etag"), "\"" + md5Hex(QByteArray::fromStdString(body)).toStdString() + "\"");
    EXPECT_EQ(slurp(store->objectPath(kKey)), body);
    EXPECT_EQ(folderContents(), std::vector<std::string>{kKey});
}

TEST_F(ObjectStoreTest, RefusedPutsStoreNothing)
{
    struct Case {
        const char* what;
        HttpRequest request;
        int status;
    };
    HttpRequest otherKey = put(kKey, "x");
    otherKey.query = put("FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF.m4a", "x").query;
    HttpRequest laterExpiry = put(kKey, "x");
    laterExpiry.query["expires"] = std::to_string(kNow + 100000);
    HttpRequest badSignature = put(kKey, "x");
    badSignature.query["signature"].back() ^= 1;
    HttpRequest noSignature = put(kKey, "x");
    noSignature.query.clear();
    HttpRequest signedWithOtherSecret = put(kKey, "x");
    signedWithOtherSecret.query = parseQuery(UploadSigner("another secret").signedPutUrl("", kKey, kNow + 900));
    HttpRequest get = put(kKey, "x");
    get.method = "GET";
    const Case cases[] = {
        {"signature of another key", otherKey, 403},
        {"expiry moved later", laterExpiry, 403},
        {"signature changed", badSignature, 403},
        {"no signature", noSignature, 403},
        {"another service's secret", signedWithOtherSecret, 403},
        {"expired a second ago", put(kKey, "x", kNow - 1), 403},
        {"empty body", put(kKey, ""), 400},
        {"one byte over the limit", put(kKey, std::string(65, 'a')), 413},
        {"key that climbs out of the folder", put("../escape.m4a", "x"), 404},
        {"key of a file being written", put("object.m4a.tmp", "x"), 404},
        {"not a PUT", get, 405},
    };
    for (const Case& c : cases) {
        const HttpResponse response = store->handlePut(c.request);
        EXPECT_EQ(response.status, c.status) << c.what << ": " << response.body;
        EXPECT_FALSE(response.header("Etag")) << c.what;
        EXPECT_FALSE(response.body.empty()) << c.what << " says why";
    }
    EXPECT_TRUE(folderContents().empty());
    EXPECT_FALSE(fs::exists(folder.parent_path() / "escape.m4a"));
}

TEST_F(ObjectStoreTest, AnAddressHoldsUntilItsExpirySecondAndTheLimitItselfFits)
{
    EXPECT_EQ(store->handlePut(put(kKey, std::string(64, 'a'), kNow)).status, 200);
}

TEST_F(ObjectStoreTest, RepeatedPutOfTheSameBytesSucceedsButOtherBytesNeverReplaceAnObject)
{
    ASSERT_EQ(store->handlePut(put(kKey, "first")).status, 200);
    const HttpResponse again = store->handlePut(put(kKey, "first"));
    EXPECT_TRUE(clientAccepts(again, "first"));

    const HttpResponse other = store->handlePut(put(kKey, "second"));
    EXPECT_EQ(other.status, 409);
    EXPECT_FALSE(clientAccepts(other, "second"));
    EXPECT_EQ(slurp(store->objectPath(kKey)), "first");
    EXPECT_EQ(folderContents(), std::vector<std::string>{kKey});
}

TEST(ObjectKey, AcceptsFileNamesOnly)
{
    for (const char* key : {"a", "0123456789ABCDEF0123456789ABCDEF.m4a", "x_y-z.1"})
        EXPECT_TRUE(ObjectStore::isValidKey(key)) << key;
    for (const char* key : {"", ".hidden", "..", "a/b", "a\\b", "a b", "x.tmp", "caf\xc3\xa9"})
        EXPECT_FALSE(ObjectStore::isValidKey(key)) << key;
    EXPECT_FALSE(ObjectStore::isValidKey(std::string(201, 'a')));
}

}  // namespace
}  // namespace qv::objectstore
