#include "services/objectstore/ObjectStore.h"
#include "services/objectstore/UploadRequest.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <unistd.h>

namespace qv::objectstore {
namespace {

namespace fs = std::filesystem;

const std::string kFileName = "0123456789ABCDEF0123456789ABCDEF.m4a";
const std::string kStore = "http://127.0.0.1:8123/objects";
constexpr std::int64_t kNow = 1'800'000'000;

HttpRequest askFor(const std::string& fileName)
{
    return {"GET", "/make-upload-request", {{"file_name", fileName}}, {}, {}};
}

// Splits a signed address the way the server will: path below the store's base, and the query.
HttpRequest putTo(const std::string& url, std::string body)
{
    EXPECT_TRUE(url.starts_with(kStore + "/")) << url;
    const std::string rest = url.substr(kStore.size());
    const auto question = rest.find('?');
    HttpRequest request{"PUT", rest.substr(0, question), parseQuery(rest), {{"Content-Type", "audio/mp4"}},
                        std::move(body)};
    return request;
}

TEST(MakeUploadRequest, AnswersASignedAddressThatTheStoreAcceptsUntilItExpires)
{
    const UploadSigner signer(UploadSigner::randomSecret());
    const UploadRequestSettings settings{kStore, 600};
    const HttpResponse answer = makeUploadRequest(askFor(kFileName), signer, settings, kNow);
    ASSERT_EQ(answer.status, 200) << answer.body;
    EXPECT_EQ(answer.header("content-type"), "application/json");
    const auto json = nlohmann::json::parse(answer.body);
    ASSERT_TRUE(json["signed_request"].is_string());
    EXPECT_EQ(json["url"], kStore + "/" + kFileName);

    const fs::path folder = fs::temp_directory_path() / ("qv-upload-request-" + std::to_string(getpid()));
    std::int64_t now = kNow + 600;
    ObjectStore store(folder, signer, [&] { return now; });
    const std::string address = json["signed_request"];
    EXPECT_EQ(store.handlePut(putTo(address, "audio")).status, 200);
    EXPECT_TRUE(fs::exists(store.objectPath(kFileName)));

    now += 1;
    EXPECT_EQ(store.handlePut(putTo(address, "audio")).status, 403);
    fs::remove_all(folder);
}

TEST(ParseQuery, DecodesValuesAndToleratesOddPairs)
{
    const std::map<std::string, std::string> expected = {{"a", "1"}, {"b", "x/y z"}, {"c", ""}, {"d", "%zz"}};
    EXPECT_EQ(parseQuery("http://h/p?a=0&b=x%2Fy+z&&c&d=%zz&a=1"), expected);
    EXPECT_TRUE(parseQuery("http://h/p").empty());
}

TEST(MakeUploadRequest, RefusesFileNamesThatAreNotAnUploadIdentifier)
{
    const UploadSigner signer("secret");
    for (const char* name : {"", "0123456789abcdef0123456789abcdef.m4a", "0123456789ABCDEF0123456789ABCDE.m4a",
                             "0123456789ABCDEF0123456789ABCDEF.wav", "../0123456789ABCDEF0123456789ABCD.m4a",
                             "0123456789ABCDEF0123456789ABCDEFG.m4a"}) {
        const HttpResponse answer = makeUploadRequest(askFor(name), signer, {kStore}, kNow);
        EXPECT_EQ(answer.status, 400) << name;
    }
    HttpRequest noName = askFor(kFileName);
    noName.query.clear();
    EXPECT_EQ(makeUploadRequest(noName, signer, {kStore}, kNow).status, 400);
    HttpRequest post = askFor(kFileName);
    post.method = "POST";
    EXPECT_EQ(makeUploadRequest(post, signer, {kStore}, kNow).status, 405);
}

}  // namespace
}  // namespace qv::objectstore
