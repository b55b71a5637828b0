#include "HubTestSupport.h"

#include "platform/foundation/FileUtilities.h"
#include "platform/rtdb/ValueJson.h"
#include "services/hub/EmbeddedService.h"

#include <cstdlib>
#include <fstream>

namespace qv::hub::testing {
namespace {

class Embedded : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        ASSERT_TRUE(home.isValid());
        const char* previous = std::getenv("XDG_DATA_HOME");
        saved = previous ? std::optional<std::string>(previous) : std::nullopt;
        ::setenv("XDG_DATA_HOME", home.path().toUtf8().constData(), 1);
    }
    void TearDown() override
    {
        if (saved)
            ::setenv("XDG_DATA_HOME", saved->c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }
    QTemporaryDir home;
    std::optional<std::string> saved;
};

TEST_F(Embedded, StartsOnAFreeLoopbackPortWithItsDataUnderTheXdgDataFolder)
{
    EmbeddedService first, second;
    QString error;
    ASSERT_TRUE(first.start(error)) << error.toStdString();
    ASSERT_TRUE(second.start(error, std::filesystem::path(home.path().toStdString()) / "other")) << error.toStdString();
    EXPECT_NE(first.port(), second.port());
    EXPECT_EQ(first.databaseUrl().host(), "127.0.0.1");
    EXPECT_EQ(first.databaseUrl().scheme(), "ws");

    std::string answer = http(first.port(), "POST", "/auth/sign-up", R"({"email":"me@example.com","password":"secret!"})");
    ASSERT_EQ(answer.substr(0, 4), "200 ") << answer;
    // It serves the one person here: the new account needs no verification.
    EXPECT_NE(answer.find("\"emailVerified\":true"), std::string::npos) << answer;
    auto tokenAt = answer.find("\"token\":\"") + 9;
    std::string token = answer.substr(tokenAt, answer.find('"', tokenAt) - tokenAt);
    ManualDispatcher queue;
    DatabaseClient client(std::make_unique<RemoteConnection>(RemoteConnection::Options{first.databaseUrl(), token}), queue,
                          DatabaseClient::Options{});
    EXPECT_TRUE(queue.runUntil([&] { return client.isConnected(); }, kDeadline));

    auto folder = std::filesystem::path(home.path().toStdString()) / kBundleIdentifier / "service";
    EXPECT_EQ(EmbeddedService::defaultFolder(), folder);
    EXPECT_TRUE(std::filesystem::exists(folder / "database" / "tree.sqlite"));
}

// A client in the program shares the service's copy of what it hears instead of keeping its own;
// the nodes it holds stay readable after the service, on its own thread, has ended.
TEST_F(Embedded, AClientInTheSameProcessSharesTheServicesValues)
{
    auto service = std::make_unique<EmbeddedService>();
    QString error;
    ASSERT_TRUE(service->start(error, std::filesystem::path(home.path().toStdString()) / "shared")) << error.toStdString();
    std::string answer = http(service->port(), "POST", "/auth/sign-up", R"({"email":"me@example.com","password":"secret!"})");
    ASSERT_EQ(answer.substr(0, 4), "200 ") << answer;
    auto tokenAt = answer.find("\"token\":\"") + 9;
    const std::string token = answer.substr(tokenAt, answer.find('"', tokenAt) - tokenAt);
    auto uidAt = answer.find("\"uid\":\"") + 7;
    const std::string uid = answer.substr(uidAt, answer.find('"', uidAt) - uidAt);
    const std::string path = "users/" + uid + "/custom_words";

    ManualDispatcher queue;
    RemoteConnection::Options sharing{service->databaseUrl(), token};
    sharing.serviceTree = service->treeReader();
    DatabaseClient inProgram(std::make_unique<RemoteConnection>(sharing), queue, DatabaseClient::Options{});
    DatabaseClient elsewhere(std::make_unique<RemoteConnection>(RemoteConnection::Options{service->databaseUrl(), token}),
                             queue, DatabaseClient::Options{});
    ASSERT_TRUE(queue.runUntil([&] { return inProgram.isConnected() && elsewhere.isConnected(); }, kDeadline));
    const DatabaseValue words = DatabaseValue::object({{"a", "Quorvantelle"}, {"b", "Harrowfen"}, {"c", "Lake"}});
    DatabaseValue heard, heardElsewhere;
    inProgram.reference(path).observe(DatabaseEvent::Value, [&](const DataSnapshot& snapshot) { heard = snapshot.value(); });
    elsewhere.reference(path).observe(DatabaseEvent::Value,
                                      [&](const DataSnapshot& snapshot) { heardElsewhere = snapshot.value(); });
    elsewhere.reference(path).setValue(words);
    ASSERT_TRUE(queue.runUntil([&] { return heard == words && heardElsewhere == words; }, kDeadline));

    const DatabaseValue servicesCopy = service->treeReader()().at(DatabasePath::parse(path));
    EXPECT_TRUE(heard.sameNode(servicesCopy));
    EXPECT_FALSE(heardElsewhere.sameNode(servicesCopy));

    // The service lets go of each version on its thread while the client's line holds it on
    // another, and takes up the next: every version is held and dropped safely on both. What the
    // changes left alone is still the service's.
    for (int i = 0; i < 30; ++i)
        elsewhere.reference(path).child("a").setValue("version " + std::to_string(i));
    ASSERT_TRUE(queue.runUntil([&] { return heard.child("a") == DatabaseValue("version 29"); }, kDeadline));
    EXPECT_TRUE(heard.child("b").sameNode(service->treeReader()().at(DatabasePath::parse(path + "/b"))));

    service.reset();
    EXPECT_TRUE(sharing.serviceTree().isNull());
    EXPECT_EQ(heard, words.withChild("a", "version 29"));
    EXPECT_EQ(encodeValue(heard.child("b")), "\"Harrowfen\"");
}

TEST_F(Embedded, AStoreThatCannotBeOpenedIsReportedNotStartedEmpty)
{
    auto blocked = std::filesystem::path(home.path().toStdString()) / "blocked";
    std::ofstream(blocked) << "a file where the folder should be";
    EmbeddedService service;
    QString error;
    EXPECT_FALSE(service.start(error, blocked));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace qv::hub::testing
